// Loading the demand's time-phased parameters from `Parameter`, converted by
// the conversion factor catalogue, with the whole-number check of the lot grid.
#include <limits>
#include <optional>
#include <string_view>

#include "demand/demand_loader.h"
#include "demand/row_reading.h"

namespace mrp {
namespace {

/// The code of a time-phased parameter name (codes 0 to 4 only).
std::optional<std::int32_t> parameterCode(std::string_view name) {
  for (std::int32_t code = 0; code < kParameterCodes; ++code) {
    if (kParameterNames[static_cast<std::size_t>(code)] == name) return code;
  }
  return std::nullopt;
}

bool isWholeNumber(double value) {
  const std::optional<std::int32_t> truncated = truncateToInt32(value);
  return truncated && static_cast<double>(*truncated) == value;
}

}  // namespace

void DemandLoader::loadParameters() {
  Rows& rows = source_.parameters();
  if (!rows.next()) {
    problems_.noParameters();
    return;
  }
  do {
    loadParameterRow(rows);
  } while (rows.next());
}

void DemandLoader::loadParameterRow(const Rows& rows) {
  RowReader row(rows, "Parameter");
  const std::optional<std::int32_t> period = row.integer(0, "Periode");
  const std::optional<std::string> name = row.text(1, "Parameter");
  const std::optional<double> stored = row.real(2, "Wert");
  // Periode counts from 1; the lowest integer has no period index below it.
  const bool periodUsable = period && *period != std::numeric_limits<std::int32_t>::min();
  if (period && !periodUsable) row.markUnreadable("Periode");
  if (!row.complete()) {
    if (name) row.identify("Parameter", *name);
    if (period) row.identify("Periode", std::to_string(*period));
    problems_.skippedRow(row.problem());
    return;
  }
  const std::optional<std::int32_t> code = parameterCode(*name);
  if (!code) {
    problems_.unknownParameter(*name);
    return;
  }
  // The stored value (Wert) times its conversion factors.
  double value = 0.0;
  if (*code == kRuestKosten || *code == kStueckKosten) {
    value = (plan_.factorFor(*code) * plan_.factorFor(kWaehrung)) * *stored;
  } else {
    value = plan_.factorFor(*code) * *stored;
  }
  // A fractional lot grid is reported but kept as computed.
  if (*code == kLosRaster && !isWholeNumber(value)) {
    problems_.fractionalLotGrid(*name, value, plan_.factorFor(kLosRaster));
  }
  plan_.parameters.push_back(ParameterEntry{*period - 1, *code, value});
}

}  // namespace mrp
