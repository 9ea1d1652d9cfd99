// One run for one demand: load it, plan it, store its lots.
//
// A run is a value: the caller opens the connection and passes it with a sink
// for the run's messages; nothing else is shared, so runs on different
// connections may go on at the same time from different threads.
#pragma once

#include <optional>
#include <string_view>

#include "demand/loaded_demand.h"
#include "lotsizing/lot_plan.h"

namespace mrp {

class Connection;
class MessageSink;

/// Whether a run writes its lots.
enum class Storing { Store, DryRun };

/// A demand as loaded, and its plan: nothing when the demand was refused (its
/// reasons went to the sink; its rows stay as they were).
struct DemandRun {
  LoadedDemand demand;
  std::optional<LotPlan> plan;
};

/// Loads `demandKey` over `connection`, plans it and replaces its rows in
/// `LosGröße` (unless a dry run). The data problems, and for a planned demand
/// the warnings about its data (plan_warnings.h), go to `sink`. Raises
/// `DatabaseError` on a database failure, std::bad_alloc when memory runs out.
DemandRun planDemand(Connection& connection, std::string_view demandKey, MessageSink& sink,
                     Storing storing = Storing::Store);

}  // namespace mrp
