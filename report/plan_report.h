// What a report shows of a planned demand: one line per planning period with
// its quantity due, the lot ordered in it, the stock carried on and the stored
// cost of that lot, and the plan's totals.
//
// The engine's plan keeps the periods and, apart, the lots as they would be
// stored in `LosGröße`; the report puts each stored lot beside the period it
// is ordered in, so that its costs are exactly the stored ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lotsizing/lot_plan.h"

namespace mrp::report {

/// One planning period as the report shows it.
struct PeriodLine {
  std::int32_t number = 0;        // counted from 1
  OleDate start = 0.0;            // the period's first moment
  std::int32_t due = 0;           // quantity due, rounded to the lot grid
  std::int32_t lot = 0;           // lot ordered in this period, 0 for none
  std::int64_t stockCarried = 0;  // lots so far less quantities due so far
  std::optional<double> lotCost;  // stored cost of the lot ordered here
};

struct PlanReport {
  std::string demandKey;
  std::int32_t periodLength = 0;  // days
  std::vector<PeriodLine> periods;
  std::int64_t totalDue = 0;
  std::int64_t totalLots = 0;
  std::size_t lotCount = 0;
  double totalCost = 0.0;  // the stored costs added in period order
};

/// The report of `plan`, planned for `demandKey` with periods of
/// `periodLength` days. `plan.lots` must hold one lot per period with a lot,
/// in period order, each dated at its period's start (as `planLots` makes
/// them); raises std::logic_error otherwise.
PlanReport makePlanReport(const std::string& demandKey, std::int32_t periodLength, const LotPlan& plan);

}  // namespace mrp::report
