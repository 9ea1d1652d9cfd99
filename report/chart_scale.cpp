#include "report/chart_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mrp::report {
namespace {

constexpr double kStepsWanted = 6.0;

/// The least of 1, 2, 2.5, 5 times a power of ten that is at least `rough`
/// and at least 1; 2.5 only where it gives a whole step.
double roundStep(double rough) {
  if (rough <= 1.0) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double multiple : {1.0, 2.0, 2.5, 5.0}) {
    const double step = multiple * power;
    if (step >= rough && step == std::floor(step)) return step;
  }
  return 10.0 * power;
}

}  // namespace

QuantityAxis quantityAxis(double least, double most) {
  least = std::min(least, 0.0);
  most = std::max(most, 0.0);
  const double step = roundStep((most - least) / kStepsWanted);
  QuantityAxis axis{std::floor(least / step) * step, std::ceil(most / step) * step, step};
  if (axis.high == axis.low) axis.high = axis.low + step;
  return axis;
}

std::size_t labelEvery(double slotWidth, double minSpacing) {
  if (!(slotWidth > 0.0) || !std::isfinite(slotWidth)) return 1;
  std::size_t every = 1;
  for (; every <= std::numeric_limits<std::size_t>::max() / 50; every *= 10) {
    for (const std::size_t multiple : {1u, 2u, 5u}) {
      if (slotWidth * static_cast<double>(every * multiple) >= minSpacing) return every * multiple;
    }
  }
  return every;
}

}  // namespace mrp::report
