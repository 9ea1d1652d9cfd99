// The tables of sql/schema.sql as the program's statements see them: every
// column the statements read comes back as the kind the loading expects, on
// both drivers, and every "where Bedarf=?" is an index lookup without a sort.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/db_query.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;

struct Statement {
  const char* text;
  std::vector<VARTYPE> kinds;
};

const Statement kStatements[] = {
    {"select Umrechnung,UmrechnungsFaktor,Beschreibung from UmrechnungsFaktor where Bedarf=?",
     {VT_BSTR, VT_R8, VT_BSTR}},
    {"select StartTermin,PeriodenLänge,Beschreibung from Bedarf where Bedarf=?",
     {VT_DATE, VT_I4, VT_BSTR}},
    {"select Periode,Parameter,Wert from Parameter where Bedarf=? order by Parameter,Periode asc",
     {VT_I4, VT_BSTR, VT_R8}},
    {"select Termin,Menge from Termin where Bedarf=? order by Termin asc", {VT_DATE, VT_I4}},
    {"select Bedarf,Termin,LosGröße,Kosten from LosGröße where Bedarf=?",
     {VT_BSTR, VT_R8, VT_I4, VT_R8}},
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
    DbQuery query(*connection);
    query.prepare(1);
    query.bindText(0, "K", 1);
    for (const auto& statement : kStatements) {
      ASSERT_TRUE(query.open(statement.text)) << statement.text;
      for (std::size_t c = 0; c < statement.kinds.size(); ++c)
        EXPECT_EQ(query.columnKind(static_cast<std::int32_t>(c)), statement.kinds[c])
            << statement.text << " column " << c;
    }
  }
  connection->close();
}

TEST(SchemaOnSQLite, EveryDemandLookupUsesAnIndexWithoutSorting) {
  TestDatabase db(Backend::SQLite);
  for (const auto& statement : kStatements) {
    std::string plan;
    for (const auto& row : db.rows("explain query plan " +
                                   std::string(statement.text).replace(
                                       std::string(statement.text).find('?'), 1, "'K'")))
      plan += row.back() + "\n";
    EXPECT_NE(plan.find("USING INDEX"), std::string::npos) << statement.text << "\n" << plan;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << statement.text << "\n" << plan;
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, SchemaTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
