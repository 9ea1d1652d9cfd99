// Storing a demand's lots: replaces a demand's rows in `LosGröße` by its lots.
//
// The delete and every insert form one transaction, so a failure part-way
// leaves the demand with its old rows. Two runs for the same demand at the same
// moment cannot leave a mix of both or twice the rows: where the database locks
// rows, the transaction first locks the demand's header row (runs for one
// demand queue, runs for different demands never conflict); SQLite lets one
// writer at a time. The lots go in ascending period order, in parameter arrays
// where the driver takes them: one round trip for up to 1,000 lots.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "demand/lot.h"

namespace mrp {

class Connection;

/// Deletes the rows of `demandKey` and inserts one row per lot. Raises
/// `DatabaseError` after rolling back.
void storeLots(Connection& connection, std::string_view demandKey, const std::vector<Lot>& lots);

/// One demand's lots, to be stored with those of others.
struct DemandLots {
  std::string key;
  std::vector<Lot> lots;
};

/// Replaces the rows of every demand of `demands` (no key twice) by its lots,
/// all in one transaction that locks their header rows first (in key order,
/// so that two such transactions queue rather than deadlock): a few round
/// trips for hundreds of demands. Raises `DatabaseError` after rolling back:
/// then no demand's rows have changed.
void storeLotsOfDemands(Connection& connection, std::span<const DemandLots> demands);

}  // namespace mrp
