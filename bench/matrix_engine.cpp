#include "matrix_engine.h"

#include <cmath>
#include <cstdint>
#include <memory>

#include "demand/parameter_code.h"

namespace mrp::bench {
namespace {

void fillRow(double* row, std::size_t i, std::size_t n, double holdingPerUnit, double length,
             const std::vector<double>& quantities, const std::vector<double>& rates) {
  double rateSum = 0.0;
  double cost = row[i];
  for (std::size_t l = i + 1; l < n; ++l) {
    rateSum += rates[l - 1];
    cost = cost + ((quantities[l] * holdingPerUnit) * length) * rateSum;
    row[l] = cost;
  }
}

}  // namespace

bool planWithCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                        double interestYear, double periodLength) {
  const std::size_t n = periods.size();
  const auto matrix = std::make_unique_for_overwrite<double[]>(n * n);
  std::vector<double> rates(n);
  std::vector<double> quantities(n);
  for (std::size_t t = 0; t < n; ++t) {
    rates[t] = table.at(t, kWagnisZinssatz) + table.at(t, kKapitalbindungsZinssatz);
    quantities[t] = periods[t].demand;
  }
  std::vector<double> columnMinimum(n);
  for (std::size_t i = 0; i < n; ++i) {
    double* row = &matrix[i * n];
    const double setupCost = table.at(i, kRuestKosten);
    row[i] = i == 0 ? setupCost : columnMinimum[i - 1] + setupCost;
    fillRow(row, i, n, table.at(i, kStueckKosten) / interestYear, periodLength, quantities, rates);
    for (std::size_t l = i; l < n; ++l) {
      if (i == 0 || columnMinimum[l] > row[l]) {
        columnMinimum[l] = row[l];
        periods[l].orderPeriod = static_cast<std::int32_t>(i);
      }
    }
  }
  bool storable = true;
  for (auto last = static_cast<std::int64_t>(n) - 1; last >= 0;) {
    const std::int32_t order = periods[last].orderPeriod;
    std::int64_t lot = 0;
    for (std::int64_t t = last; t >= order; --t) {
      periods[t].lotSize = 0;
      periods[t].cost = 0.0;
      lot += periods[t].demand;
    }
    const double before =
        order == 0 ? 0.0 : matrix[static_cast<std::size_t>(periods[order - 1].orderPeriod) * n + order - 1];
    periods[order].cost = matrix[static_cast<std::size_t>(order) * n + last] - before;
    periods[order].lotSize = static_cast<std::int32_t>(lot);
    storable = storable && lot <= INT32_MAX && std::isfinite(periods[order].cost);
    last = order - 1;
  }
  return storable;
}

}  // namespace mrp::bench
