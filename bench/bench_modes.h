// The modes of lotsizing_bench and what they share.
//
// `lotsizing_bench <mode> [options]` runs one mode. A mode measures wall time
// per phase with a steady clock and the peak resident memory of the process
// (ru_maxrss). To keep one size's memory from hiding another's, a mode runs
// every size in a fresh child process (this program again, with options that
// name the one size). Adding a mode: write bench/<mode>_mode.cpp with its entry
// function, declare it below and add its row to kBenchModes.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace mrp {
class Connection;
}

namespace mrp::bench {

using Arguments = std::vector<std::string>;

/// The engine alone on generated demands of 1,000 to 200,000 periods, beside
/// the whole cost matrix of the tests' reference engine, as the engine was
/// before it dropped the matrix.
int runEngineMode(const Arguments& args);
/// A whole run (load, compute, store) on a generated SQLite database over ODBC.
int runRunMode(const Arguments& args);
/// A whole run on PostgreSQL beside a plain loop that only fetches the rows.
int runPostgresMode(const Arguments& args);
/// lotsizing-batch over a whole database beside the plain ODBC floor, on SQLite, PostgreSQL and MariaDB.
int runBatchMode(const Arguments& args);

/// The floor of a batch: a plain ODBC program that reads every input row once
/// and writes a number of lots (--connection STRING --lots N --demands N).
int runFloorMode(const Arguments& args);

struct BenchMode {
  std::string_view name;
  std::string_view summary;
  int (*run)(const Arguments& args);
};

inline constexpr BenchMode kBenchModes[] = {
    {"engine", "the engine alone: compute on generated plans, per phase", runEngineMode},
    {"run", "a whole run on SQLite through ODBC: load, compute, store", runRunMode},
    {"postgres", "a whole run on PostgreSQL beside a plain SQLGetData fetch loop", runPostgresMode},
    {"batch", "lotsizing-batch beside the plain ODBC floor, on SQLite, PostgreSQL and MariaDB",
     runBatchMode},
    {"floor", "a plain ODBC program that reads every input row once and writes as many lots", runFloorMode},
};

/// Runs a statement without parameters on `connection`.
void execute(Connection& connection, const std::string& statement);
/// The statements of a schema file of sql/, one by one.
std::vector<std::string> schemaStatements(const std::string& file = "schema.sql");

/// Milliseconds since construction or the last `lap`, restarting the clock.
class Stopwatch {
 public:
  double lap();

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

/// Peak resident memory of this process so far, in MiB.
double peakResidentMiB();

/// Runs this program again with `args` (mode and options) and waits for it;
/// its output goes to ours, or into `output` when given. Returns its exit
/// status (1 when it did not exit).
int runChild(const Arguments& args, std::string* output = nullptr);

/// The value after `--name` in `args`, or `fallback`.
std::string option(const Arguments& args, std::string_view name, std::string_view fallback);
bool hasFlag(const Arguments& args, std::string_view name);

}  // namespace mrp::bench
