// Period bucketing, lot-grid rounding and the engine's run order.
#include "lotsizing/bucketing.h"

#include <cstdint>
#include <vector>

#include "db/value_conversions.h"
#include "demand/demand_plan.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"

namespace mrp {
namespace {

/// Grids at or above this do not fit a 32-bit integer once truncated.
constexpr double kGridLimit = 2147483648.0;

/// Appends period number `plan.periods.size()` starting at `start` days, the
/// running sum of the period starts.
void appendPeriod(DemandPlan& plan, std::vector<std::int64_t>& sums, double start) {
  PlanningPeriod& period = plan.periods.emplace_back();
  // Period 0 starts at a plain copy of the start date; later starts are the
  // date with the summed lengths, keeping its kind as periodStart does.
  period.start = plan.startDate;
  if (plan.periods.size() > 1) assignDouble(period.start, start);
  sums.push_back(0);
}

/// Creates the periods up to that of the last due date and returns, per
/// period, the sum of the quantities that fell into it (64 bits: no wrap).
/// One running period start replaces the search from the start date that
/// periodIndex makes per date; both add L in the same order, so the boundaries
/// are the same doubles.
std::vector<std::int64_t> bucketDueQuantities(DemandPlan& plan) {
  plan.periods.clear();
  std::vector<std::int64_t> sums;
  if (plan.dueQuantities.empty()) return sums;
  const double length = plan.periodLength;
  double lastStart = asDouble(plan.startDate);
  for (const DueQuantity& due : plan.dueQuantities) {
    const double date = asDouble(due.date);
    if (plan.periods.empty()) appendPeriod(plan, sums, lastStart);
    while (lastStart + length <= date) {
      lastStart = lastStart + length;
      appendPeriod(plan, sums, lastStart);
    }
    // A date earlier than the last period (out of order) counts there, too.
    sums.back() += due.quantity;
  }
  return sums;
}

/// Tracks runs of consecutive periods whose lot grid is unusable and reports
/// each run once: the same entry (or none) over a run is one problem.
class GridRunReporter {
 public:
  explicit GridRunReporter(PlanProblems& problems) : problems_(problems) {}

  void valid() { flush(); }
  void invalid(const ParameterEntry* entry, std::int32_t period) {
    if (open_ && entry == entry_ && period == last_ + 1) {
      last_ = period;
      return;
    }
    flush();
    open_ = true;
    entry_ = entry;
    first_ = last_ = period;
  }
  void flush() {
    if (!open_) return;
    if (entry_ == nullptr) {
      problems_.lotGridMissing(first_, last_);
    } else {
      problems_.lotGridInvalid(entry_->value, first_, last_);
    }
    open_ = false;
  }

 private:
  PlanProblems& problems_;
  bool open_ = false;
  const ParameterEntry* entry_ = nullptr;
  std::int32_t first_ = 0;
  std::int32_t last_ = 0;
};

/// The lot grid of every period, truncated toward zero. Every period needs a
/// grid of at least 1, since the rounding divides by it.
std::vector<std::int32_t> lotGrids(const DemandPlan& plan, PlanProblems& problems) {
  std::vector<std::int32_t> grids(plan.periods.size(), 1);
  ParameterTimeline timeline(plan.parameters, kLosRaster);
  GridRunReporter runs(problems);
  for (std::int32_t p = 0; p < plan.periodCount(); ++p) {
    timeline.advanceTo(p);
    const double grid = timeline.value();
    if (timeline.entry() != nullptr && grid >= 1.0 && grid < kGridLimit) {
      grids[p] = static_cast<std::int32_t>(grid);
      runs.valid();
    } else {
      runs.invalid(timeline.entry(), p);
    }
  }
  runs.flush();
  return grids;
}

void checkPeriodSums(const std::vector<std::int64_t>& sums, PlanProblems& problems) {
  for (std::size_t p = 0; p < sums.size(); ++p) {
    if (!fitsInt32(sums[p])) problems.periodSumOutOfRange(sums[p], static_cast<std::int32_t>(p));
  }
}

/// Raises each period's quantity to the next multiple of its grid and takes the
/// surplus off the following periods; a negative need becomes 0 and is taken
/// off them as well. The carry left after the last period is dropped.
void roundToLotGrids(DemandPlan& plan, const std::vector<std::int64_t>& sums,
                     const std::vector<std::int32_t>& grids, PlanProblems& problems) {
  std::int64_t carry = 0;
  for (std::size_t j = 0; j < sums.size(); ++j) {
    const std::int64_t net = sums[j] - carry;
    std::int64_t quantity = 0;
    if (net < 0) {
      carry = -net;
    } else {
      carry = 0;
      quantity = net;
    }
    const std::int64_t remainder = quantity % grids[j];
    if (remainder != 0) {
      quantity += grids[j] - remainder;
      carry = grids[j] - remainder;
    }
    if (fitsInt32(quantity)) {
      plan.periods[j].demand = static_cast<std::int32_t>(quantity);
    } else {
      problems.roundedQuantityOutOfRange(quantity, static_cast<std::int32_t>(j));
    }
  }
}

}  // namespace

void createRoundedPeriods(DemandPlan& plan) {
  const std::vector<std::int64_t> sums = bucketDueQuantities(plan);
  PlanProblems problems;
  checkPeriodSums(sums, problems);
  const std::vector<std::int32_t> grids = lotGrids(plan, problems);
  refuseIfAny(plan, problems);
  roundToLotGrids(plan, sums, grids, problems);
  refuseIfAny(plan, problems);
}

std::int32_t DemandPlan::periodIndex(const VARIANT& date) const {
  // Without a length of at least one day the search below would not end.
  if (periodLength < 1) return 0;
  const double day = asDouble(date);
  double start = asDouble(startDate);
  std::int32_t index = 0;
  while (start + periodLength <= day) {
    start = start + periodLength;
    ++index;
  }
  return index;
}

VARIANT DemandPlan::periodStart(std::int32_t index) const {
  VARIANT start = startDate;
  if (index <= 0) return start;
  double day = asDouble(startDate);
  for (std::int32_t k = 0; k < index; ++k) day = day + periodLength;
  assignDouble(start, day);
  return start;
}

void DemandPlan::compute() {
  checkPlannable();
  createRoundedPeriods(*this);
  buildPeriodCostTable();
  buildCostMatrix();
  assignLots();
}

}  // namespace mrp
