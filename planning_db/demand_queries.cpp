#include "planning_db/demand_queries.h"

#include <chrono>

#include "db/connection.h"
#include "db/transaction.h"
#include "demand/demand_loader.h"
#include "planning_db/cut_values.h"

namespace mrp {
namespace {

constexpr const char* kConversionFactorQuery =
    "select Umrechnung,UmrechnungsFaktor,Beschreibung from UmrechnungsFaktor where Bedarf=?";
constexpr const char* kHeaderQuery =
    "select StartTermin,PeriodenLänge,Beschreibung from Bedarf where Bedarf=?";
// Grouped by name and ascending by period within a name: the period cost table
// walks each code's entries as one run.
constexpr const char* kParameterQuery =
    "select Periode,Parameter,Wert from Parameter where Bedarf=? order by Parameter,Periode asc";
// The engine puts each due quantity into the last period created so far, so
// the rows must come in date order.
constexpr const char* kDueQuantityQuery =
    "select Termin,Menge from Termin where Bedarf=? order by Termin asc";
/// Rows per driver call: large enough that the calls no longer count.
constexpr std::size_t kRowsPerBlock = 1000;

/// The tables as the statements read them, in the order of `cutValuesCount`.
const InputColumns* const kInputs[] = {&kFactorColumns, &kHeaderColumns, &kParameterColumns,
                                       &kDueQuantityColumns};

}  // namespace

DemandQueries::DemandQueries(Connection& connection, std::string_view demandKey)
    : statement_(connection), demandKey_(demandKey) {
  if (!connection.cutsTextsAtNul()) return;
  statement_.query(cutValuesCount(), {demandKey_});
  valuesCutAtNul_ = statement_.next() && statement_.integer(0).optional().value_or(0) > 0;
  while (statement_.next()) {
  }
}

bool DemandQueries::run(std::string_view sql, std::size_t table, std::size_t blockRows) {
  const bool cut =
      valuesCutAtNul_ && statement_.noteValuesCutAtNul(cutValuesProbe(*kInputs[table]), {demandKey_});
  // Cut values are matched to rows as read one by one.
  statement_.query(sql, {demandKey_}, cut ? 1 : blockRows);
  return cut;
}

Rows& DemandQueries::conversionFactors() {
  run(kConversionFactorQuery, 0);
  return statement_;
}

Rows& DemandQueries::header() {
  run(kHeaderQuery, 1);
  return statement_;
}

Rows& DemandQueries::parameters() {
  run(kParameterQuery, 2);
  return statement_;
}

Rows& DemandQueries::dueQuantities() {
  run(kDueQuantityQuery, 3, kRowsPerBlock);
  return statement_;
}

LoadedDemand loadDemand(Connection& connection, std::string_view demandKey, MessageSink& sink) {
  // Reads alone are never given up by the database, and the messages already
  // handed to the sink could not be taken back, so there is no retry.
  LoadedDemand plan;
  runTransaction(
      connection, Isolation::Snapshot,
      [&] {
        DemandQueries queries(connection, demandKey);
        plan = loadDemand(demandKey, queries, sink);
      },
      std::chrono::milliseconds(0));
  return plan;
}

}  // namespace mrp
