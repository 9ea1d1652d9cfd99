// LoadedDemand: one demand (`Bedarf`) as loaded from the planning database.
//
// Plain data: the key, the header, the conversion factor catalogue, the
// time-phased parameters and the due quantities, each list in the order the
// loading delivers it (catalogue as the database returns it, parameters grouped
// by name and ascending by period within a name, due quantities ascending by
// date). The engine reads it and never changes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "demand/parameter_code.h"
#include "platform/ole_date.h"

namespace mrp {

/// Texts read from the database keep at most this many bytes, less one.
inline constexpr std::int32_t kTextCapacity = 129;

/// One row of `UmrechnungsFaktor`.
struct ConversionFactor {
  std::int32_t code = 0;
  double factor = 0.0;
  std::string description;
};

/// One row of `Parameter`: from `period` on (0-based), code `code` has `value`
/// (already multiplied by its conversion factors).
struct ParameterEntry {
  std::int32_t period = 0;
  std::int32_t code = 0;
  double value = 0.0;
};

/// One row of `Termin`.
struct DueQuantity {
  OleDate date = 0.0;  // rounded to whole seconds
  std::int32_t quantity = 0;
};

struct LoadedDemand {
  std::string demandKey;
  /// Whether the header row was found. Without it nothing else but the
  /// catalogue is loaded.
  bool headerFound = false;
  /// The start of period 0; none when it could not be read.
  std::optional<OleDate> startDate;
  /// The period length in whole days (header length times the `PeriodenLänge`
  /// factor, truncated); none when it could not be read or does not fit.
  std::optional<std::int32_t> periodLength;
  std::string description;
  std::vector<ConversionFactor> conversionFactors;
  std::vector<ParameterEntry> parameters;
  std::vector<DueQuantity> dueQuantities;

  /// Factor of the first catalogue entry with `code`, 0.0 when there is none.
  double factorFor(std::int32_t code) const;
  /// Whether the catalogue has an entry with `code`.
  bool hasFactor(std::int32_t code) const;
};

}  // namespace mrp
