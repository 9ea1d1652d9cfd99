// The entry of lotsizing-batch: options, signals, the key list, the log and
// the workers. Its own messages are English, on standard error; the log is
// UTF-8 on standard output or appended to a file.
#include "batch/batch_main.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <thread>

#include "batch/batch_log.h"
#include "batch/batch_options.h"
#include "batch/batch_runner.h"
#include "batch/demand_keys.h"
#include "batch/progress.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "platform/odbc_environment.h"

namespace mrp::batch {
namespace {

constexpr int kAllPlanned = 0;
constexpr int kSomeNotPlanned = 1;
constexpr int kCannotRun = 2;

/// Set by the first SIGINT or SIGTERM: the workers finish the demand in hand
/// and take no more. The second ends the process at once (the transactions
/// still protect the rows).
std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int signal) {
  if (stopRequested.exchange(true)) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  // Calls that the signal interrupts in the drivers go on: the demand in hand
  // is finished, not failed.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::vector<std::string> selectKeys(const BatchOptions& options, Connection& connection) {
  std::vector<std::string> keys;
  if (!options.keysFile) {
    keys = allDemandKeys(connection);
  } else if (*options.keysFile == "-") {
    keys = keysFrom(std::cin);
  } else {
    std::ifstream file(*options.keysFile);
    if (!file) throw UsageError("cannot read the keys file " + *options.keysFile);
    keys = keysFrom(file);
  }
  if (options.shard) keys = keysOfShard(keys, *options.shard);
  if (options.resume) {
    std::ifstream log(*options.logFile);
    keys = keysLeft(keys, keysDoneInLatestBatch(log));
  }
  return keys;
}

int runWith(const BatchOptions& options, std::ostream& logStream) {
  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) {
    std::cerr << "lotsizing-batch: the ODBC environment cannot be set up\n";
    return kCannotRun;
  }
  const std::string connectionString = "DSN=" + options.dataSource;
  std::vector<std::string> keys;
  try {
    Connection first(*environment, connectionString);
    keys = selectKeys(options, first);
  } catch (const DatabaseError& error) {
    std::cerr << "lotsizing-batch: no connection to " << options.dataSource << ": " << error.what() << "\n";
    return kCannotRun;
  }

  BatchLog log(logStream, options.json);
  log.started(keys.size(), options.jobs, options.dryRun);
  Progress progress(stderr, isatty(STDERR_FILENO) != 0, keys.size());
  const BatchRun run{connectionString, options.jobs, options.dryRun ? Storing::DryRun : Storing::Store};
  const BatchSummary summary = runBatch(*environment, run, keys, stopRequested, [&](const DemandOutcome& outcome) {
    log.demand(outcome);
    progress.record(outcome.outcome);
  });
  progress.finish();
  log.summary(summary);
  const bool allPlanned = summary.planned == keys.size();
  return allPlanned ? kAllPlanned : kSomeNotPlanned;
}

}  // namespace

int runLotSizingBatch(int argc, char** argv) {
  const std::string programName = argc > 0 && argv[0] ? argv[0] : "lotsizing-batch";
  BatchOptions options;
  try {
    options = parseBatchOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc),
                                std::thread::hardware_concurrency());
  } catch (const UsageError& error) {
    std::cerr << "lotsizing-batch: " << error.what() << "\n" << usageText(programName);
    return kCannotRun;
  }
  installStopHandlers();
  try {
    if (!options.logFile) return runWith(options, std::cout);
    std::ofstream file(*options.logFile, std::ios::app);
    if (!file) {
      std::cerr << "lotsizing-batch: cannot append to the log " << *options.logFile << "\n";
      return kCannotRun;
    }
    return runWith(options, file);
  } catch (const UsageError& error) {
    std::cerr << "lotsizing-batch: " << error.what() << "\n";
    return kCannotRun;
  }
}

}  // namespace mrp::batch
