#include "support/reference_engine.h"

#include <cmath>
#include <cstdint>

namespace mrp::test {

std::int32_t periodIndex(const DemandPlan& plan, OleDate date) {
  const std::int32_t length = *plan.periodLength;
  double start = *plan.startDate;
  std::int32_t index = 0;
  while (start + length <= date) {
    start = start + length;
    ++index;
  }
  return index;
}

OleDate periodStart(const DemandPlan& plan, std::int32_t index) {
  double day = *plan.startDate;
  for (std::int32_t k = 0; k < index; ++k) day = day + *plan.periodLength;
  return day;
}

double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code,
                      std::int32_t period) {
  double result = 0.0;
  for (const ParameterEntry& entry : entries) {
    if (entry.code != code) continue;
    if (entry.period > period) break;
    result = entry.value;
  }
  return result;
}

CostMatrix::CostMatrix(std::size_t n)
    : n_(n), values_(std::make_unique_for_overwrite<double[]>(n * n)) {}

CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                           double interestYear, double periodLength) {
  const std::size_t n = periods.size();
  CostMatrix matrix(n);
  std::vector<double> rates(n);
  for (std::size_t t = 0; t < n; ++t) {
    rates[t] = table.at(t, kWagnisZinssatz) + table.at(t, kKapitalbindungsZinssatz);
  }
  // The minimum of each column over the rows filled so far, kept as the rows
  // come: the diagonal of the next row needs the one of the column before.
  std::vector<double> columnMinimum(n);
  for (std::size_t i = 0; i < n; ++i) {
    double* row = matrix.row(i);
    const double setupCost = table.at(i, kRuestKosten);
    row[i] = i == 0 ? setupCost : columnMinimum[i - 1] + setupCost;
    const double holdingPerUnit = table.at(i, kStueckKosten) / interestYear;
    // S of an entry is that of its left neighbour plus one rate: the same
    // additions in the same order as summing afresh.
    double rateSum = 0.0;
    for (std::size_t l = i + 1; l < n; ++l) {
      rateSum += rates[l - 1];
      row[l] = row[l - 1] + ((periods[l].demand * holdingPerUnit) * periodLength) * rateSum;
    }
    for (std::size_t l = i; l < n; ++l) {
      if (i == 0 || columnMinimum[l] > row[l]) columnMinimum[l] = row[l];
    }
  }
  for (std::size_t l = 0; l < n; ++l) {
    periods[l].orderPeriod = selectOrderPeriod(matrix, static_cast<std::int32_t>(l));
  }
  return matrix;
}

bool assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix) {
  bool storable = true;
  for (auto last = static_cast<std::int32_t>(periods.size()) - 1; last >= 0;) {
    const std::int32_t order = periods[last].orderPeriod;
    std::int64_t lot = 0;
    for (std::int32_t t = last; t >= order; --t) {
      periods[t].lotSize = 0;
      periods[t].cost = 0.0;
      lot += periods[t].demand;
    }
    const double before =
        order == 0 ? 0.0 : matrix.at(static_cast<std::size_t>(periods[order - 1].orderPeriod), order - 1);
    periods[order].cost = matrix.at(static_cast<std::size_t>(order), last) - before;
    if (lot >= INT32_MIN && lot <= INT32_MAX) {
      periods[order].lotSize = static_cast<std::int32_t>(lot);
    } else {
      storable = false;
    }
    if (!std::isfinite(periods[order].cost)) storable = false;
    last = order - 1;
  }
  return storable;
}

std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period) {
  std::int32_t order = 0;
  double minimum = matrix.at(0, period);
  for (std::int32_t i = 0; i <= period; ++i) {
    // Strict: on equal costs the earliest order period stays; NaN never wins.
    if (minimum > matrix.at(i, period)) {
      order = i;
      minimum = matrix.at(i, period);
    }
  }
  return order;
}

}  // namespace mrp::test
