// Loading of the due quantities (Termin).
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <optional>

#include "demand/loading_fixture.h"

namespace mrp {
namespace {

using test::banner;
using test::kMarch1st2024;

constexpr double kSecond = 1.0 / 86400.0;

class DueQuantities : public test::SQLiteLoading {};
class DueQuantitiesOnBoth : public test::BackendLoading {};

struct Expected {
  OleDate date;
  std::int32_t quantity;
};

void expectDueQuantities(const DemandPlan& plan, const std::vector<Expected>& expected) {
  ASSERT_EQ(plan.dueQuantities.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(plan.dueQuantities[i].date, expected[i].date, 1e-9) << i;
    EXPECT_EQ(plan.dueQuantities[i].quantity, expected[i].quantity) << i;
  }
}

TEST_P(DueQuantitiesOnBoth, ComeInDateOrderRoundedToWholeSecondsAndUnchecked) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  due("B", "'2024-03-02 08:00:00'", "-5");
  due("B", "'2024-03-01 12:00:00.6'", "0");
  due("B", "'2024-03-01 12:00:00.4'", "10");
  due("B", "'2024-03-03 00:00:00'", "2147483647");
  due("B", "'2024-03-03 00:00:00'", "7");
  due("OTHER", "'2024-03-01 00:00:00'", "99");
  const auto plan = load("B");
  EXPECT_EQ(messages(), "");
  ASSERT_EQ(plan->dueQuantities.size(), 5u);
  expectDueQuantities(*plan, {{kMarch1st2024 + 0.5, 10},
                              {kMarch1st2024 + 0.5 + kSecond, 0},
                              {kMarch1st2024 + 1 + 8.0 / 24.0, -5},
                              {kMarch1st2024 + 2, plan->dueQuantities[3].quantity},
                              {kMarch1st2024 + 2, plan->dueQuantities[4].quantity}});
  // Two rows with one date both count, in whichever order the database gives them.
  EXPECT_EQ(plan->dueQuantities[3].quantity + static_cast<std::int64_t>(plan->dueQuantities[4].quantity),
            2147483647LL + 7);
}

TEST_P(DueQuantitiesOnBoth, NoRowsIsReportedOnce) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  due("OTHER", "'2024-03-01 00:00:00'", "1");
  const auto plan = load("B");
  EXPECT_EQ(messages(), banner("Termine existieren nicht!"));
  EXPECT_TRUE(plan->dueQuantities.empty());
}

TEST_P(DueQuantitiesOnBoth, RowsWithNullColumnsAreReportedAndLeftOut) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  due("B", "'2024-03-01 06:00:00'", "NULL");  // the first row: nothing to inherit from
  due("B", "'2024-03-02 00:00:00'", "4");
  due("B", "'2024-03-03 00:00:00'", "NULL");
  due("B", "NULL", "8");
  due("B", "NULL", "NULL");
  const auto plan = load("B");
  expectDueQuantities(*plan, {{kMarch1st2024 + 1, 4}});
  const std::string row = "Unlesbare Spalte in Termin: ";
  const std::string skipped = ": Zeile ausgelassen!";
  const std::string nullDates =
      banner(row + "Termin ist NULL oder nicht lesbar" + skipped) +
      banner(row + "Termin, Menge sind NULL oder nicht lesbar" + skipped);
  const std::string datedRows =
      banner(row + "Menge ist NULL oder nicht lesbar (Termin: 2024-03-01 06:00:00)" + skipped) +
      banner(row + "Menge ist NULL oder nicht lesbar (Termin: 2024-03-03 00:00:00)" + skipped);
  // NULL dates sort first on SQLite and last on PostgreSQL; the two NULL-dated
  // rows come in either order among themselves.
  const std::string nullDatesSwapped =
      banner(row + "Termin, Menge sind NULL oder nicht lesbar" + skipped) +
      banner(row + "Termin ist NULL oder nicht lesbar" + skipped);
  const std::string expected1 = nullsSortFirst() ? nullDates + datedRows : datedRows + nullDates;
  const std::string expected2 =
      nullsSortFirst() ? nullDatesSwapped + datedRows : datedRows + nullDatesSwapped;
  EXPECT_TRUE(messages() == expected1 || messages() == expected2) << messages();
}

TEST_P(DueQuantitiesOnBoth, QuantityOfAnotherKindIsReportedLikeNull) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  if (onSQLite())
    exec("drop table Termin; create table Termin (Bedarf varchar(128), Termin timestamp, Menge bigint)");
  else if (GetParam() == test::Backend::MariaDB)
    exec("alter table Termin modify Menge bigint");
  else
    exec("alter table Termin alter column Menge type bigint");
  due("B", "'2024-03-01 00:00:00'", "5000000000");
  reconnect();
  const auto plan = load("B");
  EXPECT_TRUE(plan->dueQuantities.empty());
  EXPECT_EQ(messages(), banner("Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar "
                               "(Termin: 2024-03-01 00:00:00): Zeile ausgelassen!"));
}

TEST_F(DueQuantities, DateKeptAsTextIsReportedLikeNull) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  exec("drop table Termin; create table Termin (Bedarf varchar(128), Termin varchar(30), Menge integer)");
  due("B", "'2024-03-01 00:00:00'", "5");
  reconnect();
  const auto plan = load("B");
  EXPECT_TRUE(plan->dueQuantities.empty());
  EXPECT_EQ(messages(), banner("Unlesbare Spalte in Termin: Termin ist NULL oder nicht lesbar: "
                               "Zeile ausgelassen!"));
}

TEST_P(DueQuantitiesOnBoth, ManyRowsComeInOrderAcrossBlocksWithBadRowsReportedWhereTheyAre) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  // 2,500 rows a minute apart; rows 999, 1000 and 2499 (first, last of a block) without Menge.
  std::string rows;
  for (int i = 0; i < 2500; ++i) {
    const bool bad = i == 999 || i == 1000 || i == 2499;
    char date[32];
    std::snprintf(date, sizeof date, "'2024-03-%02d %02d:%02d:00'", 1 + i / 1440, i / 60 % 24, i % 60);
    rows += std::string(rows.empty() ? "" : ",") + "('B'," + date + "," + (bad ? "NULL" : std::to_string(i)) + ")";
  }
  exec("insert into Termin(Bedarf,Termin,Menge) values " + rows);
  const auto plan = load("B");
  ASSERT_EQ(plan->dueQuantities.size(), 2497u);
  std::int64_t sum = 0;
  for (std::size_t k = 1; k < plan->dueQuantities.size(); ++k) {
    EXPECT_LT(plan->dueQuantities[k - 1].date, plan->dueQuantities[k].date) << k;
    sum += plan->dueQuantities[k].quantity;
  }
  EXPECT_EQ(sum, 2499LL * 2500 / 2 - 999 - 1000 - 2499);
  const std::string skipped = "Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar (Termin: ";
  EXPECT_EQ(messages(), banner(skipped + "2024-03-01 16:39:00): Zeile ausgelassen!") +
                            banner(skipped + "2024-03-01 16:40:00): Zeile ausgelassen!") +
                            banner(skipped + "2024-03-02 17:39:00): Zeile ausgelassen!"));
}

TEST_F(DueQuantities, QuantitiesThatAreNotExactlyA32BitIntegerAreReported) {
  // SQLite keeps any value in an integer column; its driver would read each of
  // these leniently as some 32-bit integer.
  const struct {
    const char* menge;
    std::optional<std::int32_t> read;  // none: reported and left out
  } cases[] = {
      {"2147483648", std::nullopt},  {"4294967297", std::nullopt}, {"-2147483649", std::nullopt},
      {"1.9", std::nullopt},         {"'7abc'", std::nullopt},     {"'3,6e2'", std::nullopt},
      {"''", std::nullopt},          {"9e99", std::nullopt},       {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1}, {"5.0", 5},                {"'12'", 12},
  };
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  for (const auto& c : cases) {
    exec("delete from Termin");
    due("B", "'2024-03-01 00:00:00'", c.menge);
    const auto plan = load("B");
    if (c.read) {
      ASSERT_EQ(plan->dueQuantities.size(), 1u) << c.menge;
      EXPECT_EQ(plan->dueQuantities[0].quantity, *c.read) << c.menge;
      EXPECT_EQ(messages(), "") << c.menge;
    } else {
      EXPECT_TRUE(plan->dueQuantities.empty()) << c.menge;
      EXPECT_EQ(messages(), banner("Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar "
                                   "(Termin: 2024-03-01 00:00:00): Zeile ausgelassen!"))
          << c.menge;
    }
  }
}

TEST_F(DueQuantities, DatesThatAreNotWhollyADateAreReported) {
  // SQLite keeps any text in a timestamp column; its driver would take a date
  // with trailing text and read past the end of a time without seconds.
  const struct {
    const char* termin;
    std::optional<OleDate> read;
  } cases[] = {
      {"'2024-03-01 12:00'", kMarch1st2024 + 0.5},
      {"'2024-03-01T12:00:00'", kMarch1st2024 + 0.5},
      {"'2024-03-01 12:00:00+01:00'", std::nullopt},
      {"'2024-03-01 x'", std::nullopt},
      {"'2024-03-01''; drop table Bedarf; --'", std::nullopt},
      {"'10000-01-01 00:00:00'", std::nullopt},
      {"45352.5", std::nullopt},
  };
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  for (const auto& c : cases) {
    exec("delete from Termin");
    due("B", c.termin, "5");
    const auto plan = load("B");
    if (c.read) {
      ASSERT_EQ(plan->dueQuantities.size(), 1u) << c.termin;
      EXPECT_DOUBLE_EQ(plan->dueQuantities[0].date, *c.read) << c.termin;
    } else {
      EXPECT_TRUE(plan->dueQuantities.empty()) << c.termin;
      EXPECT_EQ(messages(), banner("Unlesbare Spalte in Termin: Termin ist NULL oder nicht lesbar: "
                                   "Zeile ausgelassen!"))
          << c.termin;
    }
  }
}

TEST_F(DueQuantities, ValuesWithAnEmbeddedNulAreUnreadableWhereverTheRowIs) {
  // The SQLite driver hands `40<NUL>9` as 40 and a date with a NUL and text
  // behind it as the date. 1,200 rows a minute apart, Menge i, among them: row
  // 5 with Menge 40<NUL>9 and a twin of what it reads as (row 5's date, 40),
  // row 1000 with a NUL and text behind its date.
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  std::string rows;
  std::vector<Expected> expected;
  for (int i = 0; i < 1200; ++i) {
    char date[24];
    std::snprintf(date, sizeof date, "2024-03-01 %02d:%02d:00", i / 60, i % 60);
    const OleDate day = kMarch1st2024 + i / 1440.0;
    std::string termin = "'" + std::string(date) + "'";
    std::string menge = std::to_string(i);
    if (i == 5) {
      menge = "cast(x'34300039' as text)";
      rows += "('B'," + termin + ",40),";
      expected.push_back({day, 40});
    } else if (i == 1000) {
      termin = "(" + termin + "||char(0)||'x')";
    } else {
      expected.push_back({day, i});
    }
    rows += "('B'," + termin + "," + menge + ")" + (i < 1199 ? "," : "");
  }
  exec("insert into Termin(Bedarf,Termin,Menge) values " + rows);
  const auto plan = load("B");
  expectDueQuantities(*plan, expected);
  const std::string row = "Unlesbare Spalte in Termin: ";
  EXPECT_EQ(messages(), banner(row + "Menge ist NULL oder nicht lesbar (Termin: 2024-03-01 00:05:00): "
                                     "Zeile ausgelassen!") +
                            banner(row + "Termin ist NULL oder nicht lesbar: Zeile ausgelassen!"));
}

TEST_P(DueQuantitiesOnBoth, InfiniteDatesAreUnreadableWhileTheLastRealSecondIsRead) {
  if (!onPostgreSQL()) GTEST_SKIP() << "only PostgreSQL has infinite timestamps";
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  due("B", "'infinity'", "1");
  due("B", "'-infinity'", "2");
  due("B", "'9999-12-31 23:59:59'", "3");
  due("B", "'2024-03-01 00:00:00'", "4");
  const auto plan = load("B");
  const OleDate lastSecond = 2958465.0 + 86399.0 / 86400.0;  // 9999-12-31 23:59:59
  expectDueQuantities(*plan, {{kMarch1st2024, 4}, {lastSecond, 3}});
  const std::string infinite = banner("Unlesbare Spalte in Termin: Termin ist NULL oder nicht lesbar: "
                                      "Zeile ausgelassen!");
  EXPECT_EQ(messages(), infinite + infinite);
}

TEST_F(DueQuantities, MissingHeaderReadsNoDueQuantities) {
  exec("delete from Termin");
  const auto plan = load("B");
  EXPECT_EQ(messages().find("Termine existieren nicht!"), std::string::npos);
  EXPECT_TRUE(plan->dueQuantities.empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, DueQuantitiesOnBoth, ::testing::ValuesIn(test::allBackends()),
                         test::backendSuffix);

}  // namespace
}  // namespace mrp
