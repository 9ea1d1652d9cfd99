#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <vector>

#include "demand/demand_plan.h"
#include "lotsizing/bucketing.h"
#include "support/plan_builder.h"

namespace mrp {
namespace {

using test::PlanBuilder;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// Z = 360, L = 2, u = 360 and both rates 0.25: one unit held over one period
/// costs 1.0. Setup costs per period as given.
PlanBuilder unitHoldingCost(const std::vector<double>& setupCosts,
                            const std::vector<std::int32_t>& quantities) {
  PlanBuilder builder;
  builder.header(45292.0, 2)
      .factor(kZinsJahr, 360.0)
      .parameter(kStueckKosten, 0, 360.0)
      .parameter(kKapitalbindungsZinssatz, 0, 0.25)
      .parameter(kWagnisZinssatz, 0, 0.25)
      .perPeriod(kRuestKosten, setupCosts)
      .periodQuantities(quantities);
  return builder;
}

struct Entry {
  std::int32_t row;
  std::int32_t column;
  double value;
};

struct Lot {
  std::int32_t size;
  double cost;
};

TEST(WagnerWhitin, WorkedExamples) {
  const struct {
    const char* name;
    std::vector<double> setup;
    std::vector<std::int32_t> quantities;
    std::vector<Entry> entries;
    std::vector<std::int32_t> orderPeriods;
    std::vector<Lot> lots;
  } cases[] = {
      {"two lots",
       {50, 50, 50},
       {10, 0, 80},
       {{0, 0, 50}, {0, 1, 50}, {0, 2, 210}, {1, 1, 100}, {1, 2, 180}, {2, 2, 100}},
       {0, 0, 2},
       {{10, 50}, {0, 0}, {80, 50}}},
      {"tie goes to the earlier order period",
       {50, 50},
       {10, 50},
       {{0, 1, 100}, {1, 1, 100}},
       {0, 0},
       {{60, 100}, {0, 0}}},
      {"order period of a period is not that of the final plan",
       {10, 30, 30, 50},
       {20, 5, 0, 20},
       {{2, 3, 65}, {3, 3, 65}},
       {0, 0, 0, 2},
       {{25, 15}, {0, 0}, {20, 50}, {0, 0}}},
      {"single period", {70}, {12}, {{0, 0, 70}}, {0}, {{12, 70}}},
      {"lot of zero keeps its setup cost",
       {50, 50, 50},
       {0, 0, 80},
       {{0, 1, 50}, {1, 1, 100}, {2, 2, 100}},
       {0, 0, 2},
       {{0, 50}, {0, 0}, {80, 50}}},
      {"zero demand adds no holding cost",
       {50, 50, 50},
       {10, 0, 0},
       {{0, 1, 50}, {0, 2, 50}},
       {0, 0, 0},
       {{10, 50}, {0, 0}, {0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto plan = unitHoldingCost(c.setup, c.quantities).build();
    plan->compute();
    for (const Entry& e : c.entries) {
      EXPECT_DOUBLE_EQ(plan->matrixEntry(e.row, e.column), e.value) << e.row << "," << e.column;
    }
    ASSERT_EQ(plan->periods.size(), c.lots.size());
    for (std::size_t t = 0; t < c.lots.size(); ++t) {
      EXPECT_EQ(plan->periods[t].orderPeriod, c.orderPeriods[t]) << t;
      EXPECT_EQ(plan->periods[t].lotSize, c.lots[t].size) << t;
      EXPECT_DOUBLE_EQ(plan->periods[t].cost, c.lots[t].cost) << t;
    }
  }
}

TEST(WagnerWhitin, ZeroRatesGiveOneLotInPeriodZero) {
  auto plan = PlanBuilder()
                  .parameter(kRuestKosten, 0, 40.0)
                  .parameter(kStueckKosten, 0, 5.0)
                  .periodQuantities({3, 9, 0, 4, 1})
                  .build();
  plan->compute();
  for (std::int32_t l = 0; l < 5; ++l) EXPECT_EQ(plan->matrixEntry(0, l), 40.0);
  EXPECT_EQ(plan->periods[0].lotSize, 17);
  EXPECT_EQ(plan->periods[0].cost, 40.0);
  for (std::int32_t t = 1; t < 5; ++t) EXPECT_EQ(plan->periods[t].lotSize, 0);
}

TEST(WagnerWhitin, ClassicTextbookExamples) {
  const struct {
    const char* name;
    std::vector<std::int32_t> demand;
    std::vector<double> setup;
    double holding;
    double total;
    std::vector<std::int32_t> lots;
  } cases[] = {
      {"Wagner and Whitin 1958",
       {69, 29, 36, 61, 61, 26, 34, 67, 45, 67, 79, 56},
       {85, 102, 102, 101, 98, 114, 105, 86, 119, 110, 98, 114},
       1.0,
       864.0,
       {98, 0, 97, 0, 121, 0, 0, 112, 0, 67, 135, 0}},
      {"constant setup 54, holding 0.4",
       {10, 62, 12, 130, 154, 129, 88, 52, 124, 160, 238, 41},
       std::vector<double>(12, 54.0),
       0.4,
       501.20,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto plan = PlanBuilder().perPeriod(kRuestKosten, c.setup).holdingCost(c.holding).periodQuantities(c.demand).build();
    plan->compute();
    const std::int32_t last = plan->periodCount() - 1;
    const double total = plan->matrixEntry(plan->periods[last].orderPeriod, last);
    EXPECT_NEAR(total, c.total, 1e-9);
    double costs = 0.0;
    std::int32_t units = 0;
    std::vector<std::int32_t> lots;
    for (const PlanningPeriod& period : plan->periods) {
      costs += period.cost;
      units += period.lotSize;
      lots.push_back(period.lotSize);
    }
    EXPECT_NEAR(costs, c.total, 1e-9) << "the lots' costs add up to the optimum";
    EXPECT_EQ(units, std::accumulate(c.demand.begin(), c.demand.end(), 0));
    if (!c.lots.empty()) {
      EXPECT_EQ(lots, c.lots);
    }
  }
}

/// Rounded periods and cost table, ready for the matrix.
std::unique_ptr<DemandPlan> preparedRandomPlan(std::uint32_t seed, std::int32_t periods) {
  auto plan = PlanBuilder::random(seed, periods, 2).build();
  createRoundedPeriods(*plan);
  plan->buildPeriodCostTable();
  return plan;
}

TEST(CostMatrix, IncrementalFillEqualsSummingAfreshBitForBit) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    auto plan = preparedRandomPlan(seed, 90);
    plan->buildCostMatrix();
    const std::int32_t n = plan->periodCount();
    const auto table = [&](std::int32_t t, std::int32_t code) { return plan->periodCostTable[t * 5 + code]; };
    const double z = plan->factorFor(kZinsJahr);
    for (std::int32_t i = 0; i < n; ++i) {
      // The diagonal as defined, from the column minimum search.
      const double diagonal = i == 0 ? table(0, 0) : plan->selectOrderPeriod(i - 1) + table(i, 0);
      ASSERT_TRUE(sameBits(plan->matrixEntry(i, i), diagonal)) << seed << " " << i;
      for (std::int32_t l = i + 1; l < n; ++l) {
        double s = 0.0;
        for (std::int32_t t = i; t <= l - 1; ++t) s += table(t, 4) + table(t, 3);
        const double expected = plan->matrixEntry(i, l - 1) +
                                ((plan->periods[l].demand * (table(i, 1) / z)) * plan->periodLength) * s;
        ASSERT_TRUE(sameBits(plan->matrixEntry(i, l), expected)) << seed << " " << i << "," << l;
      }
    }
  }
}

TEST(CostMatrix, OrderPeriodsAreThoseOfTheColumnSearchAlsoWithNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    auto plan = preparedRandomPlan(seed, 70);
    // Setup costs that tie or are NaN in some periods.
    for (std::int32_t t = 0; t < plan->periodCount(); t += 3) plan->periodCostTable[t * 5] = 100.0;
    if (seed % 2 == 0) {
      for (std::int32_t t = 1; t < plan->periodCount(); t += 7) plan->periodCostTable[t * 5] = nan;
    }
    if (seed == 4) plan->periodCostTable[0] = nan;  // row 0 NaN everywhere
    plan->buildCostMatrix();
    std::vector<std::int32_t> built;
    for (const PlanningPeriod& period : plan->periods) built.push_back(period.orderPeriod);
    for (std::int32_t t = 0; t < plan->periodCount(); ++t) {
      plan->selectOrderPeriod(t);
      EXPECT_EQ(plan->periods[t].orderPeriod, built[t]) << seed << " period " << t;
    }
  }
}

TEST(SelectOrderPeriod, StrictMinimumEarliestRowAndNaNNeverWins) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::vector<double> column;  // rows 0 .. t of column t
    std::int32_t order;
    double minimum;
  } cases[] = {
      {"smallest wins", {5, 3, 4}, 1, 3},
      {"tie keeps the earliest", {5, 3, 3}, 1, 3},
      {"NaN entry never wins", {5, nan, 4}, 2, 4},
      {"NaN first is never replaced", {nan, 1, 0}, 0, nan},
  };
  for (const auto& c : cases) {
    auto plan = PlanBuilder().periodQuantities(std::vector<std::int32_t>(c.column.size(), 1)).build();
    createRoundedPeriods(*plan);
    const std::size_t n = c.column.size();
    plan->costMatrix = std::make_unique<double[]>(n * n);
    const auto t = static_cast<std::int32_t>(n - 1);
    for (std::int32_t i = 0; i <= t; ++i) plan->matrixEntry(i, t) = c.column[i];
    const double minimum = plan->selectOrderPeriod(t);
    EXPECT_EQ(plan->periods[t].orderPeriod, c.order) << c.name;
    EXPECT_TRUE(sameBits(minimum, c.minimum) || (std::isnan(minimum) && std::isnan(c.minimum))) << c.name;
  }
}

TEST(AssignLots, LotsCoverAllDemandAndCostsAddUpToTheOptimum) {
  for (std::uint32_t seed = 11; seed <= 16; ++seed) {
    auto plan = PlanBuilder::random(seed, 120, 2).build();
    plan->compute();
    const std::int32_t last = plan->periodCount() - 1;
    const double optimum = plan->matrixEntry(plan->periods[last].orderPeriod, last);
    std::int64_t demand = 0;
    std::int64_t lots = 0;
    double costs = 0.0;
    for (const PlanningPeriod& period : plan->periods) {
      demand += period.demand;
      lots += period.lotSize;
      costs += period.cost;
    }
    EXPECT_EQ(lots, demand) << seed;
    EXPECT_NEAR(costs, optimum, 1e-6 * optimum) << seed;
  }
}

}  // namespace
}  // namespace mrp
