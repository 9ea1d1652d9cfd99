// Period bucketing and lot-grid rounding.
#include "lotsizing/bucketing.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "demand/loaded_demand.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"
#include "platform/ole_date.h"

namespace mrp {
namespace {

/// Grids at or above this do not fit a 32-bit integer once truncated.
constexpr double kGridLimit = 2147483648.0;

/// Creates the periods up to that of the last due date, and per period the sum
/// of the quantities that fell into it (64 bits: no wrap). One running period
/// start walks forward with the dates: the boundaries are the same doubles as
/// those of a search from the start date for each date, which adds L in the
/// same order. Dates are compared on the linear time scale, which from day 0 on
/// is the OleDate itself; before 1899-12-30 an OleDate's fraction counts the
/// other way than its whole part.
void bucketDueQuantities(const LoadedDemand& demand, std::vector<PlanningPeriod>& periods,
                         std::vector<std::int64_t>& sums) {
  if (demand.dueQuantities.empty()) return;
  const double length = *demand.periodLength;
  double lastStart = linearDays(*demand.startDate);
  periods.push_back(PlanningPeriod{.start = *demand.startDate});
  sums.push_back(0);
  for (const DueQuantity& due : demand.dueQuantities) {
    const double date = linearDays(due.date);
    while (lastStart + length <= date) {
      lastStart = lastStart + length;
      periods.push_back(PlanningPeriod{.start = oleDateFromLinear(lastStart)});
      sums.push_back(0);
    }
    // A date earlier than the last period (out of order) counts there, too.
    sums.back() += due.quantity;
  }
}

/// The number of periods up to the latest due date, computed before any is
/// made; 0 without due quantities. The latest date is what counts: a date out
/// of order adds no period.
std::int64_t periodCountUpTo(const LoadedDemand& demand, const DueQuantity*& latest) {
  latest = nullptr;
  for (const DueQuantity& due : demand.dueQuantities) {
    if (!latest || linearDays(due.date) > linearDays(latest->date)) latest = &due;
  }
  if (!latest) return 0;
  const double span = linearDays(latest->date) - linearDays(*demand.startDate);
  if (!(span > 0.0)) return 1;
  return static_cast<std::int64_t>(std::floor(span / *demand.periodLength)) + 1;
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
std::vector<std::int32_t> lotGrids(const LoadedDemand& demand, std::size_t periods, PlanProblems& problems) {
  std::vector<std::int32_t> grids(periods, 1);
  ParameterTimeline timeline(demand.parameters, kLosRaster);
  GridRunReporter runs(problems);
  for (std::int32_t p = 0; static_cast<std::size_t>(p) < periods; ++p) {
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
void roundToLotGrids(std::vector<PlanningPeriod>& periods, const std::vector<std::int64_t>& sums,
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
      periods[j].demand = static_cast<std::int32_t>(quantity);
    } else {
      problems.roundedQuantityOutOfRange(quantity, static_cast<std::int32_t>(j));
    }
  }
}

}  // namespace

std::vector<PlanningPeriod> createRoundedPeriods(const LoadedDemand& demand, PlanProblems& problems) {
  const DueQuantity* latest = nullptr;
  const std::int64_t count = periodCountUpTo(demand, latest);
  if (count > kMostPeriods) {
    problems.tooManyPeriods(count, latest->date);
    return {};
  }
  std::vector<PlanningPeriod> periods;
  std::vector<std::int64_t> sums;
  bucketDueQuantities(demand, periods, sums);
  checkPeriodSums(sums, problems);
  const std::vector<std::int32_t> grids = lotGrids(demand, periods.size(), problems);
  if (problems.any()) return periods;
  roundToLotGrids(periods, sums, grids, problems);
  return periods;
}

}  // namespace mrp
