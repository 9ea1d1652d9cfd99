// Plans many demands over a few long-lived connections.
//
// Each of N workers opens its own connection and takes the next key until none
// is left or a stop is asked for; the demand in hand is always finished (its
// transaction committed or rolled back), so no demand is left half-written.
// Each demand is planned exactly as the single-demand program plans it; its
// failure (a database error, a refusal, memory running out) touches no other
// demand. A worker whose connection breaks opens a new one and tries the
// demand in hand once more.
#pragma once

#include <atomic>
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
};

/// Called after every demand, from the worker that planned it.
using OutcomeListener = std::function<void(const DemandOutcome&)>;

/// Plans `keys`; stops taking keys once `stop` is set. The summary counts the
/// demands planned, refused and failed; `interrupted` when keys were left.
BatchSummary runBatch(const OdbcEnvironment& environment, const BatchRun& run,
                      const std::vector<std::string>& keys, const std::atomic<bool>& stop,
                      const OutcomeListener& listener);

}  // namespace mrp::batch
