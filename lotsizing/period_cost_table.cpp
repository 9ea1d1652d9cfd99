// The value of each time-phased parameter per period, and the period cost table.
#include "lotsizing/period_cost_table.h"

namespace mrp {

ParameterTimeline::ParameterTimeline(const std::vector<ParameterEntry>& entries, std::int32_t code)
    : entries_(entries), code_(code) {}

void ParameterTimeline::advanceTo(std::int32_t period) {
  // The single-period walk stops at the first entry of the code lying after the
  // period. For a later period every entry taken so far still applies, so the
  // walk goes on from where it stopped.
  while (next_ < entries_.size()) {
    const ParameterEntry& entry = entries_[next_];
    if (entry.code == code_) {
      if (entry.period > period) return;
      current_ = &entry;
    }
    ++next_;
  }
}

double DemandPlan::parameterValue(std::int32_t code, std::int32_t period) const {
  double result = 0.0;
  for (const ParameterEntry& entry : parameters) {
    if (entry.code != code) continue;
    if (entry.period > period) break;
    result = entry.value;
  }
  return result;
}

void DemandPlan::buildPeriodCostTable() {
  const std::size_t n = periods.size();
  periodCostTable.assign(n * kParameterCodes, 0.0);
  for (std::int32_t code = 0; code < kParameterCodes; ++code) {
    ParameterTimeline timeline(parameters, code);
    for (std::size_t p = 0; p < n; ++p) {
      timeline.advanceTo(static_cast<std::int32_t>(p));
      periodCostTable[p * kParameterCodes + code] = timeline.value();
    }
  }
}

}  // namespace mrp
