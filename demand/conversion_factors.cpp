// Loading the demand's conversion factor catalogue from `UmrechnungsFaktor`.
#include <optional>
#include <string_view>

#include "demand/demand_loader.h"
#include "demand/row_reading.h"

namespace mrp {
namespace {

/// The code of a conversion name: exact comparison, case and blanks count.
std::optional<std::int32_t> conversionCode(std::string_view name) {
  for (std::size_t code = 0; code < kParameterNames.size(); ++code) {
    if (kParameterNames[code] == name) return static_cast<std::int32_t>(code);
  }
  return std::nullopt;
}

}  // namespace

void DemandLoader::loadConversionFactors() {
  Rows& rows = source_.conversionFactors();
  if (!rows.next()) {
    problems_.noConversionFactors();
    return;
  }
  do {
    RowReader row(rows, "UmrechnungsFaktor");
    const std::optional<std::string> name = row.text(0, "Umrechnung");
    const std::optional<double> factor = row.real(1, "UmrechnungsFaktor");
    std::string rowDescription = row.optionalText(2);
    if (!row.complete()) {
      if (name) row.identify("Umrechnung", *name);
      problems_.skippedRow(row.problem());
      continue;
    }
    const std::optional<std::int32_t> code = conversionCode(*name);
    if (!code) {
      problems_.unknownConversion(*name);
      continue;
    }
    plan_.conversionFactors.push_back(ConversionFactor{*code, *factor, std::move(rowDescription)});
  } while (rows.next());
}

}  // namespace mrp
