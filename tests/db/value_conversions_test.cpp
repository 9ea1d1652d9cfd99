#include "db/value_conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace mrp {
namespace {

constexpr double kSecond = 1.0 / 86400.0;
// 2006-03-01 as a day number.
constexpr double kMarch1st2006 = 38777.0;

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
      {-1.25 - 0.4 * kSecond, -1.25},                           // 1899-12-29 06:00:00.4
      {-1.25 - 0.6 * kSecond, -1.25 - 1.1574074074074073e-05},  // 06:00:00.6 -> 06:00:01
      {-1.9999999, 0.0},                                        // 23:59:59.99 -> next midnight
      {-2.0 - 0.6 * kSecond, -2.0 - 1.1574074074074073e-05},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(roundToSecond(c.in), c.expected) << c.in;
  EXPECT_EQ(roundToSecond(kMarch1st2006 + 86399.7 * kSecond), kMarch1st2006 + 1.0);
}

TEST(RoundToSecond, LeavesValuesOutsideTheDateRangeAlone) {
  EXPECT_EQ(roundToSecond(1e12), 1e12);
  EXPECT_TRUE(std::isnan(roundToSecond(std::nan(""))));
  EXPECT_EQ(roundToSecond(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
}

TEST(RoundToDecimals, HalvesAwayFromZero) {
  struct Case {
    double x;
    std::int32_t n;
    double expected;
  };
  const Case cases[] = {
      {2.6, 0, 3.0},   {-2.6, 0, -3.0}, {-2.4, 0, -2.0}, {2.5, 0, 3.0},
      {-2.5, 0, -3.0}, {1.25, 1, 1.3},  {0.0, 10, 0.0},  {1234.5678, -2, 1200.0},
  };
  for (const auto& c : cases) EXPECT_EQ(roundToDecimals(c.x, c.n), c.expected) << c.x;
}

// Numbers are read from the driver's text, all of it: what a lenient C
// conversion would take in part is no number.
TEST(ParseNumbers, TakeOnlyTextsThatAreWhollyANumber) {
  struct Case {
    const char* text;
    std::optional<double> real;
    std::optional<std::int32_t> integer;
  };
  const Case cases[] = {
      {"7", 7.0, 7},
      {" 7 ", 7.0, 7},
      {"-7.0", -7.0, -7},
      {"7e0", 7.0, 7},
      {"+2.5", 2.5, {}},
      {"2147483647", 2147483647.0, 2147483647},
      {"2147483648", 2147483648.0, {}},
      {"-2147483649", -2147483649.0, {}},
      {"7abc", {}, {}},
      {"3,6e2", {}, {}},
      {"", {}, {}},
      {"+-1", {}, {}},
      {"1e400", {}, {}},
      {"0x10", {}, {}},
      {"1.9", 1.9, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseNumberText(c.text), c.real) << c.text;
    EXPECT_EQ(parseInt32Text(c.text), c.integer) << c.text;
  }
  EXPECT_TRUE(std::isinf(*parseNumberText("inf")));
  EXPECT_TRUE(std::isnan(*parseNumberText("nan")));
}

}  // namespace
}  // namespace mrp
