// Loading a demand from the planning database.
//
// Binds the demand key once as the single statement parameter (every loading
// statement filters by Bedarf=?) and loads, in this order, the conversion
// factor catalogue, the header, the time-phased parameters and the due
// quantities. A missing header ends the loading after the catalogue. Data
// problems go to the sink and loading goes on: a row whose needed columns are
// NULL, of another kind or not wholly what they claim is reported and left
// out. Only database failures raise (`DatabaseError`). Each table is read
// once, forward: O(rows). Where the driver hides an embedded NUL (SQLite), one
// more query asks whether the demand's rows hold any, and only then each
// table's rows holding one are looked up before the table is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "db/db_query.h"
#include "demand/cut_values.h"
#include "demand/data_problems.h"
#include "demand/demand_plan.h"
#include "demand/message_sink.h"

namespace mrp {

class Connection;
class RowReader;

/// Loads the demand `demandKey` over `connection`, all of it from one
/// committed state of the database (one read transaction).
DemandPlan loadDemandPlan(Connection& connection, std::string_view demandKey, MessageSink& sink);

/// The steps of one loading, one file each.
class DemandLoader {
 public:
  DemandLoader(Connection& connection, std::string_view demandKey, MessageSink& sink);
  DemandPlan load() &&;

 private:
  /// Whether the demand's rows hold a value the driver cuts at a NUL.
  bool holdsValuesCutAtNul();
  /// Notes the rows of `input` holding such values for its statement, which
  /// runs next; true when there are any.
  bool noteValuesCutAtNul(const InputColumns& input);
  void loadConversionFactors();
  /// False when the demand has no header row.
  bool loadHeader();
  /// periodLength := header length times the PeriodenLänge factor, truncated.
  void setPeriodLength(std::int32_t headerLength);
  void loadParameters();
  void loadParameterRow();
  void loadDueQuantities();
  /// False, with nothing read, when the columns are not of the kinds the
  /// blocks read.
  bool loadDueQuantitiesInBlocks();
  void loadDueQuantityFromBlock(std::size_t row);
  void addDueQuantity(RowReader& row, const std::optional<OleDate>& date,
                      const std::optional<std::int32_t>& quantity);

  DbQuery query_;
  DataProblems problems_;
  DemandPlan plan_;
  bool valuesCutAtNul_ = false;
};

}  // namespace mrp
