#include "lotsizing/bucketing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "db/value_conversions.h"
#include "demand/demand_plan.h"
#include "support/plan_builder.h"

namespace mrp {
namespace {

using test::PlanBuilder;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<std::int32_t> demands(const DemandPlan& plan) {
  std::vector<std::int32_t> result;
  for (const PlanningPeriod& period : plan.periods) result.push_back(period.demand);
  return result;
}

/// The bucketing and rounding as defined, one periodIndex search per due
/// quantity and one parameterValue walk per period: the reference for the
/// forward walk. Returns the period starts and rounded quantities.
struct ReferencePeriods {
  std::vector<VARIANT> starts;
  std::vector<std::int32_t> demands;
};

ReferencePeriods referenceBucketing(const DemandPlan& plan) {
  ReferencePeriods result;
  std::vector<std::int64_t> sums;
  for (const DueQuantity& due : plan.dueQuantities) {
    std::int32_t k = plan.periodIndex(due.date);
    while (k > static_cast<std::int32_t>(sums.size()) - 1) {
      result.starts.push_back(plan.periodStart(static_cast<std::int32_t>(sums.size())));
      sums.push_back(0);
      k = plan.periodIndex(due.date);
    }
    sums.back() += due.quantity;
  }
  std::int64_t carry = 0;
  for (std::size_t j = 0; j < sums.size(); ++j) {
    const auto grid = static_cast<std::int32_t>(plan.parameterValue(kLosRaster, static_cast<std::int32_t>(j)));
    std::int64_t c = sums[j] - carry;
    if (c < 0) {
      carry = -c;
      c = 0;
    } else {
      carry = 0;
    }
    const std::int64_t r = c % grid;
    if (r != 0) {
      c += grid - r;
      carry = grid - r;
    }
    result.demands.push_back(static_cast<std::int32_t>(c));
  }
  return result;
}

TEST(PeriodIndex, BoundaryDatesBelongToTheLaterPeriod) {
  auto plan = PlanBuilder().header(45292.0, 7).build();
  const struct {
    double date;
    std::int32_t index;
  } cases[] = {
      {45292.0, 0}, {45298.99, 0}, {45299.0, 1}, {45305.999, 1},
      {45306.0, 2}, {45291.5, 0},  {-1000.0, 0}, {45292.0 + 70.0, 10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plan->periodIndex(VARIANT::real(c.date)), c.index) << c.date;
  }
  EXPECT_EQ(plan->periodIndex(VARIANT{}), 0) << "an empty date counts as day 0";
}

TEST(PeriodStart, AddsThePeriodLengthOnceForEveryIndexAndKeepsTheKind) {
  // From a tiny fractional start the summed starts cross many powers of two,
  // where they differ in the last bits from 0.1 + k * 7.
  auto plan = PlanBuilder().header(0.1, 7).build();
  double summed = 0.1;
  for (std::int32_t k = 0; k < 200; ++k) {
    const VARIANT start = plan->periodStart(k);
    EXPECT_EQ(start.vt, VT_R8);
    EXPECT_TRUE(sameBits(start.dblVal, summed)) << k;
    summed = summed + 7;
  }
  plan->startDate = VARIANT::date(45292.0);
  EXPECT_EQ(plan->periodStart(3), VARIANT::date(45313.0));
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
    auto plan = builder.build();
    createRoundedPeriods(*plan);
    EXPECT_EQ(demands(*plan), c.expected) << c.name;
  }
}

TEST(Bucketing, PeriodStartsAreThoseOfPeriodStart) {
  auto plan = PlanBuilder().header(45292.0, 7).due(45292.5, 5).due(45314.0, 7).build();
  createRoundedPeriods(*plan);
  ASSERT_EQ(plan->periodCount(), 4);
  const double expected[] = {45292.0, 45299.0, 45306.0, 45313.0};
  for (std::int32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(plan->periods[k].start, VARIANT::real(expected[k])) << k;
  }
}

TEST(Bucketing, EmptyDateCountsInTheLastPeriodCreatedSoFar) {
  // An empty date is day 0: before the start, so it does not create a period
  // and its quantity joins the last one there is.
  auto plan = PlanBuilder().header(45292.0, 7).due(45300.0, 5).build();
  plan->dueQuantities.push_back(DueQuantity{VARIANT{}, 3});
  createRoundedPeriods(*plan);
  EXPECT_EQ(demands(*plan), (std::vector<std::int32_t>{0, 8}));
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
    auto plan = builder.build();
    createRoundedPeriods(*plan);
    EXPECT_EQ(demands(*plan), c.expected) << c.name;
  }
}

TEST(Bucketing, ForwardWalkMatchesThePerDateSearchBitForBit) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    auto plan = PlanBuilder::random(seed, 60 + static_cast<std::int32_t>(seed), 3).build();
    if (seed % 5 == 0) {
      // Out of order dates: a later entry dated earlier still counts in the
      // last period created.
      std::swap(plan->dueQuantities[2], plan->dueQuantities[plan->dueQuantities.size() / 2]);
    }
    const ReferencePeriods reference = referenceBucketing(*plan);
    createRoundedPeriods(*plan);
    ASSERT_EQ(plan->periods.size(), reference.starts.size()) << seed;
    for (std::size_t k = 0; k < reference.starts.size(); ++k) {
      const VARIANT& start = plan->periods[k].start;
      EXPECT_EQ(start.vt, reference.starts[k].vt);
      EXPECT_TRUE(sameBits(start.dblVal, reference.starts[k].dblVal)) << seed << " period " << k;
    }
    EXPECT_EQ(demands(*plan), reference.demands) << seed;
  }
}

TEST(Compute, DemandWithoutDueQuantitiesHasNoPeriodsNoLotsNoMatrix) {
  auto plan = PlanBuilder().build();
  plan->compute();
  EXPECT_TRUE(plan->periods.empty());
  EXPECT_TRUE(plan->periodCostTable.empty());
  EXPECT_EQ(plan->costMatrix, nullptr);
}

TEST(Compute, RunsBucketingRoundingTableMatrixAndLots) {
  auto plan = PlanBuilder().parameter(kRuestKosten, 0, 50.0).periodQuantities({3, 4}).build();
  plan->compute();
  ASSERT_EQ(plan->periodCount(), 2);
  ASSERT_EQ(plan->periodCostTable.size(), 10u);
  ASSERT_NE(plan->costMatrix, nullptr);
  // No holding cost: one lot for both periods.
  EXPECT_EQ(plan->periods[0].lotSize, 7);
  EXPECT_EQ(plan->periods[0].cost, 50.0);
  EXPECT_EQ(plan->periods[1].lotSize, 0);
}

}  // namespace
}  // namespace mrp
