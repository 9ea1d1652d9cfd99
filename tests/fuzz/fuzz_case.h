// One seed of the campaign: generate its database, work out what the run must
// do (plan_oracle.h), plan one demand with the built program, check the
// invariants (invariants.h) and the oracle, remove the database.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace mrp {
class OdbcEnvironment;
}

namespace mrp::fuzz {

/// The data source argument that makes the program open `file`.
std::string dataSourceFor(const std::filesystem::path& file);

struct CaseSetup {
  std::string program;                           // the built lotsizing
  std::string schema;                            // the text of sql/schema.sql
  std::filesystem::path folder;                  // where the case's database lives while it runs
  const OdbcEnvironment* environment = nullptr;  // the oracle's connections; must be set
  std::chrono::milliseconds timeLimit{10000};
};

struct CaseOutcome {
  std::uint64_t seed = 0;
  std::string runKey;
  int exitStatus = -1;
  bool timedOut = false;
  std::chrono::milliseconds elapsed{0};
  std::vector<std::string> violations;
};

CaseOutcome runCase(const CaseSetup& setup, std::uint64_t seed);

/// Runs the program, `argv` its arguments from argument 0 on, with standard
/// input /dev/null, under the case's time limit.
test::ChildResult runProgram(const CaseSetup& setup, std::vector<std::string> argv);

}  // namespace mrp::fuzz
