#include "planning_db/lot_storage.h"

#include <span>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "db/transaction.h"

namespace mrp {
namespace {

// Taken first: a second run for the same demand waits here until the first has
// committed, then replaces its rows. Runs for other demands lock other rows.
constexpr const char* kLockDemand = "select Bedarf from Bedarf where Bedarf=? for update";
constexpr const char* kDeleteLots = "delete from LosGröße where Bedarf=?";
constexpr const char* kInsertLot = "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)";

}  // namespace

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
