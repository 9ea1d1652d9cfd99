// The engine as it was before the cost matrix was dropped: the whole n x n
// matrix is held and filled. Kept as the baseline the engine mode measures
// the linear-memory engine against.
#pragma once

#include <vector>

#include "lotsizing/lot_plan.h"
#include "lotsizing/period_cost_table.h"

namespace mrp::bench {

/// Fills the matrix, sets the order periods, then each lot's size and cost.
/// False when a lot cannot be stored. Allocates n * n doubles.
bool planWithCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                        double interestYear, double periodLength);

}  // namespace mrp::bench
