// The Wagner-Whitin cost matrix, the choice of order periods and the lots.
//
// Entry M[i][l] (i <= l) is the cost of the cheapest plan for periods 0 to l
// whose last lot is ordered in period i and covers periods i to l. Each entry
// is computed with a fixed order of floating-point operations, so results are
// reproducible to the bit: M[i][l] = M[i][l-1] + ((q_l * (u_i / Z)) * L) * S
// with S = 0.0 + r_i + ... + r_(l-1), r_t = column 4 + column 3 of the table.
// Filling costs O(n^2) time and n^2 doubles.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "demand/demand_plan.h"
#include "lotsizing/plan_checks.h"

namespace mrp {
namespace {

double tableValue(const DemandPlan& plan, std::size_t period, std::int32_t code) {
  return plan.periodCostTable[period * kParameterCodes + code];
}

/// r_t: the interest rates charged for stock held over period t.
std::vector<double> holdingRates(const DemandPlan& plan) {
  std::vector<double> rates(plan.periods.size());
  for (std::size_t t = 0; t < rates.size(); ++t) {
    rates[t] = tableValue(plan, t, kWagnisZinssatz) + tableValue(plan, t, kKapitalbindungsZinssatz);
  }
  return rates;
}

/// Fills M[i][i+1..n-1] from the diagonal entry M[i][i]. The rate sum S of an
/// entry is that of its left neighbour plus one rate: the same additions in
/// the same order as summing afresh, so the same bits.
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

/// A lot that cannot be stored: its size or its cost is out of range.
struct BadLot {
  std::int32_t period;
  std::int64_t size;
  double cost;
};

}  // namespace

double DemandPlan::selectOrderPeriod(std::int32_t period) {
  PlanningPeriod& target = periods[period];
  target.orderPeriod = 0;
  double minimum = matrixEntry(0, period);
  for (std::int32_t i = 0; i <= period; ++i) {
    // Strict: on equal costs the earliest order period stays; NaN never wins.
    if (minimum > matrixEntry(i, period)) {
      target.orderPeriod = i;
      minimum = matrixEntry(i, period);
    }
  }
  return minimum;
}

void DemandPlan::buildCostMatrix() {
  const std::size_t n = periods.size();
  costMatrix.reset();
  if (n == 0) return;  // a demand without due quantities has nothing to plan
  costMatrix = std::make_unique_for_overwrite<double[]>(n * n);

  const double interestYear = factorFor(kZinsJahr);
  const double length = periodLength;
  const std::vector<double> rates = holdingRates(*this);
  std::vector<double> quantities(n);
  for (std::size_t t = 0; t < n; ++t) quantities[t] = periods[t].demand;

  // The minimum of each column over the rows filled so far, kept as the rows
  // come; it makes the same strict comparisons in the same row order as
  // selectOrderPeriod, without walking the matrix column-wise.
  std::vector<double> columnMinimum(n);
  for (std::size_t i = 0; i < n; ++i) {
    double* row = &costMatrix[i * n];
    const double setupCost = tableValue(*this, i, kRuestKosten);
    // Column i - 1 is complete: every earlier row has been filled to the end.
    row[i] = i == 0 ? setupCost : columnMinimum[i - 1] + setupCost;
    const double holdingPerUnit = tableValue(*this, i, kStueckKosten) / interestYear;
    fillRow(row, i, n, holdingPerUnit, length, quantities, rates);

    for (std::size_t l = i; l < n; ++l) {
      if (i == 0 || columnMinimum[l] > row[l]) {
        columnMinimum[l] = row[l];
        periods[l].orderPeriod = static_cast<std::int32_t>(i);
      }
    }
  }
}

void DemandPlan::assignLots() {
  // A lot is found from its last period back to its order period; the lots
  // themselves come from the last period back to period 0.
  std::vector<BadLot> badLots;
  for (std::int32_t last = periodCount() - 1; last >= 0;) {
    const std::int32_t order = periods[last].orderPeriod;
    std::int64_t lot = 0;
    for (std::int32_t t = last; t >= order; --t) {
      periods[t].lotSize = 0;
      periods[t].cost = 0.0;
      lot += periods[t].demand;
    }
    // The lot's cost: the cheapest plan up to `last` less that up to the
    // period before the order period, F(order - 1).
    PlanningPeriod& ordered = periods[order];
    const double before =
        order == 0 ? 0.0 : matrixEntry(periods[order - 1].orderPeriod, order - 1);
    ordered.cost = matrixEntry(order, last) - before;
    if (fitsInt32(lot)) ordered.lotSize = static_cast<std::int32_t>(lot);
    if (!fitsInt32(lot) || !std::isfinite(ordered.cost)) {
      badLots.push_back({order, lot, ordered.cost});
    }
    last = order - 1;
  }
  if (badLots.empty()) return;

  PlanProblems problems;
  std::for_each(badLots.rbegin(), badLots.rend(), [&problems](const BadLot& bad) {
    if (!fitsInt32(bad.size)) problems.lotSizeOutOfRange(bad.size, bad.period);
    if (!std::isfinite(bad.cost)) problems.lotCostNotFinite(bad.cost, bad.period);
  });
  refuseIfAny(*this, problems);
}

}  // namespace mrp
