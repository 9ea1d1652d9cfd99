#include "db/value_conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "db/database_error.h"

namespace mrp {
namespace {

constexpr double kSecond = 1.0 / 86400.0;
// 2006-03-01 as a day number.
constexpr double kMarch1st2006 = 38777.0;

HRESULT codeOf(void (*call)()) {
  try {
    call();
  } catch (const DatabaseError& error) {
    return error.code();
  }
  return 0;
}

TEST(AsDouble, ReadsEveryNumericKind) {
  struct Case {
    VARIANT value;
    double expected;
  };
  const Case cases[] = {
      {VARIANT::real(2.5), 2.5},
      {VARIANT::date(38777.75), 38777.75},
      {VARIANT::int32(-7), -7.0},
      {VARIANT{}, 0.0},
      {VARIANT::text(u" 12.25 "), 12.25},
  };
  for (const auto& c : cases) EXPECT_EQ(asDouble(c.value), c.expected) << c.value.vt;
}

TEST(AsDouble, RaisesForNullTextAndOtherKinds) {
  EXPECT_NE(codeOf([] { asDouble(VARIANT::null()); }), 0);
  EXPECT_NE(codeOf([] { asDouble(VARIANT::text(u"12x")); }), 0);
  EXPECT_NE(codeOf([] { asDouble(VARIANT::text(u"")); }), 0);
  EXPECT_NE(codeOf([] { asDouble(VARIANT{VT_UNSUPPORTED, 0, 0.0, {}}); }), 0);
}

TEST(AsInt32, ReadsIntegersAndRoundsOthers) {
  EXPECT_EQ(asInt32(VARIANT::int32(42)), 42);
  EXPECT_EQ(asInt32(VARIANT{}), 0);
  EXPECT_EQ(asInt32(VARIANT::real(2.5)), 2);  // halves to even
  EXPECT_EQ(asInt32(VARIANT::real(-3.7)), -4);
  EXPECT_NE(codeOf([] { asInt32(VARIANT::null()); }), 0);
  EXPECT_NE(codeOf([] { asInt32(VARIANT::real(3e9)); }), 0);
  EXPECT_NE(codeOf([] { asInt32(VARIANT::real(std::nan(""))); }), 0);
}

TEST(AssignDouble, KeepsDoubleAndDateKindsAndMakesOthersDouble) {
  struct Case {
    VARIANT before;
    VARTYPE kindAfter;
  };
  const Case cases[] = {
      {VARIANT{}, VT_R8},           {VARIANT::null(), VT_R8},
      {VARIANT::real(1.0), VT_R8},  {VARIANT::date(38777.0), VT_DATE},
      {VARIANT::int32(3), VT_R8},   {VARIANT::text(u"abc"), VT_R8},
  };
  for (auto c : cases) {
    assignDouble(c.before, 4.25);
    EXPECT_EQ(c.before.vt, c.kindAfter);
    EXPECT_EQ(c.before.dblVal, 4.25);
    EXPECT_TRUE(c.before.bstrVal.empty());
  }
}

TEST(AssignInt32, FollowsTheKindOfTheTarget) {
  struct Case {
    VARIANT before;
    std::int32_t n;
    VARTYPE kindAfter;
    std::int32_t payloadAfter;
  };
  const Case cases[] = {
      {VARIANT::int32(1), 5, VT_I4, 5},
      {VARIANT{VT_ERROR, 0, 0.0, {}}, 5, VT_ERROR, 5},
      {VARIANT{VT_BOOL, 0, 0.0, {}}, 5, VT_BOOL, -1},
      {VARIANT{VT_BOOL, -1, 0.0, {}}, 0, VT_BOOL, 0},
      {VARIANT::real(2.0), 5, VT_I4, 5},
      {VARIANT::text(u"x"), -9, VT_I4, -9},
      {VARIANT{}, 7, VT_I4, 7},
  };
  for (auto c : cases) {
    assignInt32(c.before, c.n);
    EXPECT_EQ(c.before.vt, c.kindAfter);
    EXPECT_EQ(c.before.lVal, c.payloadAfter);
    EXPECT_TRUE(c.before.bstrVal.empty());
  }
}

TEST(RoundToSecond, RoundsToTheNearestSecondHalvesAwayFromZero) {
  struct Case {
    double in;
    double expected;
  };
  const double noon = kMarch1st2006 + 0.5;
  const Case cases[] = {
      {noon + 0.4 * kSecond, noon},
      {noon + 0.6 * kSecond, kMarch1st2006 + 43201 * 1.1574074074074073e-05},
      {kMarch1st2006 + 86399.7 * kSecond, kMarch1st2006 + 1.0},
      {-1.25, -1.25},
      {0.0, 0.0},
      // Before day 0 the time of day counts forward from a day that counts back.
      {-1.25 - 0.4 * kSecond, -1.25},                                // 1899-12-29 06:00:00.4
      {-1.25 - 0.6 * kSecond, -1.25 - 1.1574074074074073e-05},       // 06:00:00.6 -> 06:00:01
      {-1.9999999, 0.0},                                             // 23:59:59.99 -> next midnight
      {-2.0 - 0.6 * kSecond, -2.0 - 1.1574074074074073e-05},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(roundToSecond(c.in), c.expected) << c.in;
  EXPECT_EQ(roundToSecond(kMarch1st2006 + 86399.7 * kSecond), kMarch1st2006 + 1.0);
}

TEST(RoundToSecond, LeavesValuesOutsideTheDateRangeAlone) {
  EXPECT_EQ(roundToSecond(1e12), 1e12);
  EXPECT_TRUE(std::isnan(roundToSecond(std::nan(""))));
  EXPECT_EQ(roundToSecond(std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
}

TEST(PowerOf, RepeatedSquaring) {
  struct Case {
    double x;
    std::int32_t n;
    double expected;
  };
  const Case cases[] = {
      {10.0, 10, 1e10}, {10.0, 0, 1.0},  {10.0, -2, 1.0 / 100.0},
      {2.0, 31, 2147483648.0}, {-2.0, 3, -8.0}, {0.5, 1, 0.5},
  };
  for (const auto& c : cases) EXPECT_EQ(powerOf(c.x, c.n), c.expected) << c.x << "^" << c.n;
  EXPECT_EQ(powerOf(1.0, std::numeric_limits<std::int32_t>::min()), 1.0);
}

TEST(RoundToDecimals, HalvesAwayFromZero) {
  struct Case {
    double x;
    std::int32_t n;
    double expected;
  };
  const Case cases[] = {
      {2.6, 0, 3.0},  {-2.6, 0, -3.0}, {-2.4, 0, -2.0}, {2.5, 0, 3.0},
      {-2.5, 0, -3.0}, {1.25, 1, 1.3}, {0.0, 10, 0.0},  {1234.5678, -2, 1200.0},
  };
  for (const auto& c : cases) EXPECT_EQ(roundToDecimals(c.x, c.n), c.expected) << c.x;
}

TEST(Timestamps, ConvertToDayNumbersWithFractions) {
  struct Case {
    SQL_TIMESTAMP_STRUCT timestamp;
    double day;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
      {{2006, 3, 1, 0, 0, 0, 0}, kMarch1st2006},
      {{2006, 3, 1, 12, 0, 0, 0}, kMarch1st2006 + 0.5},
      {{2006, 3, 1, 18, 0, 0, 0}, kMarch1st2006 + 0.75},
      {{2000, 2, 29, 6, 0, 0, 0}, 36585.25},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
      {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{2006, 3, 1, 12, 0, 0, 400000000}, kMarch1st2006 + 0.5 + 0.4 * kSecond},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(oleDateFromTimestamp(c.timestamp), c.day) << c.day;
}

}  // namespace
}  // namespace mrp
