#include "batch/batch_runner.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "db/connection.h"
#include "db/database_error.h"
#include "demand/message_sink.h"
#include "platform/odbc_environment.h"

namespace mrp::batch {
namespace {

/// The outcome of one demand on `connection`.
DemandOutcome planOne(Connection& connection, const std::string& key, Storing storing) {
  DemandOutcome outcome;
  outcome.key = key;
  const auto start = std::chrono::steady_clock::now();
  MessageList sink;
  const std::optional<LotPlan> plan = planDemand(connection, key, sink, storing);
  outcome.messages = std::move(sink.lines);
  if (plan) {
    outcome.outcome = Outcome::Planned;
    outcome.lots = plan->lots.size();
    outcome.periods = plan->periods.size();
    for (const Lot& lot : plan->lots) outcome.cost += lot.kosten;
  } else {
    outcome.outcome = Outcome::Refused;
  }
  outcome.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

DemandOutcome failed(const std::string& key, std::string message) {
  DemandOutcome outcome;
  outcome.key = key;
  outcome.outcome = Outcome::Failed;
  outcome.messages.push_back(std::move(message));
  return outcome;
}

class Worker {
 public:
  Worker(const OdbcEnvironment& environment, const BatchRun& run) : environment_(environment), run_(run) {}

  /// Plans `key`; on a lost connection connects anew and tries once more.
  DemandOutcome plan(const std::string& key) {
    for (int attempt = 1;; ++attempt) {
      try {
        if (!connection_) connection_ = std::make_unique<Connection>(environment_, run_.connectionString);
        return planOne(*connection_, key, run_.storing);
      } catch (const DatabaseError& error) {
        if (error.kind() != FailureKind::ConnectionLost || attempt == 2) return failed(key, error.what());
        connection_.reset();  // the next attempt connects anew
      } catch (const std::bad_alloc&) {
        return failed(key, "Nicht genug Arbeitsspeicher");
      } catch (const std::exception& error) {
        return failed(key, error.what());
      }
    }
  }

 private:
  const OdbcEnvironment& environment_;
  const BatchRun& run_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace

BatchSummary runBatch(const OdbcEnvironment& environment, const BatchRun& run,
                      const std::vector<std::string>& keys, const std::atomic<bool>& stop,
                      const OutcomeListener& listener) {
  const auto start = std::chrono::steady_clock::now();
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  BatchSummary summary;
  const auto work = [&] {
    Worker worker(environment, run);
    while (!stop.load()) {
      const std::size_t index = next.fetch_add(1);
      if (index >= keys.size()) return;
      const DemandOutcome outcome = worker.plan(keys[index]);
      {
        const std::lock_guard lock(mutex);
        if (outcome.outcome == Outcome::Planned) ++summary.planned;
        if (outcome.outcome == Outcome::Refused) ++summary.refused;
        if (outcome.outcome == Outcome::Failed) ++summary.failed;
        if (run.storing == Storing::Store) summary.lots += outcome.lots;
      }
      listener(outcome);
    }
  };
  std::vector<std::thread> workers;
  const unsigned jobs = std::max(1u, std::min<unsigned>(run.jobs, static_cast<unsigned>(std::max<std::size_t>(keys.size(), 1))));
  for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  summary.interrupted = summary.planned + summary.refused + summary.failed < keys.size();
  return summary;
}

}  // namespace mrp::batch
