// The engine's run order.
#include "lotsizing/lot_plan.h"

#include "demand/demand_plan.h"
#include "lotsizing/bucketing.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"
#include "lotsizing/wagner_whitin.h"

namespace mrp {
namespace {

/// The rows to store: every lot other than 0, its cost divided by the currency
/// factor, which the loading multiplied into the setup and unit costs.
std::vector<Lot> storedLots(const std::vector<PlanningPeriod>& periods, double currency) {
  std::vector<Lot> lots;
  for (const PlanningPeriod& period : periods) {
    if (period.lotSize == 0) continue;
    lots.push_back(Lot{period.start, period.lotSize, period.cost / currency});
  }
  return lots;
}

}  // namespace

std::optional<LotPlan> planLots(const DemandPlan& demand, MessageSink& sink) {
  if (refuseIfAny(checkPlannable(demand), sink)) return std::nullopt;

  PlanProblems problems;
  LotPlan plan;
  plan.periods = createRoundedPeriods(demand, problems);
  if (refuseIfAny(problems, sink)) return std::nullopt;
  // A demand without due quantities has nothing to plan: no periods, no lots.
  if (plan.periods.empty()) return plan;

  const PeriodCostTable table(demand.parameters, plan.periods.size());
  const std::vector<double> cheapest =
      cheapestPlanCosts(plan.periods, table, demand.factorFor(kZinsJahr), *demand.periodLength);
  assignLots(plan.periods, cheapest, problems);
  if (refuseIfAny(problems, sink)) return std::nullopt;
  plan.lots = storedLots(plan.periods, demand.factorFor(kWaehrung));
  return plan;
}

}  // namespace mrp
