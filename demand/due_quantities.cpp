// Loading the demand's due quantities from `Termin`, in ascending date order.
#include <optional>

#include "demand/demand_loader.h"
#include "demand/row_reading.h"
#include "platform/ole_date.h"

namespace mrp {
namespace {

// The engine puts each due quantity into the last period created so far, so
// the rows must come in date order.
constexpr const char* kDueQuantityQuery =
    "select Termin,Menge from Termin where Bedarf=? order by Termin asc";
/// Rows per driver call: large enough that the calls no longer count.
constexpr std::size_t kRowsPerBlock = 1000;

}  // namespace

void DemandLoader::loadDueQuantities() {
  // A demand may have millions of due quantities: read them in blocks of
  // bound rows where the columns are of the kinds asked for; otherwise (a
  // date kept as text, say, or values the driver cut at a NUL) row by row,
  // which reports every such row.
  if (!noteValuesCutAtNul(kDueQuantityColumns) && loadDueQuantitiesInBlocks()) return;
  if (!query_.open(kDueQuantityQuery)) {
    problems_.noDueQuantities();
    return;
  }
  do {
    RowReader row(query_, "Termin");
    const std::optional<OleDate> date = row.date(0, "Termin");
    const std::optional<std::int32_t> quantity = row.integer(1, "Menge");
    addDueQuantity(row, date, quantity);
  } while (query_.open(nullptr));
}

bool DemandLoader::loadDueQuantitiesInBlocks() {
  switch (query_.openBlocks(kDueQuantityQuery,
                            {DbQuery::BlockColumn::Date, DbQuery::BlockColumn::Integer},
                            kRowsPerBlock)) {
    case DbQuery::BlockStart::NoRows:
      problems_.noDueQuantities();
      return true;
    case DbQuery::BlockStart::Rows:
      do {
        for (std::size_t row = 0; row < query_.blockRows(); ++row) loadDueQuantityFromBlock(row);
      } while (query_.nextBlock());
      return true;
    case DbQuery::BlockStart::OtherKinds:
      break;
  }
  return false;
}

void DemandLoader::loadDueQuantityFromBlock(std::size_t row) {
  UnreadableRow problem{"Termin", {}, {}};
  const std::optional<OleDate> date = query_.blockDate(row, 0);
  const std::optional<std::int32_t> quantity = query_.blockInteger(row, 1);
  if (date && quantity) {
    plan_.dueQuantities.push_back(DueQuantity{*date, *quantity});
    return;
  }
  if (!date) problem.columns.push_back("Termin");
  if (!quantity) problem.columns.push_back("Menge");
  if (date) problem.identity.emplace_back("Termin", formatOleDate(*date));
  problems_.skippedRow(problem);
}

void DemandLoader::addDueQuantity(RowReader& row, const std::optional<OleDate>& date,
                                  const std::optional<std::int32_t>& quantity) {
  if (!row.complete()) {
    if (date) row.identify("Termin", formatOleDate(*date));
    problems_.skippedRow(row.problem());
    return;
  }
  plan_.dueQuantities.push_back(DueQuantity{*date, *quantity});
}

}  // namespace mrp
