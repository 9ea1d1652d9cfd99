// Placeholders until the real implementations land; removed piece by piece.
#include "demand/demand_plan.h"

namespace mrp {
void DemandPlan::compute() {}
std::int32_t DemandPlan::periodIndex(const VARIANT&) const { return 0; }
VARIANT DemandPlan::periodStart(std::int32_t) const { return {}; }
double DemandPlan::parameterValue(std::int32_t, std::int32_t) const { return 0.0; }
void DemandPlan::buildPeriodCostTable() {}
void DemandPlan::buildCostMatrix() {}
double DemandPlan::selectOrderPeriod(std::int32_t) { return 0.0; }
void DemandPlan::assignLots() {}
void DemandPlan::checkPlannable() const {}
}  // namespace mrp
