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
#include "batch/resume_log.h"
#include "cli/connection_string.h"
#include "cli/guarded_run.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_environment.h"
#include "db/session.h"
#include "planning_db/demand_keys.h"
#include "platform/character_locale.h"
#include "platform/text_encoding.h"

namespace mrp::batch {
namespace {

// The exit statuses, for a monitor to act on.
constexpr int kAllPlanned = 0;   // with or without warnings
constexpr int kSomeRefused = 1;  // for their data; none failed
constexpr int kCannotRun = 2;    // usage or setup: nothing was planned
constexpr int kSomeFailed = 3;   // or the log could not be written, or the database stayed away
constexpr int kSignalled = 128;  // plus the signal's number

/// Malformed lines of the log named one by one; beyond these, only counted.
constexpr std::size_t kMalformedLinesNamed = 10;

/// The first SIGINT or SIGTERM (0: none). The second ends the process at once
/// (the transactions still protect the rows).
std::atomic<int> signalled{0};
/// Set by a signal or a log that cannot be written: the workers finish the
/// demand in hand and take no more.
std::atomic<bool> stopTaking{false};

extern "C" void onStopSignal(int signal) {
  if (signalled.exchange(signal) != 0) {
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

/// The keys to plan, the lines of the keys file that are none, and how many
/// keys --resume left out as done.
struct Selection {
  std::vector<std::string> keys;
  std::vector<RejectedLine> rejected;
  std::size_t skipped = 0;
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
  // A database that cannot be reached yet (a server restarting) is waited for
  // as the workers wait for it.
  Session first(environment, connectionString, options.waitForDatabase, [] { return stopTaking.load(); });
  const Attempt attempt = first.run([&](Connection& connection) {
    if (!options.keysFile) file.keys = allDemandKeys(connection);
  });
  if (attempt.result != Attempt::Result::Done) throw *attempt.error;
  if (options.shard) file = keysOfShard(file, *options.shard);
  Selection selection{std::move(file.keys), std::move(file.rejected), 0};
  if (options.resume) {
    std::ifstream log(*options.logFile);
    std::vector<std::size_t> malformed;
    const std::size_t all = selection.keys.size();
    selection.keys = keysLeft(selection.keys, keysDoneInChain(log, malformed));
    selection.skipped = all - selection.keys.size();
    reportMalformedLines(*options.logFile, malformed);
  }
  return selection;
}

void reportJobsShort(const JobsShort& jobs) {
  std::cerr << "lotsizing-batch: only " << jobs.started << " of " << jobs.asked
            << " jobs could be started: " << jobs.reason << "; " << jobs.running
            << " of them plan, leaving memory for their connections\n";
}

void reportRejected(const std::vector<RejectedLine>& rejected, BatchLog& log) {
  for (const RejectedLine& line : rejected) {
    std::cerr << "lotsizing-batch: keys file line " << line.number << " rejected: " << jsonString(line.text)
              << " " << problemText(line.problem) << "\n";
    log.rejected(line);
  }
}

/// Why a batch left keys, for its summary.
std::string stopReason(const BatchSummary& summary, const BatchOptions& options, bool logFailed) {
  if (logFailed) return "the log could not be written";
  if (const int signal = signalled.load(); signal != 0) return signal == SIGINT ? "SIGINT" : "SIGTERM";
  if (summary.databaseUnreachable)
    return "the database could not be reached for " + std::to_string(options.waitForDatabase.count()) + " s";
  return "a worker failed";
}

/// The exit status of a batch that ran.
int exitStatus(const BatchSummary& summary, const Selection& selection, bool logFailed) {
  if (logFailed) return kSomeFailed;
  if (const int signal = signalled.load(); signal != 0 && summary.interrupted) return kSignalled + signal;
  if (summary.databaseUnreachable || summary.failed > 0) return kSomeFailed;
  if (summary.refused > 0 || !selection.rejected.empty()) return kSomeRefused;
  return kAllPlanned;
}

/// `word` as one word for a POSIX shell.
std::string shellWord(const std::string& word) {
  if (!word.empty() &&
      word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=./:,@%") ==
          std::string::npos)
    return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// After a batch that left keys: its summary and the command that goes on.
void reportInterruption(const BatchSummary& summary, const std::vector<std::string>& arguments,
                        const BatchOptions& options) {
  std::cerr << "lotsizing-batch: " << summaryText(summary) << "\n";
  if (!options.logFile) {
    std::cerr << "lotsizing-batch: the log went to standard output; with --log FILE a later --resume "
                 "goes on where this batch stopped\n";
    return;
  }
  std::string command;
  for (const std::string& argument : arguments) command += (command.empty() ? "" : " ") + shellWord(argument);
  if (!options.resume) command += " --resume";
  std::cerr << "lotsizing-batch: to go on: " << withoutControlCharacters(command) << "\n";
}

int runWith(const BatchOptions& options, const std::vector<std::string>& arguments, std::ostream& logStream,
            LogFailure& logFailure) {
  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) {
    std::cerr << "lotsizing-batch: the ODBC environment cannot be set up\n";
    return kCannotRun;
  }
  const std::string connectionString = connectionStringFor(options.dataSource);
  Selection selection;
  try {
    selection = selectKeys(options, *environment, connectionString);
  } catch (const DatabaseError& error) {
    std::cerr << "lotsizing-batch: no connection to " << options.dataSource << ": " << error.what() << "\n";
    return kCannotRun;
  }
  const std::vector<std::string>& keys = selection.keys;

  BatchLog log(logStream, options.json, [&](const std::string& reason) { logFailure.report(reason); });
  log.started({keys.size(), options.jobs, options.dryRun, options.resume, selection.skipped});
  reportRejected(selection.rejected, log);
  const bool logOnTerminal = !options.logFile && sameTerminal(STDOUT_FILENO, STDERR_FILENO);
  Progress progress(stderr, isatty(STDERR_FILENO) != 0, keys.size(), logOnTerminal);
  BatchRun run{connectionString, options.jobs, options.dryRun ? Storing::DryRun : Storing::Store};
  run.waitForDatabase = options.waitForDatabase;
  const auto logOutcome = [&](const DemandOutcome& outcome) {
    progress.record(outcome.outcome, [&] { log.demand(outcome); });
  };
  BatchSummary summary = runBatch(*environment, run, keys, stopTaking, logOutcome, reportJobsShort);
  progress.finish();
  if (summary.interrupted) summary.stopReason = stopReason(summary, options, log.failed());
  log.summary(summary);
  if (log.failed()) {
    // What the log could not take: the summary goes to standard error instead.
    std::cerr << "lotsizing-batch: " << summaryText(summary) << "\n";
  } else if (summary.interrupted) {
    reportInterruption(summary, arguments, options);
  }
  return exitStatus(summary, selection, log.failed());
}

/// Runs the batch with its log on standard output; checks the last flush.
int runToStandardOutput(const BatchOptions& options, const std::vector<std::string>& arguments) {
  LogFailure failure("(standard output)");
  const int status = runWith(options, arguments, std::cout, failure);
  if (status == kCannotRun) return status;
  if (std::fflush(stdout) != 0 || ::close(STDOUT_FILENO) != 0) {
    failure.report(systemMessage(errno));
  }
  return failure.reported() ? kSomeFailed : status;
}

/// Runs the batch with its log appended to `path`; checks the close.
int runToFile(const BatchOptions& options, const std::vector<std::string>& arguments,
              const std::string& path) {
  std::ofstream file(path, std::ios::app);
  if (!file) {
    std::cerr << "lotsizing-batch: cannot append to the log " << path << ": " << systemMessage(errno) << "\n";
    return kCannotRun;
  }
  LogFailure failure(path);
  const int status = runWith(options, arguments, file, failure);
  if (status == kCannotRun) return status;
  errno = 0;
  file.close();
  if (!file) failure.report(systemMessage(errno));
  return failure.reported() ? kSomeFailed : status;
}

int runProgram(int argc, char** argv) {
  guardStandardStreams();
  // Drivers convert texts in the locale that the environment names; cron and
  // systemd name none.
  requireUtf8CharacterType();
  const std::string programName = argc > 0 && argv[0] ? argv[0] : "lotsizing-batch";
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  BatchOptions options;
  try {
    options = parseBatchOptions(arguments, std::thread::hardware_concurrency());
  } catch (const UsageError& error) {
    std::cerr << "lotsizing-batch: " << error.what() << "\n" << usageText(programName);
    return kCannotRun;
  }
  if (options.help || options.version) {
    std::cout << (options.help ? usageText(programName) : versionText()) << std::flush;
    return std::cout ? kAllPlanned : kCannotRun;
  }
  installSignalHandlers();
  std::vector<std::string> command = {programName};
  command.insert(command.end(), arguments.begin(), arguments.end());
  try {
    return options.logFile ? runToFile(options, command, *options.logFile)
                           : runToStandardOutput(options, command);
  } catch (const UsageError& error) {
    std::cerr << "lotsizing-batch: " << error.what() << "\n";
    return kCannotRun;
  }
}

}  // namespace

int runLotSizingBatch(int argc, char** argv) {
  // The last resort: whatever escapes (memory running out outside a demand,
  // say) ends the program with one line, not with an abort.
  return runGuarded(
      [&] { return runProgram(argc, argv); },
      [](const Failure& failure) {
        std::cerr << "lotsizing-batch: unexpected failure: "
                  << (failure.kind == Failure::Kind::OutOfMemory ? "out of memory" : failure.text) << "\n";
        return kSomeFailed;
      });
}

}  // namespace mrp::batch
