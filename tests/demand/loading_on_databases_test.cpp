// Loading a demand from each database, through its ODBC driver: what the
// statements ask for (the demand's rows only, in their order) and what the
// drivers hand over - NULLs, umlauts, long texts, dates before 1899, and values
// that are not what they claim, which the loading must report, not plan with.
// The loading's own rules are tested on given rows (conversion_factors_test.cpp
// and the other files of the loading steps).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "planning_db/cut_values.h"
#include "planning_db/demand_queries.h"
#include "platform/text_encoding.h"
#include "support/helpers.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::banner;

/// 2024-03-01 as an OleDate.
constexpr OleDate kMarch1st2024 = 45352.0;
constexpr double kSecond = 1.0 / 86400.0;

/// A fresh database of the backend per test, rows inserted as SQL literals
/// ("NULL", "'text'", "2.5") and sent in one client call when the loading
/// needs them, and the loading's messages as the console shows them.
class Loading : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    db_ = std::make_unique<test::TestDatabase>(GetParam());
    connection_ = db_->connect();
  }

  void exec(const std::string& sql) { pending_ += sql + ";\n"; }
  /// A new connection: the SQLite driver keeps the column types of a table it
  /// has seen, so a table re-created with other types needs one.
  void reconnect() {
    flush();
    connection_ = db_->connect();
  }
  bool onSQLite() const { return GetParam() == Backend::SQLite; }
  /// SQLite and MariaDB sort NULL before every value, PostgreSQL after.
  bool nullsSortFirst() const { return onSQLite() || GetParam() == Backend::MariaDB; }
  /// An SQL expression for `before`, a NUL and `after` (not on PostgreSQL,
  /// which keeps no NUL in a text).
  std::string textWithNul(const std::string& before, const std::string& after) const {
    if (onSQLite()) return "('" + before + "'||char(0)||'" + after + "')";
    return "concat('" + before + "',char(0),'" + after + "')";
  }

  void header(const std::string& key, const std::string& start, const std::string& length,
              const std::string& description = "NULL") {
    insert("Bedarf(Bedarf,StartTermin,PeriodenLänge,Beschreibung)", key, {start, length, description});
  }
  void factor(const std::string& key, const std::string& name, const std::string& value,
              const std::string& description = "NULL") {
    insert("UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor,Beschreibung)", key,
           {name, value, description});
  }
  void parameter(const std::string& key, const std::string& periode, const std::string& name,
                 const std::string& wert) {
    insert("Parameter(Bedarf,Periode,Parameter,Wert)", key, {periode, name, wert});
  }
  void due(const std::string& key, const std::string& termin, const std::string& menge) {
    insert("Termin(Bedarf,Termin,Menge)", key, {termin, menge});
  }
  /// A header starting 2024-03-01 with one period of one day.
  void plainHeader(const std::string& key) {
    header(key, "'2024-03-01 00:00:00'", "1");
    factor(key, "'PeriodenLänge'", "1.0");
  }

  /// Loads demand `key`; messages() then gives its messages, each in an error
  /// banner, in code page 850.
  std::unique_ptr<LoadedDemand> load(const std::string& key) {
    flush();
    MessageList sink;
    auto plan = std::make_unique<LoadedDemand>(loadDemand(*connection_, key, sink));
    messages_.clear();
    for (const std::string& line : sink.lines()) messages_ += banner(utf8ToCp850(line));
    return plan;
  }
  const std::string& messages() const { return messages_; }
  /// The rows `sql` gives, through the database's own client.
  std::vector<std::vector<std::string>> rows(const std::string& sql) {
    flush();
    return db_->rows(sql);
  }

 private:
  void insert(const std::string& table, const std::string& key, const std::vector<std::string>& values) {
    std::string sql = "insert into " + table + " values ('" + key + "'";
    for (const std::string& value : values) sql += "," + value;
    exec(sql + ")");
  }
  void flush() {
    if (!pending_.empty()) db_->exec(pending_);
    pending_.clear();
  }

  std::unique_ptr<test::TestDatabase> db_;
  std::unique_ptr<Connection> connection_;
  std::string pending_;
  std::string messages_;
};

std::string backendSuffix(const ::testing::TestParamInfo<Backend>& info) {
  return test::backendName(info.param);
}

struct Expected {
  OleDate date;
  std::int32_t quantity;
};

void expectDueQuantities(const LoadedDemand& plan, const std::vector<Expected>& expected) {
  ASSERT_EQ(plan.dueQuantities.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(plan.dueQuantities[i].date, expected[i].date, 1e-9) << i;
    EXPECT_EQ(plan.dueQuantities[i].quantity, expected[i].quantity) << i;
  }
}

TEST_P(Loading, ReadsTheDemandsRowsInTheOrderTheStatementsAskFor) {
  std::string longDescription;
  for (int i = 0; i < 100; ++i) longDescription += "ä";  // 200 bytes, kept as 64 characters
  header("Größe", "'2024-03-01 12:00:00.6'", "2", "'" + longDescription + "'");
  factor("Größe", "'PeriodenLänge'", "7.0", "'Tage je Woche'");
  factor("Größe", "'RüstKosten'", "2.0");
  factor("Größe", "'Währung'", "0.5", "'Euro je Mark'");
  // Inserted out of order: parameters come by name, then period; due
  // quantities by date, also before 1899-12-30, where a day number's fraction
  // counts forward from a day below zero.
  parameter("Größe", "5", "'RüstKosten'", "40.0");
  parameter("Größe", "1", "'WagnisZinssatz'", "3.0");
  parameter("Größe", "1", "'RüstKosten'", "100.0");
  due("Größe", "'2024-03-02 08:00:00'", "-5");
  due("Größe", "'2024-03-01 12:00:00.4'", "10");
  due("Größe", "'1899-12-29 18:00:00'", "2");
  due("Größe", "'1899-12-29 06:00:00'", "1");
  due("Größe", "'2024-03-01 12:00:00.6'", "2147483647");
  // Other demands' rows, also under keys that differ only in case or a blank.
  for (const char* other : {"größe", "Größe ", "B"}) {
    header(other, "'2020-01-01 00:00:00'", "1");
    factor(other, "'WagnisZinssatz'", "9.0");
    parameter(other, "1", "'LosRaster'", "9.0");
    due(other, "'2024-03-01 00:00:00'", "9");
  }
  const auto plan = load("Größe");
  EXPECT_EQ(messages(), "");
  EXPECT_TRUE(plan->headerFound);
  ASSERT_TRUE(plan->startDate.has_value());
  EXPECT_NEAR(*plan->startDate, kMarch1st2024 + 0.5 + kSecond, 1e-9) << "rounded to whole seconds";
  EXPECT_EQ(plan->periodLength, 14);
  EXPECT_EQ(plan->description, longDescription.substr(0, 128));
  ASSERT_EQ(plan->conversionFactors.size(), 3u);
  EXPECT_EQ(plan->conversionFactors[0].description, "Tage je Woche");
  EXPECT_EQ(plan->conversionFactors[1].description, "");
  EXPECT_EQ(plan->conversionFactors[2].description, "Euro je Mark");
  EXPECT_EQ(plan->factorFor(kRuestKosten), 2.0);
  EXPECT_EQ(plan->factorFor(kWaehrung), 0.5);
  ASSERT_EQ(plan->parameters.size(), 3u);
  EXPECT_EQ(plan->parameters[0].value, 100.0);
  EXPECT_EQ(plan->parameters[1].period, 4);
  EXPECT_EQ(plan->parameters[2].code, kWagnisZinssatz);
  expectDueQuantities(*plan, {{-1.25, 1},
                              {-1.75, 2},
                              {kMarch1st2024 + 0.5, 10},
                              {kMarch1st2024 + 0.5 + kSecond, 2147483647},
                              {kMarch1st2024 + 1 + 8.0 / 24.0, -5}});
}

// SQLite and MariaDB sort NULL before every value, PostgreSQL after.
TEST_P(Loading, NullsAreReportedWhereTheStatementsSortThem) {
  header("B", "NULL", "1");
  factor("B", "'Währung'", "NULL");
  factor("B", "NULL", "2.0");
  factor("B", "'PeriodenLänge'", "7.0");
  parameter("B", "1", "'KapitalbindungsZinssatz'", "NULL");
  parameter("B", "2", "'KapitalbindungsZinssatz'", "5.0");
  parameter("B", "4", "'WagnisZinssatz'", "NULL");
  parameter("B", "NULL", "'WagnisZinssatz'", "NULL");
  due("B", "'2024-03-01 06:00:00'", "NULL");
  due("B", "'2024-03-02 00:00:00'", "4");
  due("B", "NULL", "8");
  const auto plan = load("B");
  EXPECT_FALSE(plan->startDate.has_value());
  EXPECT_EQ(plan->periodLength, 7);
  EXPECT_EQ(plan->conversionFactors.size(), 1u);
  ASSERT_EQ(plan->parameters.size(), 1u);
  EXPECT_EQ(plan->parameters[0].value, 0.0);  // no KapitalbindungsZinssatz factor
  expectDueQuantities(*plan, {{kMarch1st2024 + 1, 4}});
  const std::string unreadable = " ist NULL oder nicht lesbar";
  const std::string skipped = ": Zeile ausgelassen!";
  const std::string factors =
      banner("Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor" + unreadable +
             " (Umrechnung: W\x84hrung)" + skipped) +
      banner("Unlesbare Spalte in UmrechnungsFaktor: Umrechnung" + unreadable + skipped) +
      banner("Unlesbare Spalte in Bedarf: StartTermin" + unreadable + " (Bedarf: B)");
  const std::string parameter = "Unlesbare Spalte in Parameter: ";
  const std::string nullWert =
      banner(parameter + "Wert" + unreadable + " (Parameter: WagnisZinssatz, Periode: 4)" + skipped);
  const std::string nullBoth =
      banner(parameter + "Periode, Wert sind NULL oder nicht lesbar (Parameter: WagnisZinssatz)" + skipped);
  const std::string parameters = banner(parameter + "Wert" + unreadable +
                                        " (Parameter: KapitalbindungsZinssatz, Periode: 1)" + skipped) +
                                 (nullsSortFirst() ? nullBoth + nullWert : nullWert + nullBoth);
  const std::string nullDate = banner("Unlesbare Spalte in Termin: Termin" + unreadable + skipped);
  const std::string nullMenge =
      banner("Unlesbare Spalte in Termin: Menge" + unreadable + " (Termin: 2024-03-01 06:00:00)" + skipped);
  EXPECT_EQ(messages(),
            factors + parameters + (nullsSortFirst() ? nullDate + nullMenge : nullMenge + nullDate));
}

TEST_P(Loading, ManyDueQuantitiesComeInOrderAcrossBlocksWithBadRowsReportedWhereTheyAre) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  // 2,500 rows a minute apart; rows 999, 1000 and 2499 (first, last of a block) without Menge.
  std::string rows;
  for (int i = 0; i < 2500; ++i) {
    const bool bad = i == 999 || i == 1000 || i == 2499;
    char date[32];
    std::snprintf(date, sizeof date, "'2024-03-%02d %02d:%02d:00'", 1 + i / 1440, i / 60 % 24, i % 60);
    rows += std::string(rows.empty() ? "" : ",") + "('B'," + date + "," + (bad ? "NULL" : std::to_string(i)) +
            ")";
  }
  exec("insert into Termin(Bedarf,Termin,Menge) values " + rows);
  const auto plan = load("B");
  ASSERT_EQ(plan->dueQuantities.size(), 2497u);
  std::int64_t sum = 0;
  for (std::size_t k = 1; k < plan->dueQuantities.size(); ++k) {
    EXPECT_LT(plan->dueQuantities[k - 1].date, plan->dueQuantities[k].date) << k;
    sum += plan->dueQuantities[k].quantity;
  }
  EXPECT_EQ(sum, 2499LL * 2500 / 2 - 999 - 1000 - 2499);
  const std::string skipped = "Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar (Termin: ";
  EXPECT_EQ(messages(), banner(skipped + "2024-03-01 16:39:00): Zeile ausgelassen!") +
                            banner(skipped + "2024-03-01 16:40:00): Zeile ausgelassen!") +
                            banner(skipped + "2024-03-02 17:39:00): Zeile ausgelassen!"));
}

// A 64-bit integer column is no kind the loading reads, whatever its value.
TEST_P(Loading, IntegersBeyond32BitsAreUnreadable) {
  plainHeader("B");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  if (onSQLite())
    exec("drop table Termin; create table Termin (Bedarf varchar(128), Termin timestamp, Menge bigint)");
  else if (GetParam() == Backend::MariaDB)
    exec("alter table Termin modify Menge bigint");
  else
    exec("alter table Termin alter column Menge type bigint");
  due("B", "'2024-03-01 00:00:00'", "5000000000");
  reconnect();
  const auto plan = load("B");
  EXPECT_TRUE(plan->dueQuantities.empty());
  EXPECT_EQ(messages(), banner("Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar "
                               "(Termin: 2024-03-01 00:00:00): Zeile ausgelassen!"));
}

INSTANTIATE_TEST_SUITE_P(Backends, Loading, ::testing::ValuesIn(test::allBackends()), backendSuffix);

// SQLite's driver hands `LosRaster<NUL>x` as LosRaster and `1.5<NUL>9` as 1.5
// (only the probe finds them); MariaDB's hands every byte. PostgreSQL keeps no
// NUL in a text.
class LoadingTextsWithNul : public Loading {};

TEST_P(LoadingTextsWithNul, ValuesWithAnEmbeddedNulAreUnreadable) {
  header("B", "'2024-03-01 00:00:00'", "1", textWithNul("Kreisel", "pumpe"));
  factor("B", textWithNul("LosRaster", "x"), "2.0");
  factor("B", "'ZinsJahr'", "360.0", textWithNul("Zinstage", "je Jahr"));
  factor("B", "'RüstKosten'", "1.0");
  factor("B", "'Währung'", "1.0");
  parameter("B", "1", textWithNul("RüstKosten", ""), "80.0");
  parameter("B", "2", "'RüstKosten'", "90.0");
  due("B", "'2024-03-01 00:00:00'", "1");
  if (onSQLite()) {
    factor("B", "'StückKosten'", "cast(x'312e350039' as text)");         // 1.5<NUL>9
    parameter("B", "3", "'RüstKosten'", "cast(x'3800312e35' as text)");  // 8<NUL>1.5
    parameter("B", "cast(x'340032' as text)", "'RüstKosten'", "70.0");   // Periode 4<NUL>2
  }
  const auto plan = load("B");
  EXPECT_EQ(plan->description, "");  // unreadable, as if NULL
  EXPECT_FALSE(plan->hasFactor(kLosRaster));
  EXPECT_FALSE(plan->hasFactor(kStueckKosten));
  ASSERT_EQ(plan->conversionFactors.size(), 3u);
  EXPECT_EQ(plan->factorFor(kZinsJahr), 360.0);
  EXPECT_EQ(plan->conversionFactors[0].description, "");
  ASSERT_EQ(plan->parameters.size(), 1u);
  EXPECT_EQ(plan->parameters[0].period, 1);
  EXPECT_EQ(plan->parameters[0].value, 90.0);
  const std::string skipped = ": Zeile ausgelassen!";
  const std::string factor = "Unlesbare Spalte in UmrechnungsFaktor: ";
  const std::string parameter = "Unlesbare Spalte in Parameter: ";
  std::string expected = banner(factor + "Umrechnung ist NULL oder nicht lesbar" + skipped);
  if (onSQLite()) {
    expected += banner(factor +
                       "UmrechnungsFaktor ist NULL oder nicht lesbar (Umrechnung: St\x81"
                       "ckKosten)" +
                       skipped);
    // Grouped by name, then by period: the cut name sorts behind the others.
    expected += banner(parameter + "Wert ist NULL oder nicht lesbar (Parameter: R\x81stKosten, Periode: 3)" +
                       skipped) +
                banner(parameter + "Periode ist NULL oder nicht lesbar (Parameter: R\x81stKosten)" + skipped);
  }
  EXPECT_EQ(messages(),
            expected + banner(parameter + "Parameter ist NULL oder nicht lesbar (Periode: 1)" + skipped));
}

INSTANTIATE_TEST_SUITE_P(Backends, LoadingTextsWithNul, ::testing::Values(Backend::SQLite, Backend::MariaDB),
                         backendSuffix);

// psqlODBC hands PostgreSQL's infinite timestamps as 9999-12-31 23:59:59 or a
// date BC; the last real second is a date like any other.
class LoadingInfiniteDates : public Loading {};

TEST_P(LoadingInfiniteDates, AreUnreadable) {
  for (const char* key : {"I", "M"}) plainHeader(key);
  exec("update Bedarf set StartTermin='infinity' where Bedarf='I'");
  exec("update Bedarf set StartTermin='-infinity' where Bedarf='M'");
  parameter("I", "1", "'WagnisZinssatz'", "1.0");
  due("I", "'infinity'", "1");
  due("I", "'-infinity'", "2");
  due("I", "'9999-12-31 23:59:59'", "3");
  due("I", "'2024-03-01 00:00:00'", "4");
  const std::string start = " StartTermin ist NULL oder nicht lesbar (Bedarf: ";
  const auto infinite = load("I");
  EXPECT_FALSE(infinite->startDate.has_value());
  EXPECT_EQ(infinite->periodLength, 1);
  const OleDate lastSecond = 2958465.0 + 86399.0 / 86400.0;  // 9999-12-31 23:59:59
  expectDueQuantities(*infinite, {{kMarch1st2024, 4}, {lastSecond, 3}});
  const std::string date =
      banner("Unlesbare Spalte in Termin: Termin ist NULL oder nicht lesbar: Zeile ausgelassen!");
  EXPECT_EQ(messages(), banner("Unlesbare Spalte in Bedarf:" + start + "I)") + date + date);
  EXPECT_FALSE(load("M")->startDate.has_value());
  EXPECT_EQ(messages(), banner("Unlesbare Spalte in Bedarf:" + start + "M)") +
                            banner("Parameter existieren nicht!") + banner("Termine existieren nicht!"));
}

INSTANTIATE_TEST_SUITE_P(Backends, LoadingInfiniteDates,
                         ::testing::Values(Backend::PostgreSQL, Backend::PostgreSQLAnsi), backendSuffix);

// SQLite keeps any value in any column; its driver reads them leniently (text
// `7abc` as the integer 7), so only the strict reading of the values reports them.
class LoadingFromSQLite : public Loading {};

enum class Column { Factor, PeriodLength, Quantity, Date };

/// What the loading made of the column's value; none when it was left out.
std::optional<double> loadedValue(const LoadedDemand& plan, Column column) {
  switch (column) {
    case Column::Factor:
      return plan.hasFactor(kZinsJahr) ? std::optional<double>(plan.factorFor(kZinsJahr)) : std::nullopt;
    case Column::PeriodLength:
      return plan.periodLength;
    case Column::Quantity:
      return plan.dueQuantities.empty() ? std::nullopt
                                        : std::optional<double>(plan.dueQuantities[0].quantity);
    case Column::Date:
      return plan.dueQuantities.empty() ? std::nullopt : std::optional<double>(plan.dueQuantities[0].date);
  }
  return std::nullopt;
}

std::string unreadableMessage(Column column) {
  const std::string unreadable = " ist NULL oder nicht lesbar";
  switch (column) {
    case Column::Factor:
      return "UmrechnungsFaktor: UmrechnungsFaktor" + unreadable +
             " (Umrechnung: ZinsJahr): Zeile ausgelassen!";
    case Column::PeriodLength:
      return "Bedarf: PeriodenL\x84nge" + unreadable + " (Bedarf: B)";
    case Column::Quantity:
      return "Termin: Menge" + unreadable + " (Termin: 2024-03-01 00:00:00): Zeile ausgelassen!";
    case Column::Date:
      return "Termin: Termin" + unreadable + ": Zeile ausgelassen!";
  }
  return "";
}

TEST_P(LoadingFromSQLite, ValuesThatAreNotWhollyWhatTheirColumnClaimsAreUnreadable) {
  struct Case {
    Column column;
    const char* value;           // an SQL literal
    std::optional<double> read;  // none: reported and left out
  };
  using enum Column;
  const Case cases[] = {
      {Factor, "'3,6e2'", {}},
      {Factor, "'360 Tage'", {}},
      {Factor, "'x'", {}},
      {Factor, "'3.6e2'", 360.0},
      {Factor, "360", 360.0},
      {Factor, "'  360 '", 360.0},
      {PeriodLength, "4294967298", {}},
      {PeriodLength, "2.5", {}},
      {PeriodLength, "'7 Tage'", {}},
      {Quantity, "2147483648", {}},
      {Quantity, "4294967297", {}},
      {Quantity, "-2147483649", {}},
      {Quantity, "1.9", {}},
      {Quantity, "'7abc'", {}},
      {Quantity, "'3,6e2'", {}},
      {Quantity, "''", {}},
      {Quantity, "9e99", {}},
      {Quantity, "2147483647", 2147483647.0},
      {Quantity, "-2147483648", -2147483648.0},
      {Quantity, "5.0", 5.0},
      {Quantity, "'12'", 12.0},
      // A time without seconds, which the driver would read past, and dates with trailing text.
      {Date, "'2024-03-01 12:00'", kMarch1st2024 + 0.5},
      {Date, "'2024-03-01T12:00:00'", kMarch1st2024 + 0.5},
      {Date, "'2024-03-01 12:00:00+01:00'", {}},
      {Date, "'2024-03-01 x'", {}},
      {Date, "'2024-03-01''; drop table Bedarf; --'", {}},
      {Date, "'10000-01-01 00:00:00'", {}},
      {Date, "45352.5", {}},
  };
  for (const Case& c : cases) {
    const auto in = [&](Column column, const char* plain) { return c.column == column ? c.value : plain; };
    exec("delete from Bedarf; delete from UmrechnungsFaktor; delete from Parameter; delete from Termin");
    header("B", "'2024-03-01 00:00:00'", in(Column::PeriodLength, "1"));
    factor("B", "'PeriodenLänge'", "1.0");
    factor("B", "'ZinsJahr'", in(Column::Factor, "360"));
    parameter("B", "1", "'WagnisZinssatz'", "1.0");
    due("B", in(Column::Date, "'2024-03-01 00:00:00'"), in(Column::Quantity, "5"));
    const auto plan = load("B");
    const std::optional<double> loaded = loadedValue(*plan, c.column);
    EXPECT_EQ(loaded.has_value(), c.read.has_value()) << c.value;
    if (loaded && c.read) EXPECT_NEAR(*loaded, *c.read, 1e-9) << c.value;
    EXPECT_EQ(messages(), c.read ? "" : banner("Unlesbare Spalte in " + unreadableMessage(c.column)))
        << c.value;
  }
}

TEST_P(LoadingFromSQLite, ValuesWithAnEmbeddedNulAreUnreadableWhereverTheRowIs) {
  // The SQLite driver hands `40<NUL>9` as 40 and a date with a NUL and text
  // behind it as the date. 1,200 rows a minute apart, Menge i, among them: row
  // 5 with Menge 40<NUL>9 and a twin of what it reads as (row 5's date, 40),
  // row 1000 with a NUL and text behind its date.
  plainHeader("B");
  exec(
      "update Bedarf set StartTermin=('2024-03-01 00:00:00'||char(0)||'x'), PeriodenLänge=cast(x'310039' as "
      "text)");
  parameter("B", "1", "'WagnisZinssatz'", "1.0");
  std::string rows;
  std::vector<Expected> expected;
  for (int i = 0; i < 1200; ++i) {
    char date[24];
    std::snprintf(date, sizeof date, "2024-03-01 %02d:%02d:00", i / 60, i % 60);
    const OleDate day = kMarch1st2024 + i / 1440.0;
    std::string termin = "'" + std::string(date) + "'";
    std::string menge = std::to_string(i);
    if (i == 5) {
      menge = "cast(x'34300039' as text)";
      rows += "('B'," + termin + ",40),";
      expected.push_back({day, 40});
    } else if (i == 1000) {
      termin = "(" + termin + "||char(0)||'x')";
    } else {
      expected.push_back({day, i});
    }
    rows += "('B'," + termin + "," + menge + ")" + (i < 1199 ? "," : "");
  }
  exec("insert into Termin(Bedarf,Termin,Menge) values " + rows);
  const auto plan = load("B");
  EXPECT_FALSE(plan->startDate.has_value());
  EXPECT_FALSE(plan->periodLength.has_value());
  expectDueQuantities(*plan, expected);
  const std::string row = "Unlesbare Spalte in Termin: ";
  EXPECT_EQ(messages(),
            banner("Unlesbare Spalte in Bedarf: StartTermin, PeriodenL\x84nge sind NULL oder nicht "
                   "lesbar (Bedarf: B)") +
                banner(row + "Menge ist NULL oder nicht lesbar (Termin: 2024-03-01 00:05:00): "
                             "Zeile ausgelassen!") +
                banner(row + "Termin ist NULL oder nicht lesbar: Zeile ausgelassen!"));
}

// The search for embedded NULs runs before every loading: one demand's must
// look it up in the key indexes, never scan a whole table.
TEST_P(LoadingFromSQLite, TheSearchForEmbeddedNulsLooksTheDemandUpByItsKey) {
  // Statistics of 20 demands of 200 due quantities, where SQLite would rather
  // scan for "Bedarf in (select ...)" than use the index.
  exec(
      "with recursive n(i) as (select 0 union all select i+1 from n where i<3999) "
      "insert into Termin(Bedarf,Termin,Menge) select 'B'||(i%20),'2024-03-01 00:00:00',i from n");
  exec("analyze");
  std::string plan;
  for (const auto& row : rows("explain query plan " + cutValuesCount(1))) plan += row.back() + "\n";
  for (const char* table : {"Bedarf", "UmrechnungsFaktor", "Parameter", "Termin"})
    EXPECT_EQ(plan.find("SCAN " + std::string(table) + "\n"), std::string::npos) << plan;
}

INSTANTIATE_TEST_SUITE_P(Backends, LoadingFromSQLite, ::testing::Values(Backend::SQLite), backendSuffix);

}  // namespace
}  // namespace mrp
