// Result storage: replaces a demand's rows in `LosGröße` by its lots.
//
// The delete and every insert form one serializable transaction, so a failure
// part-way leaves the demand with its old rows, and two runs for the same
// demand at the same moment cannot leave a mix of both or twice the rows.
// One statement per lot, in the order given.
#pragma once

#include <string_view>
#include <vector>

#include "lotsizing/lot_plan.h"

namespace mrp {

class Connection;

/// Deletes the rows of `demandKey` and inserts one row per lot. Raises
/// `DatabaseError` after rolling back.
void storeLots(Connection& connection, std::string_view demandKey, const std::vector<Lot>& lots);

}  // namespace mrp
