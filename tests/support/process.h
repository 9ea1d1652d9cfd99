// Runs the built program as a child process and captures what it writes, for
// end-to-end tests of the exact console bytes.
//
// `runProgram` runs the program twice with the same arguments: once with
// standard output and standard error on separate pipes (`out`, `err`,
// `exitStatus`) and once with both on one pipe (`combined`), because only a
// shared pipe shows reliably in which order the two streams were written. The
// program is deterministic and a run of it idempotent, so both runs see the same
// database. Tests that must run the program exactly once use `runProgramOnce`.
// No shell is involved: arguments reach the program byte for byte.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

}  // namespace mrp::test
