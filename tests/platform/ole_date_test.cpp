#include "platform/ole_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace mrp {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

TEST(OleDate, CalendarTimesAndDayNumbersConvertBothWays) {
  struct Case {
    CalendarTime time;
    OleDate date;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{2006, 3, 1, 0, 0, 0, 0}, 38777.0},
      {{2006, 3, 1, 18, 0, 0, 0}, 38777.75},
      {{2000, 2, 29, 6, 0, 0, 0}, 36585.25},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},  // the fraction counts forward below day 0
      {{1899, 12, 28, 18, 0, 0, 0}, -2.75},
      {{1, 1, 1, 0, 0, 0, 0}, -693593.0},
      {{9999, 12, 31, 12, 0, 0, 0}, 2958465.5},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(oleDateFromCalendar(c.time), c.date) << c.date;
    EXPECT_EQ(calendarFromOleDate(c.date, 86400), c.time) << c.date;
  }
}

TEST(OleDate, RoundingToTheUnitMovesForwardInCalendarOrder) {
  struct Case {
    OleDate date;
    std::int64_t unitsPerDay;
    CalendarTime expected;
  };
  const Case cases[] = {
      {38777.0 + 0.4 * kSecond, 86400, {2006, 3, 1, 0, 0, 0, 0}},
      {38777.0 + 0.6 * kSecond, 86400, {2006, 3, 1, 0, 0, 1, 0}},
      {38777.0 + 0.4 * kSecond, 86'400'000, {2006, 3, 1, 0, 0, 0, 400'000'000}},
      {38778.0 - 1e-9, 86400, {2006, 3, 2, 0, 0, 0, 0}},
      // 1899-12-29 23:59:59.991: to the second it is the next day's midnight,
      // to the millisecond it stays on 1899-12-29.
      {-1.9999999, 86400, {1899, 12, 30, 0, 0, 0, 0}},
      {-1.9999999, 86'400'000, {1899, 12, 29, 23, 59, 59, 991'000'000}},
      {-2.0 - 0.5 * kSecond, 86400, {1899, 12, 28, 0, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(calendarFromOleDate(c.date, c.unitsPerDay), c.expected) << c.date;
  }
}

TEST(OleDate, LinearDaysCountTimeForwardAlsoBeforeDayZero) {
  const struct {
    OleDate date;
    double linear;
  } cases[] = {
      {45352.5, 45352.5}, {0.0, 0.0},     {0.25, 0.25},   {-1.0, -1.0},
      {-1.25, -0.75},     {-2.75, -1.25}, {-59.5, -58.5}, {-693593.0, -693593.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(linearDays(c.date), c.linear) << c.date;
    EXPECT_EQ(oleDateFromLinear(c.linear), c.date) << c.linear;
  }
  // -0.5 is noon of day 0, as 0.5 is; it comes back in the positive form.
  EXPECT_EQ(linearDays(-0.5), 0.5);
  // The linear scale orders moments as the calendar does.
  const OleDate inCalendarOrder[] = {-3.0, -3.9, -2.0, -2.5, -1.0, -1.75, 0.0, 0.5, 1.0};
  for (std::size_t i = 1; i < std::size(inCalendarOrder); ++i) {
    EXPECT_LT(linearDays(inCalendarOrder[i - 1]), linearDays(inCalendarOrder[i])) << i;
  }
}

TEST(OleDate, CalendarTextIsReadOnlyWhenItIsWhollyADateAndTime) {
  const struct {
    const char* text;
    std::optional<CalendarTime> time;
  } cases[] = {
      {"2024-03-01", CalendarTime{2024, 3, 1, 0, 0, 0, 0}},
      {"2024-03-01 12:34:56", CalendarTime{2024, 3, 1, 12, 34, 56, 0}},
      {"2024-03-01T12:34:56", CalendarTime{2024, 3, 1, 12, 34, 56, 0}},
      {"2024-03-01 12:34", CalendarTime{2024, 3, 1, 12, 34, 0, 0}},
      {"2024-03-01 12:00:00.4", CalendarTime{2024, 3, 1, 12, 0, 0, 400'000'000}},
      {"2024-03-01 12:00:00.123456789987", CalendarTime{2024, 3, 1, 12, 0, 0, 123'456'789}},
      {"2024-02-29 00:00:00", CalendarTime{2024, 2, 29, 0, 0, 0, 0}},
      {"0001-01-01", CalendarTime{1, 1, 1, 0, 0, 0, 0}},
      {"9999-12-31 23:59:59", CalendarTime{9999, 12, 31, 23, 59, 59, 0}},
      {"2023-02-29", std::nullopt},  // no leap year
      {"2024-13-01", std::nullopt},
      {"2024-04-31", std::nullopt},
      {"0000-01-01", std::nullopt},
      {"2024-03-01 24:00:00", std::nullopt},
      {"2024-03-01 12:60", std::nullopt},
      {"2024-03-01 12:00:60", std::nullopt},
      {"2024-03-01 12:00:00+01", std::nullopt},  // a time zone
      {"2024-03-01 12:00:00Z", std::nullopt},
      {"2024-03-01 x", std::nullopt},  // trailing text
      {"2024-03-01'; drop table Bedarf; --", std::nullopt},
      {"2024-03-01 12:00:00.", std::nullopt},
      {"2024/03/01", std::nullopt},
      {"24-03-01", std::nullopt},
      {"10000-01-01", std::nullopt},
      {" 2024-03-01", std::nullopt},
      {"12345", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parseCalendarTime(c.text), c.time) << c.text;
}

TEST(OleDate, FormatGivesCalendarDateAndTime) {
  struct Case {
    OleDate date;
    const char* expected;
  };
  const Case cases[] = {
      {0.0, "1899-12-30 00:00:00"},
      {45352.5, "2024-03-01 12:00:00"},
      {45352.5 + kSecond, "2024-03-01 12:00:01"},
      {45351.0, "2024-02-29 00:00:00"},
      {45352.0 - 1e-9, "2024-03-01 00:00:00"},  // rounds up into the next day
      {-1.25, "1899-12-29 06:00:00"},           // before the epoch the fraction is still the time
      {-1.9999999, "1899-12-30 00:00:00"},      // rounds forward in time, not back
      {2958465.0, "9999-12-31 00:00:00"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {2e9, "2e+009"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatOleDate(c.date), c.expected) << c.date;
}

}  // namespace
}  // namespace mrp
