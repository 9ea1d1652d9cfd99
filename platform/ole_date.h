// OLE Automation day numbers and calendar dates: the one calendar of the system.
//
// An OleDate counts days since 1899-12-30 00:00:00; its fraction is the time of
// day. Below day 0 the whole part counts back while the fraction still counts
// forward from that day's midnight: -1.25 is 1899-12-29 06:00, -2.75 is
// 1899-12-28 18:00. Calendar dates are proleptic Gregorian. Rounding happens in
// calendar order: a time of day that rounds up to midnight moves to the next
// calendar day, also below day 0 (-1.9999999 to whole seconds is
// 1899-12-30 00:00:00). Each conversion is O(1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mrp {

/// A date as days since 1899-12-30; the time of day is the fraction.
using OleDate = double;

/// A calendar date and time of day.
struct CalendarTime {
  std::int64_t year = 1899;
  unsigned month = 12;
  unsigned day = 30;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  std::uint32_t nanosecond = 0;

  friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

/// The calendar time a text spells, all of it: "YYYY-MM-DD", optionally
/// followed by a blank or "T" and "HH:MM", ":SS" and a fraction of a second
/// (digits beyond nanoseconds are cut). Years 1 to 9999, every field in its
/// range (February 29 only in leap years). Nothing for anything else: another
/// order, a time zone, trailing text.
std::optional<CalendarTime> parseCalendarTime(std::string_view text);
/// Whether every field of `time` is in the range parseCalendarTime allows.
bool isValidCalendarTime(const CalendarTime& time) noexcept;

/// The day number of a calendar time, fractions of a second kept.
OleDate oleDateFromCalendar(const CalendarTime& time);

/// The calendar time of `date`, rounded to the nearest 1/`unitsPerDay` of a
/// day (86400: whole seconds; 86400000: milliseconds), halves up. `date` must
/// be finite and at most 1e9 days from day 0.
CalendarTime calendarFromOleDate(OleDate date, std::int64_t unitsPerDay);

/// `date` on a linear time scale: days since 1899-12-30 00:00:00, negative
/// before it (-1.25, 1899-12-29 06:00, is -0.75). From day 0 on the very same
/// number: time order is the order of these numbers.
double linearDays(OleDate date) noexcept;
/// The OleDate of a linear day count; `oleDateFromLinear(linearDays(d))` is the
/// same moment as d (for d in (-1, 0) written as its positive twin).
OleDate oleDateFromLinear(double days) noexcept;

/// "YYYY-MM-DD HH:MM:SS" to the nearest second; a value that is no date (not
/// finite or beyond 1e9 days) in the message number format.
std::string formatOleDate(OleDate date);

}  // namespace mrp
