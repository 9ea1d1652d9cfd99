#include "support/reference_engine.h"

namespace mrp::test {

std::int32_t periodIndex(const DemandPlan& plan, OleDate date) {
  const std::int32_t length = *plan.periodLength;
  double start = *plan.startDate;
  std::int32_t index = 0;
  while (start + length <= date) {
    start = start + length;
    ++index;
  }
  return index;
}

OleDate periodStart(const DemandPlan& plan, std::int32_t index) {
  double day = *plan.startDate;
  for (std::int32_t k = 0; k < index; ++k) day = day + *plan.periodLength;
  return day;
}

double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code,
                      std::int32_t period) {
  double result = 0.0;
  for (const ParameterEntry& entry : entries) {
    if (entry.code != code) continue;
    if (entry.period > period) break;
    result = entry.value;
  }
  return result;
}

std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period) {
  std::int32_t order = 0;
  double minimum = matrix.at(0, period);
  for (std::int32_t i = 0; i <= period; ++i) {
    // Strict: on equal costs the earliest order period stays; NaN never wins.
    if (minimum > matrix.at(i, period)) {
      order = i;
      minimum = matrix.at(i, period);
    }
  }
  return order;
}

}  // namespace mrp::test
