// Days from 1970-01-01 of a proleptic Gregorian date and back, after
// H. Hinnant's civil calendar algorithms.
#include "platform/ole_date.h"

#include <cmath>
#include <cstdio>

#include "platform/number_format.h"

namespace mrp {
namespace {

/// Day number of 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 25569;
constexpr double kSecondsPerDay = 86400.0;
constexpr double kLargestDate = 1e9;

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void civilFromDays(std::int64_t days, CalendarTime& out) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  out.day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  out.month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  out.year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (out.month <= 2);
}

bool isLeapYear(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

unsigned daysInMonth(std::int64_t year, unsigned month) {
  constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

/// Reads exactly `digits` decimal digits at `at` into `value`.
bool readDigits(std::string_view text, std::size_t& at, std::size_t digits, unsigned& value) {
  if (at + digits > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  at += digits;
  return true;
}

bool readChar(std::string_view text, std::size_t& at, char expected) {
  if (at >= text.size() || text[at] != expected) return false;
  ++at;
  return true;
}

/// The time of day after a date: "HH:MM", ":SS", fraction.
bool readTimeOfDay(std::string_view text, std::size_t& at, CalendarTime& time) {
  if (!readDigits(text, at, 2, time.hour) || !readChar(text, at, ':') ||
      !readDigits(text, at, 2, time.minute) || time.hour > 23 || time.minute > 59)
    return false;
  if (at == text.size()) return true;
  if (!readChar(text, at, ':') || !readDigits(text, at, 2, time.second) || time.second > 59) return false;
  if (at == text.size()) return true;
  if (!readChar(text, at, '.') || at == text.size()) return false;
  std::uint32_t nanos = 0;
  std::size_t digits = 0;
  for (; at < text.size(); ++at, ++digits) {
    const char c = text[at];
    if (c < '0' || c > '9') return false;
    if (digits < 9) nanos = nanos * 10 + static_cast<std::uint32_t>(c - '0');
  }
  for (; digits < 9; ++digits) nanos *= 10;
  time.nanosecond = nanos;
  return true;
}

}  // namespace

std::optional<CalendarTime> parseCalendarTime(std::string_view text) {
  CalendarTime time;
  std::size_t at = 0;
  unsigned year = 0;
  if (!readDigits(text, at, 4, year) || !readChar(text, at, '-') || !readDigits(text, at, 2, time.month) ||
      !readChar(text, at, '-') || !readDigits(text, at, 2, time.day))
    return std::nullopt;
  time.year = year;
  if (year < 1 || time.month < 1 || time.month > 12 || time.day < 1 ||
      time.day > daysInMonth(time.year, time.month))
    return std::nullopt;
  if (at == text.size()) return time;
  if (text[at] != ' ' && text[at] != 'T') return std::nullopt;
  ++at;
  if (!readTimeOfDay(text, at, time)) return std::nullopt;
  return time;
}

bool isValidCalendarTime(const CalendarTime& time) noexcept {
  return time.year >= 1 && time.year <= 9999 && time.month >= 1 && time.month <= 12 && time.day >= 1 &&
         time.day <= daysInMonth(time.year, time.month) && time.hour <= 23 && time.minute <= 59 &&
         time.second <= 59 && time.nanosecond < 1'000'000'000;
}

OleDate oleDateFromCalendar(const CalendarTime& time) {
  const std::int64_t day = daysFromCivil(time.year, time.month, time.day) + kUnixEpochDay;
  const double timeOfDay =
      (time.hour * 3600.0 + time.minute * 60.0 + time.second + time.nanosecond / 1e9) / kSecondsPerDay;
  // Before day 0 the time of day still counts forward, away from the day.
  return day >= 0 ? static_cast<double>(day) + timeOfDay : static_cast<double>(day) - timeOfDay;
}

CalendarTime calendarFromOleDate(OleDate date, std::int64_t unitsPerDay) {
  const double wholeDays = std::trunc(date);
  auto day = static_cast<std::int64_t>(wholeDays);
  auto units = std::llround(std::fabs(date - wholeDays) * static_cast<double>(unitsPerDay));
  if (units >= unitsPerDay) {  // rounded up to the next calendar day's midnight
    units -= unitsPerDay;
    ++day;
  }
  CalendarTime out;
  civilFromDays(day - kUnixEpochDay, out);
  const auto nanosPerUnit = 86'400'000'000'000 / unitsPerDay;
  const std::int64_t nanos = units * nanosPerUnit;
  const std::int64_t seconds = nanos / 1'000'000'000;
  out.hour = static_cast<unsigned>(seconds / 3600);
  out.minute = static_cast<unsigned>(seconds / 60 % 60);
  out.second = static_cast<unsigned>(seconds % 60);
  out.nanosecond = static_cast<std::uint32_t>(nanos % 1'000'000'000);
  return out;
}

double linearDays(OleDate date) noexcept {
  if (!(date < 0.0)) return date;
  // The whole part counts back, the fraction (the time of day) forward.
  const double wholeDays = std::trunc(date);
  return wholeDays + (wholeDays - date);
}

OleDate oleDateFromLinear(double days) noexcept {
  if (!(days < 0.0)) return days;
  const double wholeDays = std::floor(days);
  return wholeDays - (days - wholeDays);
}

std::string formatOleDate(OleDate date) {
  if (!std::isfinite(date) || std::fabs(date) > kLargestDate) return formatNumber(date);
  const CalendarTime time = calendarFromOleDate(date, 86400);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02u:%02u:%02u", static_cast<long long>(time.year),
                time.month, time.day, time.hour, time.minute, time.second);
  return buffer;
}

}  // namespace mrp
