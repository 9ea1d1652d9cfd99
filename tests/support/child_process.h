// Child processes for the tests, the fuzz campaign and the benchmark: the
// built programs, the database command-line clients, the benchmark itself
// again. No shell is involved: arguments reach the child byte for byte.
//
// A child's pipes are made close-on-exec, so that children started at the same
// time by other threads never hold them open, and are all served together with
// poll: a child filling one of them never blocks while another is written or
// read. Everything here that starts or waits for a child throws
// std::runtime_error when that fails.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mrp::test {

/// A file descriptor, closed by the destructor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) noexcept : fd_(fd) {}
  ~Fd() { close(); }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }

  int get() const noexcept { return fd_; }
  bool open() const noexcept { return fd_ >= 0; }
  int release() noexcept { return std::exchange(fd_, -1); }
  void close() noexcept;

 private:
  int fd_ = -1;
};

/// Variables set (or replaced) in the child's environment.
using EnvironmentOverrides = std::vector<std::pair<std::string, std::string>>;

/// What one standard stream of the child is connected to.
struct Stream {
  enum class Kind { Pipe, Inherited, Closed, Descriptor, File, IntoOutput };
  Kind kind = Kind::Pipe;
  int fd = -1;       // of Kind::Descriptor
  std::string path;  // of Kind::File

  /// Input: ChildOptions::input is written to it, then it is closed. Output:
  /// captured into ChildResult.
  static Stream pipe() { return {}; }
  /// This process's stream of the same number.
  static Stream inherited() { return {Kind::Inherited, -1, {}}; }
  static Stream closed() { return {Kind::Closed, -1, {}}; }
  /// `fd`, which the caller keeps open and closes.
  static Stream descriptor(int number) { return {Kind::Descriptor, number, {}}; }
  /// Input: the file read. Output: the file, created or truncated.
  static Stream file(std::string path) { return {Kind::File, -1, std::move(path)}; }
  static Stream null() { return file("/dev/null"); }
  /// Standard error only: wherever standard output goes. With a piped standard
  /// output both land in ChildResult::combined, in the order they were written.
  static Stream intoOutput() { return {Kind::IntoOutput, -1, {}}; }
};

struct ChildOptions {
  /// argv[0] is the name the child sees.
  std::vector<std::string> argv;
  /// The file to run; empty: argv[0]. Looked up in PATH unless it contains a '/'.
  std::string program;
  Stream in = Stream::pipe();
  /// The whole standard input, for a piped one.
  std::string input;
  Stream out = Stream::pipe();
  Stream err = Stream::pipe();
  /// Applied to this process's environment, or the child's whole environment
  /// with `replaceEnvironment`.
  EnvironmentOverrides environment;
  bool replaceEnvironment = false;
  /// When it passes, the child and whatever it started are killed: with a time
  /// limit the child leads a process group of its own.
  std::optional<std::chrono::milliseconds> timeLimit;
};

struct ChildResult {
  std::string out;        // piped standard output
  std::string err;        // piped standard error
  std::string combined;   // piped standard output with standard error in it (Stream::intoOutput)
  int exitStatus = -1;    // the exit code, or 128 + the number of the signal that ended it
  int signal = 0;         // the signal that ended it; 0 when it exited
  bool timedOut = false;  // killed after the time limit
  std::chrono::milliseconds elapsed{0};
  long peakKilobytes = 0;  // the child's largest resident set
};

/// A started child. The destructor kills (its process group, when it leads
/// one) and reaps a child that nobody waited for, so that no child outlives a
/// test that gave up on it by an exception.
class Child {
 public:
  explicit Child(const ChildOptions& options);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const noexcept { return pid_; }
  void signal(int number) const;
  /// Writes the input, reads the piped outputs to their end and waits for the
  /// child to end. Once only.
  ChildResult wait();

 private:
  friend class Coprocess;

  void kill() const noexcept;
  /// Waits for the end (killing the child when `deadline` passes first); the
  /// exit status and signal go into `result`.
  void reap(ChildResult& result, std::optional<std::chrono::steady_clock::time_point> deadline);

  pid_t pid_ = -1;
  pid_t owner_ = -1;  // the process that started the child (not a forked copy of it)
  bool ownGroup_ = false;
  bool combined_ = false;
  std::string input_;
  std::optional<std::chrono::milliseconds> timeLimit_;
  std::chrono::steady_clock::time_point started_;
  Fd in_;  // our ends of the pipes
  Fd out_;
  Fd err_;
};

/// Starts the child and waits for its end.
ChildResult runChild(const ChildOptions& options);

/// A child that keeps running between requests, such as an interactive
/// database client: each `exchange` writes a request to its standard input and
/// reads its standard output up to an end mark that the request makes it print.
/// The destructor closes the child's standard input and waits for it to end
/// (it kills it when it does not end within a few seconds).
class Coprocess {
 public:
  /// Starts `argv` (argv[0] looked up in PATH unless it contains a '/').
  explicit Coprocess(const std::vector<std::string>& argv, const EnvironmentOverrides& env = {});
  ~Coprocess();
  Coprocess(const Coprocess&) = delete;
  Coprocess& operator=(const Coprocess&) = delete;

  struct Reply {
    std::string out;      // standard output up to the end mark, without it
    std::string err;      // standard error written meanwhile
    bool ended = false;   // the child ended before the end mark came
    int exitStatus = -1;  // when ended: as in ChildResult
  };
  /// Writes `request`, then reads until standard output ends with `endMark`.
  /// Throws std::runtime_error when `timeout` passes first; the child is killed
  /// then. Once ended (or killed), a Coprocess takes no more requests.
  Reply exchange(std::string_view request, std::string_view endMark, std::chrono::milliseconds timeout);
  bool running() const noexcept { return child_.has_value(); }

 private:
  std::optional<Child> child_;
};

}  // namespace mrp::test
