// Walking the time-phased parameters of one code period by period.
//
// A parameter entry holds from its period on until a later entry of the same
// code takes over. `DemandPlan::parameterValue` answers one period by walking
// the whole list; filling a table that way costs O(periods x entries). The
// timeline gives the very same answers for ascending periods in one forward
// walk: O(periods + entries) per code.
#pragma once

#include <cstdint>
#include <vector>

#include "demand/demand_plan.h"

namespace mrp {

class ParameterTimeline {
 public:
  /// Walks `entries` (kept by reference, unchanged while the timeline lives)
  /// for code `code`.
  ParameterTimeline(const std::vector<ParameterEntry>& entries, std::int32_t code);

  /// Moves to `period`, which must not be below the period of the previous
  /// call. Afterwards `value()` equals `parameterValue(code, period)`.
  void advanceTo(std::int32_t period);
  /// The value holding at the current period, 0.0 when no entry holds.
  double value() const noexcept { return current_ ? current_->value : 0.0; }
  /// The entry whose value holds, null when none does; entries are told apart
  /// by identity, so two periods share an entry exactly when they share it.
  const ParameterEntry* entry() const noexcept { return current_; }

 private:
  const std::vector<ParameterEntry>& entries_;
  std::int32_t code_;
  std::size_t next_ = 0;  // first entry not yet taken
  const ParameterEntry* current_ = nullptr;
};

}  // namespace mrp
