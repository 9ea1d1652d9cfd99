#include "report/plan_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>

#include "report/plan_report.h"
#include "report/sample_plans.h"

namespace mrp::report {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

std::string tableOf(const PlanReport& report) {
  std::ostringstream out;
  writePlanTable(out, report);
  return out.str();
}

TEST(PlanTable, Ww1958ShowsEveryPeriodWithItsStoredLotCostAndTheTotals) {
  EXPECT_EQ(tableOf(makePlanReport("WW1958", 1, test::ww1958Plan())),
            "Bedarf: WW1958   Periodenlänge: 1 Tag   Perioden: 12\n"
            "\n"
            "Periode  Beginn      Fällig  Los  Bestand  Kosten\n"
            "-------  ----------  ------  ---  -------  ------\n"
            "      1  2027-01-04      69   98       29  114.00\n"
            "      2  2027-01-05      29    -        0       -\n"
            "      3  2027-01-06      36   97       61  163.00\n"
            "      4  2027-01-07      61    -        0       -\n"
            "      5  2027-01-08      61  121       60  192.00\n"
            "      6  2027-01-09      26    -       34       -\n"
            "      7  2027-01-10      34    -        0       -\n"
            "      8  2027-01-11      67  112       45  131.00\n"
            "      9  2027-01-12      45    -        0       -\n"
            "     10  2027-01-13      67   67        0  110.00\n"
            "     11  2027-01-14      79  135       56  154.00\n"
            "     12  2027-01-15      56    -        0       -\n"
            "-------  ----------  ------  ---  -------  ------\n"
            "  Summe                 630  630           864.00\n"
            "Lose: 6\n");
}

// Costs as a planner reads money; two decimals never stand behind a row of
// meaningless digits, and a sum that overflowed still prints.
TEST(PlanTable, CostsWithTwoDecimals) {
  const struct {
    double cost;
    const char* shown;
  } cases[] = {
      {864.0, "864.00"},
      {0.1, "0.10"},
      {245.28472222222226, "245.28"},
      {0.005, "0.01"},
      {-0.004, "0.00"},
      {-0.0, "0.00"},
      {-12.5, "-12.50"},
      {999999999999999.9, "999999999999999.88"},
      {1e15, "1.00e+15"},
      {-1.2345e300, "-1.23e+300"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatCost(c.cost), c.shown) << c.cost;
}

// "Periodenlänge: 7 Tage" in the table's header, "Perioden zu 7 Tagen" where
// the picture names them.
TEST(PlanTable, PeriodLengthsInGerman) {
  const struct {
    std::int32_t days;
    const char* nominative;
    const char* dative;
  } cases[] = {{1, "1 Tag", "1 Tag"},
               {2, "2 Tage", "2 Tagen"},
               {7, "7 Tage", "7 Tagen"},
               {365, "365 Tage", "365 Tagen"}};
  for (const auto& c : cases) {
    EXPECT_EQ(formatPeriodLength(c.days), c.nominative);
    EXPECT_EQ(formatPeriodLengthDative(c.days), c.dative);
  }
}

TEST(PlanTable, StartsShowTheTimeOfDayOnlyToThePrecisionSomeStartNeeds) {
  const struct {
    std::vector<OleDate> starts;
    std::string firstShown;
  } cases[] = {
      {{46391.0, 46398.0}, "2027-01-04"},
      {{46391.0, 46391.0 + 0.4 * kSecond}, "2027-01-04"},  // below half a second
      {{46390.9999999}, "2027-01-04"},                     // rounds up to midnight
      {{46391.0, 46398.5}, "2027-01-04 00:00"},
      {{46391.0 + 30 * kSecond, 46398.5}, "2027-01-04 00:00:30"},
  };
  for (const auto& c : cases) {
    std::vector<PeriodLine> periods;
    for (const OleDate start : c.starts) {
      periods.emplace_back();
      periods.back().start = start;
    }
    EXPECT_EQ(formatStart(c.starts.front(), startPrecisionFor(periods)), c.firstShown);
  }
}

}  // namespace
}  // namespace mrp::report
