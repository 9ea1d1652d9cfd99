// Result storage: replaces the demand's rows in LosGröße by one row per lot.
//
// The delete and every insert form one serializable transaction, so a failure
// part-way leaves the demand with its old rows, and two runs for the same
// demand at the same moment cannot leave a mix of both or twice the rows.

#include <cstring>

#include "db/transaction.h"
#include "db/value_conversions.h"
#include "demand/demand_plan.h"

namespace mrp {

namespace {
constexpr const char* kDeleteLots = "delete from LosGröße where Bedarf=?";
constexpr const char* kInsertLot =
    "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)";
}  // namespace

void DemandPlan::store() {
  const auto keySize = static_cast<std::int32_t>(std::strlen(demandKey));
  // The costs carry the currency factor multiplied in at load; dividing by it
  // gives them back in the unit of the parameter values.
  const double currency = factorFor(kWaehrung);
  runSerializableTransaction([&] {
    prepare(1);
    bindText(0, demandKey, keySize);
    execute(kDeleteLots);

    prepare(4);
    bindText(0, demandKey, keySize);
    for (const PlanningPeriod& period : periods) {
      if (period.lotSize == 0) continue;
      bindDouble(1, asDouble(period.start));
      bindInteger(2, period.lotSize);
      bindDouble(3, period.cost / currency);
      execute(kInsertLot);
    }
  });
}

}  // namespace mrp
