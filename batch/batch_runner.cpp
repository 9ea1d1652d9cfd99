#include "batch/batch_runner.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "cli/guarded_run.h"
#include "cli/run_failure.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_environment.h"
#include "db/session.h"
#include "demand/message_sink.h"

namespace mrp::batch {
namespace {

/// The outcome of one demand on `connection`.
DemandOutcome planOne(Connection& connection, const std::string& key, Storing storing) {
  DemandOutcome outcome;
  outcome.key = key;
  const auto start = std::chrono::steady_clock::now();
  MessageList sink;
  const std::optional<LotPlan> plan = planDemand(connection, key, sink, storing).plan;
  outcome.messages = std::move(sink.messages);
  if (plan) {
    outcome.outcome = Outcome::Planned;
    outcome.lots = plan->lots.size();
    outcome.periods = plan->periods.size();
    for (const Lot& lot : plan->lots) outcome.cost += lot.cost;
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

class Worker {
 public:
  /// `stopped` says when to give up waiting for the database.
  Worker(const OdbcEnvironment& environment, const BatchRun& run, std::function<bool()> stopped)
      : run_(run), session_(environment, run.connectionString, run.waitForDatabase, std::move(stopped)) {}

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

 private:
  const BatchRun& run_;
  Session session_;
};

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
  std::atomic<bool> giveUp{false};  // set with it, or when the database stays away: no more keys
  const auto stopped = [&] { return stop.load() || giveUp.load(); };
  const auto work = [&] {
    try {
      Worker worker(environment, run, stopped);
      while (!stopped()) {
        const std::size_t index = next.fetch_add(1);
        if (index >= keys.size()) return;
        const std::optional<DemandOutcome> outcome = worker.plan(keys[index]);
        if (!outcome) {
          // The demand stays as it was, for --resume; so do the others.
          const std::lock_guard lock(mutex);
          if (!stop.load()) summary.databaseUnreachable = true;
          giveUp.store(true);
          return;
        }
        {
          const std::lock_guard lock(mutex);
          summary.count(*outcome);
          summary.lots += outcome->lots;
        }
        listener(*outcome);
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
