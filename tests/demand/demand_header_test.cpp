// Reading the demand header (Bedarf) and the period length.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demand/loading_fixture.h"

namespace mrp {
namespace {

using test::banner;
using test::kMarch1st2024;

class DemandHeader : public test::SQLiteLoading {};
class DemandHeaderOnBoth : public test::BackendLoading {};

TEST_P(DemandHeaderOnBoth, DemandWithoutAnyRowsPrintsTwoMessagesInOrder) {
  const auto plan = load("NICHTS");
  EXPECT_EQ(messages(), banner("UmrechnungsFaktoren existieren nicht!") +
                            banner("Bedarf existiert nicht: NICHTS"));
  EXPECT_FALSE(plan->headerFound);
  EXPECT_FALSE(plan->startDate.has_value());
  EXPECT_FALSE(plan->periodLength.has_value());
  EXPECT_TRUE(plan->conversionFactors.empty());
  EXPECT_TRUE(plan->parameters.empty());
  EXPECT_TRUE(plan->dueQuantities.empty());
}

TEST_P(DemandHeaderOnBoth, MissingHeaderStopsLoadingAfterTheFactors) {
  factor("B", "'PeriodenLänge'", "7.0");
  parameter("B", "1", "'RüstKosten'", "100.0");
  due("B", "'2024-03-01 00:00:00'", "5");
  // Another demand's header must not be taken for this one.
  header("B2", "'2024-03-01 00:00:00'", "1");
  const auto plan = load("B");
  EXPECT_EQ(messages(), banner("Bedarf existiert nicht: B"));
  EXPECT_EQ(plan->conversionFactors.size(), 1u);
  EXPECT_TRUE(plan->parameters.empty());
  EXPECT_TRUE(plan->dueQuantities.empty());
  EXPECT_FALSE(plan->headerFound);
}

TEST_P(DemandHeaderOnBoth, ReadsStartDateRoundedToTheSecondAndDescription) {
  header("B", "'2024-03-01 12:00:00.6'", "2", "'Kreiselpumpe Größe 4'");
  factor("B", "'PeriodenLänge'", "7.0");
  const auto plan = load("B");
  EXPECT_TRUE(plan->headerFound);
  ASSERT_TRUE(plan->startDate.has_value());
  EXPECT_DOUBLE_EQ(*plan->startDate, kMarch1st2024 + 0.5 + 1.0 / 86400.0);
  EXPECT_EQ(plan->periodLength, 14);
  EXPECT_EQ(plan->description, "Kreiselpumpe Größe 4");
}

TEST_F(DemandHeader, PeriodLengthIsHeaderLengthTimesFactorTruncated) {
  struct Case {
    const char* key;
    const char* length;
    const char* factor;  // nullptr: no PeriodenLänge row
    std::int32_t expected;
  };
  const Case cases[] = {
      {"A", "1", "7.0", 7},  {"B", "3", "1.5", 4},   {"C", "2", "7.0", 14},
      {"D", "3", "0.5", 1},  {"E", "5", nullptr, 0}, {"F", "-3", "1.5", -4},
      {"G", "0", "7.0", 0},
  };
  for (const Case& c : cases) {
    header(c.key, "'2024-03-01 00:00:00'", c.length);
    if (c.factor) factor(c.key, "'PeriodenLänge'", c.factor);
    parameter(c.key, "1", "'WagnisZinssatz'", "1.0");
    due(c.key, "'2024-03-01 00:00:00'", "1");
  }
  for (const Case& c : cases) {
    const auto plan = load(c.key);
    EXPECT_EQ(plan->periodLength, c.expected) << c.key;
    EXPECT_TRUE(plan->periodLength.has_value()) << c.key;
  }
}

TEST_F(DemandHeader, PeriodLengthBeyond32BitsIsReportedAndNotRead) {
  header("B", "'2024-03-01 00:00:00'", "2000000000");
  factor("B", "'PeriodenLänge'", "1.5");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  due("B", "'2024-03-01 00:00:00'", "1");
  const auto plan = load("B");
  EXPECT_EQ(messages(), banner("PeriodenL\x84nge au\xE1" "erhalb des Wertebereichs: 3e+009 "
                               "(inklusiv UmrechnungsFaktor: 1.5)"));
  EXPECT_FALSE(plan->periodLength.has_value());
  EXPECT_TRUE(plan->startDate.has_value());
}

TEST_F(DemandHeader, PeriodLengthThatIsNotExactlyA32BitIntegerIsReported) {
  for (const char* length : {"4294967298", "2.5", "'7 Tage'"}) {
    exec("delete from Bedarf");
    header("B", "'2024-03-01 00:00:00'", length);
    const auto plan = load("B");
    EXPECT_FALSE(plan->periodLength.has_value()) << length;
    EXPECT_NE(messages().find(banner("Unlesbare Spalte in Bedarf: PeriodenL\x84nge ist NULL oder nicht "
                                     "lesbar (Bedarf: B)")),
              std::string::npos)
        << length << messages();
  }
}

TEST_P(DemandHeaderOnBoth, NullColumnsAreReportedAndTheRestStillLoads) {
  struct Case {
    const char* key;
    const char* start;
    const char* length;
    bool startRead;
    bool lengthRead;
    std::string message;
  };
  const std::string prefix = "Unlesbare Spalte in Bedarf: ";
  const Case cases[] = {
      {"S", "NULL", "1", false, true,
       prefix + "StartTermin ist NULL oder nicht lesbar (Bedarf: S)"},
      {"L", "'2024-03-01 00:00:00'", "NULL", true, false,
       prefix + "PeriodenL\x84nge ist NULL oder nicht lesbar (Bedarf: L)"},
      {"SL", "NULL", "NULL", false, false,
       prefix + "StartTermin, PeriodenL\x84nge sind NULL oder nicht lesbar (Bedarf: SL)"},
  };
  for (const Case& c : cases) {
    header(c.key, c.start, c.length, "NULL");
    factor(c.key, "'PeriodenLänge'", "7.0");
    parameter(c.key, "1", "'WagnisZinssatz'", "2.0");
    due(c.key, "'2024-03-02 00:00:00'", "3");
  }
  for (const Case& c : cases) {
    const auto plan = load(c.key);
    EXPECT_EQ(messages(), banner(c.message)) << c.key;
    EXPECT_TRUE(plan->headerFound) << c.key;
    EXPECT_EQ(plan->startDate.has_value(), c.startRead) << c.key;
    EXPECT_EQ(plan->periodLength.has_value(), c.lengthRead) << c.key;
    if (c.lengthRead) {
      EXPECT_EQ(plan->periodLength, 7) << c.key;
    }
    EXPECT_EQ(plan->description, "") << c.key;
    EXPECT_EQ(plan->parameters.size(), 1u) << c.key;
    EXPECT_EQ(plan->dueQuantities.size(), 1u) << c.key;
  }
}

TEST_P(DemandHeaderOnBoth, UnreadableStartDatesAndLengthsAreReported) {
  // An embedded NUL (SQLite's driver hands the value up to it) or PostgreSQL's
  // infinite timestamps, which psqlODBC hands as 9999-12-31 23:59:59 or a date BC.
  struct Case {
    std::string key;
    std::string start;
    std::string length;
    bool startRead;
  };
  std::vector<Case> cases;
  if (onSQLite()) {
    cases.push_back({"S", "('2024-03-01 00:00:00'||char(0)||'x')", "1", false});
    cases.push_back({"L", "'2024-03-01 00:00:00'", "cast(x'310039' as text)", true});  // 1<NUL>9
  }
  if (onPostgreSQL()) {
    cases.push_back({"I", "'infinity'", "1", false});
    cases.push_back({"M", "'-infinity'", "1", false});
  }
  if (cases.empty()) GTEST_SKIP() << "no such values on this database";
  for (const Case& c : cases) {
    header(c.key, c.start, c.length);
    factor(c.key, "'PeriodenLänge'", "7.0");
    parameter(c.key, "1", "'WagnisZinssatz'", "2.0");
    due(c.key, "'2024-03-02 00:00:00'", "3");
  }
  for (const Case& c : cases) {
    const auto plan = load(c.key);
    const std::string column = c.startRead ? "PeriodenL\x84nge" : "StartTermin";
    EXPECT_EQ(messages(), banner("Unlesbare Spalte in Bedarf: " + column +
                                 " ist NULL oder nicht lesbar (Bedarf: " + c.key + ")"))
        << c.key;
    EXPECT_EQ(plan->startDate.has_value(), c.startRead) << c.key;
    EXPECT_EQ(plan->periodLength.has_value(), !c.startRead) << c.key;
  }
}

TEST_F(DemandHeader, StartDateOfAnotherKindIsReportedLikeNull) {
  exec("drop table Bedarf");
  exec("create table Bedarf (Bedarf varchar(128), StartTermin varchar(30),"
       " PeriodenLänge bigint, Beschreibung varchar(255))");
  exec("insert into Bedarf values ('Größe', '2024-03-01 00:00:00', 1, 'x')");
  reconnect();
  const auto plan = load("Größe");
  EXPECT_EQ(messages(),
            banner("UmrechnungsFaktoren existieren nicht!") +
                banner("Unlesbare Spalte in Bedarf: StartTermin, PeriodenL\x84nge sind NULL oder "
                       "nicht lesbar (Bedarf: Gr\x94\xE1" "e)") +
                banner("Parameter existieren nicht!") + banner("Termine existieren nicht!"));
  EXPECT_TRUE(plan->headerFound);
  EXPECT_FALSE(plan->startDate.has_value());
  EXPECT_FALSE(plan->periodLength.has_value());
  EXPECT_EQ(plan->description, "x");
}

TEST_F(DemandHeader, MissingDemandWithUmlautKeyIsPrintedInCodePage850) {
  factor("Größe", "'ZinsJahr'", "360.0");
  load("Größe");
  EXPECT_EQ(messages(), banner("Bedarf existiert nicht: Gr\x94\xE1" "e"));
}

INSTANTIATE_TEST_SUITE_P(Backends, DemandHeaderOnBoth, ::testing::ValuesIn(test::allBackends()),
                         test::backendSuffix);

}  // namespace
}  // namespace mrp
