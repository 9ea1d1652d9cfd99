// Loading of the conversion factor catalogue (UmrechnungsFaktor) from given rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/given_demand.h"

namespace mrp {
namespace {

using test::GivenDemand;
using test::kNull;
using test::Unreadable;
using Lines = std::vector<std::string>;

TEST(ConversionFactors, LoadsEveryKnownNameInOrderWithItsCode) {
  GivenDemand demand;
  for (std::size_t code = 0; code < kParameterNames.size(); ++code) {
    // A NULL description is simply empty.
    const test::Value description = code == 3 ? test::Value(kNull) : "Größe " + std::to_string(code);
    demand.factorRows.push_back({std::string(kParameterNames[code]), code + 1.5, description});
  }
  const auto [plan, messages] = test::load(demand);
  ASSERT_EQ(plan.conversionFactors.size(), kParameterNames.size());
  for (std::size_t code = 0; code < kParameterNames.size(); ++code) {
    const ConversionFactor& entry = plan.conversionFactors[code];
    EXPECT_EQ(entry.code, static_cast<std::int32_t>(code));
    EXPECT_EQ(entry.factor, code + 1.5);
    EXPECT_EQ(entry.description, code == 3 ? "" : "Größe " + std::to_string(code));
    EXPECT_EQ(plan.factorFor(static_cast<std::int32_t>(code)), code + 1.5);
  }
  EXPECT_EQ(messages, Lines{"Bedarf existiert nicht: B"});
}

TEST(ConversionFactors, FirstOfTwoRowsWithTheSameNameWins) {
  GivenDemand demand;
  demand.factorRows = {{"ZinsJahr", 360.0, kNull}, {"ZinsJahr", 365.0, kNull}};
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(plan.conversionFactors.size(), 2u);
  EXPECT_EQ(plan.factorFor(kZinsJahr), 360.0);
  EXPECT_EQ(plan.factorFor(kWaehrung), 0.0);
}

TEST(ConversionFactors, NoRowsIsReportedOnceAndLoadingGoesOn) {
  GivenDemand demand = test::plainDemand();
  demand.factorRows.clear();
  const auto [plan, messages] = test::load(demand);
  EXPECT_TRUE(plan.conversionFactors.empty());
  EXPECT_TRUE(plan.headerFound);
  EXPECT_EQ(plan.periodLength, 0);  // no PeriodenLänge factor
  EXPECT_EQ(messages, (Lines{"UmrechnungsFaktoren existieren nicht!", "Parameter existieren nicht!",
                             "Termine existieren nicht!"}));
}

TEST(ConversionFactors, NamesMatchOnlyExactlyAndUnknownOnesAreLeftOut) {
  // A name longer than 128 bytes is cut first (at a character boundary), so it never matches.
  const std::string longName = "RüstKosten" + std::string(120, 'x');
  std::string umlauts;
  for (int i = 0; i < 65; ++i) umlauts += "ä";  // 130 bytes, cut to 64 characters
  GivenDemand demand;
  for (const std::string& name :
       {std::string("rüstKosten"), std::string("RüstKosten "), std::string("RuestKosten"), std::string(),
        longName, umlauts, std::string("RüstKosten")}) {
    demand.factorRows.push_back({name, 7.0, kNull});
  }
  const auto [plan, messages] = test::load(demand);
  ASSERT_EQ(plan.conversionFactors.size(), 1u);
  EXPECT_EQ(plan.factorFor(kRuestKosten), 7.0);
  EXPECT_EQ(messages,
            (Lines{"Unbekannte Umrechnung: rüstKosten", "Unbekannte Umrechnung: RüstKosten ",
                   "Unbekannte Umrechnung: RuestKosten",
                   "Unbekannte Umrechnung: ", "Unbekannte Umrechnung: " + longName.substr(0, 128),
                   "Unbekannte Umrechnung: " + umlauts.substr(0, 128), "Bedarf existiert nicht: B"}));
}

// A row whose name or factor is NULL, of another kind or not wholly what it
// claims is left out; a description that is any of these is just empty.
TEST(ConversionFactors, RowsWithoutANameOrFactorAreReportedAndLeftOut) {
  GivenDemand demand;
  demand.factorRows = {
      {"Währung", kNull, kNull},   {kNull, 2.0, kNull},
      {kNull, kNull, "kaputt"},    {"Währung", 0.5, kNull},  // must not inherit anything from the rows before
      {"LosRaster", kNull, kNull}, {"ZinsJahr", "360", 1},
      {Unreadable{}, 2.0, kNull},  {"StückKosten", Unreadable{}, kNull},
      {"ZinsJahr", 360.0, 1},      {"LosRaster", 2.0, Unreadable{}},
  };
  const auto [plan, messages] = test::load(demand);
  ASSERT_EQ(plan.conversionFactors.size(), 3u);
  EXPECT_EQ(plan.conversionFactors[0].code, kWaehrung);
  EXPECT_EQ(plan.conversionFactors[0].factor, 0.5);
  EXPECT_EQ(plan.factorFor(kZinsJahr), 360.0);
  EXPECT_EQ(plan.factorFor(kLosRaster), 2.0);
  EXPECT_EQ(plan.conversionFactors[1].description, "");
  EXPECT_EQ(plan.conversionFactors[2].description, "");
  EXPECT_FALSE(plan.hasFactor(kStueckKosten));
  const std::string row = "Unlesbare Spalte in UmrechnungsFaktor: ";
  const std::string factor = row + "UmrechnungsFaktor ist NULL oder nicht lesbar (Umrechnung: ";
  const std::string name = row + "Umrechnung ist NULL oder nicht lesbar: Zeile ausgelassen!";
  EXPECT_EQ(messages,
            (Lines{factor + "Währung): Zeile ausgelassen!", name,
                   row + "Umrechnung, UmrechnungsFaktor sind NULL oder nicht lesbar: Zeile ausgelassen!",
                   factor + "LosRaster): Zeile ausgelassen!", factor + "ZinsJahr): Zeile ausgelassen!", name,
                   factor + "StückKosten): Zeile ausgelassen!", "Bedarf existiert nicht: B"}));
}

}  // namespace
}  // namespace mrp
