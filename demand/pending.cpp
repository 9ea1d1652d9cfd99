// Placeholders until the real implementations land; removed piece by piece.
#include "demand/demand_plan.h"

namespace mrp {
void DemandPlan::loadConversionFactors() {}
bool DemandPlan::loadHeader() { return false; }
void DemandPlan::loadParameters() {}
void DemandPlan::loadDueQuantities() {}
}  // namespace mrp
