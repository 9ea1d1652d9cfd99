// Reading one demand from the planning database: the four loading statements,
// each with the demand key as its single parameter, in one read transaction.
#pragma once

#include <string>
#include <string_view>

#include "db/statement.h"
#include "demand/demand_source.h"
#include "demand/loaded_demand.h"
#include "demand/message_sink.h"

namespace mrp {

class Connection;

/// The rows of one demand, one statement per table. Where the driver hides an
/// embedded NUL (SQLite), one more query asks whether the demand's rows hold
/// any, and only then each table's rows holding one are looked up before the
/// table is read. The due quantities come in blocks of bound rows: a demand
/// may have millions.
class DemandQueries final : public DemandSource {
 public:
  /// Raises `DatabaseError`.
  DemandQueries(Connection& connection, std::string_view demandKey);

  Rows& conversionFactors() override;
  Rows& header() override;
  Rows& parameters() override;
  Rows& dueQuantities() override;

 private:
  /// Runs `sql` for the demand after noting the cut values of `table` where
  /// there are any; true when there were.
  bool run(std::string_view sql, std::size_t table, std::size_t blockRows = 1);

  Statement statement_;
  std::string demandKey_;
  bool valuesCutAtNul_ = false;
};

/// Loads the demand `demandKey` over `connection`, all of it from one
/// committed state of the database (one read transaction): a writer changing
/// a factor and the due quantities together cannot give a plan that mixes
/// the old factor with the new quantities. Raises `DatabaseError`.
LoadedDemand loadDemand(Connection& connection, std::string_view demandKey, MessageSink& sink);

}  // namespace mrp
