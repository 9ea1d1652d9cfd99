#include "lotsizing/plan_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "demand/loaded_demand.h"
#include "demand/message_sink.h"
#include "lotsizing/lot_plan.h"
#include "support/helpers.h"
#include "support/plan_builder.h"

namespace mrp {
namespace {

using test::PlanBuilder;
using enum MessageCode;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
const double kInfinity = std::numeric_limits<double>::infinity();

/// A plan that computes fine: three periods, setup cost, holding cost 1.
PlanBuilder plannable() {
  PlanBuilder builder;
  builder.parameter(kRuestKosten, 0, 50.0).holdingCost(1.0).periodQuantities({10, 20, 30});
  return builder;
}

struct RefusalCase {
  const char* name;
  std::function<void(PlanBuilder&)> shapeData;
  std::function<void(LoadedDemand&)> shapePlan;
  std::vector<Message> messages;  // expected
};

void expectRefused(const RefusalCase& c) {
  SCOPED_TRACE(c.name);
  PlanBuilder builder = plannable();
  if (c.shapeData) c.shapeData(builder);
  LoadedDemand plan = builder.build();
  if (c.shapePlan) c.shapePlan(plan);
  MessageList sink;
  EXPECT_FALSE(planLots(plan, sink).has_value());
  EXPECT_EQ(sink.messages, c.messages);
}

TEST(PlanChecks, HeaderProblemsReportedByTheLoadingAddNoLine) {
  const RefusalCase cases[] = {
      {"unknown demand", nullptr, [](LoadedDemand& p) { p.headerFound = false; }, {}},
      {"unreadable start date", nullptr, [](LoadedDemand& p) { p.startDate.reset(); }, {}},
      {"unreadable period length", nullptr, [](LoadedDemand& p) { p.periodLength.reset(); }, {}},
      {"unknown demand checks nothing else",
       [](PlanBuilder& b) { b.factor(kZinsJahr, 0.0); },
       [](LoadedDemand& p) { p.headerFound = false; },
       {}},
  };
  for (const RefusalCase& c : cases) expectRefused(c);
}

TEST(PlanChecks, FactorsAndPeriodLength) {
  const auto withoutFactor = [](std::int32_t code) {
    return [code](LoadedDemand& p) {
      std::erase_if(p.conversionFactors, [code](const ConversionFactor& f) { return f.code == code; });
    };
  };
  const RefusalCase cases[] = {
      {"period length 0 (no PeriodenL\xc3\xa4nge factor)",
       [](PlanBuilder& b) { b.header(45292.0, 0); },
       nullptr,
       {{PeriodLengthInvalid,
         "Unerlaubte PeriodenLänge: 0 Tage (inklusiv UmrechnungsFaktor: 0): "
         "Nur PeriodenLänge ab einem Tag ist hier erlaubt!"}}},
      {"negative period length names its factor",
       [](PlanBuilder& b) { b.header(45292.0, -2).factor(kPeriodenLaenge, 0.5); },
       nullptr,
       {{PeriodLengthInvalid,
         "Unerlaubte PeriodenLänge: -2 Tage (inklusiv UmrechnungsFaktor: 0.5): "
         "Nur PeriodenLänge ab einem Tag ist hier erlaubt!"}}},
      {"interest year missing",
       nullptr,
       withoutFactor(kZinsJahr),
       {{InterestYearMissing, "UmrechnungsFaktor existiert nicht: ZinsJahr"}}},
      {"interest year zero",
       [](PlanBuilder& b) { b.factor(kZinsJahr, 0.0); },
       nullptr,
       {{InterestYearInvalid,
         "Unerlaubter UmrechnungsFaktor: ZinsJahr 0: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"interest year negative",
       [](PlanBuilder& b) { b.factor(kZinsJahr, -360.0); },
       nullptr,
       {{InterestYearInvalid,
         "Unerlaubter UmrechnungsFaktor: ZinsJahr -360: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"interest year infinite",
       [](PlanBuilder& b) { b.factor(kZinsJahr, kInfinity); },
       nullptr,
       {{InterestYearInvalid,
         "Unerlaubter UmrechnungsFaktor: ZinsJahr inf: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"currency missing",
       nullptr,
       withoutFactor(kWaehrung),
       {{CurrencyMissing, "UmrechnungsFaktor existiert nicht: Währung"}}},
      {"currency zero",
       [](PlanBuilder& b) { b.factor(kWaehrung, 0.0); },
       nullptr,
       {{CurrencyInvalid,
         "Unerlaubter UmrechnungsFaktor: Währung 0: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"currency negative",
       [](PlanBuilder& b) { b.factor(kWaehrung, -1.0); },
       nullptr,
       {{CurrencyInvalid,
         "Unerlaubter UmrechnungsFaktor: Währung -1: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"currency subnormal: costs times it lose their digits",
       [](PlanBuilder& b) { b.factor(kWaehrung, 5e-324); },
       nullptr,
       {{CurrencyInvalid,
         "Unerlaubter UmrechnungsFaktor: Währung 4.94066e-324: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"currency just below the normal doubles",
       [](PlanBuilder& b) { b.factor(kWaehrung, 2e-308); },
       nullptr,
       {{CurrencyInvalid,
         "Unerlaubter UmrechnungsFaktor: Währung 2e-308: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"interest year subnormal",
       [](PlanBuilder& b) { b.factor(kZinsJahr, 1e-320); },
       nullptr,
       {{InterestYearInvalid,
         "Unerlaubter UmrechnungsFaktor: ZinsJahr 9.99989e-321: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"currency not a number",
       [](PlanBuilder& b) { b.factor(kWaehrung, std::numeric_limits<double>::quiet_NaN()); },
       nullptr,
       {{CurrencyInvalid,
         "Unerlaubter UmrechnungsFaktor: Währung nan: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
      {"every problem its own line, header problems none",
       [](PlanBuilder& b) { b.header(45292.0, 0).factor(kWaehrung, 0.0); },
       [](LoadedDemand& p) {
         p.startDate.reset();
         std::erase_if(p.conversionFactors, [](const ConversionFactor& f) { return f.code == kZinsJahr; });
       },
       {{PeriodLengthInvalid,
         "Unerlaubte PeriodenLänge: 0 Tage (inklusiv UmrechnungsFaktor: 0): "
         "Nur PeriodenLänge ab einem Tag ist hier erlaubt!"},
        {InterestYearMissing, "UmrechnungsFaktor existiert nicht: ZinsJahr"},
        {CurrencyInvalid,
         "Unerlaubter UmrechnungsFaktor: Währung 0: "
         "Nur positiver endlicher Faktor ist hier erlaubt!"}}},
  };
  for (const RefusalCase& c : cases) expectRefused(c);
}

TEST(PlanChecks, LotGridBelowOne) {
  const RefusalCase cases[] = {
      {"no lot grid at all",
       [](PlanBuilder& b) { b.clearParameter(kLosRaster); },
       nullptr,
       {{LotGridMissing, "LosRaster existiert nicht in Periode 1 bis 3"}}},
      {"first grid from period 3",
       [](PlanBuilder& b) { b.clearParameter(kLosRaster).parameter(kLosRaster, 2, 5.0); },
       nullptr,
       {{LotGridMissing, "LosRaster existiert nicht in Periode 1 bis 2"}}},
      {"grid truncating to 0",
       [](PlanBuilder& b) { b.clearParameter(kLosRaster).parameter(kLosRaster, 0, 0.5); },
       nullptr,
       {{LotGridInvalid,
         "Unerlaubter LosRaster: 0.5 in Periode 1 bis 3: "
         "Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!"}}},
      {"negative grid in one period",
       [](PlanBuilder& b) { b.parameter(kLosRaster, 1, -2.0).parameter(kLosRaster, 2, 1.0); },
       nullptr,
       {{LotGridInvalid,
         "Unerlaubter LosRaster: -2 in Periode 2: "
         "Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!"}}},
      {"grid beyond 32 bits",
       [](PlanBuilder& b) { b.parameter(kLosRaster, 2, 3e9); },
       nullptr,
       {{LotGridInvalid,
         "Unerlaubter LosRaster: 3e+009 in Periode 3: "
         "Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!"}}},
      {"each bad entry its own line",
       [](PlanBuilder& b) {
         b.clearParameter(kLosRaster).parameter(kLosRaster, 1, 0.0).parameter(kLosRaster, 2, 0.0);
       },
       nullptr,
       {{LotGridMissing, "LosRaster existiert nicht in Periode 1"},
        {LotGridInvalid,
         "Unerlaubter LosRaster: 0 in Periode 2: "
         "Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!"},
        {LotGridInvalid,
         "Unerlaubter LosRaster: 0 in Periode 3: "
         "Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!"}}},
  };
  for (const RefusalCase& c : cases) expectRefused(c);
}

TEST(PlanChecks, QuantitiesAndCostsOutOfRange) {
  const RefusalCase cases[] = {
      {"period sum beyond 32 bits",
       [](PlanBuilder& b) { b.due(45294.2, kMax).due(45294.7, 1); },
       nullptr,
       {{QuantityOutOfRange, "Mengensumme außerhalb des Wertebereichs: 2.14748e+009 in Periode 3"}}},
      {"period sum below 32 bits",
       [](PlanBuilder& b) { b.due(45294.2, std::numeric_limits<std::int32_t>::min()).due(45294.7, -31); },
       nullptr,
       {{QuantityOutOfRange, "Mengensumme außerhalb des Wertebereichs: -2.14748e+009 in Periode 3"}}},
      {"rounded quantity beyond 32 bits",
       [](PlanBuilder& b) { b.due(45295.5, kMax).parameter(kLosRaster, 3, 2.0); },
       nullptr,
       {{QuantityOutOfRange, "Gerundete Menge außerhalb des Wertebereichs: 2.14748e+009 in Periode 4"}}},
      {"lot beyond 32 bits",
       [](PlanBuilder& b) { b.holdingCost(0.0).due(45295.5, kMax); },
       nullptr,
       {{QuantityOutOfRange, "Losgröße außerhalb des Wertebereichs: 2.14748e+009 in Periode 1"}}},
      {"stored cost beyond the doubles once the currency factor is taken out",
       [](PlanBuilder& b) {
         b.factor(kWaehrung, 1e-300).clearParameter(kRuestKosten).parameter(kRuestKosten, 0, 1e300);
       },
       nullptr,
       {{LotCostNotFinite, "Loskosten nicht endlich: inf in Periode 1"}}},
      {"horizon beyond 200000 periods",
       [](PlanBuilder& b) { b.due(45292.0 + 200000.0, 1).due(45292.5, 1); },
       nullptr,
       {{TooManyPeriods,
         "Zu viele Perioden: 200001 bis zum Termin 2571-08-01 00:00:00: "
         "Nur bis 200000 Perioden ist hier erlaubt!"}}},
      {"lot cost not finite",
       [](PlanBuilder& b) { b.clearParameter(kRuestKosten).parameter(kRuestKosten, 0, kInfinity); },
       nullptr,
       {{LotCostNotFinite, "Loskosten nicht endlich: inf in Periode 1"}}},
  };
  for (const RefusalCase& c : cases) expectRefused(c);
}

TEST(PlanChecks, PlannableDemandsPrintNothing) {
  const struct {
    const char* name;
    std::function<void(PlanBuilder&)> shapeData;
  } cases[] = {
      {"ordinary demand", nullptr},
      {"header without due quantities", [](PlanBuilder& b) { b = PlanBuilder(); }},
      {"quantities up to the 32-bit limit",
       [](PlanBuilder& b) { b.holdingCost(1.0).due(45295.5, kMax - 60); }},
      {"the smallest normal currency factor, the costs in its currency",
       [](PlanBuilder& b) {
         b.factor(kWaehrung, 0x1p-1022)
             .clearParameter(kRuestKosten)
             .parameter(kRuestKosten, 0, 50 * 0x1p-1022);
         b.holdingCost(0.0);
       }},
  };
  for (const auto& c : cases) {
    PlanBuilder builder = plannable();
    if (c.shapeData) c.shapeData(builder);
    MessageList sink;
    EXPECT_TRUE(planLots(builder.build(), sink).has_value()) << c.name;
    EXPECT_EQ(sink.messages, std::vector<Message>{}) << c.name;
  }
}

}  // namespace
}  // namespace mrp
