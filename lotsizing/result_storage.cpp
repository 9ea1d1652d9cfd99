#include "lotsizing/result_storage.h"

#include <string>

#include "db/db_query.h"
#include "db/transaction.h"

namespace mrp {
namespace {

constexpr const char* kDeleteLots = "delete from LosGröße where Bedarf=?";
constexpr const char* kInsertLot =
    "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)";

}  // namespace

void storeLots(Connection& connection, std::string_view demandKey, const std::vector<Lot>& lots) {
  const std::string key(demandKey);
  const auto keySize = static_cast<std::int32_t>(key.size());
  DbQuery query(connection);
  runSerializableTransaction(connection, [&] {
    query.prepare(1);
    query.bindText(0, key.c_str(), keySize);
    query.execute(kDeleteLots);

    query.prepare(4);
    query.bindText(0, key.c_str(), keySize);
    for (const Lot& lot : lots) {
      query.bindDouble(1, lot.termin);
      query.bindInteger(2, lot.lotSize);
      query.bindDouble(3, lot.kosten);
      query.execute(kInsertLot);
    }
  });
}

}  // namespace mrp
