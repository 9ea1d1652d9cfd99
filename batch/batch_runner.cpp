#include "batch/batch_runner.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <thread>

#include "batch/chunk_sizer.h"
#include "cli/guarded_run.h"
#include "cli/run_failure.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_environment.h"
#include "db/session.h"
#include "demand/demand_loader.h"
#include "demand/message_sink.h"
#include "lotsizing/plan_warnings.h"
#include "planning_db/demand_chunk.h"
#include "planning_db/lot_storage.h"

namespace mrp::batch {
namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/// The outcome of `key` planned as `plan` (nothing: refused) with `messages`.
DemandOutcome outcomeOf(const std::string& key, const std::optional<LotPlan>& plan, MessageList& sink) {
  DemandOutcome outcome;
  outcome.key = key;
  outcome.messages = std::move(sink.messages);
  if (plan) {
    outcome.outcome = Outcome::Planned;
    outcome.lots = plan->lots.size();
    outcome.periods = plan->periods.size();
    for (const Lot& lot : plan->lots) outcome.cost += lot.cost;
  } else {
    outcome.outcome = Outcome::Refused;
  }
  return outcome;
}

/// The outcome of one demand on `connection`, through its own statements.
DemandOutcome planOne(Connection& connection, const std::string& key, Storing storing) {
  const auto start = Clock::now();
  MessageList sink;
  const std::optional<LotPlan> plan = planDemand(connection, key, sink, storing).plan;
  DemandOutcome outcome = outcomeOf(key, plan, sink);
  outcome.milliseconds = millisecondsSince(start);
  return outcome;
}

/// A demand of a chunk, planned from the chunk's rows, with its lots to store.
struct PlannedDemand {
  DemandOutcome outcome;
  std::vector<Lot> lots;
  bool leftForLater = false;  // its lots not stored: the worker gave up waiting for the database
};

/// Loads and plans `key` from the rows of `chunk`, as planDemand does from
/// the demand's own statements.
PlannedDemand planFromChunk(const DemandChunk& chunk, const std::string& key) {
  const auto start = Clock::now();
  MessageList sink;
  DemandChunk::Demand rows = chunk.demand(key);
  const LoadedDemand demand = loadDemand(key, rows, sink);
  std::optional<LotPlan> plan = planLots(demand, sink);
  if (plan) reportPlanWarnings(demand, sink);
  PlannedDemand planned{outcomeOf(key, plan, sink), plan ? std::move(plan->lots) : std::vector<Lot>{}};
  planned.outcome.milliseconds = millisecondsSince(start);
  return planned;
}

DemandOutcome failed(const std::string& key, Message message) {
  DemandOutcome outcome;
  outcome.key = key;
  outcome.outcome = Outcome::Failed;
  outcome.messages.push_back(std::move(message));
  return outcome;
}

class Worker {
 public:
  /// `stopped` says when to give up waiting for the database.
  Worker(const OdbcEnvironment& environment, const BatchRun& run, std::function<bool()> stopped)
      : run_(run), stopped_(stopped), session_(environment, run.connectionString, run.waitForDatabase, stopped) {}

  /// Plans `key` on the worker's session. Nothing when the database could not
  /// be reached in time or a stop came meanwhile: the demand is left as it
  /// was, for a later run.
  std::optional<DemandOutcome> plan(const std::string& key) {
    return runGuarded(
        [&]() -> std::optional<DemandOutcome> {
          DemandOutcome outcome;
          const Attempt attempt =
              session_.run([&](Connection& connection) { outcome = planOne(connection, key, run_.storing); });
          switch (attempt.result) {
            case Attempt::Result::Done:
              return outcome;
            case Attempt::Result::Failed:
              return failed(key, databaseFailure(*attempt.error));
            case Attempt::Result::GaveUp:
              break;
          }
          return std::nullopt;
        },
        [&](const Failure& failure) { return failed(key, failureMessage(failure)); });
  }

  /// What came of a chunk: the outcomes decided, in key order, and whether
  /// the worker gave up waiting for the database (the other demands are left
  /// as they were, for a later run).
  struct ChunkOutcomes {
    std::vector<DemandOutcome> outcomes;
    bool gaveUp = false;
    std::size_t rowsRead = 0;  // 0 when the chunk was not read together
  };

  /// Plans `keys` (no key twice) as one chunk: their rows read at once, each
  /// demand planned from its rows, the lots of the planned ones stored at
  /// once. When storing them together fails, each is stored alone, so that
  /// one demand's failure touches no other; when reading them together fails,
  /// each is planned alone.
  ChunkOutcomes planChunk(std::span<const std::string> keys) {
    const auto start = Clock::now();
    std::optional<DemandChunk> chunk;
    // A failure reading them together (memory running out for one huge
    // demand, say) is each demand's own when each is read alone.
    const Attempt read = runGuarded(
        [&] { return session_.run([&](Connection& connection) { chunk.emplace(connection, keys); }); },
        [](const Failure&) { return Attempt{Attempt::Result::Failed, std::nullopt}; });
    if (read.result == Attempt::Result::GaveUp) return {{}, true};
    if (read.result == Attempt::Result::Failed) return planEachAlone(keys);
    std::vector<PlannedDemand> planned;
    for (const std::string& key : keys) {
      planned.push_back(runGuarded([&] { return planFromChunk(*chunk, key); },
                                   [&](const Failure& failure) {
                                     return PlannedDemand{failed(key, failureMessage(failure)), {}};
                                   }));
    }
    const std::size_t rowsRead = chunk->rows();
    chunk.reset();
    // A stop while the chunk was planned leaves all of it for a later run.
    if (stopped_()) return {};
    ChunkOutcomes result;
    result.rowsRead = rowsRead;
    result.gaveUp = run_.storing == Storing::Store && !storeChunk(planned);
    // The chunk's shared reading and storing, shared out among its demands.
    const double shared = millisecondsSince(start) / static_cast<double>(keys.size());
    for (PlannedDemand& demand : planned) {
      if (demand.leftForLater) continue;
      demand.outcome.milliseconds += shared;
      result.outcomes.push_back(std::move(demand.outcome));
    }
    return result;
  }

 private:
  ChunkOutcomes planEachAlone(std::span<const std::string> keys) {
    ChunkOutcomes result;
    for (const std::string& key : keys) {
      std::optional<DemandOutcome> outcome = plan(key);
      if (!outcome) return {std::move(result.outcomes), true};
      result.outcomes.push_back(std::move(*outcome));
    }
    return result;
  }

  /// Stores the lots of the planned demands; a demand whose lots cannot be
  /// stored becomes failed. False when the worker gave up waiting for the
  /// database: the planned demands not stored by then are left for later.
  bool storeChunk(std::vector<PlannedDemand>& planned) {
    const auto leaveFrom = [&](std::size_t first) {
      for (std::size_t d = first; d < planned.size(); ++d)
        planned[d].leftForLater = planned[d].outcome.outcome == Outcome::Planned;
      return false;
    };
    std::vector<DemandLots> lots;
    for (const PlannedDemand& demand : planned) {
      if (demand.outcome.outcome == Outcome::Planned) lots.push_back({demand.outcome.key, demand.lots});
    }
    if (lots.empty()) return true;
    const Attempt together = session_.run([&](Connection& connection) { storeLotsOfDemands(connection, lots); });
    if (together.result == Attempt::Result::Done) return true;
    if (together.result == Attempt::Result::GaveUp) return leaveFrom(0);
    for (std::size_t d = 0; d < planned.size(); ++d) {
      PlannedDemand& demand = planned[d];
      if (demand.outcome.outcome != Outcome::Planned) continue;
      const Attempt alone = session_.run(
          [&](Connection& connection) { storeLots(connection, demand.outcome.key, demand.lots); });
      if (alone.result == Attempt::Result::GaveUp) return leaveFrom(d);
      if (alone.result == Attempt::Result::Failed) {
        demand.outcome = failed(demand.outcome.key, databaseFailure(*alone.error));
      }
    }
    return true;
  }

  const BatchRun& run_;
  std::function<bool()> stopped_;
  Session session_;
};

/// `keys` cut into runs in which no key comes twice (a keys file may name a
/// demand again: it is planned again, after its first run).
std::vector<std::span<const std::string>> chunksWithoutRepeats(std::span<const std::string> keys) {
  std::vector<std::span<const std::string>> chunks;
  std::set<std::string_view> seen;
  std::size_t first = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (seen.insert(keys[k]).second) continue;
    chunks.push_back(keys.subspan(first, k - first));
    first = k;
    seen = {keys[k]};
  }
  chunks.push_back(keys.subspan(first));
  return chunks;
}

/// The threads of the workers beyond the caller's own. All are started before
/// any works; each waits at a gate until it learns whether it is wanted.
class WorkerThreads {
 public:
  /// Starts up to `count` threads that will run `work`; stops at the first
  /// that cannot be started, whose reason `failure()` gives.
  WorkerThreads(std::size_t count, std::function<void()> work) : work_(std::move(work)) {
    try {
      threads_.reserve(count);
      while (threads_.size() < count) threads_.emplace_back([this, index = threads_.size()] { run(index); });
    } catch (const std::exception& error) {
      failure_ = error.what();
    }
  }
  ~WorkerThreads() {
    if (!open_.load()) open(0);
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;

  std::size_t started() const noexcept { return threads_.size(); }
  const std::string& failure() const noexcept { return failure_; }

  /// Lets the first `wanted` threads work; the others end, and their stacks
  /// are given back before this returns.
  void open(std::size_t wanted) {
    wanted_.store(wanted);
    open_.store(true);
    open_.notify_all();
    for (std::size_t i = wanted; i < threads_.size(); ++i) threads_[i].join();
  }

 private:
  void run(std::size_t index) {
    open_.wait(false);
    if (index < wanted_.load()) work_();
  }

  std::function<void()> work_;
  std::vector<std::thread> threads_;
  std::string failure_;
  std::atomic<bool> open_{false};
  std::atomic<std::size_t> wanted_{0};
};

}  // namespace

BatchSummary runBatch(const OdbcEnvironment& environment, const BatchRun& run,
                      const std::vector<std::string>& keys, const std::atomic<bool>& stop,
                      const OutcomeListener& listener, const JobsShortListener& jobsShort) {
  const auto start = std::chrono::steady_clock::now();
  ChunkSizer sizer(keys.size(), run.jobs);
  std::mutex claiming;
  std::size_t next = 0;
  std::mutex mutex;
  BatchSummary summary;
  std::exception_ptr escaped;       // the first failure that left a worker
  std::atomic<bool> giveUp{false};  // set with it, or when the database stays away: no more keys
  const auto stopped = [&] { return stop.load() || giveUp.load(); };
  const auto work = [&] {
    try {
      Worker worker(environment, run, stopped);
      while (!stopped()) {
        std::span<const std::string> claimed;
        {
          const std::lock_guard lock(claiming);
          if (next >= keys.size()) return;
          claimed = std::span(keys).subspan(next, std::min(sizer.next(), keys.size() - next));
          next += claimed.size();
        }
        for (const std::span<const std::string> chunk : chunksWithoutRepeats(claimed)) {
          const Worker::ChunkOutcomes result = worker.planChunk(chunk);
          sizer.learn(chunk.size(), result.rowsRead);
          for (const DemandOutcome& outcome : result.outcomes) {
            {
              const std::lock_guard lock(mutex);
              summary.count(outcome);
              summary.lots += outcome.lots;
            }
            listener(outcome);
          }
          if (result.gaveUp) {
            // The demands left stay as they were, for --resume.
            const std::lock_guard lock(mutex);
            if (!stop.load()) summary.databaseUnreachable = true;
            giveUp.store(true);
            return;
          }
          if (stopped()) return;
        }
      }
    } catch (...) {
      // An exception must not end a thread (that aborts the process): the
      // caller gets it once every worker has stopped.
      const std::lock_guard lock(mutex);
      if (!escaped) escaped = std::current_exception();
      giveUp.store(true);
    }
  };
  const unsigned jobs = std::max(
      1u, std::min<unsigned>(run.jobs, static_cast<unsigned>(std::max<std::size_t>(keys.size(), 1))));
  {
    WorkerThreads helpers(jobs - 1, work);
    std::size_t wanted = helpers.started();
    if (!helpers.failure().empty()) {
      const std::size_t started = helpers.started() + 1;
      wanted = std::max<std::size_t>(started / 2, 1) - 1;
      if (jobsShort) {
        jobsShort(
            {jobs, static_cast<unsigned>(started), static_cast<unsigned>(wanted + 1), helpers.failure()});
      }
    }
    helpers.open(wanted);
    work();
  }
  if (escaped) std::rethrow_exception(escaped);
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  summary.interrupted = summary.planned + summary.refused + summary.failed < keys.size();
  summary.dryRun = run.storing == Storing::DryRun;
  return summary;
}

}  // namespace mrp::batch
