// Scales of the plan's picture: a quantity axis with round ticks and how
// sparsely the periods on the time axis are labelled.
#pragma once

#include <cstddef>

namespace mrp::report {

/// A quantity axis from `low` to `high` in steps of `step`.
struct QuantityAxis {
  double low = 0.0;
  double high = 1.0;
  double step = 1.0;
};

/// The axis that shows every value in [`least`, `most`] and 0: about six steps
/// of 1, 2, 2.5 or 5 times a power of ten (never below 1, quantities being
/// whole), its ends on multiples of the step.
QuantityAxis quantityAxis(double least, double most);

/// Every how many periods the time axis is labelled, 1, 2, 5, 10, 20, 50 ...,
/// so that labels of periods `slotWidth` apart are at least `minSpacing` apart.
std::size_t labelEvery(double slotWidth, double minSpacing);

}  // namespace mrp::report
