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

/// The SQLite driver takes at most 999 parameters in a statement.
constexpr std::size_t kKeysPerStatement = 900;

/// Runs `sql` with `condition` naming the keys, for the keys in groups.
void forKeyGroups(Statement& statement, std::span<const DemandLots> demands, const std::string& before,
                  const std::string& after) {
  for (std::size_t first = 0; first < demands.size(); first += kKeysPerStatement) {
    const std::span<const DemandLots> group = demands.subspan(first, std::min(kKeysPerStatement, demands.size() - first));
    std::vector<Parameter> keys;
    for (const DemandLots& demand : group) keys.emplace_back(demand.key);
    statement.execute(before + keysCondition(keys.size()) + after, keys);
  }
}

}  // namespace

void storeLotsOfDemands(Connection& connection, std::span<const DemandLots> demands) {
  // The lots as columns, for parameter arrays.
  std::vector<std::string> keys;
  std::vector<double> dates;
  std::vector<std::int32_t> sizes;
  std::vector<double> costs;
  for (const DemandLots& demand : demands) {
    for (const Lot& lot : demand.lots) {
      keys.push_back(demand.key);
      dates.push_back(lot.date);
      sizes.push_back(lot.lotSize);
      costs.push_back(lot.cost);
    }
  }
  Statement statement(connection);
  const Isolation isolation = connection.locksRows() ? Isolation::ReadCommitted : Isolation::Serializable;
  runTransaction(connection, isolation, [&] {
    if (connection.locksRows())
      forKeyGroups(statement, demands, "select Bedarf from Bedarf where ", " order by Bedarf for update");
    forKeyGroups(statement, demands, "delete from LosGröße where ", "");
    statement.executeRows(kInsertLot, keys.size(),
                          {std::span<const std::string>(keys), std::span<const double>(dates),
                           std::span<const std::int32_t>(sizes), std::span<const double>(costs)});
  });
}

void storeLots(Connection& connection, std::string_view demandKey, const std::vector<Lot>& lots) {
  // The lots as columns, for parameter arrays.
  std::vector<double> dates;
  std::vector<std::int32_t> sizes;
  std::vector<double> costs;
  for (const Lot& lot : lots) {
    dates.push_back(lot.date);
    sizes.push_back(lot.lotSize);
    costs.push_back(lot.cost);
  }
  Statement statement(connection);
  // SQLite locks the whole database for a writer, so its transactions follow
  // one another anyway; where rows are locked, the demand's header row makes
  // runs for one demand queue while others go on.
  const Isolation isolation = connection.locksRows() ? Isolation::ReadCommitted : Isolation::Serializable;
  runTransaction(connection, isolation, [&] {
    if (connection.locksRows()) statement.execute(kLockDemand, {demandKey});
    statement.execute(kDeleteLots, {demandKey});
    statement.executeRows(kInsertLot, lots.size(),
                          {demandKey, std::span<const double>(dates), std::span<const std::int32_t>(sizes),
                           std::span<const double>(costs)});
  });
}

}  // namespace mrp
