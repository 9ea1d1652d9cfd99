// Reading the demand header from `Bedarf`: start date, period length, description.
#include "demand/demand_loader.h"
#include "demand/row_reading.h"

namespace mrp {

bool DemandLoader::loadHeader() {
  Rows& rows = source_.header();
  if (!rows.next()) {
    problems_.missingDemand(plan_.demandKey);
    return false;
  }
  // Only the first header row counts when the key has several.
  plan_.headerFound = true;
  RowReader row(rows, "Bedarf");
  plan_.startDate = row.date(0, "StartTermin");
  const std::optional<std::int32_t> length = row.integer(1, "PeriodenLänge");
  plan_.description = row.optionalText(2);
  if (!row.complete()) {
    row.identify("Bedarf", plan_.demandKey);
    problems_.incompleteHeader(row.problem());
  }
  if (length) setPeriodLength(*length);
  return true;
}

void DemandLoader::setPeriodLength(std::int32_t headerLength) {
  const double factor = plan_.factorFor(kPeriodenLaenge);
  const double days = static_cast<double>(headerLength) * factor;
  const std::optional<std::int32_t> wholeDays = truncateToInt32(days);
  if (!wholeDays) {
    // Truncating would not give a day count at all; the demand stays unplannable.
    problems_.periodLengthOutOfRange(days, factor);
    return;
  }
  plan_.periodLength = *wholeDays;
}

}  // namespace mrp
