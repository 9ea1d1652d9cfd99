#include "lotsizing/lot_plan.h"

#include <gtest/gtest.h>

#include "demand/message_sink.h"
#include "support/plan_builder.h"

namespace mrp {
namespace {

using test::PlanBuilder;

TEST(PlanLots, DemandWithoutDueQuantitiesHasNoPeriodsAndNoLots) {
  MessageList sink;
  const auto plan = planLots(PlanBuilder().build(), sink);
  ASSERT_TRUE(plan.has_value());
  EXPECT_TRUE(plan->periods.empty());
  EXPECT_TRUE(plan->lots.empty());
}

TEST(PlanLots, RunsBucketingRoundingTableMatrixAndLots) {
  MessageList sink;
  const auto plan = planLots(
      PlanBuilder().parameter(kRuestKosten, 0, 50.0).factor(kWaehrung, 2.0).periodQuantities({3, 4}).build(),
      sink);
  ASSERT_TRUE(plan.has_value());
  ASSERT_EQ(plan->periods.size(), 2u);
  // No holding cost: one lot for both periods.
  EXPECT_EQ(plan->periods[0].lotSize, 7);
  EXPECT_EQ(plan->periods[0].cost, 50.0);
  EXPECT_EQ(plan->periods[1].lotSize, 0);
  // The stored lot: the start of its period, its cost less the currency factor.
  ASSERT_EQ(plan->lots.size(), 1u);
  EXPECT_EQ(plan->lots[0].termin, 45292.0);
  EXPECT_EQ(plan->lots[0].lotSize, 7);
  EXPECT_EQ(plan->lots[0].kosten, 25.0);
}

}  // namespace
}  // namespace mrp
