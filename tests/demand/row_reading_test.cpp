#include "demand/row_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "support/given_rows.h"

namespace mrp {
namespace {

TEST(TruncateToInt32, TruncatesTowardZeroWithinTheRangeOnly) {
  struct Case {
    double value;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {2.5, 2},
      {-2.5, -2},
      {-0.75, 0},
      {2147483647.0, 2147483647},
      {2147483647.9, 2147483647},
      {2147483648.0, std::nullopt},
      {-2147483648.0, std::numeric_limits<std::int32_t>::min()},
      {-2147483648.9, std::numeric_limits<std::int32_t>::min()},
      {-2147483649.0, std::nullopt},
      {1e300, std::nullopt},
      {std::numeric_limits<double>::infinity(), std::nullopt},
      {-std::numeric_limits<double>::infinity(), std::nullopt},
      {std::nan(""), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(truncateToInt32(c.value), c.expected) << c.value;
}

/// 2024-03-01 as an OleDate.
constexpr OleDate kMarch1st2024 = 45352.0;

using test::Date;
using test::GivenRows;
using test::Unreadable;

TEST(RowReading, ReadsMatchingKindsAndNotesEveryOtherColumn) {
  GivenRows rows({{std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}},
                  {7, 2.5,
                   std::string("Gr\xC3\xB6\xC3\x9F"
                               "e"),
                   Date{kMarch1st2024 + 0.5}, Unreadable{}}});
  ASSERT_TRUE(rows.next());
  RowReader nulls(rows, "Probe");
  EXPECT_FALSE(nulls.integer(0, "n"));
  EXPECT_FALSE(nulls.real(1, "r"));
  EXPECT_FALSE(nulls.text(2, "t"));
  EXPECT_FALSE(nulls.date(3, "d"));
  EXPECT_EQ(nulls.optionalText(2), "");
  EXPECT_EQ(nulls.problem().columns, (std::vector<std::string_view>{"n", "r", "t", "d"}));
  ASSERT_TRUE(rows.next());
  RowReader row(rows, "Probe");
  EXPECT_EQ(row.integer(0, "n"), 7);
  EXPECT_EQ(row.real(1, "r"), 2.5);
  EXPECT_EQ(row.text(2, "t"),
            "Gr\xC3\xB6\xC3\x9F"
            "e");
  EXPECT_EQ(row.date(3, "d"), kMarch1st2024 + 0.5);
  EXPECT_TRUE(row.complete());
  // Each read takes one kind only: no conversion between them.
  EXPECT_FALSE(row.real(0, "n as real"));
  EXPECT_FALSE(row.integer(1, "r as integer"));
  EXPECT_FALSE(row.integer(2, "t as integer"));
  EXPECT_FALSE(row.text(3, "d as text"));
  EXPECT_FALSE(row.integer(4, "unreadable"));
  EXPECT_EQ(row.optionalText(0), "");
  EXPECT_EQ(row.optionalText(4), "") << "an unreadable description counts as none";
  EXPECT_FALSE(row.complete());
  EXPECT_EQ(row.problem().columns, (std::vector<std::string_view>{"n as real", "r as integer", "t as integer",
                                                                  "d as text", "unreadable"}));
}

TEST(RowReading, TextsAreCutTo128BytesAtACharacterBoundaryAndKeptAsUtf8) {
  std::string umlauts;
  for (int i = 0; i < 70; ++i) umlauts += "\xC3\xBC";  // 140 bytes
  GivenRows rows({{"a" + umlauts},
                  {std::string(150, 'x')},
                  {std::string("Gr\xF6\xDF"
                               "e")}});
  ASSERT_TRUE(rows.next());
  EXPECT_EQ(RowReader(rows, "Probe").text(0, "t"),
            "a" + umlauts.substr(0, 126));  // 127 bytes: no half character
  ASSERT_TRUE(rows.next());
  EXPECT_EQ(RowReader(rows, "Probe").optionalText(0), std::string(128, 'x'));
  ASSERT_TRUE(rows.next());
  EXPECT_EQ(RowReader(rows, "Probe").text(0, "t"),
            "Gr\xEF\xBF\xBD\xEF\xBF\xBD"
            "e")
      << "what is not UTF-8 becomes U+FFFD";
}

}  // namespace
}  // namespace mrp
