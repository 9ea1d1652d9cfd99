// Plans many demands over a few long-lived connections.
//
// Each of N workers opens its own connection and takes the next key until none
// is left or a stop is asked for; the demand in hand is always finished (its
// transaction committed or rolled back), so no demand is left half-written.
// Each demand is planned exactly as the single-demand program plans it; its
// failure (a database error, a refusal, memory running out) touches no other
// demand. After any failure a worker starts the next demand on a new
// connection, whatever state the failure left the old one's transaction in. A
// worker whose connection is lost connects anew, with growing pauses while the
// database cannot be reached, and plans the demand in hand again (replacing a
// demand's rows is idempotent, so a commit whose outcome was lost with the
// connection is simply made again).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "batch/batch_log.h"
#include "lotsizing/demand_run.h"

namespace mrp {
class OdbcEnvironment;
}

namespace mrp::batch {

struct BatchRun {
  std::string connectionString;
  unsigned jobs = 1;
  Storing storing = Storing::Store;
  /// How long a worker keeps trying to reach the database for one demand.
  std::chrono::milliseconds waitForDatabase{300'000};
};

/// Called after every demand, from the worker that planned it.
using OutcomeListener = std::function<void(const DemandOutcome&)>;
/// Fewer workers than jobs asked for: no more threads could be started.
struct JobsShort {
  unsigned asked = 0;    // the jobs of the batch (one per key at most)
  unsigned started = 0;  // the workers that could be started, the caller's own among them
  unsigned running = 0;  // those that plan: half of them, see runBatch
  std::string reason;    // why no more thread could be started
};
/// Called once, before the planning, when workers are short.
using JobsShortListener = std::function<void(const JobsShort&)>;

/// Plans `keys`; stops taking keys once `stop` is set. The summary counts the
/// demands planned, refused and failed; `interrupted` when keys were left.
/// Jobs whose thread cannot be started are left out, and so is half of the
/// others: a thread that cannot be started mostly means that the address space
/// is used up, and the connections and plans of the workers still need some
/// (`jobsShort` hears of it). The calling thread always plans. An exception that leaves a worker
/// (from `listener`, say) stops the others and is raised again here once they
/// have finished the demands in hand.
BatchSummary runBatch(const OdbcEnvironment& environment, const BatchRun& run,
                      const std::vector<std::string>& keys, const std::atomic<bool>& stop,
                      const OutcomeListener& listener, const JobsShortListener& jobsShort = {});

}  // namespace mrp::batch
