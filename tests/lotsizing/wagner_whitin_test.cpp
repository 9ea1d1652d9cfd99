#include "lotsizing/wagner_whitin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "demand/loaded_demand.h"
#include "demand/message_sink.h"
#include "lotsizing/bucketing.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"
#include "support/plan_builder.h"
#include "support/reference_engine.h"

namespace mrp {
namespace {

using test::PlanBuilder;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// The engine's steps one by one, with the cheapest plan costs F and, to look
/// at, the whole cost matrix of the reference.
struct Computed {
  std::vector<PlanningPeriod> periods;
  std::vector<double> cheapest;
  test::CostMatrix matrix;
};

Computed compute(const LoadedDemand& plan) {
  PlanProblems problems;
  std::vector<PlanningPeriod> periods = createRoundedPeriods(plan, problems);
  const PeriodCostTable table(plan.parameters, periods.size());
  std::vector<PlanningPeriod> forMatrix = periods;
  test::CostMatrix matrix =
      test::buildCostMatrix(forMatrix, table, plan.factorFor(kZinsJahr), *plan.periodLength);
  std::vector<double> cheapest =
      cheapestPlanCosts(periods, table, plan.factorFor(kZinsJahr), *plan.periodLength);
  assignLots(periods, cheapest, problems);
  EXPECT_FALSE(problems.any());
  return {std::move(periods), std::move(cheapest), std::move(matrix)};
}

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
    std::vector<Entry> entries;    // of the reference matrix
    std::vector<double> cheapest;  // F(t): the cheapest plan up to period t
    std::vector<std::int32_t> orderPeriods;
    std::vector<Lot> lots;
  } cases[] = {
      {"two lots",
       {50, 50, 50},
       {10, 0, 80},
       {{0, 0, 50}, {0, 1, 50}, {0, 2, 210}, {1, 1, 100}, {1, 2, 180}, {2, 2, 100}},
       {50, 50, 100},
       {0, 0, 2},
       {{10, 50}, {0, 0}, {80, 50}}},
      {"tie goes to the earlier order period",
       {50, 50},
       {10, 50},
       {{0, 1, 100}, {1, 1, 100}},
       {50, 100},
       {0, 0},
       {{60, 100}, {0, 0}}},
      {"order period of a period is not that of the final plan",
       {10, 30, 30, 50},
       {20, 5, 0, 20},
       {{2, 3, 65}, {3, 3, 65}},
       {10, 15, 15, 65},
       {0, 0, 0, 2},
       {{25, 15}, {0, 0}, {20, 50}, {0, 0}}},
      {"single period", {70}, {12}, {{0, 0, 70}}, {70}, {0}, {{12, 70}}},
      {"lot of zero keeps its setup cost",
       {50, 50, 50},
       {0, 0, 80},
       {{0, 1, 50}, {1, 1, 100}, {2, 2, 100}},
       {50, 50, 100},
       {0, 0, 2},
       {{0, 50}, {0, 0}, {80, 50}}},
      {"zero demand adds no holding cost",
       {50, 50, 50},
       {10, 0, 0},
       {{0, 1, 50}, {0, 2, 50}},
       {50, 50, 50},
       {0, 0, 0},
       {{10, 50}, {0, 0}, {0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Computed computed = compute(unitHoldingCost(c.setup, c.quantities).build());
    for (const Entry& e : c.entries) {
      EXPECT_DOUBLE_EQ(computed.matrix.at(e.row, e.column), e.value) << e.row << "," << e.column;
    }
    EXPECT_EQ(computed.cheapest, c.cheapest);
    ASSERT_EQ(computed.periods.size(), c.lots.size());
    for (std::size_t t = 0; t < c.lots.size(); ++t) {
      EXPECT_EQ(computed.periods[t].orderPeriod, c.orderPeriods[t]) << t;
      EXPECT_EQ(computed.periods[t].lotSize, c.lots[t].size) << t;
      EXPECT_DOUBLE_EQ(computed.periods[t].cost, c.lots[t].cost) << t;
    }
  }
}

TEST(WagnerWhitin, ZeroRatesGiveOneLotInPeriodZero) {
  const Computed computed = compute(PlanBuilder()
                                        .parameter(kRuestKosten, 0, 40.0)
                                        .parameter(kStueckKosten, 0, 5.0)
                                        .periodQuantities({3, 9, 0, 4, 1})
                                        .build());
  for (std::size_t l = 0; l < 5; ++l) EXPECT_EQ(computed.matrix.at(0, l), 40.0);
  EXPECT_EQ(computed.cheapest, std::vector<double>(5, 40.0));
  EXPECT_EQ(computed.periods[0].lotSize, 17);
  EXPECT_EQ(computed.periods[0].cost, 40.0);
  for (std::size_t t = 1; t < 5; ++t) EXPECT_EQ(computed.periods[t].lotSize, 0);
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
    const Computed computed = compute(PlanBuilder()
                                          .perPeriod(kRuestKosten, c.setup)
                                          .holdingCost(c.holding)
                                          .periodQuantities(c.demand)
                                          .build());
    const double total = computed.cheapest.back();
    EXPECT_NEAR(total, c.total, 1e-9);
    double costs = 0.0;
    std::int32_t units = 0;
    std::vector<std::int32_t> lots;
    for (const PlanningPeriod& period : computed.periods) {
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

TEST(WagnerWhitin, TheClassicExamplePlansAlikeIn2027AndIn1899) {
  // Due at noon of each of twelve days from 2027-01-04 (day 46391) and from
  // 1899-11-01 (day -59): the lots of Wagner and Whitin in periods 1, 3, 5, 8,
  // 10 and 11, each at its setup cost plus one per unit and day held.
  const std::vector<std::int32_t> demand = {69, 29, 36, 61, 61, 26, 34, 67, 45, 67, 79, 56};
  const std::vector<double> setup = {85, 102, 102, 101, 98, 114, 105, 86, 119, 110, 98, 114};
  const std::int32_t orderPeriods[] = {0, 2, 4, 7, 9, 10};
  const std::int32_t lots[] = {98, 97, 121, 112, 67, 135};
  const double costs[] = {85 + 29, 102 + 61, 98 + 26 + 2 * 34, 86 + 45, 110, 98 + 56};
  for (const OleDate start : {46391.0, -59.0}) {
    SCOPED_TRACE(start);
    PlanBuilder builder;
    builder.header(start, 1).perPeriod(kRuestKosten, setup).holdingCost(1.0);
    for (std::size_t d = 0; d < demand.size(); ++d) {
      // Before day 0 the fraction counts forward from the day counted back.
      const double day = start + static_cast<double>(d);
      builder.due(day < 0 ? day - 0.5 : day + 0.5, demand[d]);
    }
    MessageList sink;
    const std::optional<LotPlan> plan = planLots(builder.build(), sink);
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ(plan->lots.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k) {
      EXPECT_EQ(plan->lots[k].date, start + orderPeriods[k]) << k;
      EXPECT_EQ(plan->lots[k].lotSize, lots[k]) << k;
      EXPECT_NEAR(plan->lots[k].cost, costs[k], 1e-9) << k;
    }
  }
}

/// A random plan's rounded periods and its cost table, ready for the matrix.
struct Prepared {
  LoadedDemand plan;
  std::vector<PlanningPeriod> periods;
  std::vector<ParameterEntry> setupCosts;  // one entry per period, as in the table
};

Prepared preparedRandomPlan(std::uint32_t seed, std::int32_t periods) {
  Prepared prepared{PlanBuilder::random(seed, periods, 2).build(), {}, {}};
  PlanProblems problems;
  prepared.periods = createRoundedPeriods(prepared.plan, problems);
  const PeriodCostTable table(prepared.plan.parameters, prepared.periods.size());
  for (std::size_t t = 0; t < prepared.periods.size(); ++t) {
    prepared.setupCosts.push_back({static_cast<std::int32_t>(t), kRuestKosten, table.at(t, kRuestKosten)});
  }
  return prepared;
}

/// `entries` with the setup cost entries replaced by `setupCosts`.
std::vector<ParameterEntry> withSetupCosts(const std::vector<ParameterEntry>& entries,
                                           const std::vector<ParameterEntry>& setupCosts) {
  std::vector<ParameterEntry> result = setupCosts;
  for (const ParameterEntry& entry : entries) {
    if (entry.code != kRuestKosten) result.push_back(entry);
  }
  return result;
}

TEST(CostMatrix, TheWorkedLotOfTheGuideCostsItsSumToTheBit) {
  // The guide's lot: weekly periods, due 40, 60, 0 and 50 units, setup 120,
  // unit cost 54, interest year 360, rates 0.02 + 0.08 per period. One lot in
  // week 1 costs the setup plus each week's holding cost, added in week order,
  // each as ((q * (u / Z)) * L) * (r + ... + r) with the rates summed from week 1.
  const double r = 0.02 + 0.08;
  const double perUnit = 54.0 / 360.0;
  const double expected = ((120.0 + ((60.0 * perUnit) * 7.0) * r) + ((0.0 * perUnit) * 7.0) * (r + r)) +
                          ((50.0 * perUnit) * 7.0) * ((r + r) + r);
  EXPECT_NEAR(expected, 142.05, 1e-12);
  PlanBuilder builder;
  builder.header(46447.0, 7)
      .factor(kZinsJahr, 360.0)
      .parameter(kRuestKosten, 0, 120.0)
      .parameter(kStueckKosten, 0, 54.0)
      .parameter(kKapitalbindungsZinssatz, 0, 0.08)
      .parameter(kWagnisZinssatz, 0, 0.02)
      .periodQuantities({40, 60, 0, 50});
  const LoadedDemand plan = builder.build();
  MessageList sink;
  const std::optional<LotPlan> planned = planLots(plan, sink);
  ASSERT_TRUE(planned.has_value());
  ASSERT_EQ(planned->lots.size(), 1u);
  EXPECT_EQ(planned->lots[0].lotSize, 150);
  EXPECT_TRUE(sameBits(planned->lots[0].cost, expected)) << planned->lots[0].cost;
  EXPECT_TRUE(sameBits(compute(plan).matrix.at(0, 3), expected)) << "the reference matrix";
}

TEST(CostMatrix, OrderPeriodsAreThoseOfTheColumnSearchAlsoWithNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    Prepared p = preparedRandomPlan(seed, 70);
    // Setup costs that tie or are NaN in some periods.
    for (std::size_t t = 0; t < p.setupCosts.size(); t += 3) p.setupCosts[t].value = 100.0;
    if (seed % 2 == 0) {
      for (std::size_t t = 1; t < p.setupCosts.size(); t += 7) p.setupCosts[t].value = nan;
    }
    if (seed == 4) p.setupCosts[0].value = nan;  // row 0 NaN everywhere
    const PeriodCostTable table(withSetupCosts(p.plan.parameters, p.setupCosts), p.periods.size());
    std::vector<PlanningPeriod> forMatrix = p.periods;
    const test::CostMatrix matrix =
        test::buildCostMatrix(forMatrix, table, p.plan.factorFor(kZinsJahr), *p.plan.periodLength);
    const std::vector<double> cheapest =
        cheapestPlanCosts(p.periods, table, p.plan.factorFor(kZinsJahr), *p.plan.periodLength);
    for (std::size_t t = 0; t < p.periods.size(); ++t) {
      const std::int32_t order = test::selectOrderPeriod(matrix, static_cast<std::int32_t>(t));
      EXPECT_EQ(p.periods[t].orderPeriod, order) << seed << " period " << t;
      EXPECT_TRUE(sameBits(cheapest[t], matrix.at(static_cast<std::size_t>(order), t))) << seed << " " << t;
    }
  }
}

TEST(SelectOrderPeriod, StrictMinimumEarliestRowAndNaNNeverWins) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::vector<double> column;  // rows 0 .. t of column t
    std::int32_t order;
  } cases[] = {
      {"smallest wins", {5, 3, 4}, 1},
      {"tie keeps the earliest", {5, 3, 3}, 1},
      {"NaN entry never wins", {5, nan, 4}, 2},
      {"NaN first is never replaced", {nan, 1, 0}, 0},
  };
  for (const auto& c : cases) {
    const std::size_t n = c.column.size();
    test::CostMatrix matrix(n);
    for (std::size_t i = 0; i < n; ++i) matrix.row(i)[n - 1] = c.column[i];
    EXPECT_EQ(test::selectOrderPeriod(matrix, static_cast<std::int32_t>(n - 1)), c.order) << c.name;
  }
}

TEST(AssignLots, TheEngineStoresTheLotsOfTheReferenceAndTheyCoverAllDemand) {
  for (std::uint32_t seed = 11; seed <= 16; ++seed) {
    SCOPED_TRACE(seed);
    const LoadedDemand plan = PlanBuilder::random(seed, 120, 2).build();
    MessageList sink;
    const std::optional<LotPlan> planned = planLots(plan, sink);
    ASSERT_TRUE(planned.has_value());

    // The reference: the whole matrix, the column searches, the walk back.
    PlanProblems problems;
    std::vector<PlanningPeriod> reference = createRoundedPeriods(plan, problems);
    const PeriodCostTable table(plan.parameters, reference.size());
    const test::CostMatrix matrix =
        test::buildCostMatrix(reference, table, plan.factorFor(kZinsJahr), *plan.periodLength);
    ASSERT_FALSE(test::assignLots(reference, matrix).any());

    std::int64_t demand = 0;
    std::int64_t lots = 0;
    std::size_t stored = 0;
    ASSERT_EQ(planned->periods.size(), reference.size());
    for (std::size_t t = 0; t < reference.size(); ++t) {
      demand += reference[t].demand;
      lots += planned->periods[t].lotSize;
      EXPECT_EQ(planned->periods[t].lotSize, reference[t].lotSize) << t;
      EXPECT_TRUE(sameBits(planned->periods[t].cost, reference[t].cost)) << t;
      if (reference[t].lotSize == 0) continue;
      ASSERT_LT(stored, planned->lots.size());
      EXPECT_EQ(planned->lots[stored].date, test::periodStart(plan, static_cast<std::int32_t>(t))) << t;
      EXPECT_TRUE(sameBits(planned->lots[stored].cost, reference[t].cost / plan.factorFor(kWaehrung))) << t;
      ++stored;
    }
    EXPECT_EQ(stored, planned->lots.size());
    EXPECT_EQ(lots, demand);
  }
}

/// A random programme input: rounded quantities and per-period parameters
/// with ties, zeros, negative values, signed zeros, NaN and infinities.
struct RandomProgramme {
  std::vector<PlanningPeriod> periods;
  std::vector<ParameterEntry> entries;
  double interestYear;
  double length;
};

RandomProgramme randomProgramme(std::mt19937_64& random, std::size_t n) {
  const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             -0.0,
                             0.0,
                             -5.0,
                             1e300};
  std::uniform_int_distribution<int> percent(0, 99);
  const int specialShare = percent(random) < 30 ? 3 : 0;  // most plans are ordinary
  const auto value = [&](double low, double high) {
    if (percent(random) < specialShare) return specials[random() % std::size(specials)];
    if (percent(random) < 10)
      return std::floor(std::uniform_real_distribution<double>(low, high)(random));  // ties
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  RandomProgramme p;
  p.interestYear = percent(random) < 5 ? value(0.0, 400.0) : 360.0;
  p.length = static_cast<double>(1 + random() % 14);
  std::uniform_int_distribution<std::int32_t> quantity(0, 300);
  for (std::size_t t = 0; t < n; ++t) {
    PlanningPeriod period;
    period.demand = percent(random) < 20 ? 0 : quantity(random);
    if (percent(random) < 1) period.demand = 2'000'000'000;  // lots beyond 32 bits
    p.periods.push_back(period);
  }
  // Grouped by code, ascending periods within a code, as the loading delivers them.
  const double ranges[][2] = {{0, 500}, {0, 100}, {1, 1}, {0, 0.2}, {0, 0.1}};
  for (std::int32_t code = 0; code < kParameterCodes; ++code) {
    const std::int32_t step = 1 + static_cast<std::int32_t>(random() % 5);
    for (std::int32_t t = 0; t < static_cast<std::int32_t>(n); t += step) {
      p.entries.push_back({t, code, value(ranges[code][0], ranges[code][1])});
    }
  }
  return p;
}

/// Equal bits, or both NaN: which NaN an addition of two NaNs gives depends on
/// the operand order the compiler picks for a commutative operation, and a
/// NaN cost is never stored (the demand is refused).
bool sameResult(double a, double b) { return sameBits(a, b) || (std::isnan(a) && std::isnan(b)); }

/// The engine and the matrix reference give the same order periods, lot
/// sizes and lot costs, bit for bit, and agree on whether the lots can be stored.
void expectSameAsTheMatrixEngine(RandomProgramme p, const std::string& label) {
  const PeriodCostTable table(p.entries, p.periods.size());
  std::vector<PlanningPeriod> reference = p.periods;
  const test::CostMatrix matrix = test::buildCostMatrix(reference, table, p.interestYear, p.length);
  const bool referenceStorable = !test::assignLots(reference, matrix).any();

  PlanProblems problems;
  const std::vector<double> cheapest = cheapestPlanCosts(p.periods, table, p.interestYear, p.length);
  assignLots(p.periods, cheapest, problems);

  EXPECT_EQ(!problems.any(), referenceStorable) << label;
  for (std::size_t t = 0; t < p.periods.size(); ++t) {
    ASSERT_EQ(p.periods[t].orderPeriod, reference[t].orderPeriod) << label << " period " << t;
    ASSERT_EQ(p.periods[t].lotSize, reference[t].lotSize) << label << " period " << t;
    ASSERT_TRUE(sameResult(p.periods[t].cost, reference[t].cost))
        << label << " period " << t << ": " << p.periods[t].cost << " vs " << reference[t].cost;
  }
}

/// The sanitizer build checks memory, not arithmetic: a tenth of the plans
/// reach every path there, the plain build runs them all.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kRandomPlans = 200;
#else
constexpr int kRandomPlans = 2000;
#endif

TEST(LinearMemoryEngine, SameAsTheMatrixEngineBitForBitOn2000RandomPlans) {
  std::mt19937_64 random(20261207);
  // Sizes spread over 1 to 2,000 periods, most of them small, every block
  // remainder among them.
  std::uniform_real_distribution<double> logSize(0.0, std::log(2000.0));
  for (int plan = 0; plan < kRandomPlans; ++plan) {
    const auto n =
        plan < 40 ? static_cast<std::size_t>(plan + 1) : static_cast<std::size_t>(std::exp(logSize(random)));
    expectSameAsTheMatrixEngine(randomProgramme(random, n), "plan " + std::to_string(plan));
    if (HasFatalFailure()) return;
  }
}

// Three plans of 10,000 periods: the reference's matrix takes 800 MB each.
TEST(LinearMemoryEngineLarge, SameAsTheMatrixEngineBitForBitAt10000Periods) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "arithmetic, not memory: the plain build runs it";
#endif
  std::mt19937_64 random(10000);
  for (int plan = 0; plan < 3; ++plan) {
    expectSameAsTheMatrixEngine(randomProgramme(random, 10'000), "plan " + std::to_string(plan));
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace mrp
