// Loading of the conversion factor catalogue (UmrechnungsFaktor).
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "demand/loading_fixture.h"

namespace mrp {
namespace {

using test::banner;

class ConversionFactors : public test::SQLiteLoading {};
class ConversionFactorsOnBoth : public test::BackendLoading {};

TEST_P(ConversionFactorsOnBoth, LoadsEveryKnownNameInOrderWithItsCode) {
  for (std::size_t code = 0; code < kParameterNames.size(); ++code) {
    factor("B", "'" + std::string(kParameterNames[code]) + "'", std::to_string(code + 1) + ".5",
           code == 3 ? "NULL" : "'Größe " + std::to_string(code) + "'");
  }
  const auto plan = load("B");
  ASSERT_EQ(plan->conversionFactors.size(), kParameterNames.size());
  for (std::size_t code = 0; code < kParameterNames.size(); ++code) {
    const ConversionFactor& entry = plan->conversionFactors[code];
    EXPECT_EQ(entry.code, static_cast<std::int32_t>(code));
    EXPECT_EQ(entry.factor, static_cast<double>(code + 1) + 0.5);
    // A NULL description is simply empty.
    EXPECT_EQ(entry.description, code == 3 ? "" : "Größe " + std::to_string(code));
    EXPECT_EQ(plan->factorFor(static_cast<std::int32_t>(code)), static_cast<double>(code + 1) + 0.5);
  }
  EXPECT_EQ(messages(), banner("Bedarf existiert nicht: B"));
}

TEST_P(ConversionFactorsOnBoth, FirstOfTwoRowsWithTheSameNameWins) {
  factor("B", "'ZinsJahr'", "360.0");
  factor("B", "'ZinsJahr'", "365.0");
  const auto plan = load("B");
  EXPECT_EQ(plan->conversionFactors.size(), 2u);
  EXPECT_EQ(plan->factorFor(kZinsJahr), 360.0);
  EXPECT_EQ(plan->factorFor(kWaehrung), 0.0);
}

TEST_F(ConversionFactors, NoRowsIsReportedOnceAndLoadingGoesOn) {
  plainHeader("B");
  exec("delete from UmrechnungsFaktor");
  const auto plan = load("B");
  EXPECT_TRUE(plan->conversionFactors.empty());
  EXPECT_TRUE(plan->headerFound);
  EXPECT_EQ(plan->periodLength, 0);  // no PeriodenLänge factor
  EXPECT_EQ(messages(), banner("UmrechnungsFaktoren existieren nicht!") +
                            banner("Parameter existieren nicht!") +
                            banner("Termine existieren nicht!"));
}

TEST_F(ConversionFactors, NamesMatchOnlyExactlyAndUnknownOnesAreLeftOut) {
  // A name longer than 128 bytes is cut first (at a character boundary), so it never matches.
  const std::string longName = "RüstKosten" + std::string(120, 'x');
  const std::string cutName = longName.substr(0, 128);
  std::string umlauts;
  for (int i = 0; i < 65; ++i) umlauts += "ä";  // 130 bytes, cut to 64 characters
  factor("B", "'rüstKosten'", "1.0");
  factor("B", "'RüstKosten '", "2.0");
  factor("B", "'RuestKosten'", "3.0");
  factor("B", "''", "4.0");
  factor("B", "'" + longName + "'", "5.0");
  factor("B", "'" + umlauts + "'", "6.0");
  factor("B", "'RüstKosten'", "7.0");
  const auto plan = load("B");
  ASSERT_EQ(plan->conversionFactors.size(), 1u);
  EXPECT_EQ(plan->factorFor(kRuestKosten), 7.0);
  std::string cutCp850 = cutName;
  cutCp850.replace(1, 2, "\x81");
  EXPECT_EQ(messages(), banner("Unbekannte Umrechnung: r\x81stKosten") +
                            banner("Unbekannte Umrechnung: R\x81stKosten ") +
                            banner("Unbekannte Umrechnung: RuestKosten") +
                            banner("Unbekannte Umrechnung: ") +
                            banner("Unbekannte Umrechnung: " + cutCp850) +
                            banner("Unbekannte Umrechnung: " + std::string(64, '\x84')) +
                            banner("Bedarf existiert nicht: B"));
}

TEST_P(ConversionFactorsOnBoth, RowsWithNullNameOrFactorAreReportedAndLeftOut) {
  factor("B", "'Währung'", "NULL");
  factor("B", "NULL", "2.0");
  factor("B", "NULL", "NULL", "'kaputt'");
  factor("B", "'Währung'", "0.5");  // must not inherit anything from the rows before
  factor("B", "'LosRaster'", "NULL");
  const auto plan = load("B");
  ASSERT_EQ(plan->conversionFactors.size(), 1u);
  EXPECT_EQ(plan->conversionFactors[0].code, kWaehrung);
  EXPECT_EQ(plan->conversionFactors[0].factor, 0.5);
  EXPECT_EQ(plan->factorFor(kLosRaster), 0.0);
  const std::string skipped = " ist NULL oder nicht lesbar";
  EXPECT_EQ(messages(),
            banner("Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor" + skipped +
                   " (Umrechnung: W\x84hrung): Zeile ausgelassen!") +
                banner("Unlesbare Spalte in UmrechnungsFaktor: Umrechnung" + skipped +
                       ": Zeile ausgelassen!") +
                banner("Unlesbare Spalte in UmrechnungsFaktor: Umrechnung, UmrechnungsFaktor sind "
                       "NULL oder nicht lesbar: Zeile ausgelassen!") +
                banner("Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor" + skipped +
                       " (Umrechnung: LosRaster): Zeile ausgelassen!") +
                banner("Bedarf existiert nicht: B"));
}

TEST_F(ConversionFactors, ColumnsOfAnotherKindAreReportedLikeNull) {
  // A factor kept as text and a description kept as a number are not what the
  // getters read; the description is then just empty.
  exec("drop table UmrechnungsFaktor");
  exec("create table UmrechnungsFaktor (Bedarf varchar(128), Umrechnung varchar(128),"
       " UmrechnungsFaktor varchar(20), Beschreibung integer)");
  exec("insert into UmrechnungsFaktor values ('B', 'ZinsJahr', '360', 1)");
  reconnect();
  const auto plan = load("B");
  EXPECT_TRUE(plan->conversionFactors.empty());
  EXPECT_EQ(messages(),
            banner("Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor ist NULL oder nicht "
                   "lesbar (Umrechnung: ZinsJahr): Zeile ausgelassen!") +
                banner("Bedarf existiert nicht: B"));
}

TEST_F(ConversionFactors, FactorsThatAreOnlyPartlyANumberAreReported) {
  const struct {
    const char* value;
    bool read;
  } cases[] = {{"'3,6e2'", false}, {"'360 Tage'", false}, {"'x'", false},
               {"'3.6e2'", true},  {"360", true},         {"'  360 '", true}};
  for (const auto& c : cases) {
    exec("delete from UmrechnungsFaktor");
    factor("B", "'ZinsJahr'", c.value);
    header("B", "'2024-03-01 00:00:00'", "1");
    const auto plan = load("B");
    exec("delete from Bedarf");
    if (c.read) {
      EXPECT_EQ(plan->factorFor(kZinsJahr), 360.0) << c.value;
    } else {
      EXPECT_FALSE(plan->hasFactor(kZinsJahr)) << c.value;
      EXPECT_EQ(messages().rfind(banner("Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor ist "
                                        "NULL oder nicht lesbar (Umrechnung: ZinsJahr): Zeile ausgelassen!"),
                                 0),
                0u)
          << c.value << messages();
    }
  }
}

TEST_F(ConversionFactors, DescriptionOfAnotherKindIsEmpty) {
  exec("drop table UmrechnungsFaktor");
  exec("create table UmrechnungsFaktor (Bedarf varchar(128), Umrechnung varchar(128),"
       " UmrechnungsFaktor double precision, Beschreibung integer)");
  exec("insert into UmrechnungsFaktor values ('B', 'ZinsJahr', 360.0, 1)");
  reconnect();
  const auto plan = load("B");
  ASSERT_EQ(plan->conversionFactors.size(), 1u);
  EXPECT_EQ(plan->conversionFactors[0].description, "");
  EXPECT_EQ(plan->factorFor(kZinsJahr), 360.0);
}

TEST_P(ConversionFactorsOnBoth, ValuesWithAnEmbeddedNulAreUnreadable) {
  // SQLite's driver hands `LosRaster<NUL>x` as LosRaster; MariaDB's hands every byte.
  const std::optional<std::string> cutName = textWithNul("LosRaster", "x");
  if (!cutName) GTEST_SKIP() << "PostgreSQL keeps no NUL in a text";
  factor("B", *cutName, "2.0");
  factor("B", "'ZinsJahr'", "360.0", *textWithNul("Zinstage", "je Jahr"));
  if (onSQLite()) factor("B", "'Währung'", "cast(x'312e350039' as text)");  // 1.5<NUL>9
  const auto plan = load("B");
  EXPECT_EQ(plan->factorFor(kLosRaster), 0.0);
  EXPECT_EQ(plan->factorFor(kWaehrung), 0.0);
  ASSERT_EQ(plan->conversionFactors.size(), 1u);
  EXPECT_EQ(plan->conversionFactors[0].factor, 360.0);
  EXPECT_EQ(plan->conversionFactors[0].description, "");  // unreadable, as if NULL
  const std::string row = "Unlesbare Spalte in UmrechnungsFaktor: ";
  std::string expected = banner(row + "Umrechnung ist NULL oder nicht lesbar: Zeile ausgelassen!");
  if (onSQLite()) {
    expected += banner(row + "UmrechnungsFaktor ist NULL oder nicht lesbar (Umrechnung: W\x84hrung): "
                             "Zeile ausgelassen!");
  }
  EXPECT_EQ(messages(), expected + banner("Bedarf existiert nicht: B"));
}

INSTANTIATE_TEST_SUITE_P(Backends, ConversionFactorsOnBoth,
                         ::testing::ValuesIn(test::allBackends()), test::backendSuffix);

}  // namespace
}  // namespace mrp
