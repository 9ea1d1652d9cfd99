// Runs a program as a child process with a time limit, capturing both of its
// output streams separately. No shell is involved: arguments reach the program
// byte for byte. The child inherits this process's environment (ODBCINI among
// it) and reads standard input from /dev/null.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace mrp::fuzz {

struct ChildRun {
  std::string out;               // standard output
  std::string err;               // standard error
  int exitStatus = -1;           // the exit code, or 128 + signal number when killed
  bool timedOut = false;         // killed after the time limit
  std::chrono::milliseconds elapsed{0};
};

/// Runs `program` with argument 0 `argv[0]` and the rest of `argv`; kills it
/// with SIGKILL once `limit` has passed.
ChildRun runChild(const std::string& program, const std::vector<std::string>& argv, std::chrono::milliseconds limit);

}  // namespace mrp::fuzz
