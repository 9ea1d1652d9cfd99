#include "lotsizing/bucketing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "demand/loaded_demand.h"
#include "lotsizing/plan_checks.h"
#include "support/plan_builder.h"
#include "support/reference_engine.h"

namespace mrp {
namespace {

using test::PlanBuilder;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<std::int32_t> demands(const std::vector<PlanningPeriod>& periods) {
  std::vector<std::int32_t> result;
  for (const PlanningPeriod& period : periods) result.push_back(period.demand);
  return result;
}

/// The rounded periods of a plan that has no problems.
std::vector<PlanningPeriod> roundedPeriods(const LoadedDemand& plan) {
  PlanProblems problems;
  std::vector<PlanningPeriod> periods = createRoundedPeriods(plan, problems);
  EXPECT_FALSE(problems.any());
  return periods;
}

TEST(Bucketing, CreatesPeriodsWithoutGapsUpToTheLastDueDate) {
  const struct {
    const char* name;
    std::vector<std::pair<double, std::int32_t>> due;
    std::vector<std::int32_t> expected;
  } cases[] = {
      {"late evening stays, midnight moves on", {{45298.99, 4}, {45299.0, 6}}, {4, 6}},
      {"dates before the start go to period 0", {{45000.0, 1}, {45291.9, 2}, {45293.0, 3}}, {6}},
      {"periods 0 and 3 only", {{45292.5, 5}, {45314.0, 7}}, {5, 0, 0, 7}},
      {"first date in period 5", {{45292.0 + 35.5, 9}}, {0, 0, 0, 0, 0, 9}},
      {"several dates in one period add up", {{45293.0, 2}, {45293.0, 3}, {45294.0, -1}}, {4}},
      {"no due quantities", {}, {}},
  };
  for (const auto& c : cases) {
    PlanBuilder builder;
    builder.header(45292.0, 7);
    for (const auto& [date, quantity] : c.due) builder.due(date, quantity);
    EXPECT_EQ(demands(roundedPeriods(builder.build())), c.expected) << c.name;
  }
}

TEST(Bucketing, PeriodStartsAddTheLengthOncePerPeriod) {
  const auto periods =
      roundedPeriods(PlanBuilder().header(45292.0, 7).due(45292.5, 5).due(45314.0, 7).build());
  ASSERT_EQ(periods.size(), 4u);
  const double expected[] = {45292.0, 45299.0, 45306.0, 45313.0};
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(periods[k].start, expected[k]) << k;
}

TEST(Bucketing, DateOutOfOrderCountsInTheLastPeriodCreatedSoFar) {
  // Day 0 lies before the start: coming last, it does not create a period and
  // its quantity joins the last one there is.
  LoadedDemand plan = PlanBuilder().header(45292.0, 7).due(45300.0, 5).build();
  plan.dueQuantities.push_back(DueQuantity{0.0, 3});
  EXPECT_EQ(demands(roundedPeriods(plan)), (std::vector<std::int32_t>{0, 8}));
}

TEST(Bucketing, DatesBefore1899AreBucketedInCalendarOrder) {
  // Below day 0 an OleDate's fraction counts forward while its whole part
  // counts back: noon of 1899-11-01 is -59.5, noon of the day after -58.5.
  const auto periodsFrom = [](OleDate start, const std::vector<OleDate>& dates) {
    PlanBuilder builder;
    builder.header(start, 1);
    for (OleDate date : dates) builder.due(date, 1);
    return roundedPeriods(builder.build());
  };
  const auto november1899 = periodsFrom(-59.0, {-59.5, -58.5, -57.25, -56.75, -55.0});
  EXPECT_EQ(demands(november1899), (std::vector<std::int32_t>{1, 1, 1, 1, 1}));
  const std::vector<OleDate> starts = {-59.0, -58.0, -57.0, -56.0, -55.0};
  for (std::size_t k = 0; k < starts.size(); ++k) EXPECT_EQ(november1899[k].start, starts[k]) << k;

  // A fractional start: period starts keep the time of day on the calendar.
  const auto fromSixAm = periodsFrom(-3.25, {-3.5, -2.5, -1.75, 0.5});  // 1899-12-27 06:00
  EXPECT_EQ(demands(fromSixAm), (std::vector<std::int32_t>{1, 1, 1, 1}));
  const std::vector<OleDate> sixAm = {-3.25, -2.25, -1.25, 0.25};
  for (std::size_t k = 0; k < sixAm.size(); ++k) EXPECT_EQ(fromSixAm[k].start, sixAm[k]) << k;
}

TEST(Bucketing, AtMost200000PeriodsAreMade) {
  const struct {
    double lastDue;  // days after the start; periods of one day
    bool refused;
  } cases[] = {{199999.5, false}, {200000.0, true}, {3e6, true}};
  for (const auto& c : cases) {
    PlanProblems problems;
    const auto periods =
        createRoundedPeriods(PlanBuilder().header(45292.0, 1).due(45292.0 + c.lastDue, 1).build(), problems);
    EXPECT_EQ(problems.any(), c.refused) << c.lastDue;
    EXPECT_EQ(periods.size(), c.refused ? 0u : 200000u) << c.lastDue;
  }
}

TEST(LotGridRounding, RaisesToTheGridAndCarriesTheSurplus) {
  const struct {
    const char* name;
    std::vector<std::pair<std::int32_t, double>> grids;  // from period, grid
    std::vector<std::int32_t> quantities;
    std::vector<std::int32_t> expected;
  } cases[] = {
      {"grid 10, last surplus dropped", {{0, 10}}, {25, 3, 12, 0, 7}, {30, 0, 10, 0, 10}},
      {"grid 4, negative sum reduces the next", {{0, 4}}, {-5, 8, 3}, {0, 4, 4}},
      {"grid 1 only clears negatives", {{0, 1}}, {5, -3, 4, 2}, {5, 0, 1, 2}},
      {"grid 2.9 acts as 2", {{0, 2.9}}, {3, 1, 1}, {4, 0, 2}},
      {"time-phased grid", {{0, 10}, {2, 3}}, {4, 4, 4, 4}, {10, 0, 3, 3}},
      {"surplus larger than the next periods", {{0, 100}}, {1, 20, 30, 60}, {100, 0, 0, 100}},
  };
  for (const auto& c : cases) {
    PlanBuilder builder;
    builder.clearParameter(kLosRaster).periodQuantities(c.quantities);
    for (const auto& [period, grid] : c.grids) builder.parameter(kLosRaster, period, grid);
    EXPECT_EQ(demands(roundedPeriods(builder.build())), c.expected) << c.name;
  }
}

TEST(Bucketing, ForwardWalkMatchesThePerDateSearchBitForBit) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    LoadedDemand plan = PlanBuilder::random(seed, 60 + static_cast<std::int32_t>(seed), 3).build();
    if (seed % 5 == 0) {
      // Out of order dates: a later entry dated earlier still counts in the
      // last period created.
      std::swap(plan.dueQuantities[2], plan.dueQuantities[plan.dueQuantities.size() / 2]);
    }
    const test::RoundedPeriods reference = test::roundedPeriods(plan);
    ASSERT_TRUE(reference.reasons.empty()) << seed;
    const auto periods = roundedPeriods(plan);
    ASSERT_EQ(periods.size(), reference.periods.size()) << seed;
    for (std::size_t k = 0; k < periods.size(); ++k) {
      EXPECT_TRUE(sameBits(periods[k].start, reference.periods[k].start)) << seed << " period " << k;
    }
    EXPECT_EQ(demands(periods), demands(reference.periods)) << seed;
  }
}

}  // namespace
}  // namespace mrp
