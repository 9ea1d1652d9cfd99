// Reading the demand header from `Bedarf`: start date, period length, description.
#include "demand/demand_plan.h"
#include "demand/row_reading.h"

namespace mrp {
namespace {

constexpr const char* kHeaderQuery =
    "select StartTermin,PeriodenLänge,Beschreibung from Bedarf where Bedarf=?";

}  // namespace

bool DemandPlan::loadHeader() {
  if (!open(kHeaderQuery)) {
    reportMissingDemand(demandKey);
    return false;
  }
  // Only the first header row counts when the key has several.
  headerFound = true;
  RowReader row(*this, "Bedarf");
  std::optional<VARIANT> start = row.date(0, "StartTermin");
  const std::optional<std::int32_t> length = row.integer(1, "PeriodenLänge");
  description = row.optionalText(2);
  if (!row.complete()) {
    row.identify("Bedarf", demandKey);
    reportIncompleteHeader(row.problem());
  }
  if (start) {
    startDate = std::move(*start);
    startDateRead = true;
  }
  if (length) setPeriodLength(*length);
  return true;
}

void DemandPlan::setPeriodLength(std::int32_t headerLength) {
  const double factor = factorFor(kPeriodenLaenge);
  const double days = static_cast<double>(headerLength) * factor;
  const std::optional<std::int32_t> wholeDays = truncateToInt32(days);
  if (!wholeDays) {
    // Truncating would not give a day count at all; the demand stays unplannable.
    reportPeriodLengthOutOfRange(days, factor);
    return;
  }
  periodLength = *wholeDays;
  periodLengthRead = true;
}

}  // namespace mrp
