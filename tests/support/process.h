// The built programs and the command-line tools, run from the tests
// (child_process.h does the work).
//
// `runProgram` runs the program twice with the same arguments: once with
// standard output and standard error on separate pipes (`out`, `err`,
// `exitStatus`) and once with both on one pipe (`combined`), because only a
// shared pipe shows reliably in which order the two streams were written. The
// program is deterministic and a run of it idempotent, so both runs see the same
// database. Tests that must run the program exactly once use `runProgramOnce`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"

namespace mrp::test {

using RunResult = ChildResult;

enum class Capture {
  Separate,  // fills out and err
  Combined,  // fills combined
};

/// Runs LOTSIZING_BINARY with `args` (behind the program name) twice, see above.
RunResult runProgram(const std::vector<std::string>& args, const EnvironmentOverrides& env = {});

/// Runs the program once, its standard input the test's. `programName` becomes
/// argument 0 (empty: the binary's path). Fills the fields that `capture` names
/// and exitStatus.
RunResult runProgramOnce(const std::vector<std::string>& args, Capture capture,
                         const EnvironmentOverrides& env = {}, const std::string& programName = {});

/// The path of the built program.
std::string programPath();

/// Runs `argv` to its end with `input` as its whole standard input; its
/// standard output lands in `out`, its standard error in `err`. argv[0] is
/// looked up in PATH unless it contains a '/'.
RunResult runCommand(const std::vector<std::string>& argv, std::string_view input = {},
                     const EnvironmentOverrides& env = {});

}  // namespace mrp::test
