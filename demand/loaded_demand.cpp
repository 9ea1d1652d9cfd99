#include "demand/loaded_demand.h"

#include <algorithm>

namespace mrp {

double LoadedDemand::factorFor(std::int32_t code) const {
  for (const ConversionFactor& entry : conversionFactors) {
    if (entry.code == code) return entry.factor;
  }
  return 0.0;
}

bool LoadedDemand::hasFactor(std::int32_t code) const {
  return std::any_of(conversionFactors.begin(), conversionFactors.end(),
                     [code](const ConversionFactor& entry) { return entry.code == code; });
}

}  // namespace mrp
