#include "lotsizing/demand_run.h"

#include "demand/demand_loader.h"
#include "lotsizing/plan_warnings.h"
#include "lotsizing/result_storage.h"

namespace mrp {

std::optional<LotPlan> planDemand(Connection& connection, std::string_view demandKey,
                                  MessageSink& sink, Storing storing) {
  const DemandPlan demand = loadDemandPlan(connection, demandKey, sink);
  std::optional<LotPlan> plan = planLots(demand, sink);
  if (!plan) return plan;
  reportPlanWarnings(demand, sink);
  if (storing == Storing::Store) storeLots(connection, demand.demandKey, plan->lots);
  return plan;
}

}  // namespace mrp
