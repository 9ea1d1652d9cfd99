// Engine mode: the engine on generated demands, no database.
//
//   lotsizing_bench engine [--due-per-period D] [--seed S]
//       runs 1,000, 5,000 and 10,000 periods, each in a fresh child process
//   lotsizing_bench engine --periods N [--due-per-period D] [--seed S]
//       runs one size in this process
//
// Per size: milliseconds for bucketing with rounding (including the checks),
// the period cost table, the cost matrix, the lot assignment and their total,
// and the peak resident memory, also as growth over the generated plan.
#include <cstdio>
#include <iostream>

#include "bench_modes.h"
#include "lotsizing/bucketing.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"
#include "lotsizing/wagner_whitin.h"
#include "plan_generator.h"

namespace mrp::bench {
namespace {

constexpr std::int32_t kSizes[] = {1'000, 5'000, 10'000};

void printHeader(std::int32_t duePerPeriod) {
  std::printf("engine: a generated demand, %d due quantities per period\n", duePerPeriod);
  std::printf("%8s %10s %12s %12s %12s %10s %10s %10s %10s\n", "periods", "due", "bucket ms",
              "table ms", "matrix ms", "lots ms", "total ms", "peak MiB", "growth MiB");
  std::fflush(stdout);
}

int runOneSize(std::int32_t periods, std::int32_t duePerPeriod, std::uint32_t seed) {
  const DemandPlan demand = generatedDemand(seed, periods, duePerPeriod);
  const double baseline = peakResidentMiB();

  Stopwatch watch;
  PlanProblems problems = checkPlannable(demand);
  std::vector<PlanningPeriod> planned = createRoundedPeriods(demand, problems);
  const double bucketing = watch.lap();
  const PeriodCostTable costs(demand.parameters, planned.size());
  const double table = watch.lap();
  const CostMatrix costMatrix =
      buildCostMatrix(planned, costs, demand.factorFor(kZinsJahr), *demand.periodLength);
  const double matrix = watch.lap();
  assignLots(planned, costMatrix, problems);
  const double lots = watch.lap();
  const double peak = peakResidentMiB();
  if (problems.any()) {
    std::fprintf(stderr, "engine: the generated demand was refused\n");
    return 1;
  }

  std::printf("%8zu %10zu %12.2f %12.2f %12.2f %10.2f %10.2f %10.1f %10.1f\n", planned.size(),
              demand.dueQuantities.size(), bucketing, table, matrix, lots,
              bucketing + table + matrix + lots, peak, peak - baseline);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int runEngineMode(const Arguments& args) {
  const auto duePerPeriod = static_cast<std::int32_t>(std::stol(option(args, "--due-per-period", "20")));
  const std::string seed = option(args, "--seed", "1");
  if (hasFlag(args, "--periods")) {
    if (!hasFlag(args, "--no-header")) printHeader(duePerPeriod);
    return runOneSize(static_cast<std::int32_t>(std::stol(option(args, "--periods", "0"))), duePerPeriod,
                      static_cast<std::uint32_t>(std::stoul(seed)));
  }
  printHeader(duePerPeriod);
  int status = 0;
  for (std::int32_t size : kSizes) {
    const int child = runChild({"engine", "--periods", std::to_string(size), "--due-per-period",
                                std::to_string(duePerPeriod), "--seed", seed, "--no-header"});
    if (child != 0) {
      std::fprintf(stderr, "engine: %d periods failed (status %d)\n", size, child);
      status = 1;
    }
  }
  return status;
}

}  // namespace mrp::bench
