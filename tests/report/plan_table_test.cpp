#include "report/plan_table.h"

#include <gtest/gtest.h>

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
            "      1  2027-01-04      69   98       29     114\n"
            "      2  2027-01-05      29    -        0       -\n"
            "      3  2027-01-06      36   97       61     163\n"
            "      4  2027-01-07      61    -        0       -\n"
            "      5  2027-01-08      61  121       60     192\n"
            "      6  2027-01-09      26    -       34       -\n"
            "      7  2027-01-10      34    -        0       -\n"
            "      8  2027-01-11      67  112       45     131\n"
            "      9  2027-01-12      45    -        0       -\n"
            "     10  2027-01-13      67   67        0     110\n"
            "     11  2027-01-14      79  135       56     154\n"
            "     12  2027-01-15      56    -        0       -\n"
            "-------  ----------  ------  ---  -------  ------\n"
            "  Summe                 630  630              864\n"
            "Lose: 6\n");
}

TEST(PlanTable, StartsShowTheTimeOfDayOnlyToThePrecisionSomeStartNeeds) {
  const struct {
    std::vector<OleDate> starts;
    std::string firstShown;
  } cases[] = {
      {{46391.0, 46398.0}, "2027-01-04"},
      {{46391.0, 46391.0 + 0.4 * kSecond}, "2027-01-04"},  // below half a second
      {{46390.9999999}, "2027-01-04"},                      // rounds up to midnight
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
