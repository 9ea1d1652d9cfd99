// The straightforward versions of the engine's steps, as the rules state them:
// the references that the tests compare the engine's faster walks against.
#pragma once

#include <cstdint>
#include <vector>

#include <memory>

#include "demand/demand_plan.h"
#include "lotsizing/lot_plan.h"
#include "lotsizing/period_cost_table.h"

namespace mrp::test {

/// The period of `date`: the start date plus the period length, added once per
/// period until the date is passed. Requires a period length of at least 1.
std::int32_t periodIndex(const DemandPlan& plan, OleDate date);
/// The start of period `index`: the start date with the length added `index` times.
OleDate periodStart(const DemandPlan& plan, std::int32_t index);
/// The value of `code` in `period`: the last entry of the code at or before it,
/// found by walking every entry; 0.0 when there is none.
double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code,
                      std::int32_t period);
/// The whole Wagner-Whitin cost matrix: n x n doubles, row-major; only entries
/// with row <= column are filled.
class CostMatrix {
 public:
  explicit CostMatrix(std::size_t n);
  double at(std::size_t row, std::size_t column) const noexcept { return values_[row * n_ + column]; }
  double* row(std::size_t row) noexcept { return &values_[row * n_]; }
  std::size_t size() const noexcept { return n_; }

 private:
  std::size_t n_;
  std::unique_ptr<double[]> values_;
};

/// Fills the matrix row by row as defined, each entry from its left
/// neighbour, and sets each period's order period by a search down its column.
CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                           double interestYear, double periodLength);
/// The order period of column `period`: the first row with the strictly
/// smallest entry, searched down the column.
std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period);
/// Each lot's size and cost M[order][last] - M[order of order-1][order-1],
/// walking back along the order periods. False when a lot's size leaves the
/// 32-bit range or its cost is not finite.
bool assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix);

}  // namespace mrp::test
