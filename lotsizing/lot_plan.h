// The lot-sizing engine: from a loaded demand to its order lots.
//
// A pure function of the demand: it checks that the demand can be planned,
// groups the due quantities into periods and rounds them to the lot grid
// (bucketing.h), builds the period cost table (period_cost_table.h), chooses
// the order periods with the Wagner-Whitin dynamic programme and sets each
// lot's size and cost (wagner_whitin.h). Refusal reasons go to the sink. Costs
// are reproducible to the bit: every sum and product has a fixed order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "demand/lot.h"
#include "platform/ole_date.h"

namespace mrp {

struct LoadedDemand;
class MessageSink;

/// One planning period.
struct PlanningPeriod {
  OleDate start = 0.0;           // the period's first moment
  std::int32_t demand = 0;       // quantity due, rounded to the lot grid
  std::int32_t lotSize = 0;      // lot ordered in this period, 0 for none
  std::int32_t orderPeriod = 0;  // order period of the cheapest plan up to here
  double cost = 0.0;             // cost of the lot ordered here, 0.0 for none
};

struct LotPlan {
  std::vector<PlanningPeriod> periods;
  /// One per period with a lot other than 0, in ascending period order.
  std::vector<Lot> lots;
};

/// Plans `demand`. Nothing when it cannot be planned: the reasons have gone to
/// `sink` (none for problems the loading reported already).
std::optional<LotPlan> planLots(const LoadedDemand& demand, MessageSink& sink);

}  // namespace mrp
