// The straightforward versions of the engine's steps, as the rules state them:
// the references that the tests compare the engine's faster walks against.
#pragma once

#include <cstdint>
#include <vector>

#include "demand/demand_plan.h"
#include "lotsizing/wagner_whitin.h"

namespace mrp::test {

/// The period of `date`: the start date plus the period length, added once per
/// period until the date is passed. Requires a period length of at least 1.
std::int32_t periodIndex(const DemandPlan& plan, OleDate date);
/// The start of period `index`: the start date with the length added `index` times.
OleDate periodStart(const DemandPlan& plan, std::int32_t index);
/// The value of `code` in `period`: the last entry of the code at or before it,
/// found by walking every entry; 0.0 when there is none.
double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code,
                      std::int32_t period);
/// The order period of column `period`: the first row with the strictly
/// smallest entry, searched down the column.
std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period);

}  // namespace mrp::test
