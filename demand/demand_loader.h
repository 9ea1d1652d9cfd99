// Loading a demand from the rows of its four input tables.
//
// Loads, in this order, the conversion factor catalogue, the header, the
// time-phased parameters and the due quantities. A missing header ends the
// loading after the catalogue. Data problems go to the sink and loading goes
// on: a row whose needed columns are NULL, of another kind or not wholly what
// they claim is reported and left out. Each table is read once, forward:
// O(rows). Only the source raises (`DatabaseError` for a database source).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "demand/data_problems.h"
#include "demand/demand_source.h"
#include "demand/loaded_demand.h"
#include "demand/message_sink.h"

namespace mrp {

class RowReader;

/// Loads the demand `demandKey` from `source`.
LoadedDemand loadDemand(std::string_view demandKey, DemandSource& source, MessageSink& sink);

/// The steps of one loading, one file each.
class DemandLoader {
 public:
  DemandLoader(std::string_view demandKey, DemandSource& source, MessageSink& sink);
  LoadedDemand load() &&;

 private:
  void loadConversionFactors();
  /// False when the demand has no header row.
  bool loadHeader();
  /// periodLength := header length times the PeriodenLänge factor, truncated.
  void setPeriodLength(std::int32_t headerLength);
  void loadParameters();
  void loadParameterRow(const Rows& rows);
  void loadDueQuantities();

  DemandSource& source_;
  DataProblems problems_;
  LoadedDemand plan_;
};

}  // namespace mrp
