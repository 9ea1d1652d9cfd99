#include "demand/row_reading.h"

#include <array>

#include "demand/demand_plan.h"

namespace mrp {

bool RowReader::holds(std::int32_t column, VARTYPE kind, std::string_view name) {
  if (query_.columnKind(column) == kind) return true;
  markUnreadable(name);
  return false;
}

std::optional<std::string> RowReader::text(std::int32_t column, std::string_view name) {
  if (!holds(column, VT_BSTR, name)) return std::nullopt;
  std::array<char, kTextCapacity> buffer{};
  query_.getText(column, buffer.data(), kTextCapacity);
  return std::string(buffer.data());
}

std::string RowReader::optionalText(std::int32_t column) {
  if (query_.columnKind(column) != VT_BSTR) return {};
  std::array<char, kTextCapacity> buffer{};
  query_.getText(column, buffer.data(), kTextCapacity);
  return std::string(buffer.data());
}

std::optional<std::int32_t> RowReader::integer(std::int32_t column, std::string_view name) {
  if (!holds(column, VT_I4, name)) return std::nullopt;
  std::int32_t value = 0;
  query_.getInteger(column, value);
  return value;
}

std::optional<double> RowReader::real(std::int32_t column, std::string_view name) {
  if (!holds(column, VT_R8, name)) return std::nullopt;
  double value = 0.0;
  query_.getDouble(column, value);
  return value;
}

std::optional<OleDate> RowReader::date(std::int32_t column, std::string_view name) {
  if (!holds(column, VT_DATE, name)) return std::nullopt;
  VARIANT value;
  query_.getDate(column, value);
  return value.dblVal;
}

std::optional<std::int32_t> truncateToInt32(double value) noexcept {
  // Every double strictly between these bounds truncates into the range; NaN
  // fails both comparisons.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace mrp
