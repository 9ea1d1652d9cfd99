// Loading the demand's due quantities from `Termin`, in ascending date order.
#include <optional>

#include "demand/demand_loader.h"
#include "demand/row_reading.h"
#include "platform/ole_date.h"

namespace mrp {

void DemandLoader::loadDueQuantities() {
  // The engine puts each due quantity into the last period created so far, so
  // the rows come in date order.
  Rows& rows = source_.dueQuantities();
  if (!rows.next()) {
    problems_.noDueQuantities();
    return;
  }
  do {
    RowReader row(rows, "Termin");
    const std::optional<OleDate> date = row.date(0, "Termin");
    const std::optional<std::int32_t> quantity = row.integer(1, "Menge");
    if (!row.complete()) {
      if (date) row.identify("Termin", formatOleDate(*date));
      problems_.skippedRow(row.problem());
      continue;
    }
    plan_.dueQuantities.push_back(DueQuantity{*date, *quantity});
  } while (rows.next());
}

}  // namespace mrp
