#include "report/plan_report.h"

#include <stdexcept>

namespace mrp::report {
namespace {

/// The stored lot of `period`: the next one of `lots`, which must belong to it.
const Lot& lotOf(const PlanningPeriod& period, const std::vector<Lot>& lots, std::size_t next) {
  if (next >= lots.size() || lots[next].date != period.start || lots[next].lotSize != period.lotSize)
    throw std::logic_error("the stored lots do not match the planning periods");
  return lots[next];
}

}  // namespace

PlanReport makePlanReport(const std::string& demandKey, std::int32_t periodLength, const LotPlan& plan) {
  PlanReport report;
  report.demandKey = demandKey;
  report.periodLength = periodLength;
  report.periods.reserve(plan.periods.size());
  for (const PlanningPeriod& period : plan.periods) {
    PeriodLine line;
    line.number = static_cast<std::int32_t>(report.periods.size() + 1);
    line.start = period.start;
    line.due = period.demand;
    line.lot = period.lotSize;
    if (period.lotSize != 0) {
      const Lot& lot = lotOf(period, plan.lots, report.lotCount++);
      line.lotCost = lot.cost;
      report.totalCost += lot.cost;
    }
    report.totalDue += period.demand;
    report.totalLots += period.lotSize;
    line.stockCarried = report.totalLots - report.totalDue;
    report.periods.push_back(line);
  }
  if (report.lotCount != plan.lots.size())
    throw std::logic_error("the stored lots do not match the planning periods");
  return report;
}

}  // namespace mrp::report
