#include "demand/demand_loader.h"

namespace mrp {

DemandLoader::DemandLoader(std::string_view demandKey, DemandSource& source, MessageSink& sink)
    : source_(source), problems_(sink) {
  plan_.demandKey = demandKey;
}

LoadedDemand DemandLoader::load() && {
  loadConversionFactors();
  if (loadHeader()) {
    loadParameters();
    loadDueQuantities();
  }
  return std::move(plan_);
}

LoadedDemand loadDemand(std::string_view demandKey, DemandSource& source, MessageSink& sink) {
  return DemandLoader(demandKey, source, sink).load();
}

}  // namespace mrp
