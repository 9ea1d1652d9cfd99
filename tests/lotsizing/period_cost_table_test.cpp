#include "lotsizing/period_cost_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "support/plan_builder.h"
#include "support/reference_engine.h"

namespace mrp {
namespace {

using test::PlanBuilder;

TEST(ParameterValue, TimePhasedValues) {
  const struct {
    const char* name;
    std::vector<ParameterEntry> entries;  // period, code, value, in list order
    std::int32_t code;
    std::vector<double> expected;  // periods 0, 1, 2, ...
  } cases[] = {
      {"no entry gives 0", {{0, 1, 7.0}}, 0, {0, 0, 0}},
      {"value holds until the next entry", {{0, 0, 10}, {2, 0, 12}}, 0, {10, 10, 12, 12, 12}},
      {"before the first entry 0", {{3, 4, 0.5}}, 4, {0, 0, 0, 0.5, 0.5}},
      {"same period: the later entry wins", {{1, 0, 10}, {1, 0, 11}}, 0, {0, 11, 11}},
      {"negative period holds from 0", {{-1, 2, 5}, {2, 2, 3}}, 2, {5, 5, 3}},
      {"other codes are skipped", {{0, 0, 1}, {0, 1, 9}, {1, 0, 2}, {1, 1, 8}}, 1, {9, 8, 8}},
      // Out of the load order: the walk stops at the first later entry, so an
      // earlier-period entry behind it counts only from that later period on.
      {"stops at the first later entry",
       {{0, 0, 10}, {5, 0, 20}, {3, 0, 30}},
       0,
       {10, 10, 10, 10, 10, 30, 30}},
  };
  for (const auto& c : cases) {
    for (std::size_t p = 0; p < c.expected.size(); ++p) {
      EXPECT_EQ(test::parameterValue(c.entries, c.code, static_cast<std::int32_t>(p)), c.expected[p])
          << c.name << ", period " << p;
    }
    ParameterTimeline timeline(c.entries, c.code);
    for (std::size_t p = 0; p < c.expected.size(); ++p) {
      timeline.advanceTo(static_cast<std::int32_t>(p));
      EXPECT_EQ(timeline.value(), c.expected[p]) << c.name << ", timeline period " << p;
    }
  }
}

TEST(PeriodCostTable, EveryCellIsParameterValueBitForBit) {
  std::mt19937 random(7);
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    LoadedDemand plan = PlanBuilder::random(seed, 80, 1).build();
    if (seed % 4 == 0) std::shuffle(plan.parameters.begin(), plan.parameters.end(), random);
    const PeriodCostTable table(plan.parameters, 90);  // entries beyond the last period never show
    ASSERT_EQ(table.periods(), 90u);
    for (std::int32_t p = 0; p < 90; ++p) {
      for (std::int32_t code = 0; code < 5; ++code) {
        const double expected = test::parameterValue(plan.parameters, code, p);
        const double cell = table.at(static_cast<std::size_t>(p), code);
        EXPECT_EQ(std::memcmp(&cell, &expected, sizeof expected), 0)
            << seed << " period " << p << " code " << code;
      }
    }
  }
}

TEST(PeriodCostTable, EmptyWithoutPeriods) {
  const PeriodCostTable table(PlanBuilder().parameter(kRuestKosten, 0, 1.0).build().parameters, 0);
  EXPECT_EQ(table.periods(), 0u);
}

}  // namespace
}  // namespace mrp
