// The straightforward versions of the engine's steps, as the rules state them:
// the references that the tests compare the engine's faster walks against, and
// with `plannedLots` the whole plan, from a loaded demand to the rows to store,
// for the fuzz campaign's oracle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "demand/demand_plan.h"
#include "lotsizing/lot_plan.h"
#include "lotsizing/period_cost_table.h"

namespace mrp::test {

/// The period of `date`: the start date plus the period length, added once per
/// period until the date is passed, in calendar order (linearDays). Requires a
/// start date and a period length of at least 1.
std::int32_t periodIndex(const DemandPlan& plan, OleDate date);
/// The start of period `index`: the start date itself for period 0, else the
/// start with the length added `index` times in calendar order, as an OleDate.
OleDate periodStart(const DemandPlan& plan, std::int32_t index);
/// The value of `code` in `period`: the last entry of the code at or before it,
/// found by walking every entry; 0.0 when there is none.
double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code,
                      std::int32_t period);

/// The periods of the due quantities with their quantities rounded to the lot
/// grid: each due quantity goes to its periodIndex, or to the last period made
/// so far when that is later (a date out of order); periods run without gaps
/// from 0 to the last one and start at periodStart. Then each period's sum less
/// the carry is raised to a multiple of its lot grid (parameterValue,
/// truncated), the surplus carried on; a negative need is 0 and carried on as
/// well. Nothing when the periods cannot be made: the latest due date more than
/// 200,000 periods on, a period sum or rounded quantity beyond 32 bits, a
/// period whose grid is not from 1 to 2^31 - 1. Requires a start date and a
/// period length of at least 1.
std::optional<std::vector<PlanningPeriod>> roundedPeriods(const DemandPlan& plan);

/// Each period's value of each parameter code, by parameterValue.
using ParameterTable = std::vector<std::array<double, kParameterCodes>>;
ParameterTable parameterTable(const std::vector<ParameterEntry>& entries, std::size_t periods);

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
/// The same from a table of the reference's own.
CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const ParameterTable& table,
                           double interestYear, double periodLength);
/// The order period of column `period`: the first row with the strictly
/// smallest entry, searched down the column.
std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period);
/// Each lot's size and cost M[order][last] - M[order of order-1][order-1],
/// walking back along the order periods. False when a lot's size leaves the
/// 32-bit range or its cost is not finite.
bool assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix);

/// The plan of a loaded demand with the steps above, from its checks to the
/// rows to store: one per lot other than 0, in period order, dated at the start
/// of its order period, its cost divided by the currency factor. Nothing when
/// the demand is refused: no header, start date or period length, a period
/// length below 1, the first ZinsJahr or Währung factor missing, not positive
/// or not finite, periods that cannot be made (roundedPeriods), a lot that
/// cannot be stored (assignLots) or a stored cost that is not finite. Holds
/// the n x n matrix for n periods: meant for small n.
std::optional<std::vector<Lot>> plannedLots(const DemandPlan& plan);

}  // namespace mrp::test
