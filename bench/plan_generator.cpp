#include "plan_generator.h"

#include <algorithm>
#include <random>

namespace mrp::bench {
namespace {

/// Entries of `code` from period 0 on, a new value every few periods.
template <typename Values>
void addTimeline(LoadedDemand& demand, std::mt19937& random, std::int32_t code, std::int32_t periods,
                 Values values) {
  std::uniform_int_distribution<std::int32_t> gap(1, std::max(1, periods / 8));
  for (std::int32_t period = 0; period < periods; period += gap(random)) {
    demand.parameters.push_back(ParameterEntry{period, code, values(random)});
  }
}

double uniform(std::mt19937& random, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(random);
}

}  // namespace

LoadedDemand generatedDemand(std::uint32_t seed, std::int32_t periods, std::int32_t duePerPeriod) {
  std::mt19937 random(seed);
  LoadedDemand demand;
  demand.demandKey = "BENCH";
  demand.headerFound = true;
  const std::int32_t length = std::uniform_int_distribution<std::int32_t>(1, 14)(random);
  const double start = 45292.0 + uniform(random, 0.0, 1.0);
  demand.startDate = start;
  demand.periodLength = length;
  demand.conversionFactors = {{kZinsJahr, 360.0, {}}, {kWaehrung, 1.0, {}}};

  // Grouped by code, ascending by period within a code: the loading's order.
  addTimeline(demand, random, kRuestKosten, periods, [](auto& r) { return uniform(r, 20, 500); });
  addTimeline(demand, random, kStueckKosten, periods, [](auto& r) { return uniform(r, 1, 100); });
  std::uniform_int_distribution<std::int32_t> grid(1, 12);
  addTimeline(demand, random, kLosRaster, periods, [&grid](auto& r) { return double(grid(r)); });
  addTimeline(demand, random, kKapitalbindungsZinssatz, periods, [](auto& r) { return uniform(r, 0, 0.2); });
  addTimeline(demand, random, kWagnisZinssatz, periods, [](auto& r) { return uniform(r, 0, 0.1); });

  const auto count = static_cast<std::int64_t>(periods) * duePerPeriod;
  std::vector<double> dates(static_cast<std::size_t>(count));
  for (double& date : dates) date = start + uniform(random, 0.0, static_cast<double>(periods) * length);
  std::sort(dates.begin(), dates.end());
  std::uniform_int_distribution<std::int32_t> quantity(-20, 400);
  demand.dueQuantities.reserve(dates.size());
  for (double date : dates) demand.dueQuantities.push_back(DueQuantity{date, quantity(random)});
  return demand;
}

}  // namespace mrp::bench
