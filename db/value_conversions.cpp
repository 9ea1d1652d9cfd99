#include "db/value_conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "driver/com_error.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

// The codes of the OLE Automation variant conversion for the failures we share.
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

constexpr double kSecondsPerDay = 86400.0;
constexpr double kDaysPerSecond = 1.1574074074074073e-05;
/// Day number of 1970-01-01, the epoch of the civil-date arithmetic below.
constexpr std::int64_t kUnixEpochDay = 25569;

/// The number a text spells: optional blanks around a decimal number with a
/// point (the C locale); anything else is a type mismatch.
double parseNumber(std::u16string_view text) {
  std::string narrow = utf16ToUtf8(text);
  const auto first = narrow.find_first_not_of(" \t");
  const auto last = narrow.find_last_not_of(" \t");
  if (first == std::string::npos) raiseComCode(DISP_E_TYPEMISMATCH);
  const char* begin = narrow.data() + first;
  const char* end = narrow.data() + last + 1;
  if (*begin == '+') ++begin;
  double value = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error == std::errc::result_out_of_range) raiseComCode(DISP_E_OVERFLOW);
  if (error != std::errc{} || stop != end) raiseComCode(DISP_E_TYPEMISMATCH);
  return value;
}

/// Rounds half to even, as the variant conversion to an integer does.
std::int32_t toInt32(double x) {
  const double rounded = std::nearbyint(x);
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max()))
    raiseComCode(DISP_E_OVERFLOW);
  return static_cast<std::int32_t>(rounded);
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back
// (H. Hinnant's civil calendar algorithms).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, SQL_TIMESTAMP_STRUCT& out) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
  out.year = static_cast<SQLSMALLINT>(year);
  out.month = static_cast<SQLUSMALLINT>(month);
  out.day = static_cast<SQLUSMALLINT>(day);
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
      raiseComCode(DISP_E_TYPEMISMATCH);
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
      raiseComCode(DISP_E_TYPEMISMATCH);
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
  const std::int64_t day =
      daysFromCivil(timestamp.year, timestamp.month, timestamp.day) + kUnixEpochDay;
  const double timeOfDay = (timestamp.hour * 3600.0 + timestamp.minute * 60.0 + timestamp.second +
                            timestamp.fraction / 1e9) /
                           kSecondsPerDay;
  // Before day 0 the time of day still counts forward, away from the day:
  // -1.25 is 1899-12-29 06:00.
  return day >= 0 ? static_cast<double>(day) + timeOfDay : static_cast<double>(day) - timeOfDay;
}

SQL_TIMESTAMP_STRUCT timestampFromOleDate(OleDate date) {
  SQL_TIMESTAMP_STRUCT out{};
  double wholeDays = std::trunc(date);
  auto milliseconds = static_cast<std::int64_t>(std::llround(std::fabs(date - wholeDays) * 86400000.0));
  auto day = static_cast<std::int64_t>(wholeDays);
  if (milliseconds >= 86400000) {  // rounded up to midnight of the next day
    milliseconds -= 86400000;
    ++day;
  }
  civilFromDays(day - kUnixEpochDay, out);
  out.hour = static_cast<SQLUSMALLINT>(milliseconds / 3600000);
  out.minute = static_cast<SQLUSMALLINT>(milliseconds / 60000 % 60);
  out.second = static_cast<SQLUSMALLINT>(milliseconds / 1000 % 60);
  out.fraction = static_cast<SQLUINTEGER>(milliseconds % 1000 * 1000000);
  return out;
}

}  // namespace mrp
