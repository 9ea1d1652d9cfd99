// Engine mode: the engine on generated demands, no database, beside the
// matrix engine it replaced: the whole n x n cost matrix of the tests'
// reference engine (tests/support/reference_engine.h).
//
//   lotsizing_bench engine [--due-per-period D] [--seed S] [--repeat R]
//       runs 1,000 to 200,000 periods, each engine and size in a fresh child
//       process, and prints the ratio of the two engines' times
//   lotsizing_bench engine --periods N --engine linear|matrix [...]
//       runs one size with one engine in this process
//
// Per size and engine: milliseconds for bucketing with rounding (including the
// checks), the period cost table, the programme (order periods and lots) and
// their total, the median of R runs, and the peak resident memory, also as
// growth over the generated demand.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench_modes.h"
#include "lotsizing/bucketing.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"
#include "lotsizing/wagner_whitin.h"
#include "plan_generator.h"
#include "support/reference_engine.h"

namespace mrp::bench {
namespace {

constexpr std::int32_t kSizes[] = {1'000, 5'000, 10'000, 20'000, 50'000, 200'000};
/// The matrix engine needs n * n doubles: above this it does not fit.
constexpr std::int32_t kLargestMatrix = 20'000;

struct Timings {
  double bucketing = 0.0;
  double table = 0.0;
  double programme = 0.0;
  double total() const { return bucketing + table + programme; }
};

/// One run of the engine: false when the generated demand was refused.
bool runOnce(const LoadedDemand& demand, bool matrix, Timings& timings) {
  Stopwatch watch;
  PlanProblems problems = checkPlannable(demand);
  std::vector<PlanningPeriod> periods = createRoundedPeriods(demand, problems);
  timings.bucketing = watch.lap();
  const PeriodCostTable costs(demand.parameters, periods.size());
  timings.table = watch.lap();
  const double z = demand.factorFor(kZinsJahr);
  bool storable = true;
  if (matrix) {
    const test::CostMatrix matrixOfCosts = test::buildCostMatrix(periods, costs, z, *demand.periodLength);
    storable = !test::assignLots(periods, matrixOfCosts).any();
  } else {
    assignLots(periods, cheapestPlanCosts(periods, costs, z, *demand.periodLength), problems);
  }
  timings.programme = watch.lap();
  return storable && !problems.any();
}

int runOneSize(std::int32_t periods, std::int32_t duePerPeriod, std::uint32_t seed, bool matrix, int repeat) {
  const LoadedDemand demand = generatedDemand(seed, periods, duePerPeriod);
  const double baseline = peakResidentMiB();
  std::vector<Timings> runs(static_cast<std::size_t>(repeat));
  for (Timings& run : runs) {
    if (!runOnce(demand, matrix, run)) {
      std::fprintf(stderr, "engine: the generated demand was refused\n");
      return 1;
    }
  }
  std::sort(runs.begin(), runs.end(),
            [](const Timings& a, const Timings& b) { return a.total() < b.total(); });
  const Timings& median = runs[runs.size() / 2];
  const double peak = peakResidentMiB();
  std::printf("%8d %7s %10zu %10.2f %10.2f %12.2f %12.2f %9.1f %9.1f\n", periods,
              matrix ? "matrix" : "linear", demand.dueQuantities.size(), median.bucketing, median.table,
              median.programme, median.total(), peak, peak - baseline);
  std::fflush(stdout);
  return 0;
}

/// The total milliseconds of a child's result line (its eighth field).
double totalOf(const std::string& line) {
  std::istringstream fields(line);
  std::string field;
  for (int i = 0; i < 7 && fields >> field; ++i) {
  }
  return std::stod(field);
}

}  // namespace

int runEngineMode(const Arguments& args) {
  const auto duePerPeriod = static_cast<std::int32_t>(std::stol(option(args, "--due-per-period", "20")));
  const std::string seed = option(args, "--seed", "1");
  const std::string repeat = option(args, "--repeat", "3");
  if (hasFlag(args, "--periods")) {
    return runOneSize(static_cast<std::int32_t>(std::stol(option(args, "--periods", "0"))), duePerPeriod,
                      static_cast<std::uint32_t>(std::stoul(seed)),
                      option(args, "--engine", "linear") == "matrix", std::stoi(repeat));
  }
  std::printf("engine: a generated demand, %d due quantities per period, median of %s runs\n", duePerPeriod,
              repeat.c_str());
  std::printf("%8s %7s %10s %10s %10s %12s %12s %9s %9s\n", "periods", "engine", "due", "bucket ms",
              "table ms", "programme ms", "total ms", "peak MiB", "growth");
  std::fflush(stdout);
  int status = 0;
  for (std::int32_t size : kSizes) {
    std::vector<std::string> lines;
    for (const char* engine : {"matrix", "linear"}) {
      if (std::string(engine) == "matrix" && size > kLargestMatrix) continue;
      std::string output;
      const int child =
          runChild({"engine", "--periods", std::to_string(size), "--engine", engine, "--due-per-period",
                    std::to_string(duePerPeriod), "--seed", seed, "--repeat", size > 50'000 ? "1" : repeat},
                   &output);
      std::fputs(output.c_str(), stdout);
      if (child != 0) {
        std::fprintf(stderr, "engine: %d periods with the %s engine failed (status %d)\n", size, engine,
                     child);
        status = 1;
      } else {
        lines.push_back(output);
      }
    }
    if (lines.size() == 2) {
      std::printf("%8d   the linear engine takes %.4f of the matrix engine's time\n", size,
                  totalOf(lines[1]) / totalOf(lines[0]));
    }
    std::fflush(stdout);
  }
  return status;
}

}  // namespace mrp::bench
