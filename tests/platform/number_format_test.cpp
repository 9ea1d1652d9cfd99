#include "platform/number_format.h"

#include <gtest/gtest.h>

#include <limits>

namespace mrp {
namespace {

TEST(FormatNumberTest, GeneralNotationWithThreeDigitExponent) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {2.5, "2.5"},
      {100, "100"},
      {0.0001, "0.0001"},
      {123456, "123456"},
      {1234567, "1.23457e+006"},
      {0.00001, "1e-005"},
      {1000000, "1e+006"},
      {999999.4, "999999"},
      {999999.5, "1e+006"},  // rounding to 6 digits reaches exponent 6
      {123456.7, "123457"},
      {0.1 + 0.2, "0.3"},
      {-2.5, "-2.5"},
      {-0.000012345678, "-1.23457e-005"},
      {0, "0"},
      {1e100, "1e+100"},
      {1.5e-300, "1.5e-300"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatNumber(c.value), c.text) << c.text;
}

}  // namespace
}  // namespace mrp
