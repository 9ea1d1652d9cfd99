// The tables of sql/schema.sql and sql/schema-mariadb.sql as the program's
// statements see them: every column the statements read comes back as the kind
// the loading expects, on every driver, and every "where Bedarf=?" is an index
// lookup without a sort. Keys are exact, texts UTF-8, and the views show
// calendar dates.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;

enum class Kind { Text, Real, Integer, Date };

struct LoadingStatement {
  const char* text;
  std::vector<Kind> kinds;
};

/// Whether column `column` of the current row reads as a value of `kind`.
bool readsAs(const Rows& rows, std::size_t column, Kind kind) {
  switch (kind) {
    case Kind::Text:
      return rows.text(column).hasValue();
    case Kind::Real:
      return rows.real(column).hasValue();
    case Kind::Integer:
      return rows.integer(column).hasValue();
    case Kind::Date:
      return rows.date(column).hasValue();
  }
  return false;
}

const LoadingStatement kStatements[] = {
    {"select Umrechnung,UmrechnungsFaktor,Beschreibung from UmrechnungsFaktor where Bedarf=?",
     {Kind::Text, Kind::Real, Kind::Text}},
    {"select StartTermin,PeriodenLänge,Beschreibung from Bedarf where Bedarf=?",
     {Kind::Date, Kind::Integer, Kind::Text}},
    {"select Periode,Parameter,Wert from Parameter where Bedarf=? order by Parameter,Periode asc",
     {Kind::Integer, Kind::Text, Kind::Real}},
    {"select Termin,Menge from Termin where Bedarf=? order by Termin asc", {Kind::Date, Kind::Integer}},
    {"select Bedarf,Termin,LosGröße,Kosten from LosGröße where Bedarf=?",
     {Kind::Text, Kind::Real, Kind::Integer, Kind::Real}},
};

class SchemaTest : public testing::TestWithParam<Backend> {};

TEST_P(SchemaTest, StatementsReadTheKindsTheLoadingExpects) {
  TestDatabase db(GetParam());
  db.exec("insert into UmrechnungsFaktor values ('K','ZinsJahr',360,'Tage')");
  db.exec("insert into Bedarf values ('K','2024-03-01 00:00:00',7,'Bäckerei')");
  db.exec("insert into Parameter values ('K',1,'RüstKosten',50)");
  db.exec("insert into Termin values ('K','2024-03-02 00:00:00',10)");
  db.exec("insert into LosGröße values ('K',45352,10,50)");
  const auto connection = db.connect();
  {
    Statement query(*connection);
    for (const auto& statement : kStatements) {
      query.query(statement.text, {"K"});
      ASSERT_TRUE(query.next()) << statement.text;
      for (std::size_t c = 0; c < statement.kinds.size(); ++c)
        EXPECT_TRUE(readsAs(query, c, statement.kinds[c])) << statement.text << " column " << c;
    }
  }
  connection->close();
}

TEST(SchemaOnSQLite, EveryDemandLookupUsesAnIndexWithoutSorting) {
  TestDatabase db(Backend::SQLite);
  for (const auto& statement : kStatements) {
    std::string plan;
    for (const auto& row :
         db.rows("explain query plan " +
                 std::string(statement.text).replace(std::string(statement.text).find('?'), 1, "'K'")))
      plan += row.back() + "\n";
    EXPECT_NE(plan.find("USING INDEX"), std::string::npos) << statement.text << "\n" << plan;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << statement.text << "\n" << plan;
  }
}

// Keys and names are compared byte for byte, as the program compares them, and
// due dates reach past 2038 (where MariaDB's timestamp stops).
TEST_P(SchemaTest, KeysAreExactAndDatesReachPast2038) {
  TestDatabase db(GetParam());
  db.exec(
      "insert into Bedarf values ('K','2040-01-02 00:00:00',1,'Größe');"
      "insert into Termin values ('K','2040-06-03 08:00:00',10);"
      "insert into LosGröße values ('K',1,2,3)");
  EXPECT_TRUE(db.rows("select Termin from Termin").at(0).at(0).starts_with("2040-06-03 08:00:00"));
  for (const char* other : {"k", "K "}) {
    EXPECT_TRUE(db.rows(std::string("select Bedarf from Bedarf where Bedarf='") + other + "'").empty())
        << "'" << other << "'";
    const test::RunResult run = test::runProgramOnce({db.dataSourceName(), other}, test::Capture::Separate);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("Bedarf existiert nicht"), std::string::npos) << run.err;
  }
  EXPECT_EQ(db.rows("select Bedarf,LosGröße from LosGröße"),
            (std::vector<std::vector<std::string>>{{"K", "2"}}));
}

// The view of each dialect shows LosGröße's day numbers as calendar dates,
// before 1899-12-30 too (whole days back, the time of day forward).
TEST_P(SchemaTest, TheCalendarViewShowsTheOrderDates) {
  TestDatabase db(GetParam());
  const char* view = GetParam() == Backend::SQLite    ? "view-sqlite.sql"
                     : GetParam() == Backend::MariaDB ? "view-mariadb.sql"
                                                      : "view-postgresql.sql";
  db.exec(test::readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/" + view));
  db.exec(
      "insert into LosGröße values ('A',46391,1,1),('B',46391.5,2,2),('C',-1.25,3,3),"
      "('D',0,4,4),('E',45000.99998842592,5,5)");
  const char* expected[] = {"2027-01-04 00:00:00", "2027-01-04 12:00:00", "1899-12-29 06:00:00",
                            "1899-12-30 00:00:00", "2023-03-15 23:59:59"};
  const auto rows = db.rows("select Bestelltermin, LosGröße from LosGrößeKalender order by Bedarf");
  ASSERT_EQ(rows.size(), std::size(expected));
  for (std::size_t r = 0; r < rows.size(); ++r)
    EXPECT_TRUE(rows[r].at(0).starts_with(expected[r])) << rows[r].at(0) << " for " << expected[r];
}

// The MariaDB schema makes its own texts UTF-8, whatever the client's locale
// (cron runs with LANG=C, and the mariadb client then speaks latin1).
TEST(SchemaOnMariaDB, LoadsUnderTheCLocale) {
  TestDatabase db(Backend::MariaDB);
  db.exec("drop table Bedarf, UmrechnungsFaktor, Parameter, Termin, LosGröße");
  const test::RunResult load =
      test::runCommand({"mariadb", "--no-defaults", "-S", test::serverFolder() + "/msock/mariadb.sock", "-u",
                        "root", db.name()},
                       test::readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/schema-mariadb.sql"),
                       {{"LANG", "C"}, {"LC_ALL", "C"}});
  ASSERT_EQ(load.exitStatus, 0) << load.err;
  EXPECT_EQ(db.rows("select table_name from information_schema.tables where table_schema='" + db.name() +
                    "' and table_name like 'Los%'"),
            (std::vector<std::vector<std::string>>{{"LosGröße"}}));
  EXPECT_EQ(db.rows("select distinct character_set_name, collation_name from "
                    "information_schema.columns where table_schema='" +
                    db.name() + "' and character_set_name is not null"),
            (std::vector<std::vector<std::string>>{{"utf8mb4", "utf8mb4_nopad_bin"}}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, SchemaTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
