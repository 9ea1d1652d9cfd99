// Loading the demand's due quantities from `Termin`, in ascending date order.
#include <optional>

#include "demand/demand_plan.h"
#include "demand/row_reading.h"

namespace mrp {
namespace {

// The engine puts each due quantity into the last period created so far, so
// the rows must come in date order.
constexpr const char* kDueQuantityQuery =
    "select Termin,Menge from Termin where Bedarf=? order by Termin asc";

}  // namespace

void DemandPlan::loadDueQuantities() {
  if (!open(kDueQuantityQuery)) {
    reportNoDueQuantities();
    return;
  }
  do {
    RowReader row(*this, "Termin");
    std::optional<VARIANT> date = row.date(0, "Termin");
    const std::optional<std::int32_t> quantity = row.integer(1, "Menge");
    if (!row.complete()) {
      if (date) row.identify("Termin", formatOleDate(date->dblVal));
      reportSkippedRow(row.problem());
      continue;
    }
    dueQuantities.push_back(DueQuantity{std::move(*date), *quantity});
  } while (open(nullptr));
}

}  // namespace mrp
