#include "lotsizing/lot_plan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "demand/message_sink.h"
#include "platform/ole_date.h"
#include "support/plan_builder.h"
#include "support/reference_engine.h"

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
  EXPECT_EQ(plan->lots[0].date, 45292.0);
  EXPECT_EQ(plan->lots[0].lotSize, 7);
  EXPECT_EQ(plan->lots[0].cost, 25.0);
}

/// The kinds of the refusal messages in `lines`; a line that is none counts as no kind at all.
std::set<test::Refusal> refusalKinds(const std::vector<std::string>& lines, bool& allKnown) {
  std::set<test::Refusal> kinds;
  allKnown = true;
  for (const std::string& line : lines) {
    bool known = false;
    for (const test::RefusalMessage& message : test::refusalMessages()) {
      if (message.wholeLine ? line == message.start : line.starts_with(message.start)) {
        kinds.insert(message.kind);
        known = true;
      }
    }
    allKnown = allKnown && known;
  }
  return kinds;
}

/// The engine plans what the reference plans, to the bit, and refuses what it
/// refuses for the same kinds of reasons: the fuzz campaign's oracle relies on it.
void expectSameAsTheReference(const LoadedDemand& demand, const std::string& label) {
  MessageList sink;
  const std::optional<LotPlan> plan = planLots(demand, sink);
  const test::ReferencePlan reference = test::referencePlan(demand);
  ASSERT_EQ(plan.has_value(), reference.lots.has_value()) << label;
  bool allKnown = false;
  EXPECT_EQ(refusalKinds(sink.lines(), allKnown), reference.reasons) << label;
  EXPECT_TRUE(allKnown) << label;
  if (!plan) return;
  ASSERT_EQ(plan->lots.size(), reference.lots->size()) << label;
  for (std::size_t k = 0; k < plan->lots.size(); ++k) {
    const Lot& lot = plan->lots[k];
    const Lot& expected = (*reference.lots)[k];
    EXPECT_EQ(std::bit_cast<std::uint64_t>(lot.date), std::bit_cast<std::uint64_t>(expected.date))
        << label << k;
    EXPECT_EQ(lot.lotSize, expected.lotSize) << label << k;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(lot.cost), std::bit_cast<std::uint64_t>(expected.cost))
        << label << k;
  }
}

LoadedDemand changed(LoadedDemand demand, const std::function<void(LoadedDemand&)>& change) {
  change(demand);
  return demand;
}

void removeFactor(LoadedDemand& demand, std::int32_t code) {
  std::erase_if(demand.conversionFactors, [code](const ConversionFactor& f) { return f.code == code; });
}

TEST(PlanLots, PlansAndRefusesAsTheReference) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
  const LoadedDemand plannable = PlanBuilder()
                                     .parameter(kRuestKosten, 0, 50.0)
                                     .holdingCost(2.0)
                                     .periodQuantities({3, 40, 0, 9, 1})
                                     .build();
  const struct {
    const char* name;
    LoadedDemand demand;
  } cases[] = {
      {"plannable", plannable},
      {"no header", changed(plannable, [](LoadedDemand& d) { d.headerFound = false; })},
      {"no start date", changed(plannable, [](LoadedDemand& d) { d.startDate.reset(); })},
      {"no start date, no ZinsJahr", changed(plannable,
                                             [](LoadedDemand& d) {
                                               d.startDate.reset();
                                               removeFactor(d, kZinsJahr);
                                             })},
      {"period length 0, ZinsJahr -1, no Währung",
       changed(plannable,
               [](LoadedDemand& d) {
                 d.periodLength = 0;
                 removeFactor(d, kZinsJahr);
                 removeFactor(d, kWaehrung);
                 d.conversionFactors.push_back({kZinsJahr, -1.0, {}});
               })},
      {"Währung infinite", PlanBuilder().factor(kWaehrung, kInfinity).periodQuantities({1}).build()},
      {"too many periods", PlanBuilder().due(45292.0 + 200000.0, 1).build()},
      {"no grid before period 3, grid 0.5 from period 5", PlanBuilder()
                                                              .clearParameter(kLosRaster)
                                                              .parameter(kLosRaster, 2, 1.0)
                                                              .parameter(kLosRaster, 4, 0.5)
                                                              .periodQuantities({1, 2, 3, 4, 5, 6})
                                                              .build()},
      {"period sum beyond 32 bits", PlanBuilder().due(45292.5, kMost).due(45292.6, 1).build()},
      {"rounded quantity beyond 32 bits", PlanBuilder()
                                              .clearParameter(kLosRaster)
                                              .parameter(kLosRaster, 0, 10.0)
                                              .periodQuantities({kMost})
                                              .build()},
      {"lot beyond 32 bits", PlanBuilder().periodQuantities({2000000000, 2000000000}).build()},
      {"setup cost infinite",
       PlanBuilder().parameter(kRuestKosten, 0, kInfinity).periodQuantities({1}).build()},
      {"stored cost infinite", PlanBuilder()
                                   .parameter(kRuestKosten, 0, 1e10)
                                   .factor(kWaehrung, 1e-300)
                                   .periodQuantities({1})
                                   .build()},
  };
  for (const auto& c : cases) expectSameAsTheReference(c.demand, c.name);
}

TEST(PlanLots, SameAsTheReferenceOnRandomDemandsAlsoBefore1899) {
  // Moved back by 50,000 days in calendar order, a demand's dates lie before
  // 1899-12-30, where an OleDate's fraction counts the other way.
  const auto movedBack = [](OleDate date) { return oleDateFromLinear(linearDays(date) - 50000.0); };
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    LoadedDemand demand = PlanBuilder::random(seed, 30 + static_cast<std::int32_t>(seed), 2).build();
    expectSameAsTheReference(demand, "seed " + std::to_string(seed));
    demand.startDate = movedBack(*demand.startDate);
    for (DueQuantity& due : demand.dueQuantities) due.date = movedBack(due.date);
    expectSameAsTheReference(demand, "seed " + std::to_string(seed) + " before 1899");
  }
}

}  // namespace
}  // namespace mrp
