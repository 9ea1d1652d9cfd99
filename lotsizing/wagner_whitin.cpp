#include "lotsizing/wagner_whitin.h"

#include <algorithm>
#include <cmath>

#include "demand/parameter_code.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"

namespace mrp {
namespace {

/// r_t: the interest rates charged for stock held over period t.
std::vector<double> holdingRates(const PeriodCostTable& table) {
  std::vector<double> rates(table.periods());
  for (std::size_t t = 0; t < rates.size(); ++t) {
    rates[t] = table.at(t, kWagnisZinssatz) + table.at(t, kKapitalbindungsZinssatz);
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

CostMatrix::CostMatrix(std::size_t n)
    : n_(n), values_(std::make_unique_for_overwrite<double[]>(n * n)) {}

CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                           double interestYear, double periodLength) {
  const std::size_t n = periods.size();
  CostMatrix matrix(n);
  const std::vector<double> rates = holdingRates(table);
  std::vector<double> quantities(n);
  for (std::size_t t = 0; t < n; ++t) quantities[t] = periods[t].demand;

  // The minimum of each column over the rows filled so far, kept as the rows
  // come: the same strict comparisons in the same row order as a search down
  // the column, without walking the matrix column-wise.
  std::vector<double> columnMinimum(n);
  for (std::size_t i = 0; i < n; ++i) {
    double* row = matrix.row(i);
    const double setupCost = table.at(i, kRuestKosten);
    // Column i - 1 is complete: every earlier row has been filled to the end.
    row[i] = i == 0 ? setupCost : columnMinimum[i - 1] + setupCost;
    const double holdingPerUnit = table.at(i, kStueckKosten) / interestYear;
    fillRow(row, i, n, holdingPerUnit, periodLength, quantities, rates);

    for (std::size_t l = i; l < n; ++l) {
      if (i == 0 || columnMinimum[l] > row[l]) {
        columnMinimum[l] = row[l];
        periods[l].orderPeriod = static_cast<std::int32_t>(i);
      }
    }
  }
  return matrix;
}

void assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix,
                PlanProblems& problems) {
  // A lot is found from its last period back to its order period; the lots
  // themselves come from the last period back to period 0.
  std::vector<BadLot> badLots;
  for (auto last = static_cast<std::int32_t>(periods.size()) - 1; last >= 0;) {
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
        order == 0 ? 0.0 : matrix.at(periods[order - 1].orderPeriod, order - 1);
    ordered.cost = matrix.at(order, last) - before;
    if (fitsInt32(lot)) ordered.lotSize = static_cast<std::int32_t>(lot);
    if (!fitsInt32(lot) || !std::isfinite(ordered.cost)) {
      badLots.push_back({order, lot, ordered.cost});
    }
    last = order - 1;
  }
  std::for_each(badLots.rbegin(), badLots.rend(), [&problems](const BadLot& bad) {
    if (!fitsInt32(bad.size)) problems.lotSizeOutOfRange(bad.size, bad.period);
    if (!std::isfinite(bad.cost)) problems.lotCostNotFinite(bad.cost, bad.period);
  });
}

}  // namespace mrp
