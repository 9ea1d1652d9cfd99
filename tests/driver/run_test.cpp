// End-to-end runs of the built program: the exact console bytes of each outcome.
#include "driver/run.h"

#include <gtest/gtest.h>

#include <string>

#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

const std::string kOpen = "______>>>>>>>>>______ \a";
const std::string kClose = " ______<<<<<<<<<______";
const std::string kUsage = ": Aufruf mit 2 Argument(en): <ODBC-Verbindung> <Bedarf>";

std::string program() { return test::programPath(); }
std::string started() { return program() + ": Gestartet"; }
std::string failed() { return program() + "\a: Fehlerhaft beendet!"; }
std::string succeeded() { return program() + ": Erfolgreich abgeschlossen."; }

TEST(RunUsageTest, FewerThanTwoArgumentsGiveTheUsageBanner) {
  const std::vector<std::vector<std::string>> argumentLists = {{}, {"lsz_sqlite"}};
  for (const auto& args : argumentLists) {
    const test::RunResult result = test::runProgram(args);
    const std::string usageBanner = "\n" + kOpen + program() + kUsage + kClose;
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, started() + "\n" + failed());
    EXPECT_EQ(result.err, usageBanner);
    EXPECT_EQ(result.combined, started() + usageBanner + "\n" + failed());
  }
  EXPECT_EQ((program() + kUsage).size(), 55 + program().size());
}

TEST(RunUsageTest, ProgramNameIsWrittenUnconvertedExceptInTheBanner) {
  const std::string name =
      "./losgr\xC3\xB6\xC3\x9F"
      "e";  // "./losgröße" in UTF-8
  const test::RunResult result = test::runProgramOnce({}, test::Capture::Separate, {}, name);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, name + ": Gestartet\n" + name + "\a: Fehlerhaft beendet!");
  EXPECT_EQ(result.err, "\n" + kOpen +
                            "./losgr\x94\xE1"
                            "e" +
                            kUsage + kClose);
}

TEST(RunFailureTest, DatabaseFailureGivesDatabaseLineOneReportAndTheFailureMessage) {
  // A data source that is not configured: the failure comes from opening the
  // connection, after the database line.
  const test::RunResult result = test::runProgram({"lsz_n\xC3\xB6_quelle", "B\xC3\xA4r-1"});
  const std::string databaseLine = "Datenbank: lsz_n\x94_quelle   Bedarf: B\x84r-1";
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, started() + "\n" + databaseLine + "\n" + failed());
  ASSERT_EQ(test::count(result.err, kOpen), 1u) << result.err;
  EXPECT_EQ(result.err.rfind("\n" + kOpen + "Unknown error 0x80004005: ", 0), 0u) << result.err;
  EXPECT_TRUE(result.err.ends_with(kClose)) << result.err;
  EXPECT_EQ(test::count(result.err, "\n"), 1u) << "the report is one line";
  EXPECT_EQ(result.combined, started() + "\n" + databaseLine + result.err + "\n" + failed());
}

TEST(RunFailureTest, ControlCharactersInTheKeyAndTheDataSourceNameNeverSplitTheDatabaseLine) {
  // Line feed, tab, carriage return, escape, DEL and U+0085 (a C1 line end).
  const test::RunResult result = test::runProgram({"lsz_\tquelle\r", "nl\nhere\x1b[2J\x7f\xC2\x85x"});
  const std::string databaseLine = "Datenbank: lsz_ quelle    Bedarf: nl here [2J  x";
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, started() + "\n" + databaseLine + "\n" + failed());
  EXPECT_EQ(test::count(result.err, kOpen), 1u) << result.err;
  EXPECT_EQ(result.combined, started() + "\n" + databaseLine + result.err + "\n" + failed());
}

TEST(RunFailureTest, DatabaseLineShowsALongDataSourceNameWhole) {
  const std::string name(200, 'd');
  const test::RunResult result = test::runProgramOnce({name, "B"}, test::Capture::Separate);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.out.find("\nDatenbank: " + name + "   Bedarf: B\n"), std::string::npos);
  EXPECT_EQ(test::count(result.err, kOpen), 1u);
}

TEST(RunFailureTest, ArgumentsBehindTheDemandKeyAreIgnored) {
  const test::RunResult two = test::runProgram({"lsz_no_such_source", "B"});
  const test::RunResult four = test::runProgram({"lsz_no_such_source", "B", "C", "D"});
  EXPECT_EQ(four.exitStatus, two.exitStatus);
  EXPECT_EQ(four.out, two.out);
  EXPECT_EQ(four.err, two.err);
  EXPECT_EQ(four.combined, two.combined);
}

class RunDatabaseTest : public testing::TestWithParam<test::Backend> {
 protected:
  void SetUp() override { db_.exec(test::exampleData()); }
  test::TestDatabase db_{GetParam()};
};

TEST_P(RunDatabaseTest, ExampleDemandRunsToTheSuccessMessage) {
  const std::string source = db_.dataSourceName();
  const test::RunResult result = test::runProgramOnce({source, "PUMPE-4711"}, test::Capture::Separate);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, started() + "\nDatenbank: " + source + "   Bedarf: PUMPE-4711\n" + succeeded());
  EXPECT_FALSE(db_.rows("select LosGröße from LosGröße where Bedarf='PUMPE-4711'").empty());
}

TEST_P(RunDatabaseTest, RefusedPlanEndsWithTheFailureMessageAndNoErrorReport) {
  const test::RunResult result =
      test::runProgramOnce({db_.dataSourceName(), "FEHLT"}, test::Capture::Combined);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.combined.find("\n" + kOpen + "Bedarf existiert nicht: FEHLT" + kClose), std::string::npos)
      << result.combined;
  EXPECT_EQ(test::count(result.combined, "Unknown error"), 0u) << result.combined;
  EXPECT_TRUE(result.combined.ends_with(kClose + "\n" + failed())) << result.combined;
  EXPECT_TRUE(db_.rows("select LosGröße from LosGröße where Bedarf='FEHLT'").empty());
}

TEST_P(RunDatabaseTest, ControlCharactersInKeysAndNamesNeverSplitABannerLine) {
  const std::string nameWithControlCharacters =
      GetParam() == test::Backend::SQLite    ? "'Rüst'||char(10)||'Kosten'||char(9)"
      : GetParam() == test::Backend::MariaDB ? "'Rüst\\nKosten\\t'"
                                             : "E'Rüst\\nKosten\\t'";
  db_.exec("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',1," +
           nameWithControlCharacters + ",1)");
  const test::RunResult known =
      test::runProgramOnce({db_.dataSourceName(), "WW1958"}, test::Capture::Separate);
  EXPECT_EQ(known.exitStatus, 0);
  EXPECT_EQ(known.err, "\n" + kOpen + "Unbekannter Parameter: R\x81st Kosten " + kClose);

  const test::RunResult missing =
      test::runProgramOnce({db_.dataSourceName(), "FEHLT\n\tB"}, test::Capture::Separate);
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_EQ(missing.err, "\n" + kOpen + "UmrechnungsFaktoren existieren nicht!" + kClose + "\n" + kOpen +
                             "Bedarf existiert nicht: FEHLT  B" + kClose);
}

TEST_P(RunDatabaseTest, AHorizonOfMoreThan200000PeriodsIsRefusedBeforeAnythingIsAllocated) {
  // A placeholder due date in year 9999 and daily periods: 2.9 million periods.
  db_.exec(
      "insert into Termin(Bedarf,Termin,Menge) values ('WW1958','9999-12-31 00:00:00',1);"
      "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) values ('WW1958',40000,7,1.5)");
  const test::RunResult result =
      test::runProgramOnce({db_.dataSourceName(), "WW1958"}, test::Capture::Separate);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "\n" + kOpen +
                            "Zu viele Perioden: 2912075 bis zum Termin 9999-12-31 00:00:00: "
                            "Nur bis 200000 Perioden ist hier erlaubt!" +
                            kClose);
  EXPECT_EQ(db_.rows("select LosGröße from LosGröße where Bedarf='WW1958'"),
            (std::vector<std::vector<std::string>>{{"7"}}));
}

// Memory runs out while a demand is planned (an allocator that refuses the
// 6 MB of a horizon of 199,000 periods): the run ends like a database failure,
// with its own message, and the demand's old rows stay. The sanitizers bring
// their own allocator, so the test needs a plain build.
TEST(RunOutOfMemoryTest, ExhaustedMemoryEndsTheRunWithOneBannerLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' allocator cannot be replaced";
#endif
  test::TestDatabase db(test::Backend::SQLite);
  db.exec(
      "insert into Bedarf(Bedarf,StartTermin,PeriodenLänge) values ('RIESIG','1900-01-01 00:00:00',1);"
      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values"
      " ('RIESIG','PeriodenLänge',1),('RIESIG','LosRaster',1),('RIESIG','ZinsJahr',360),"
      " ('RIESIG','Währung',1);"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('RIESIG',1,'LosRaster',1);"
      "insert into Termin(Bedarf,Termin,Menge) values ('RIESIG','1900-01-01 12:00:00',1),"
      " ('RIESIG','2444-01-01 12:00:00',1);"
      "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) values ('RIESIG',40000,7,1.5)");
  const test::RunResult result = test::runProgramOnce(
      {db.dataSourceName(), "RIESIG"}, test::Capture::Separate,
      {{"LD_PRELOAD", FAILING_MALLOC_LIBRARY}, {"LSZ_FAIL_ALLOCATIONS_ABOVE", "4000000"}});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "\n" + kOpen + "Nicht genug Arbeitsspeicher" + kClose);
  EXPECT_TRUE(result.out.ends_with("\n" + failed())) << result.out;
  EXPECT_EQ(db.rows("select LosGröße from LosGröße where Bedarf='RIESIG'"),
            (std::vector<std::vector<std::string>>{{"7"}}));
}

// The SQLite driver gathers the 300,000 due quantities of a demand before the
// first is read; an allocator that refuses blocks above 4 MB makes it fail with
// SQLite's out-of-memory error (7), which reads as memory running out.
TEST(RunOutOfMemoryTest, TheDatabaseRunningOutOfMemoryIsExhaustedMemoryToo) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' allocator cannot be replaced";
#endif
  test::TestDatabase db(test::Backend::SQLite);
  db.exec(test::exampleData() +
          "insert into Termin(Bedarf,Termin,Menge) with recursive n(i) as (select 1 union all"
          " select i+1 from n where i<300000) select 'WW1958','2027-01-05 08:00:00',1 from n;"
          "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) values ('WW1958',40000,7,1.5)");
  const std::string source = db.dataSourceName();
  const test::RunResult result = test::runProgramOnce(
      {source, "WW1958"}, test::Capture::Separate,
      {{"LD_PRELOAD", FAILING_MALLOC_LIBRARY}, {"LSZ_FAIL_ALLOCATIONS_ABOVE", "4000000"}});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, started() + "\nDatenbank: " + source + "   Bedarf: WW1958\n" + failed());
  EXPECT_EQ(result.err, "\n" + kOpen + "Nicht genug Arbeitsspeicher" + kClose);
  EXPECT_EQ(db.rows("select LosGröße from LosGröße where Bedarf='WW1958'"),
            (std::vector<std::vector<std::string>>{{"7"}}));
}

TEST_P(RunDatabaseTest, AnInfiniteStartDateIsUnreadableAndRefusesTheDemand) {
  if (GetParam() != test::Backend::PostgreSQL && GetParam() != test::Backend::PostgreSQLAnsi)
    GTEST_SKIP() << "only PostgreSQL has infinite timestamps";
  db_.exec(
      "update Bedarf set StartTermin='infinity' where Bedarf='WW1958';"
      "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) values ('WW1958',40000,7,1.5)");
  const test::RunResult result =
      test::runProgramOnce({db_.dataSourceName(), "WW1958"}, test::Capture::Separate);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "\n" + kOpen +
                            "Unlesbare Spalte in Bedarf: StartTermin ist NULL oder nicht lesbar "
                            "(Bedarf: WW1958)" +
                            kClose);
  EXPECT_EQ(db_.rows("select LosGröße from LosGröße where Bedarf='WW1958'"),
            (std::vector<std::vector<std::string>>{{"7"}}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, RunDatabaseTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
