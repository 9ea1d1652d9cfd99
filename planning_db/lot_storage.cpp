#include "planning_db/lot_storage.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "planning_db/cut_values.h"

namespace mrp {
namespace {

// Taken first: a second run for the same demand waits here until the first has
// committed, then replaces its rows. Runs for other demands lock other rows.
constexpr const char* kLockDemand = "select Bedarf from Bedarf where Bedarf=? for update";
constexpr const char* kDeleteLots = "delete from LosGröße where Bedarf=?";
constexpr const char* kInsertLot = "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)";

/// Runs `sql` with `condition` naming the keys, for the keys in groups as
/// large as a statement takes: as many as a chunk of the batch holds, so that
/// each statement runs once per chunk. A table of lots without its index is
/// then scanned once per chunk, and so it is where the database, misled by
/// stale statistics, scans instead of using the index.
void forKeyGroups(Statement& statement, std::span<const DemandLots> demands, const std::string& before,
                  const std::string& after) {
  for (std::size_t first = 0; first < demands.size(); first += kMostKeysPerStatement) {
    const std::span<const DemandLots> group = demands.subspan(first, std::min(kMostKeysPerStatement, demands.size() - first));
    std::vector<Parameter> keys;
    for (const DemandLots& demand : group) keys.emplace_back(demand.key);
    statement.execute(before + keysCondition(keys.size()) + after, keys);
  }
}

/// Lots as columns, for parameter arrays.
struct LotColumns {
  std::vector<double> dates;
  std::vector<std::int32_t> sizes;
  std::vector<double> costs;

  void add(const std::vector<Lot>& lots) {
    for (const Lot& lot : lots) {
      dates.push_back(lot.date);
      sizes.push_back(lot.lotSize);
      costs.push_back(lot.cost);
    }
  }
  /// The insert's columns: `keys` (one key for all rows, or one per row), then the lots'.
  std::vector<ParameterColumn> withKeys(ParameterColumn keys) const {
    return {keys, std::span<const double>(dates), std::span<const std::int32_t>(sizes),
            std::span<const double>(costs)};
  }
};

/// SQLite locks the whole database for a writer, so its transactions follow
/// one another anyway; where rows are locked, the demands' header rows make
/// runs for one demand queue while others go on.
Isolation storingIsolation(const Connection& connection) {
  return connection.locksRows() ? Isolation::ReadCommitted : Isolation::Serializable;
}

}  // namespace

void storeLotsOfDemands(Connection& connection, std::span<const DemandLots> demands) {
  std::vector<std::string> keys;
  LotColumns columns;
  for (const DemandLots& demand : demands) {
    keys.insert(keys.end(), demand.lots.size(), demand.key);
    columns.add(demand.lots);
  }
  Statement statement(connection);
  runTransaction(connection, storingIsolation(connection), [&] {
    if (connection.locksRows())
      forKeyGroups(statement, demands, "select Bedarf from Bedarf where ", " order by Bedarf for update");
    forKeyGroups(statement, demands, "delete from LosGröße where ", "");
    statement.executeRows(kInsertLot, keys.size(), columns.withKeys(std::span<const std::string>(keys)));
  });
}

void storeLots(Connection& connection, std::string_view demandKey, const std::vector<Lot>& lots) {
  LotColumns columns;
  columns.add(lots);
  Statement statement(connection);
  runTransaction(connection, storingIsolation(connection), [&] {
    if (connection.locksRows()) statement.execute(kLockDemand, {demandKey});
    statement.execute(kDeleteLots, {demandKey});
    statement.executeRows(kInsertLot, lots.size(), columns.withKeys(demandKey));
  });
}

}  // namespace mrp
