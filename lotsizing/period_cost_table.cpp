#include "lotsizing/period_cost_table.h"

namespace mrp {

ParameterTimeline::ParameterTimeline(const std::vector<ParameterEntry>& entries, std::int32_t code)
    : entries_(entries), code_(code) {}

void ParameterTimeline::advanceTo(std::int32_t period) {
  // A lookup for one period stops at the first entry of the code lying after
  // the period. For a later period every entry taken so far still applies, so
  // the walk goes on from where it stopped.
  while (next_ < entries_.size()) {
    const ParameterEntry& entry = entries_[next_];
    if (entry.code == code_) {
      if (entry.period > period) return;
      current_ = &entry;
    }
    ++next_;
  }
}

PeriodCostTable::PeriodCostTable(const std::vector<ParameterEntry>& entries, std::size_t periods)
    : values_(periods * kParameterCodes, 0.0) {
  for (std::int32_t code = 0; code < kParameterCodes; ++code) {
    ParameterTimeline timeline(entries, code);
    for (std::size_t p = 0; p < periods; ++p) {
      timeline.advanceTo(static_cast<std::int32_t>(p));
      values_[p * kParameterCodes + static_cast<std::size_t>(code)] = timeline.value();
    }
  }
}

}  // namespace mrp
