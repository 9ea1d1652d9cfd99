// The straightforward versions of the engine's steps, as the rules state them:
// the references that the tests compare the engine's faster walks against, and
// with `referencePlan` the whole plan, from a loaded demand to the rows to store
// or the reasons for refusing it, for the fuzz campaign's oracle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "demand/loaded_demand.h"
#include "lotsizing/lot_plan.h"
#include "lotsizing/period_cost_table.h"

namespace mrp::test {

/// The period of `date`: the start date plus the period length, added once per
/// period until the date is passed, in calendar order (linearDays). Requires a
/// start date and a period length of at least 1.
std::int32_t periodIndex(const LoadedDemand& plan, OleDate date);
/// The start of period `index`: the start date itself for period 0, else the
/// start with the length added `index` times in calendar order, as an OleDate.
OleDate periodStart(const LoadedDemand& plan, std::int32_t index);
/// The value of `code` in `period`: the last entry of the code at or before it,
/// found by walking every entry; nothing when there is none.
std::optional<double> parameterEntry(const std::vector<ParameterEntry>& entries, std::int32_t code,
                                     std::int32_t period);
/// parameterEntry, 0.0 when there is none.
double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code, std::int32_t period);

/// Why a demand is refused: one kind per message of the refusal table in
/// README.md, the interest year and currency factor each with two.
enum class Refusal {
  PeriodLength,
  InterestYearMissing,
  InterestYearInvalid,
  CurrencyMissing,
  CurrencyInvalid,
  TooManyPeriods,
  PeriodSum,
  LotGridMissing,
  LotGridInvalid,
  RoundedQuantity,
  LotSize,
  LotCost,
};

/// How the program words a refusal of one kind: the start of its message, or
/// the whole message.
struct RefusalMessage {
  Refusal kind;
  std::string_view start;  // UTF-8
  bool wholeLine;
};
/// The refusal messages of README.md, one per kind.
const std::vector<RefusalMessage>& refusalMessages();

struct RoundedPeriods {
  std::vector<PlanningPeriod> periods;  // none when refused
  std::set<Refusal> reasons;
};

/// The periods of the due quantities with their quantities rounded to the lot
/// grid: each due quantity goes to its periodIndex, or to the last period made
/// so far when that is later (a date out of order); periods run without gaps
/// from 0 to the last one and start at periodStart. Then each period's sum less
/// the carry is raised to a multiple of its lot grid (parameterEntry,
/// truncated), the surplus carried on; a negative need is 0 and carried on as
/// well. Refused, in three steps that each stop the planning: the latest due
/// date 200,000 or more periods on (before any period is made); a period sum
/// beyond 32 bits or a period without a grid or with one that is not from 1 to
/// 2^31 - 1 (all found together); a rounded quantity beyond 32 bits. Requires
/// a start date and a period length of at least 1.
RoundedPeriods roundedPeriods(const LoadedDemand& plan);

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
/// neighbour, and sets each period's order period as selectOrderPeriod finds
/// it, searching all columns as the rows come.
CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                           double interestYear, double periodLength);
/// The same from a table of the reference's own.
CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const ParameterTable& table,
                           double interestYear, double periodLength);
/// The order period of column `period`: the first row with the strictly
/// smallest entry, searched down the column.
std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period);
/// What keeps the lots from being stored.
struct LotProblems {
  bool sizeOutOfRange = false;  // a lot leaves the 32-bit range
  bool costNotFinite = false;
  bool any() const noexcept { return sizeOutOfRange || costNotFinite; }
};
/// Each lot's size and cost M[order][last] - M[order of order-1][order-1],
/// walking back along the order periods.
LotProblems assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix);

/// The outcome of planning a demand.
struct ReferencePlan {
  /// The rows to store; nothing when the demand is refused.
  std::optional<std::vector<Lot>> lots;
  /// The kinds of the refusal's own messages. None when the demand is planned,
  /// and none for a missing header, start date or period length, which the
  /// loading reported.
  std::set<Refusal> reasons;
};

/// The plan of a loaded demand with the steps above. First the checks, all
/// found together: no header (nothing else is checked), no start date or
/// period length, a period length below 1, the first ZinsJahr or Währung factor
/// missing, not positive or not finite. Then roundedPeriods; then the lots
/// (assignLots); then the rows: one per lot other than 0, in period order,
/// dated at the start of its order period, its cost divided by the currency
/// factor, which must come out finite. Each step that finds a reason ends the
/// planning. Holds the n x n matrix for n periods: meant for small n.
ReferencePlan referencePlan(const LoadedDemand& plan);

}  // namespace mrp::test
