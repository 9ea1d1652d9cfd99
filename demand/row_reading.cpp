#include "demand/row_reading.h"

#include "demand/loaded_demand.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

/// A text as the loading keeps it: what is not UTF-8 replaced (U+FFFD), then
/// at most 128 bytes, cut at a character boundary.
std::string kept(std::string_view text) {
  const std::string whole = utf16ToUtf8(utf8ToUtf16(text));
  return std::string(cutAtCharBoundary(whole, static_cast<std::size_t>(kTextCapacity) - 1));
}

}  // namespace

std::optional<std::string> RowReader::text(std::size_t column, std::string_view name) {
  const std::optional<std::string_view> value = needed(rows_.text(column), name);
  return value ? std::optional<std::string>(kept(*value)) : std::nullopt;
}

std::string RowReader::optionalText(std::size_t column) {
  const Read<std::string_view> value = rows_.text(column);
  return value ? kept(*value) : std::string();
}

std::optional<std::int32_t> RowReader::integer(std::size_t column, std::string_view name) {
  return needed(rows_.integer(column), name);
}

std::optional<double> RowReader::real(std::size_t column, std::string_view name) {
  return needed(rows_.real(column), name);
}

std::optional<OleDate> RowReader::date(std::size_t column, std::string_view name) {
  return needed(rows_.date(column), name);
}

std::optional<std::int32_t> truncateToInt32(double value) noexcept {
  // Every double strictly between these bounds truncates into the range; NaN
  // fails both comparisons.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace mrp
