// The entry of lotsizing-batch: options, signals, the key list, the log and
// the workers. Its own messages are English, on standard error; the log is
// UTF-8 on standard output or appended to a file.
#include "batch/batch_main.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "batch/batch_log.h"
#include "batch/batch_options.h"
#include "batch/batch_runner.h"
#include "batch/demand_keys.h"
#include "batch/progress.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "platform/odbc_environment.h"
#include "platform/text_encoding.h"

namespace mrp::batch {
namespace {

constexpr int kAllPlanned = 0;
constexpr int kSomeNotPlanned = 1;
constexpr int kCannotRun = 2;
constexpr int kLogNotWritten = 3;
constexpr int kUnexpectedFailure = 4;

/// Malformed lines of the log named one by one; beyond these, only counted.
constexpr std::size_t kMalformedLinesNamed = 10;

/// Set by the first SIGINT or SIGTERM. The second ends the process at once
/// (the transactions still protect the rows).
std::atomic<bool> signalled{false};
/// Set by a signal or a log that cannot be written: the workers finish the
/// demand in hand and take no more.
std::atomic<bool> stopTaking{false};

extern "C" void onStopSignal(int signal) {
  if (signalled.exchange(true)) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  stopTaking.store(true);
}

void installSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  // Calls that the signal interrupts in the drivers go on: the demand in hand
  // is finished, not failed.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader of the log that goes away is a failed write, not a silent death.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

/// A standard stream that the caller closed gets /dev/null opened the wrong
/// way round: the drivers then cannot take its number for a connection or a
/// database file (where the log would land), and using it fails as it would
/// have (EBADF).
void guardStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int placeholder = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (placeholder >= 0 && placeholder != fd) {
      ::dup2(placeholder, fd);
      ::close(placeholder);
    }
  }
}

/// The system's text for `error`; errno 0 means a stream failed without saying why.
std::string systemMessage(int error) {
  return error != 0 ? std::error_code(error, std::generic_category()).message() : "unknown error";
}

/// Reports a log that cannot be written, once, and stops the batch taking demands.
class LogFailure {
 public:
  explicit LogFailure(std::string logName) : logName_(std::move(logName)) {}

  void report(const std::string& reason) {
    const std::lock_guard lock(mutex_);
    stopTaking.store(true);
    if (reported_) return;
    reported_ = true;
    std::cerr << "lotsizing-batch: cannot write the log " << logName_ << ": " << reason << "\n" << std::flush;
  }
  bool reported() const {
    const std::lock_guard lock(mutex_);
    return reported_;
  }

 private:
  mutable std::mutex mutex_;
  std::string logName_;
  bool reported_ = false;
};

/// The keys to plan and the lines of the keys file that are none.
struct Selection {
  std::vector<std::string> keys;
  std::vector<RejectedLine> rejected;
};

/// Names the lines of the log that are no entry of it.
void reportMalformedLines(const std::string& logFile, const std::vector<std::size_t>& lines) {
  for (std::size_t i = 0; i < lines.size() && i < kMalformedLinesNamed; ++i) {
    std::cerr << "lotsizing-batch: the log " << logFile << ", line " << lines[i]
              << ": not an entry of the log, ignored\n";
  }
  if (lines.size() > kMalformedLinesNamed) {
    std::cerr << "lotsizing-batch: the log " << logFile << ": " << lines.size() - kMalformedLinesNamed
              << " more lines that are no entry of the log, ignored\n";
  }
}

/// The keys of the keys file, or else every key of `Bedarf`; then the shard
/// and what --resume leaves. Raises UsageError (the keys file) and
/// DatabaseError (the first connection, opened also for a keys file: no
/// connection, no batch).
Selection selectKeys(const BatchOptions& options, const OdbcEnvironment& environment,
                     const std::string& connectionString) {
  KeysFile file;
  if (options.keysFile) file = keysFrom(readKeysFile(*options.keysFile));
  {
    Connection first(environment, connectionString);
    if (!options.keysFile) file.keys = allDemandKeys(first);
  }
  if (options.shard) file = keysOfShard(file, *options.shard);
  if (options.resume) {
    std::ifstream log(*options.logFile);
    std::vector<std::size_t> malformed;
    file.keys = keysLeft(file.keys, keysDoneInLatestBatch(log, malformed));
    reportMalformedLines(*options.logFile, malformed);
  }
  return {std::move(file.keys), std::move(file.rejected)};
}

void reportJobsShort(const JobsShort& jobs) {
  std::cerr << "lotsizing-batch: only " << jobs.started << " of " << jobs.asked << " jobs could be started: "
            << jobs.reason << "; " << jobs.running << " of them plan, leaving memory for their connections\n";
}

void reportRejected(const std::vector<RejectedLine>& rejected, BatchLog& log) {
  for (const RejectedLine& line : rejected) {
    std::cerr << "lotsizing-batch: keys file line " << line.number << " rejected: " << jsonString(line.text) << " "
              << problemText(line.problem) << "\n";
    log.rejected(line);
  }
}

int runWith(const BatchOptions& options, std::ostream& logStream, LogFailure& logFailure) {
  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) {
    std::cerr << "lotsizing-batch: the ODBC environment cannot be set up\n";
    return kCannotRun;
  }
  const std::string connectionString = "DSN=" + options.dataSource;
  Selection selection;
  try {
    selection = selectKeys(options, *environment, connectionString);
  } catch (const DatabaseError& error) {
    std::cerr << "lotsizing-batch: no connection to " << options.dataSource << ": " << error.what() << "\n";
    return kCannotRun;
  }
  const std::vector<std::string>& keys = selection.keys;

  BatchLog log(logStream, options.json, [&](const std::string& reason) { logFailure.report(reason); });
  log.started(keys.size(), options.jobs, options.dryRun);
  reportRejected(selection.rejected, log);
  Progress progress(stderr, isatty(STDERR_FILENO) != 0, keys.size());
  const BatchRun run{connectionString, options.jobs, options.dryRun ? Storing::DryRun : Storing::Store};
  const auto logOutcome = [&](const DemandOutcome& outcome) {
    log.demand(outcome);
    progress.record(outcome.outcome);
  };
  const BatchSummary summary = runBatch(*environment, run, keys, stopTaking, logOutcome, reportJobsShort);
  progress.finish();
  log.summary(summary);
  if (log.failed()) {
    // What the log could not take: the summary goes to standard error instead.
    std::cerr << "lotsizing-batch: " << summaryText(summary) << "\n";
    return kLogNotWritten;
  }
  const bool allPlanned = summary.planned == keys.size() && selection.rejected.empty();
  return allPlanned ? kAllPlanned : kSomeNotPlanned;
}

/// Runs the batch with its log on standard output; checks the last flush.
int runToStandardOutput(const BatchOptions& options) {
  LogFailure failure("(standard output)");
  const int status = runWith(options, std::cout, failure);
  if (status == kCannotRun) return status;
  if (std::fflush(stdout) != 0 || ::close(STDOUT_FILENO) != 0) {
    failure.report(systemMessage(errno));
  }
  return failure.reported() ? kLogNotWritten : status;
}

/// Runs the batch with its log appended to `path`; checks the close.
int runToFile(const BatchOptions& options, const std::string& path) {
  std::ofstream file(path, std::ios::app);
  if (!file) {
    std::cerr << "lotsizing-batch: cannot append to the log " << path << ": " << systemMessage(errno) << "\n";
    return kCannotRun;
  }
  LogFailure failure(path);
  const int status = runWith(options, file, failure);
  if (status == kCannotRun) return status;
  errno = 0;
  file.close();
  if (!file) failure.report(systemMessage(errno));
  return failure.reported() ? kLogNotWritten : status;
}

int runProgram(int argc, char** argv) {
  guardStandardStreams();
  const std::string programName = argc > 0 && argv[0] ? argv[0] : "lotsizing-batch";
  BatchOptions options;
  try {
    options = parseBatchOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc),
                                std::thread::hardware_concurrency());
  } catch (const UsageError& error) {
    std::cerr << "lotsizing-batch: " << error.what() << "\n" << usageText(programName);
    return kCannotRun;
  }
  installSignalHandlers();
  try {
    return options.logFile ? runToFile(options, *options.logFile) : runToStandardOutput(options);
  } catch (const UsageError& error) {
    std::cerr << "lotsizing-batch: " << error.what() << "\n";
    return kCannotRun;
  }
}

}  // namespace

int runLotSizingBatch(int argc, char** argv) {
  // The last resort: whatever escapes (memory running out outside a demand,
  // say) ends the program with one line, not with an abort.
  try {
    return runProgram(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "lotsizing-batch: unexpected failure: out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << "lotsizing-batch: unexpected failure: " << withoutControlCharacters(error.what()) << "\n";
  } catch (...) {
    std::cerr << "lotsizing-batch: unexpected failure\n";
  }
  return kUnexpectedFailure;
}

}  // namespace mrp::batch
