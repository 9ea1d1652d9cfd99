#include "db/value_conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "db/database_error.h"
#include "platform/ole_date.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kDaysPerSecond = 1.1574074074074073e-05;

/// The number a text spells: optional blanks around a decimal number with a
/// point (the C locale); anything else is a type mismatch.
double parseNumber(std::u16string_view text) {
  std::string narrow = utf16ToUtf8(text);
  const auto first = narrow.find_first_not_of(" \t");
  const auto last = narrow.find_last_not_of(" \t");
  if (first == std::string::npos) throw DatabaseError(DISP_E_TYPEMISMATCH);
  const char* begin = narrow.data() + first;
  const char* end = narrow.data() + last + 1;
  if (*begin == '+') ++begin;
  double value = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error == std::errc::result_out_of_range) throw DatabaseError(DISP_E_OVERFLOW);
  if (error != std::errc{} || stop != end) throw DatabaseError(DISP_E_TYPEMISMATCH);
  return value;
}

/// Rounds half to even, as the variant conversion to an integer does.
std::int32_t toInt32(double x) {
  const double rounded = std::nearbyint(x);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max()))
    throw DatabaseError(DISP_E_OVERFLOW);
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

double asDouble(const VARIANT& value) {
  switch (value.vt) {
    case VT_R8:
    case VT_R4:
    case VT_DATE:
      return value.dblVal;
    case VT_EMPTY:
      return 0.0;
    case VT_I4:
    case VT_I2:
    case VT_UI1:
    case VT_BOOL:
      return value.lVal;
    case VT_BSTR:
      return parseNumber(value.bstrVal);
    default:
      throw DatabaseError(DISP_E_TYPEMISMATCH);
  }
}

std::int32_t asInt32(const VARIANT& value) {
  switch (value.vt) {
    case VT_I4:
    case VT_I2:
    case VT_UI1:
    case VT_BOOL:
      return value.lVal;
    case VT_EMPTY:
      return 0;
    case VT_R8:
    case VT_R4:
    case VT_DATE:
      return toInt32(value.dblVal);
    case VT_BSTR:
      return toInt32(parseNumber(value.bstrVal));
    default:
      throw DatabaseError(DISP_E_TYPEMISMATCH);
  }
}

void assignDouble(VARIANT& value, double x) {
  if (value.vt != VT_R8 && value.vt != VT_DATE) {
    value.clear();
    value.vt = VT_R8;
  }
  value.dblVal = x;
}

void assignInt32(VARIANT& value, std::int32_t n) {
  switch (value.vt) {
    case VT_I4:
    case VT_ERROR:
      value.lVal = n;
      return;
    case VT_BOOL:
      value.lVal = n != 0 ? -1 : 0;
      return;
    default:
      value.clear();
      value.vt = VT_I4;
      value.lVal = n;
  }
}

double roundToSecond(double dayNumber) {
  // Whole days and seconds pass through 32-bit integers; a value outside that
  // range (or not finite) is no date and is left as it is.
  if (!(std::fabs(dayNumber) < 2147483647.0)) return dayNumber;
  const auto days = static_cast<std::int32_t>(dayNumber);
  const double half = dayNumber < 0 ? -0.5 : 0.5;
  const auto seconds = static_cast<std::int32_t>((dayNumber - days) * kSecondsPerDay + half);
  return days + seconds * kDaysPerSecond;
}

double powerOf(double x, std::int32_t n) {
  // |n| as unsigned, so that the smallest int32 has a magnitude too.
  std::uint32_t exponent =
      n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
  double result = 1.0;
  double base = x;
  for (;;) {
    if (exponent & 1u) result = base * result;
    exponent >>= 1;
    if (exponent == 0) break;
    base = base * base;
  }
  return n < 0 ? 1.0 / result : result;
}

double roundToDecimals(double x, std::int32_t n) {
  const double scale = powerOf(10.0, n);
  if (x >= 0) return std::floor(x * scale + 0.5) / scale;
  return -std::floor(-x * scale + 0.5) / scale;
}

OleDate oleDateFromTimestamp(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return oleDateFromCalendar(CalendarTime{timestamp.year, timestamp.month, timestamp.day,
                                          timestamp.hour, timestamp.minute, timestamp.second,
                                          timestamp.fraction});
}

}  // namespace mrp
