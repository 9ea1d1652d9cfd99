#include "batch/batch_runner.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "db/backoff.h"
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

constexpr std::chrono::milliseconds kFirstReconnectPause{100};
constexpr std::chrono::milliseconds kLongestReconnectPause{5'000};
/// A demand whose work loses a newly opened connection this often ends the
/// session itself (a trigger, say): it fails rather than waits.
constexpr int kMostLossesOnNewConnections = 3;

class Worker {
 public:
  Worker(const OdbcEnvironment& environment, const BatchRun& run, const std::atomic<bool>& stop)
      : environment_(environment), run_(run), stop_(stop) {}

  /// Plans `key`. While the connection is lost or cannot be opened, waits and
  /// tries again on a new one, for as long as the run allows.
  DemandOutcome plan(const std::string& key) {
    Backoff backoff(kFirstReconnectPause, kLongestReconnectPause, run_.waitForDatabase);
    int lossesOnNewConnections = 0;
    for (;;) {
      const bool fresh = !connection_;
      try {
        if (!connection_) connection_ = std::make_unique<Connection>(environment_, run_.connectionString);
        return planOne(*connection_, key, run_.storing);
      } catch (const DatabaseError& error) {
        const bool lost = connectionLost(error);
        const bool opened = connection_ != nullptr;
        // Whatever state the failure left the transaction in (SQLite rolls a
        // transaction back by itself on a full disk or a trigger's
        // raise(rollback), and its driver then runs on in autocommit), the next
        // attempt or demand starts on a new connection.
        connection_.reset();
        if (!lost || stop_.load() || backoff.spent() ||
            (fresh && opened && ++lossesOnNewConnections >= kMostLossesOnNewConnections))
          return failed(key, error.what());
      } catch (const std::bad_alloc&) {
        connection_.reset();
        return failed(key, "Nicht genug Arbeitsspeicher");
      } catch (const std::exception& error) {
        connection_.reset();
        return failed(key, error.what());
      }
      backoff.pause(&stop_);
    }
  }

 private:
  bool connectionLost(const DatabaseError& error) const noexcept {
    const FailureKind kind = connection_ ? failureKind(error, *connection_) : error.kind();
    return kind == FailureKind::ConnectionLost;
  }

  const OdbcEnvironment& environment_;
  const BatchRun& run_;
  const std::atomic<bool>& stop_;
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
    Worker worker(environment, run, stop);
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
