// lotsizing-report end to end on every backend: its table shows the lots and
// costs that lotsizing stores for the same demand, it writes nothing, its
// picture is well-formed XML, and its failures end with the right status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/ole_date.h"
#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::RunResult;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;
/// A lot as (order date, size, cost).
using LotRow = std::tuple<std::string, long, double>;

RunResult runReport(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {LOTSIZING_REPORT_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::runCommand(argv);
}

/// The demand's stored lots in date order, costs read back to the bit.
std::vector<LotRow> storedLots(TestDatabase& db, const std::string& key) {
  const std::string cost = db.backend() == Backend::SQLite ? "printf('%!.17g', Kosten)" : "Kosten";
  std::vector<LotRow> lots;
  for (const auto& row : db.rows("select Termin, LosGröße, " + cost + " from LosGröße where Bedarf='" + key +
                                 "' order by Termin")) {
    const std::string day = formatOleDate(std::strtod(row[0].c_str(), nullptr)).substr(0, 10);
    lots.emplace_back(day, std::stol(row[1]), std::strtod(row[2].c_str(), nullptr));
  }
  return lots;
}

/// The lots of a report's table (lines of a period with a lot), and its total
/// cost; every cost must have two decimals.
std::vector<LotRow> reportedLots(const std::string& table, double& totalCost) {
  std::vector<LotRow> lots;
  std::istringstream lines(table);
  const std::regex twoDecimals(R"(-?\d+\.\d\d)");
  for (std::string line; std::getline(lines, line);) {
    std::istringstream cells(line);
    std::string number, day, due, lot, stock, cost;
    cells >> number;
    if (number == "Summe") {
      cells >> due >> lot >> cost;
      EXPECT_TRUE(std::regex_match(cost, twoDecimals)) << line;
      totalCost = std::strtod(cost.c_str(), nullptr);
    }
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
    cells >> day >> due >> lot >> stock >> cost;
    if (lot == "-") continue;
    EXPECT_TRUE(std::regex_match(cost, twoDecimals)) << line;
    lots.emplace_back(day, std::stol(lot), std::strtod(cost.c_str(), nullptr));
  }
  return lots;
}

/// The lots with their costs rounded to cents, as the report shows them.
std::vector<LotRow> inCents(std::vector<LotRow> lots) {
  for (LotRow& lot : lots) std::get<2>(lot) = std::round(std::get<2>(lot) * 100.0) / 100.0;
  return lots;
}

/// How many elements of class `name` the file holds, by a real XML parser
/// (which fails on a file that is not well-formed).
int elementsOfClass(const std::string& svgPath, const std::string& name) {
  const RunResult result =
      test::runCommand({"xmllint", "--xpath", "count(//*[@class='" + name + "'])", svgPath});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  return std::atoi(result.out.c_str());
}

std::string svgPath(const std::string& name) {
  return test::scratchFolder() + "/" + name + "_" + std::to_string(::getpid()) + ".svg";
}

class ReportRun : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    db_.exec(test::exampleData());
    db_.exec("insert into LosGröße values ('WW1958',1,1,1),('PUMPE-4711',2,2,2)");
  }
  Rows allLots() {
    return db_.rows("select Bedarf, Termin, LosGröße, Kosten from LosGröße order by Bedarf, Termin");
  }

  TestDatabase db_{GetParam()};
};

TEST_P(ReportRun, ShowsTheLotsAndCostsThatLotsizingStoresAndWritesNothing) {
  for (const std::string key : {"WW1958", "PUMPE-4711"}) {
    SCOPED_TRACE(key);
    const Rows before = allLots();
    const std::string picture = svgPath(key);
    const RunResult report = runReport({db_.dataSourceName(), key, "--svg", picture});
    ASSERT_EQ(report.exitStatus, 0) << report.err;
    EXPECT_EQ(report.err, "");
    EXPECT_EQ(allLots(), before) << "a report writes nothing";

    const RunResult stored = test::runProgramOnce({db_.dataSourceName(), key}, test::Capture::Separate);
    ASSERT_EQ(stored.exitStatus, 0) << stored.err;
    double totalCost = -1.0;
    const std::vector<LotRow> lots = storedLots(db_, key);
    EXPECT_EQ(reportedLots(report.out, totalCost), inCents(lots)) << report.out;
    double storedTotal = 0.0;
    for (const LotRow& lot : lots) storedTotal += std::get<2>(lot);
    EXPECT_EQ(totalCost, std::round(storedTotal * 100.0) / 100.0);

    const std::string periods = report.out.substr(report.out.find("Perioden: ") + 10);
    EXPECT_EQ(elementsOfClass(picture, "due"), std::atoi(periods.c_str()));
    EXPECT_EQ(elementsOfClass(picture, "lot"), static_cast<int>(lots.size()));
    std::remove(picture.c_str());
  }
}

TEST_P(ReportRun, AnUnknownDemandExitsWithOneAndItsMessagesWithTheirCodes) {
  const RunResult result = runReport({db_.dataSourceName(), "FEHLT"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "no-conversion-factors: UmrechnungsFaktoren existieren nicht!\n"
            "demand-missing: Bedarf existiert nicht: FEHLT\n");
}

// A missing cost factor makes that cost 0 without refusing the demand: the
// report warns, shows the plan and succeeds; data problems come first.
TEST_P(ReportRun, ShowsTheWarningsWithTheirCodesAndSucceeds) {
  db_.exec(
      "delete from UmrechnungsFaktor where Bedarf='WW1958' and Umrechnung in ('RüstKosten','WagnisZinssatz');"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',2,'Rüstkosten',1)");
  const RunResult result = runReport({db_.dataSourceName(), "WW1958"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err,
            "unknown-parameter: Unbekannter Parameter: Rüstkosten\n"
            "factor-missing: UmrechnungsFaktor existiert nicht: RüstKosten: Jeder Parameter RüstKosten zählt "
            "als 0!\n"
            "factor-missing: UmrechnungsFaktor existiert nicht: WagnisZinssatz: "
            "Jeder Parameter WagnisZinssatz zählt als 0!\n");
  EXPECT_NE(result.out.find("Lose: 12"), std::string::npos) << "every setup free: a lot per period";
}

// A failure of the database names its SQLSTATE and the driver's text.
TEST_P(ReportRun, ADatabaseFailureNamesItsSqlStateAndExitsWithThree) {
  db_.exec("drop table Termin");
  const RunResult result = runReport({db_.dataSourceName(), "WW1958"});
  EXPECT_EQ(result.exitStatus, 3);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(std::regex_match(
      result.err,
      std::regex("database-error: SQLSTATE [0-9A-Z]{5}: [^\n]*termin[^\n]*\n", std::regex::icase)))
      << result.err;
}

INSTANTIATE_TEST_SUITE_P(Databases, ReportRun, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

// A copy of WW1958 under a key full of markup, its due dates spread over 2,000
// periods starting at 08:30: the table shows the time of day, the picture
// stays well-formed, linear in size and sparsely labelled.
TEST(ReportManyPeriods, TwoThousandPeriodsAndAMarkupKeyGiveAWellFormedPicture) {
  TestDatabase db(Backend::SQLite);
  db.exec(test::exampleData());
  const std::string key = "Rohr <DN 50> & \"Bogen\"";
  for (const char* table : {"UmrechnungsFaktor", "Parameter"}) {
    db.exec("create temp table t as select * from " + std::string(table) +
            " where Bedarf='WW1958';"
            "update t set Bedarf='" +
            key + "'; insert into " + table + " select * from t");
  }
  db.exec("insert into Bedarf values ('" + key +
          "','2020-01-01 08:30:00',1,NULL);"
          "with recursive d(n) as (select 0 union all select n + 1 from d where n < 1999) "
          "insert into Termin select '" +
          key +
          "', datetime('2020-01-01 12:00:00', '+' || n || ' days'), "
          "1 + n % 9 from d");
  const std::string picture = svgPath("many");
  const RunResult report = runReport({"--svg=" + picture, db.dataSourceName(), key});
  ASSERT_EQ(report.exitStatus, 0) << report.err;
  EXPECT_NE(report.out.find("\n   2000  2025-06-22 08:30  "), std::string::npos);
  EXPECT_EQ(elementsOfClass(picture, "due"), 2000);
  const std::string svg = test::readFile(picture);
  EXPECT_LT(svg.size(), 2000u * 200u) << "two bars and two points a period";
  EXPECT_LE(test::count(svg, "rotate(-45"), 40u) << "few date labels";
  std::remove(picture.c_str());
}

// The batch's exit statuses where they apply: 0 shown, 1 refused (above),
// 2 usage, 3 the database or an output failed.
TEST(ReportUsage, UsageErrorsExitWithTwoFailuresWithThreeHelpAndVersionWithZero) {
  for (const std::vector<std::string>& line : {std::vector<std::string>{}, {"--farbe", "Lager", "WW1958"}}) {
    const RunResult result = runReport(line);
    EXPECT_EQ(result.exitStatus, 2) << testing::PrintToString(line);
    EXPECT_NE(result.err.find("\nusage: "), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  const RunResult help = runReport({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.out.starts_with("usage: ")) << help.out;
  const RunResult version = runReport({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out, "lotsizing-report 1.0.0\n");
  EXPECT_EQ(version.err, "");

  const RunResult noSource = runReport({"lsz_no_such_source", "WW1958"});
  EXPECT_EQ(noSource.exitStatus, 3);
  EXPECT_TRUE(noSource.err.starts_with("database-error: SQLSTATE IM002: ")) << noSource.err;
  EXPECT_EQ(test::count(noSource.err, "\n"), 1u) << "one line";
}

TEST(ReportOutput, APictureOrTableThatCannotBeWrittenExitsWithThree) {
  TestDatabase db(Backend::SQLite);
  db.exec(test::exampleData());
  const RunResult noPicture = runReport({db.dataSourceName(), "WW1958", "--svg", "/nonexistent/plan.svg"});
  EXPECT_EQ(noPicture.exitStatus, 3) << noPicture.err;
  EXPECT_EQ(noPicture.err,
            "lotsizing-report: cannot write /nonexistent/plan.svg: No such file or directory\n");
  const RunResult noTable = test::runCommand(
      {"sh", "-c", "exec \"$0\" \"$1\" WW1958 >/dev/full", LOTSIZING_REPORT_BINARY, db.dataSourceName()});
  EXPECT_EQ(noTable.exitStatus, 3) << noTable.err;
  EXPECT_EQ(noTable.err, "lotsizing-report: cannot write the table: No space left on device\n");
}

// A failure that nothing else catches ends the report with one line and
// status 3, as in the batch, never with an abort: here memory runs out while
// the arguments (a long demand key) are read.
TEST(ReportUnexpectedFailure, EndsWithOneLineAndStatusThree) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' allocator cannot be replaced";
#endif
  const RunResult result =
      test::runCommand({LOTSIZING_REPORT_BINARY, "lsz_sqlite", std::string(100000, 'K')}, {},
                       {{"LD_PRELOAD", FAILING_MALLOC_LIBRARY}, {"LSZ_FAIL_ALLOCATIONS_ABOVE", "50000"}});
  EXPECT_EQ(result.exitStatus, 3);
  EXPECT_EQ(result.err, "lotsizing-report: unexpected failure: out of memory\n");
  EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace mrp
