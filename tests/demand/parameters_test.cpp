// Loading of the time-phased parameters (Parameter) with their conversion, from
// given rows.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/given_demand.h"

namespace mrp {
namespace {

using test::GivenDemand;
using test::kNull;
using test::Unreadable;
using Lines = std::vector<std::string>;

struct Expected {
  std::int32_t period;
  std::int32_t code;
  double value;
};

void expectEntries(const LoadedDemand& plan, const std::vector<Expected>& expected) {
  ASSERT_EQ(plan.parameters.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(plan.parameters[i].period, expected[i].period) << i;
    EXPECT_EQ(plan.parameters[i].code, expected[i].code) << i;
    EXPECT_DOUBLE_EQ(plan.parameters[i].value, expected[i].value) << i;
  }
}

/// A demand with a header, one due quantity, the given factors and parameter rows.
GivenDemand demandWith(const std::vector<std::pair<const char*, double>>& factors,
                       std::vector<test::GivenRow> parameters) {
  GivenDemand demand = test::plainDemand();
  for (const auto& [name, value] : factors) demand.factorRows.push_back({name, value, kNull});
  demand.parameterRows = std::move(parameters);
  demand.dueRows = {{test::Date{test::kMarch1st2024}, 1}};
  return demand;
}

TEST(Parameters, ValuesAreConvertedByTheirFactorsAndCostsAlsoByTheCurrency) {
  GivenDemand demand = demandWith({{"RüstKosten", 2.0},
                                   {"StückKosten", 1.0},
                                   {"LosRaster", 2.0},
                                   {"KapitalbindungsZinssatz", 0.01},
                                   {"WagnisZinssatz", 0.5},
                                   {"Währung", 0.5}},
                                  {{1, "KapitalbindungsZinssatz", 8.0},
                                   {2, "LosRaster", 2.5},
                                   {1, "RüstKosten", 100.0},
                                   {1, "StückKosten", 42.0},
                                   {5, "StückKosten", 40.0},
                                   {1, "WagnisZinssatz", 3.0}});
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(messages, Lines{});
  expectEntries(plan, {{0, kKapitalbindungsZinssatz, 0.08},
                       {1, kLosRaster, 5.0},
                       {0, kRuestKosten, 100.0},
                       {0, kStueckKosten, 21.0},
                       {4, kStueckKosten, 20.0},
                       {0, kWagnisZinssatz, 1.5}});
}

TEST(Parameters, CostsWithoutCurrencyFactorBecomeZero) {
  GivenDemand demand =
      demandWith({{"RüstKosten", 1.0}, {"StückKosten", 1.0}, {"LosRaster", 1.0}},
                 {{1, "LosRaster", 10.0}, {1, "RüstKosten", 100.0}, {1, "StückKosten", 42.0}});
  const auto [plan, messages] = test::load(demand);
  expectEntries(plan, {{0, kLosRaster, 10.0}, {0, kRuestKosten, 0.0}, {0, kStueckKosten, 0.0}});
}

TEST(Parameters, PeriodeCountsFromOne) {
  GivenDemand demand = demandWith(
      {{"WagnisZinssatz", 1.0}},
      {{0, "WagnisZinssatz", 1.0}, {1, "WagnisZinssatz", 2.0}, {2147483647, "WagnisZinssatz", 3.0}});
  const auto [plan, messages] = test::load(demand);
  expectEntries(plan,
                {{-1, kWagnisZinssatz, 1.0}, {0, kWagnisZinssatz, 2.0}, {2147483646, kWagnisZinssatz, 3.0}});
}

TEST(Parameters, LotGridMustBeWholeAfterConversion) {
  struct Case {
    double wert;
    double factor;
    double value;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {2.5, 2.0, 5.0, nullptr},
      {2.5, 1.0, 2.5, "2.5 (inklusiv UmrechnungsFaktor: 1"},
      {1000000.5, 1.0, 1000000.5, "1e+006 (inklusiv UmrechnungsFaktor: 1"},
      {3000000000, 1.0, 3e9, "3e+009 (inklusiv UmrechnungsFaktor: 1"},
      {-2147483648.0, 1.0, -2147483648.0, nullptr},
      {2147483647, 1.0, 2147483647.0, nullptr},
      {-3, 0.25, -0.75, "-0.75 (inklusiv UmrechnungsFaktor: 0.25"},
  };
  for (const Case& c : cases) {
    GivenDemand demand = demandWith({{"LosRaster", c.factor}}, {{1, "LosRaster", c.wert}});
    const auto [plan, messages] = test::load(demand);
    // The entry is kept as computed, whole or not.
    expectEntries(plan, {{0, kLosRaster, c.value}});
    const Lines expected{std::string("Unerlaubter Parameter: LosRaster Parameter: ") +
                         (c.message ? c.message : "") + "): Nur ganzzahliger Parameter ist hier erlaubt!"};
    EXPECT_EQ(messages, c.message ? expected : Lines{}) << c.wert;
  }
}

TEST(Parameters, ConversionOnlyNamesAndNearMissesAreUnknown) {
  GivenDemand demand =
      demandWith({{"ZinsJahr", 360.0}, {"WagnisZinssatz", 1.0}}, {{1, "PeriodenLänge", 7.0},
                                                                  {2, "WagnisZinssatz", 4.0},
                                                                  {1, "Währung", 1.0},
                                                                  {1, "ZinsJahr", 365.0},
                                                                  {1, "wagnisZinssatz", 1.0}});
  const auto [plan, messages] = test::load(demand);
  expectEntries(plan, {{1, kWagnisZinssatz, 4.0}});
  EXPECT_EQ(messages, (Lines{"Unbekannter Parameter: PeriodenLänge", "Unbekannter Parameter: Währung",
                             "Unbekannter Parameter: ZinsJahr", "Unbekannter Parameter: wagnisZinssatz"}));
}

TEST(Parameters, NoRowsIsReportedAndDueQuantitiesStillLoad) {
  GivenDemand demand = demandWith({}, {});
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(messages, Lines{"Parameter existieren nicht!"});
  EXPECT_TRUE(plan.parameters.empty());
  EXPECT_EQ(plan.dueQuantities.size(), 1u);
}

// A row whose Periode, name or value is NULL, of another kind or not wholly
// what it claims is left out; its readable name and Periode identify it. The
// lowest integer is no Periode: there is no period index below it.
TEST(Parameters, RowsWithUnreadableColumnsAreReportedAndLeftOut) {
  GivenDemand demand =
      demandWith({{"KapitalbindungsZinssatz", 1.0}, {"LosRaster", 1.0}, {"WagnisZinssatz", 1.0}},
                 {{1, "KapitalbindungsZinssatz", kNull},
                  {2, "KapitalbindungsZinssatz", 5.0},
                  {kNull, "LosRaster", 10.0},
                  {3, "LosRaster", 20.0},
                  {4, "LosRaster", 7},
                  {Unreadable{}, "LosRaster", 1.0},
                  {2, kNull, 1.0},
                  {2, Unreadable{}, 1.0},
                  {std::numeric_limits<std::int32_t>::min(), "WagnisZinssatz", 1.0},
                  {4, "WagnisZinssatz", kNull},
                  {5.0, "WagnisZinssatz", Unreadable{}},
                  {kNull, "WagnisZinssatz", kNull}});
  const auto [plan, messages] = test::load(demand);
  // Rows after a broken one keep their own values.
  expectEntries(plan, {{1, kKapitalbindungsZinssatz, 5.0}, {2, kLosRaster, 20.0}});
  const std::string row = "Unlesbare Spalte in Parameter: ";
  const std::string skipped = ": Zeile ausgelassen!";
  const std::string wert = row + "Wert ist NULL oder nicht lesbar (Parameter: ";
  const std::string periode = row + "Periode ist NULL oder nicht lesbar (Parameter: ";
  const std::string name = row + "Parameter ist NULL oder nicht lesbar (Periode: 2)" + skipped;
  EXPECT_EQ(messages,
            (Lines{wert + "KapitalbindungsZinssatz, Periode: 1)" + skipped, periode + "LosRaster)" + skipped,
                   wert + "LosRaster, Periode: 4)" + skipped, periode + "LosRaster)" + skipped, name, name,
                   periode + "WagnisZinssatz, Periode: -2147483648)" + skipped,
                   wert + "WagnisZinssatz, Periode: 4)" + skipped,
                   row + "Periode, Wert sind NULL oder nicht lesbar (Parameter: WagnisZinssatz)" + skipped,
                   row + "Periode, Wert sind NULL oder nicht lesbar (Parameter: WagnisZinssatz)" + skipped}));
}

}  // namespace
}  // namespace mrp
