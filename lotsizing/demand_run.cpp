#include "lotsizing/demand_run.h"

#include "lotsizing/plan_warnings.h"
#include "planning_db/demand_queries.h"
#include "planning_db/lot_storage.h"

namespace mrp {

DemandRun planDemand(Connection& connection, std::string_view demandKey, MessageSink& sink, Storing storing) {
  DemandRun run{loadDemand(connection, demandKey, sink), std::nullopt};
  run.plan = planLots(run.demand, sink);
  if (!run.plan) return run;
  reportPlanWarnings(run.demand, sink);
  if (storing == Storing::Store) storeLots(connection, run.demand.demandKey, run.plan->lots);
  return run;
}

}  // namespace mrp
