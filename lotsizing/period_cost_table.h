// The value of each time-phased parameter in each period.
//
// A parameter entry holds from its period on until a later entry of the same
// code takes over; before the first entry of a code its value is 0.0. The
// entries come grouped by code, each code's in ascending period order (the
// loading's order), so one forward walk per code answers ascending periods:
// O(periods + entries) per code, where looking each period up afresh would
// cost O(periods x entries).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "demand/loaded_demand.h"

namespace mrp {

class ParameterTimeline {
 public:
  /// Walks `entries` (kept by reference, unchanged while the timeline lives)
  /// for code `code`.
  ParameterTimeline(const std::vector<ParameterEntry>& entries, std::int32_t code);

  /// Moves to `period`, which must not be below the period of the previous call.
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

/// The values of the five parameter codes for each of n periods: n x 5 doubles.
class PeriodCostTable {
 public:
  PeriodCostTable(const std::vector<ParameterEntry>& entries, std::size_t periods);

  double at(std::size_t period, std::int32_t code) const noexcept {
    return values_[period * kParameterCodes + static_cast<std::size_t>(code)];
  }
  std::size_t periods() const noexcept { return values_.size() / kParameterCodes; }

 private:
  std::vector<double> values_;
};

}  // namespace mrp
