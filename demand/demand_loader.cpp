#include "demand/demand_loader.h"

#include <string>

#include "db/transaction.h"

namespace mrp {

DemandLoader::DemandLoader(Connection& connection, std::string_view demandKey, MessageSink& sink)
    : query_(connection), problems_(sink) {
  plan_.demandKey = demandKey;
}

DemandPlan DemandLoader::load() && {
  // One binding, made before any statement text is set, serves every loading
  // statement: each has the single placeholder Bedarf=?.
  query_.prepare(1);
  query_.bindText(0, plan_.demandKey.c_str(), static_cast<std::int32_t>(plan_.demandKey.size()));
  valuesCutAtNul_ = query_.cutsTextsAtNul() && holdsValuesCutAtNul();
  loadConversionFactors();
  if (loadHeader()) {
    loadParameters();
    loadDueQuantities();
  }
  return std::move(plan_);
}

bool DemandLoader::holdsValuesCutAtNul() {
  const std::string count = cutValuesCount();
  std::int32_t rows = 0;
  return query_.open(count.c_str()) && query_.getInteger(0, rows) && rows > 0;
}

bool DemandLoader::noteValuesCutAtNul(const InputColumns& input) {
  return valuesCutAtNul_ && query_.noteValuesCutAtNul(cutValuesProbe(input).c_str());
}

DemandPlan loadDemandPlan(Connection& connection, std::string_view demandKey, MessageSink& sink) {
  // The four tables are read in one transaction that sees one committed state
  // throughout: a writer changing a factor and the due quantities together
  // cannot give a plan that mixes its old factor with its new quantities.
  // Reads alone are never given up by the database, and the messages already
  // handed to the sink could not be taken back, so there is no retry.
  DemandPlan plan;
  runTransaction(connection, Isolation::Snapshot,
                 [&] { plan = DemandLoader(connection, demandKey, sink).load(); },
                 std::chrono::milliseconds(0));
  return plan;
}

}  // namespace mrp
