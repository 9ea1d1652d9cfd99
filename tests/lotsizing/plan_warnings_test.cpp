#include "lotsizing/plan_warnings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "demand/loaded_demand.h"
#include "demand/message_sink.h"
#include "support/helpers.h"
#include "support/plan_builder.h"

namespace mrp {
namespace {

using test::PlanBuilder;
using enum MessageCode;

constexpr double kSecond = 1.0 / 86400.0;

/// A demand with every cost factor and nothing to warn about.
PlanBuilder clean() {
  PlanBuilder builder;
  for (const ParameterCode code : {kRuestKosten, kStueckKosten, kKapitalbindungsZinssatz, kWagnisZinssatz}) {
    builder.factor(code, 1.0);
  }
  builder.parameter(kRuestKosten, 0, 50.0).parameter(kStueckKosten, 0, 2.0).periodQuantities({10, 0, 30});
  return builder;
}

std::vector<Message> warningsOf(const PlanBuilder& builder) {
  MessageList sink;
  reportPlanWarnings(builder.build(), sink);
  return sink.messages;
}

struct WarningCase {
  const char* name;
  std::function<void(PlanBuilder&)> shape;
  std::vector<Message> expected;
};

void expectWarnings(const WarningCase& c) {
  PlanBuilder builder = clean();
  if (c.shape) c.shape(builder);
  EXPECT_EQ(warningsOf(builder), c.expected) << c.name;
}

TEST(PlanWarnings, EachMissingCostFactorCountsAsZero) {
  const auto without = [](std::vector<ParameterCode> codes) {
    return [codes](PlanBuilder& b) {
      PlanBuilder rebuilt = PlanBuilder().periodQuantities({10, 0, 30});
      for (const ParameterCode code :
           {kRuestKosten, kStueckKosten, kKapitalbindungsZinssatz, kWagnisZinssatz}) {
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) rebuilt.factor(code, 1.0);
      }
      b = rebuilt;
    };
  };
  const WarningCase cases[] = {
      {"every factor there", nullptr, {}},
      {"setup cost",
       without({kRuestKosten}),
       {{FactorMissing,
         "UmrechnungsFaktor existiert nicht: RüstKosten: Jeder Parameter RüstKosten zählt als 0!"}}},
      {"all four, in the order of the parameters",
       without({kRuestKosten, kStueckKosten, kKapitalbindungsZinssatz, kWagnisZinssatz}),
       {{FactorMissing,
         "UmrechnungsFaktor existiert nicht: RüstKosten: Jeder Parameter RüstKosten zählt als 0!"},
        {FactorMissing,
         "UmrechnungsFaktor existiert nicht: StückKosten: Jeder Parameter StückKosten zählt als 0!"},
        {FactorMissing,
         "UmrechnungsFaktor existiert nicht: KapitalbindungsZinssatz: "
         "Jeder Parameter KapitalbindungsZinssatz zählt als 0!"},
        {FactorMissing,
         "UmrechnungsFaktor existiert nicht: WagnisZinssatz: "
         "Jeder Parameter WagnisZinssatz zählt als 0!"}}},
      {"a factor of 0 is there: its value is the planner's",
       [](PlanBuilder& b) { b.factor(kRuestKosten, 0.0); },
       {}},
  };
  for (const WarningCase& c : cases) expectWarnings(c);
}

// The loading multiplied the cost parameters by their factor and the currency
// factor; the message shows the value times its factor alone.
TEST(PlanWarnings, NegativeSetupAndUnitCostsEachRow) {
  const WarningCase cases[] = {
      {"negative setup cost from period 3, currency 2",
       [](PlanBuilder& b) {
         b.factor(kWaehrung, 2.0).factor(kRuestKosten, 1.5).parameter(kRuestKosten, 2, -300.0);
       },
       {{NegativeCost, "Negative Kosten: RüstKosten -150 (inklusiv UmrechnungsFaktor: 1.5) ab Periode 3"}}},
      {"a negative factor makes the unit cost negative",
       [](PlanBuilder& b) {
         b.factor(kStueckKosten, -1.0).clearParameter(kStueckKosten).parameter(kStueckKosten, 0, -2.0);
       },
       {{NegativeCost, "Negative Kosten: StückKosten -2 (inklusiv UmrechnungsFaktor: -1) ab Periode 1"}}},
      {"each negative row",
       [](PlanBuilder& b) { b.parameter(kRuestKosten, 1, -1.0).parameter(kRuestKosten, 2, -0.5); },
       {{NegativeCost, "Negative Kosten: RüstKosten -1 (inklusiv UmrechnungsFaktor: 1) ab Periode 2"},
        {NegativeCost, "Negative Kosten: RüstKosten -0.5 (inklusiv UmrechnungsFaktor: 1) ab Periode 3"}}},
      {"costs of 0 and negative rates are no negative costs",
       [](PlanBuilder& b) { b.parameter(kRuestKosten, 1, 0.0).parameter(kWagnisZinssatz, 0, -0.1); },
       {}},
  };
  for (const WarningCase& c : cases) expectWarnings(c);
}

TEST(PlanWarnings, NegativeDueQuantitiesOneMessageWithTheFirst) {
  const WarningCase cases[] = {
      {"one",
       [](PlanBuilder& b) { b.due(45293.75, -4); },
       {{NegativeQuantity, "Negative Menge: -4 zum Termin 2024-01-02 18:00:00"}}},
      {"three: the first and how many more",
       [](PlanBuilder& b) { b.due(45292.25, -1).due(45292.75, 5).due(45293.0, -2).due(45294.0, -3); },
       {{NegativeQuantity, "Negative Menge: -1 zum Termin 2024-01-01 06:00:00 (und 2 weitere)"}}},
      {"zero is no negative quantity", [](PlanBuilder& b) { b.due(45293.0, 0); }, {}},
  };
  for (const WarningCase& c : cases) expectWarnings(c);
}

// Due dates come in date order; a gap counts in whole days.
TEST(PlanWarnings, ADueDateMoreThan366DaysAfterTheOneBefore) {
  const auto dues = [](std::vector<double> dates) {
    return [dates](PlanBuilder& b) {
      b = PlanBuilder();
      for (const ParameterCode code :
           {kRuestKosten, kStueckKosten, kKapitalbindungsZinssatz, kWagnisZinssatz}) {
        b.factor(code, 1.0);
      }
      for (const double date : dates) b.due(date, 1);
    };
  };
  const WarningCase cases[] = {
      {"366 days and a little less than a day", dues({45292.0, 45292.0 + 367 - kSecond}), {}},
      {"367 days",
       dues({45292.0, 45292.0 + 367}),
       {{DueDateGap,
         "Termin 2025-01-02 00:00:00 liegt 367 Tage nach dem vorigen Termin 2024-01-01 00:00:00"}}},
      {"a placeholder in 9999",
       dues({45292.0, 45293.5, 2958101.0}),
       {{DueDateGap,
         "Termin 9999-01-01 00:00:00 liegt 2912807 Tage nach dem vorigen Termin 2024-01-02 12:00:00"}}},
      {"two gaps: the first and how many more",
       dues({45292.0, 45292.0 + 400, 45292.0 + 401, 45292.0 + 900}),
       {{DueDateGap,
         "Termin 2025-02-04 00:00:00 liegt 400 Tage nach dem vorigen Termin 2024-01-01 00:00:00"
         " (und 1 weitere)"}}},
      // -400.5 is 1898-11-25 12:00, half a day before -400 on the calendar.
      {"dates before 1899-12-30 on the calendar's scale",
       dues({-400.5, 0.25}),
       {{DueDateGap,
         "Termin 1899-12-30 06:00:00 liegt 399 Tage nach dem vorigen Termin 1898-11-25 12:00:00"}}},
      {"one due date alone", dues({2958101.0}), {}},
  };
  for (const WarningCase& c : cases) expectWarnings(c);
}

}  // namespace
}  // namespace mrp
