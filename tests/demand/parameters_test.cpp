// Loading of the time-phased parameters (Parameter) with their conversion.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demand/loading_fixture.h"

namespace mrp {
namespace {

using test::banner;

class Parameters : public test::SQLiteLoading {
 protected:
  /// A demand with a header, one due quantity and the given factors.
  void demandWithFactors(const std::vector<std::pair<const char*, const char*>>& factors) {
    plainHeader("B");
    due("B", "'2024-03-01 00:00:00'", "1");
    for (const auto& [name, value] : factors) factor("B", std::string("'") + name + "'", value);
  }
};
class ParametersOnBoth : public test::BackendLoading {};

struct Expected {
  std::int32_t period;
  std::int32_t code;
  double value;
};

void expectEntries(const DemandPlan& plan, const std::vector<Expected>& expected) {
  ASSERT_EQ(plan.parameters.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(plan.parameters[i].period, expected[i].period) << i;
    EXPECT_EQ(plan.parameters[i].code, expected[i].code) << i;
    EXPECT_DOUBLE_EQ(plan.parameters[i].value, expected[i].value) << i;
  }
}

TEST_P(ParametersOnBoth, ValuesAreConvertedAndGroupedByNameThenPeriod) {
  plainHeader("B");
  due("B", "'2024-03-01 00:00:00'", "1");
  factor("B", "'RüstKosten'", "2.0");
  factor("B", "'StückKosten'", "1.0");
  factor("B", "'LosRaster'", "2.0");
  factor("B", "'KapitalbindungsZinssatz'", "0.01");
  factor("B", "'WagnisZinssatz'", "0.5");
  factor("B", "'Währung'", "0.5");
  // Inserted out of order: the load order is by name, then by period.
  parameter("B", "5", "'StückKosten'", "40.0");
  parameter("B", "1", "'WagnisZinssatz'", "3.0");
  parameter("B", "1", "'StückKosten'", "42.0");
  parameter("B", "1", "'RüstKosten'", "100.0");
  parameter("B", "2", "'LosRaster'", "2.5");
  parameter("B", "1", "'KapitalbindungsZinssatz'", "8.0");
  const auto plan = load("B");
  EXPECT_EQ(messages(), "");
  // Sorted by name as the database compares them: K, L, R, S, W.
  expectEntries(*plan, {{0, kKapitalbindungsZinssatz, 0.08},
                        {1, kLosRaster, 5.0},
                        {0, kRuestKosten, 100.0},
                        {0, kStueckKosten, 21.0},
                        {4, kStueckKosten, 20.0},
                        {0, kWagnisZinssatz, 1.5}});
}

TEST_F(Parameters, CostsWithoutCurrencyFactorBecomeZero) {
  demandWithFactors({{"RüstKosten", "1.0"}, {"StückKosten", "1.0"}, {"LosRaster", "1.0"}});
  parameter("B", "1", "'RüstKosten'", "100.0");
  parameter("B", "1", "'StückKosten'", "42.0");
  parameter("B", "1", "'LosRaster'", "10.0");
  const auto plan = load("B");
  expectEntries(*plan, {{0, kLosRaster, 10.0}, {0, kRuestKosten, 0.0}, {0, kStueckKosten, 0.0}});
}

TEST_F(Parameters, PeriodeCountsFromOne) {
  demandWithFactors({{"WagnisZinssatz", "1.0"}});
  parameter("B", "0", "'WagnisZinssatz'", "1.0");
  parameter("B", "1", "'WagnisZinssatz'", "2.0");
  parameter("B", "2147483647", "'WagnisZinssatz'", "3.0");
  const auto plan = load("B");
  expectEntries(*plan, {{-1, kWagnisZinssatz, 1.0},
                        {0, kWagnisZinssatz, 2.0},
                        {2147483646, kWagnisZinssatz, 3.0}});
}

TEST_F(Parameters, LotGridMustBeWholeAfterConversion) {
  struct Case {
    const char* wert;
    const char* factor;
    double value;
    const char* message;  // nullptr: none
  };
  const Case cases[] = {
      {"2.5", "2.0", 5.0, nullptr},
      {"2.5", "1.0", 2.5, "2.5 (inklusiv UmrechnungsFaktor: 1"},
      {"1000000.5", "1.0", 1000000.5, "1e+006 (inklusiv UmrechnungsFaktor: 1"},
      {"3000000000", "1.0", 3e9, "3e+009 (inklusiv UmrechnungsFaktor: 1"},
      {"-2147483648", "1.0", -2147483648.0, nullptr},
      {"2147483647", "1.0", 2147483647.0, nullptr},
      {"-3", "0.25", -0.75, "-0.75 (inklusiv UmrechnungsFaktor: 0.25"},
  };
  const std::string keys = "ABCDEFG";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string key(1, keys[i]);
    plainHeader(key);
    due(key, "'2024-03-01 00:00:00'", "1");
    factor(key, "'LosRaster'", cases[i].factor);
    parameter(key, "1", "'LosRaster'", cases[i].wert);
  }
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::string key(1, keys[i]);
    const auto plan = load(key.c_str());
    // The entry is kept as computed, whole or not.
    expectEntries(*plan, {{0, kLosRaster, cases[i].value}});
    const std::string expected =
        cases[i].message ? banner(std::string("Unerlaubter Parameter: LosRaster Parameter: ") +
                                  cases[i].message + "): Nur ganzzahliger Parameter ist hier erlaubt!")
                         : "";
    EXPECT_EQ(messages(), expected) << cases[i].wert;
  }
}

TEST_F(Parameters, ConversionOnlyNamesAndNearMissesAreUnknown) {
  demandWithFactors({{"ZinsJahr", "360.0"}, {"WagnisZinssatz", "1.0"}});
  parameter("B", "1", "'ZinsJahr'", "365.0");
  parameter("B", "1", "'PeriodenLänge'", "7.0");
  parameter("B", "1", "'Währung'", "1.0");
  parameter("B", "1", "'wagnisZinssatz'", "1.0");
  parameter("B", "2", "'WagnisZinssatz'", "4.0");
  const auto plan = load("B");
  expectEntries(*plan, {{1, kWagnisZinssatz, 4.0}});
  // In the order of the statement, which sorts by bytes: P, Wa, Wä, Z, w.
  EXPECT_EQ(messages(), banner("Unbekannter Parameter: PeriodenL\x84nge") +
                            banner("Unbekannter Parameter: W\x84hrung") +
                            banner("Unbekannter Parameter: ZinsJahr") +
                            banner("Unbekannter Parameter: wagnisZinssatz"));
}

TEST_P(ParametersOnBoth, NoRowsIsReportedAndDueQuantitiesStillLoad) {
  plainHeader("B");
  due("B", "'2024-03-01 00:00:00'", "1");
  parameter("OTHER", "1", "'LosRaster'", "1.0");
  const auto plan = load("B");
  EXPECT_EQ(messages(), banner("Parameter existieren nicht!"));
  EXPECT_TRUE(plan->parameters.empty());
  EXPECT_EQ(plan->dueQuantities.size(), 1u);
}

TEST_P(ParametersOnBoth, RowsWithNullColumnsAreReportedAndLeftOut) {
  plainHeader("B");
  due("B", "'2024-03-01 00:00:00'", "1");
  factor("B", "'KapitalbindungsZinssatz'", "1.0");
  factor("B", "'LosRaster'", "1.0");
  factor("B", "'WagnisZinssatz'", "1.0");
  parameter("B", "1", "'KapitalbindungsZinssatz'", "NULL");
  parameter("B", "2", "'KapitalbindungsZinssatz'", "5.0");
  parameter("B", "NULL", "'LosRaster'", "10.0");
  parameter("B", "3", "'LosRaster'", "20.0");
  parameter("B", "4", "'WagnisZinssatz'", "NULL");
  parameter("B", "NULL", "'WagnisZinssatz'", "NULL");
  const auto plan = load("B");
  // Rows after a broken one keep their own values.
  expectEntries(*plan, {{1, kKapitalbindungsZinssatz, 5.0}, {2, kLosRaster, 20.0}});
  const std::string row = "Unlesbare Spalte in Parameter: ";
  const std::string unreadable = " ist NULL oder nicht lesbar";
  const std::string skipped = ": Zeile ausgelassen!";
  // NULL sorts first on SQLite and last on PostgreSQL.
  const std::string nullPeriodeLosRaster =
      banner(row + "Periode" + unreadable + " (Parameter: LosRaster)" + skipped);
  const std::string nullBothWagnis = banner(row + "Periode, Wert sind NULL oder nicht lesbar "
                                                  "(Parameter: WagnisZinssatz)" + skipped);
  const std::string nullWertWagnis =
      banner(row + "Wert" + unreadable + " (Parameter: WagnisZinssatz, Periode: 4)" + skipped);
  const std::string nullWertKapital = banner(
      row + "Wert" + unreadable + " (Parameter: KapitalbindungsZinssatz, Periode: 1)" + skipped);
  if (nullsSortFirst()) {
    EXPECT_EQ(messages(), nullWertKapital + nullPeriodeLosRaster + nullBothWagnis + nullWertWagnis);
  } else {
    EXPECT_EQ(messages(), nullWertKapital + nullPeriodeLosRaster + nullWertWagnis + nullBothWagnis);
  }
}

TEST_F(Parameters, NullNameAndLowestPeriodeAreReported) {
  demandWithFactors({{"WagnisZinssatz", "1.0"}});
  parameter("B", "2", "NULL", "1.0");
  parameter("B", "-2147483648", "'WagnisZinssatz'", "1.0");
  const auto plan = load("B");
  EXPECT_TRUE(plan->parameters.empty());
  EXPECT_EQ(messages(), banner("Unlesbare Spalte in Parameter: Parameter ist NULL oder nicht lesbar "
                               "(Periode: 2): Zeile ausgelassen!") +
                            banner("Unlesbare Spalte in Parameter: Periode ist NULL oder nicht "
                                   "lesbar (Parameter: WagnisZinssatz, Periode: -2147483648): "
                                   "Zeile ausgelassen!"));
}

TEST_P(ParametersOnBoth, ValuesWithAnEmbeddedNulAreUnreadable) {
  const std::optional<std::string> cutName = textWithNul("RüstKosten", "");
  if (!cutName) GTEST_SKIP() << "PostgreSQL keeps no NUL in a text";
  plainHeader("B");
  due("B", "'2024-03-01 00:00:00'", "1");
  factor("B", "'RüstKosten'", "1.0");
  factor("B", "'Währung'", "1.0");
  parameter("B", "1", *cutName, "80.0");
  parameter("B", "2", "'RüstKosten'", "90.0");
  if (onSQLite()) {
    parameter("B", "3", "'RüstKosten'", "cast(x'3800312e35' as text)");  // 8<NUL>1.5
    parameter("B", "cast(x'340032' as text)", "'RüstKosten'", "70.0");  // Periode 4<NUL>2
  }
  const auto plan = load("B");
  expectEntries(*plan, {{1, kRuestKosten, 90.0}});
  const std::string row = "Unlesbare Spalte in Parameter: ";
  const std::string skipped = ": Zeile ausgelassen!";
  std::string expected;
  if (onSQLite()) {
    // Grouped by name, then by period: the cut name sorts behind the others.
    expected = banner(row + "Wert ist NULL oder nicht lesbar (Parameter: R\x81stKosten, Periode: 3)" + skipped) +
               banner(row + "Periode ist NULL oder nicht lesbar (Parameter: R\x81stKosten)" + skipped);
  }
  expected += banner(row + "Parameter ist NULL oder nicht lesbar (Periode: 1)" + skipped);
  EXPECT_EQ(messages(), expected);
}

INSTANTIATE_TEST_SUITE_P(Backends, ParametersOnBoth, ::testing::ValuesIn(test::allBackends()),
                         test::backendSuffix);

}  // namespace
}  // namespace mrp
