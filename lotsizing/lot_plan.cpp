// The engine's run order.
#include "lotsizing/lot_plan.h"

#include <cmath>

#include "demand/loaded_demand.h"
#include "lotsizing/bucketing.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"
#include "lotsizing/wagner_whitin.h"

namespace mrp {
namespace {

/// The rows to store: every lot other than 0, its cost divided by the currency
/// factor, which the loading multiplied into the setup and unit costs. A small
/// factor can carry a finite cost beyond the doubles: noted like any cost that
/// is not finite.
std::vector<Lot> storedLots(const std::vector<PlanningPeriod>& periods, double currency,
                            PlanProblems& problems) {
  std::vector<Lot> lots;
  for (std::size_t p = 0; p < periods.size(); ++p) {
    const PlanningPeriod& period = periods[p];
    if (period.lotSize == 0) continue;
    const double cost = period.cost / currency;
    if (!std::isfinite(cost)) problems.lotCostNotFinite(cost, static_cast<std::int32_t>(p));
    lots.push_back(Lot{period.start, period.lotSize, cost});
  }
  return lots;
}

}  // namespace

std::optional<LotPlan> planLots(const LoadedDemand& demand, MessageSink& sink) {
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
  plan.lots = storedLots(plan.periods, demand.factorFor(kWaehrung), problems);
  if (refuseIfAny(problems, sink)) return std::nullopt;
  return plan;
}

}  // namespace mrp
