#include "demand/row_reading.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "demand/loading_fixture.h"

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

class RowReading : public ::testing::TestWithParam<test::Backend>, public test::LoadingTest {
 protected:
  void SetUp() override {
    openDatabase(GetParam());
    exec("create table Probe (k integer, n integer, r double precision, t varchar(200), d timestamp, "
         "b bigint)");
  }
  void TearDown() override { closeDatabase(); }
};

TEST_P(RowReading, ReadsMatchingKindsAndNotesEveryOtherColumn) {
  exec("insert into Probe values (1, NULL, NULL, NULL, NULL, NULL)");
  exec("insert into Probe values (2, 7, 2.5, 'Größe', '2024-03-01 12:00:00.4', 1)");
  DbQuery query(connection());
  query.prepare(0);
  ASSERT_TRUE(query.open("select n,r,t,d,b from Probe order by k"));
  RowReader nulls(query, "Probe");
  EXPECT_FALSE(nulls.integer(0, "n"));
  EXPECT_FALSE(nulls.real(1, "r"));
  EXPECT_FALSE(nulls.text(2, "t"));
  EXPECT_FALSE(nulls.date(3, "d"));
  EXPECT_EQ(nulls.optionalText(2), "");
  EXPECT_EQ(nulls.problem().columns, (std::vector<std::string_view>{"n", "r", "t", "d"}));
  ASSERT_TRUE(query.open(nullptr));
  RowReader row(query, "Probe");
  EXPECT_EQ(row.integer(0, "n"), 7);
  EXPECT_EQ(row.real(1, "r"), 2.5);
  EXPECT_EQ(row.text(2, "t"), "Größe");
  const std::optional<OleDate> date = row.date(3, "d");
  ASSERT_TRUE(date);
  EXPECT_DOUBLE_EQ(*date, test::kMarch1st2024 + 0.5);
  EXPECT_TRUE(row.complete());
  // Each getter reads one kind only: no conversion between them.
  EXPECT_FALSE(row.real(0, "n as real"));
  EXPECT_FALSE(row.integer(1, "r as integer"));
  EXPECT_FALSE(row.integer(2, "t as integer"));
  EXPECT_FALSE(row.text(3, "d as text"));
  EXPECT_FALSE(row.integer(4, "b"));
  EXPECT_EQ(row.optionalText(0), "");
  EXPECT_FALSE(row.complete());
  EXPECT_EQ(row.problem().columns,
            (std::vector<std::string_view>{"n as real", "r as integer", "t as integer",
                                           "d as text", "b"}));
}

TEST_P(RowReading, TextsAreCutTo128BytesAtACharacterBoundary) {
  std::string umlauts;
  for (int i = 0; i < 70; ++i) umlauts += "ü";  // 140 bytes
  exec("insert into Probe(t) values ('" + std::string(150, 'x') + "')");
  exec("insert into Probe(t) values ('a" + umlauts + "')");
  DbQuery query(connection());
  query.prepare(0);
  ASSERT_TRUE(query.open("select t from Probe order by t"));
  RowReader first(query, "Probe");
  EXPECT_EQ(first.text(0, "t"), "a" + umlauts.substr(0, 126));  // 127 bytes: no half character
  ASSERT_TRUE(query.open(nullptr));
  RowReader second(query, "Probe");
  EXPECT_EQ(second.optionalText(0), std::string(128, 'x'));
}

INSTANTIATE_TEST_SUITE_P(Backends, RowReading, ::testing::ValuesIn(test::allBackends()),
                         test::backendSuffix);

}  // namespace
}  // namespace mrp
