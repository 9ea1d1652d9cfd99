#include "batch/batch_runner.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "db/backoff.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "demand/message_sink.h"
#include "lotsizing/run_failure.h"
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
  outcome.messages = std::move(sink.messages);
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

DemandOutcome failed(const std::string& key, Message message) {
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
          return failed(key, databaseFailure(error));
      } catch (const std::bad_alloc&) {
        connection_.reset();
        return failed(key, memoryFailure());
      } catch (const std::exception& error) {
        connection_.reset();
        return failed(key, otherFailure(error));
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

namespace {

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
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  BatchSummary summary;
  std::exception_ptr escaped;       // the first failure that left a worker
  std::atomic<bool> giveUp{false};  // set with it: the others take no more keys
  const auto work = [&] {
    try {
      Worker worker(environment, run, stop);
      while (!stop.load() && !giveUp.load()) {
        const std::size_t index = next.fetch_add(1);
        if (index >= keys.size()) return;
        const DemandOutcome outcome = worker.plan(keys[index]);
        {
          const std::lock_guard lock(mutex);
          summary.count(outcome);
          if (run.storing == Storing::Store) summary.lots += outcome.lots;
        }
        listener(outcome);
      }
    } catch (...) {
      // An exception must not end a thread (that aborts the process): the
      // caller gets it once every worker has stopped.
      const std::lock_guard lock(mutex);
      if (!escaped) escaped = std::current_exception();
      giveUp.store(true);
    }
  };
  const unsigned jobs = std::max(1u, std::min<unsigned>(run.jobs, static_cast<unsigned>(std::max<std::size_t>(keys.size(), 1))));
  {
    WorkerThreads helpers(jobs - 1, work);
    std::size_t wanted = helpers.started();
    if (!helpers.failure().empty()) {
      const std::size_t started = helpers.started() + 1;
      wanted = std::max<std::size_t>(started / 2, 1) - 1;
      if (jobsShort) {
        jobsShort({jobs, static_cast<unsigned>(started), static_cast<unsigned>(wanted + 1), helpers.failure()});
      }
    }
    helpers.open(wanted);
    work();
  }
  if (escaped) std::rethrow_exception(escaped);
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  summary.interrupted = summary.planned + summary.refused + summary.failed < keys.size();
  return summary;
}

}  // namespace mrp::batch
