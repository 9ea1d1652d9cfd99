// Starting child processes from the tests: the built program, for end-to-end
// tests of the exact console bytes, and the database command-line clients.
// No shell is involved: arguments reach the child byte for byte.
//
// `runProgram` runs the program twice with the same arguments: once with
// standard output and standard error on separate pipes (`out`, `err`,
// `exitStatus`) and once with both on one pipe (`combined`), because only a
// shared pipe shows reliably in which order the two streams were written. The
// program is deterministic and a run of it idempotent, so both runs see the same
// database. Tests that must run the program exactly once use `runProgramOnce`.
//
// Every function here that waits for a child throws std::runtime_error when the
// child cannot be started or waited for.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace mrp::test {

struct RunResult {
  std::string out;       // standard output
  std::string err;       // standard error
  std::string combined;  // both streams through one pipe, in write order
  int exitStatus = -1;   // the exit code, or 128 + signal number when killed
};

/// Variables set (or replaced) in the child's environment; the rest of the
/// test's environment (ODBCINI among it) is inherited.
using EnvironmentOverrides = std::vector<std::pair<std::string, std::string>>;

enum class Capture {
  Separate,  // fills out and err
  Combined,  // fills combined
};

/// Runs LOTSIZING_BINARY with `args` (behind the program name) twice, see above.
RunResult runProgram(const std::vector<std::string>& args, const EnvironmentOverrides& env = {});

/// Runs the program once. `programName` becomes argument 0 (empty: the binary's
/// path). Fills the fields that `capture` names and exitStatus.
RunResult runProgramOnce(const std::vector<std::string>& args, Capture capture,
                         const EnvironmentOverrides& env = {}, const std::string& programName = {});

/// The path of the built program.
std::string programPath();

/// Runs `argv` to its end with `input` as its whole standard input; its
/// standard output lands in `out`, its standard error in `err`. argv[0] is
/// looked up in PATH unless it contains a '/'.
RunResult runCommand(const std::vector<std::string>& argv, std::string_view input = {},
                     const EnvironmentOverrides& env = {});

/// A child that keeps running between requests, such as an interactive
/// database client: each `exchange` writes a request to its standard input and
/// reads its standard output up to an end mark that the request makes it print.
/// The destructor closes the child's standard input and waits for it to end
/// (it kills it when it does not end within a few seconds).
class Coprocess {
 public:
  /// Starts `argv` like runCommand.
  explicit Coprocess(const std::vector<std::string>& argv, const EnvironmentOverrides& env = {});
  ~Coprocess();
  Coprocess(const Coprocess&) = delete;
  Coprocess& operator=(const Coprocess&) = delete;

  struct Reply {
    std::string out;      // standard output up to the end mark, without it
    std::string err;      // standard error written meanwhile
    bool ended = false;   // the child ended before the end mark came
    int exitStatus = -1;  // when ended: as in RunResult
  };
  /// Writes `request`, then reads until standard output ends with `endMark`.
  /// Throws std::runtime_error when `timeout` passes first; the child is killed
  /// then. Once ended (or killed), a Coprocess takes no more requests.
  Reply exchange(std::string_view request, std::string_view endMark,
                 std::chrono::milliseconds timeout);
  bool running() const noexcept { return pid_ > 0; }

 private:
  void stop() noexcept;

  pid_t pid_ = -1;
  pid_t owner_ = -1;  // the process that started the child (not a forked copy)
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;
};

}  // namespace mrp::test
