#include "demand/demand_plan.h"

#include <cstring>

namespace mrp {

DemandPlan::DemandPlan(const char* key) : demandKey(key) {
  // One binding, made before any statement text is set, serves every loading
  // statement: each has the single placeholder Bedarf=?.
  prepare(1);
  bindText(0, demandKey, static_cast<std::int32_t>(std::strlen(demandKey)));
  loadConversionFactors();
  if (!loadHeader()) return;
  loadParameters();
  loadDueQuantities();
}

DemandPlan::DemandPlan(const char* key, Detached) : DbQuery(Detached{}), demandKey(key) {}

std::unique_ptr<DemandPlan> DemandPlan::detached(const char* key) {
  return std::unique_ptr<DemandPlan>(new DemandPlan(key, Detached{}));
}

double DemandPlan::factorFor(std::int32_t code) const {
  for (const ConversionFactor& entry : conversionFactors) {
    if (entry.code == code) return entry.factor;
  }
  return 0.0;
}

}  // namespace mrp
