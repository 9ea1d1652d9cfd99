// Placeholders until the real implementations land; removed piece by piece.
#include "demand/demand_plan.h"

namespace mrp {
DemandPlan::DemandPlan(const char* key) : demandKey(key) {}
DemandPlan::DemandPlan(const char* key, Detached) : DbQuery(Detached{}), demandKey(key) {}
std::unique_ptr<DemandPlan> DemandPlan::detached(const char* key) {
  return std::unique_ptr<DemandPlan>(new DemandPlan(key, Detached{}));
}
double DemandPlan::factorFor(std::int32_t) const { return 0.0; }
}  // namespace mrp
