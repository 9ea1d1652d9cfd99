// Storing the lots, end to end through the real program on both databases:
// what LosGröße holds afterwards, for this demand and for others, after
// success, after a failure part-way and after a refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::RunResult;
using test::TestDatabase;

/// One stored lot: day number, lot size, cost.
struct Lot {
  double date;
  int lotSize;
  double cost;
  friend bool operator==(const Lot&, const Lot&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Lot& lot) {
    return out << "(" << lot.date << ", " << lot.lotSize << ", " << lot.cost << ")";
  }
};

class ResultStorage : public ::testing::TestWithParam<Backend> {
 protected:
  ResultStorage() : db_(GetParam()) {}

  /// The worked example: Z = 360, L = 2 days, unit cost 360, both rates 0.25,
  /// setup cost 50; quantities (10, 0, 80) give lots of 10 in period 1 and 80
  /// in period 3, each costing 50.
  void workedExample(const std::string& key, double currency = 1.0) {
    db_.exec("insert into Bedarf(Bedarf,StartTermin,PeriodenLänge,Beschreibung) values ('" + key +
             "','2024-01-01 00:00:00',2,'Beispiel')");
    const std::vector<std::pair<std::string, double>> factors = {
        {"RüstKosten", 1.0},     {"StückKosten", 1.0},
        {"LosRaster", 1.0},      {"KapitalbindungsZinssatz", 1.0},
        {"WagnisZinssatz", 1.0}, {"PeriodenLänge", 1.0},
        {"ZinsJahr", 360.0},     {"Währung", currency}};
    for (const auto& [name, value] : factors) {
      db_.exec("insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ('" + key + "','" +
               name + "'," + std::to_string(value) + ")");
    }
    const std::vector<std::pair<std::string, double>> parameters = {{"RüstKosten", 50.0},
                                                                    {"StückKosten", 360.0},
                                                                    {"LosRaster", 1.0},
                                                                    {"KapitalbindungsZinssatz", 0.25},
                                                                    {"WagnisZinssatz", 0.25}};
    for (const auto& [name, value] : parameters) {
      db_.exec("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + key + "',1,'" + name +
               "'," + std::to_string(value) + ")");
    }
    due(key, "2024-01-01 12:00:00", 10);
    due(key, "2024-01-05 08:30:00", 80);
  }
  void due(const std::string& key, const std::string& when, int quantity) {
    db_.exec("insert into Termin(Bedarf,Termin,Menge) values ('" + key + "','" + when + "'," +
             std::to_string(quantity) + ")");
  }
  void storedLot(const std::string& key, const Lot& lot) {
    db_.exec("insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) values ('" + key + "'," +
             std::to_string(lot.date) + "," + std::to_string(lot.lotSize) + "," + std::to_string(lot.cost) +
             ")");
  }

  std::vector<Lot> lots(const std::string& key) {
    std::vector<Lot> result;
    for (const auto& row :
         db_.rows("select Termin,LosGröße,Kosten from LosGröße where Bedarf='" + key + "' order by Termin")) {
      result.push_back({std::stod(row.at(0)), std::stoi(row.at(1)), std::stod(row.at(2))});
    }
    return result;
  }

  RunResult run(const std::string& key) {
    return test::runProgramOnce({db_.dataSourceName(), key}, test::Capture::Separate, {}, "lotsizing");
  }

  TestDatabase db_;
};

const std::vector<Lot> kWorkedExampleLots = {{45292.0, 10, 50.0}, {45296.0, 80, 50.0}};

TEST_P(ResultStorage, WritesOneRowPerLotAtTheStartOfItsOrderPeriod) {
  workedExample("B1");
  const RunResult result = run("B1");
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "lotsizing: Gestartet\nDatenbank: " + db_.dataSourceName() +
                            "   Bedarf: B1\nlotsizing: Erfolgreich abgeschlossen.");
  EXPECT_EQ(lots("B1"), kWorkedExampleLots);
}

TEST_P(ResultStorage, ASecondRunReplacesTheRowsAndLeavesOtherDemandsAlone) {
  workedExample("B1");
  storedLot("B1", {40000.0, 999, 1.0});  // an old result, replaced
  storedLot("B2", {41000.0, 7, 3.5});    // another demand, untouched
  ASSERT_EQ(run("B1").exitStatus, 0);
  ASSERT_EQ(run("B1").exitStatus, 0);
  EXPECT_EQ(lots("B1"), kWorkedExampleLots);
  EXPECT_EQ(lots("B2"), (std::vector<Lot>{{41000.0, 7, 3.5}}));
}

TEST_P(ResultStorage, TheCurrencyFactorIsTakenOutOfTheStoredCosts) {
  // Costs are multiplied by the currency factor at load and divided by it when
  // stored, so the stored costs do not depend on it.
  for (const double currency : {2.0, 0.5}) {
    const std::string key = "W" + std::to_string(currency);
    workedExample(key, currency);
    ASSERT_EQ(run(key).exitStatus, 0);
    EXPECT_EQ(lots(key), kWorkedExampleLots) << currency;
  }
}

TEST_P(ResultStorage, AHeaderWithoutDueQuantitiesDeletesTheOldRows) {
  workedExample("B1");
  db_.exec("delete from Termin");
  storedLot("B1", {40000.0, 999, 1.0});
  const RunResult result = run("B1");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "\n______>>>>>>>>>______ \aTermine existieren nicht! ______<<<<<<<<<______");
  EXPECT_TRUE(lots("B1").empty());
}

TEST_P(ResultStorage, AFailingInsertLeavesTheOldRowsIntact) {
  workedExample("B1");
  const std::vector<Lot> old = {{40000.0, 5, 1.0}, {40001.0, 6, 2.0}};
  for (const Lot& lot : old) storedLot("B1", lot);
  // The second insert (the lot of 80) fails, after the delete and the first insert ran.
  db_.refuseLotsWhere("NoEighty", "new.LosGröße = 80", "kein Los von 80");
  const RunResult result = run("B1");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_TRUE(result.out.ends_with("lotsizing\a: Fehlerhaft beendet!")) << result.out;
  // Exactly one error report, carrying the database's message.
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\a'), 1) << result.err;
  EXPECT_NE(result.err.find("kein Los von 80"), std::string::npos) << result.err;
  EXPECT_EQ(lots("B1"), old);
}

// 2,500 lots go in three parameter arrays; a lot that fails in the third one
// still leaves all the old rows.
TEST_P(ResultStorage, ManyLotsAreStoredInOrderAndAFailureInALaterArrayLeavesTheOldRows) {
  const char* key = "VIELE";
  db_.exec(std::string("insert into Bedarf(Bedarf,StartTermin,PeriodenLänge) values ('") + key +
           "','2024-01-01 00:00:00',1);"
           "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values "
           "('VIELE','RüstKosten',1),('VIELE','StückKosten',1),('VIELE','LosRaster',1),"
           "('VIELE','KapitalbindungsZinssatz',1),('VIELE','PeriodenLänge',1),('VIELE','ZinsJahr',1),"
           "('VIELE','Währung',1);"
           // Setup cost 1, holding cost 100 per unit and day: a lot every day.
           "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('VIELE',1,'RüstKosten',1),"
           "('VIELE',1,'StückKosten',1),('VIELE',1,'LosRaster',1),('VIELE',1,'KapitalbindungsZinssatz',100)");
  std::string due;
  for (int d = 0; d < 2500; ++d) {
    due += std::string(due.empty() ? "" : ",") + "('VIELE','2024-01-01 12:00:00'," +
           std::to_string(d % 7 + 1) + ")";
  }
  db_.exec("insert into Termin(Bedarf,Termin,Menge) values " + due);
  // Day by day from 2024-01-01 on.
  if (GetParam() == Backend::SQLite)
    db_.exec(
        "update Termin set Termin=datetime(Termin, '+' || (rowid - (select min(rowid) from Termin)) || ' "
        "days')");
  else if (GetParam() == Backend::MariaDB)
    db_.exec("set @k := -1; update Termin set Termin = Termin + interval (@k := @k + 1) day");
  else
    db_.exec(
        "update Termin t set Termin = t.Termin + n.k * interval '1 day' from "
        "(select ctid, row_number() over () - 1 as k from Termin) n where n.ctid = t.ctid");
  ASSERT_EQ(db_.rows("select count(distinct Termin) from Termin"),
            (std::vector<std::vector<std::string>>{{"2500"}}));

  ASSERT_EQ(run(key).exitStatus, 0);
  const std::vector<Lot> stored = lots(key);
  ASSERT_EQ(stored.size(), 2500u);
  for (std::size_t k = 0; k < stored.size(); ++k) EXPECT_EQ(stored[k].date, 45292.0 + k) << k;

  // The 2,200th lot fails.
  db_.refuseLotsWhere("NoLot2200", "new.Termin = 47491", "kein Los 2200");
  const RunResult failed = run(key);
  EXPECT_EQ(failed.exitStatus, 1);
  EXPECT_NE(failed.err.find("kein Los 2200"), std::string::npos) << failed.err;
  EXPECT_EQ(lots(key), stored);
}

TEST_P(ResultStorage, ARefusedDemandKeepsItsRows) {
  const std::vector<Lot> old = {{40000.0, 5, 1.0}};
  const std::vector<std::string> breakages = {
      "delete from UmrechnungsFaktor where Umrechnung='ZinsJahr'",
      "update UmrechnungsFaktor set UmrechnungsFaktor=0 where Umrechnung='Währung'",
      "delete from Parameter where Parameter='LosRaster'",
      "update Bedarf set PeriodenLänge=0",
      "update Bedarf set StartTermin=NULL",
      // Two quantities of one period add up beyond the 32-bit range.
      "update Termin set Menge=2000000000;"
      "insert into Termin(Bedarf,Termin,Menge) values ('B1','2024-01-01 18:00:00',2000000000)",
  };
  for (const std::string& breakage : breakages) {
    db_.exec(
        "delete from Bedarf; delete from UmrechnungsFaktor; delete from Parameter;"
        "delete from Termin; delete from LosGröße");
    workedExample("B1");
    storedLot("B1", old.front());
    db_.exec(breakage);
    const RunResult result = run("B1");
    EXPECT_EQ(result.exitStatus, 1) << breakage;
    EXPECT_TRUE(result.out.ends_with("lotsizing\a: Fehlerhaft beendet!")) << breakage;
    EXPECT_NE(result.err, "") << breakage;
    EXPECT_EQ(lots("B1"), old) << breakage;
  }
}

TEST_P(ResultStorage, AnUnknownDemandIsRefusedAndNothingIsWritten) {
  storedLot("B9", {40000.0, 5, 1.0});
  const RunResult result = run("B9");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err,
            "\n______>>>>>>>>>______ \aUmrechnungsFaktoren existieren nicht! ______<<<<<<<<<______"
            "\n______>>>>>>>>>______ \aBedarf existiert nicht: B9 ______<<<<<<<<<______");
  EXPECT_EQ(lots("B9"), (std::vector<Lot>{{40000.0, 5, 1.0}}));
}

TEST_P(ResultStorage, TheBundledExamplesPlanAsPublished) {
  db_.exec(test::exampleData());
  for (const char* key : {"WW1958", "PUMPE-4711"}) {
    const RunResult result = run(key);
    EXPECT_EQ(result.exitStatus, 0) << key << result.err;
    EXPECT_EQ(result.err, "") << key;
  }
  // Wagner and Whitin (1958): orders in periods 1, 3, 5, 8, 10 and 11 at a total of 864.
  const std::vector<Lot> ww = lots("WW1958");
  std::vector<int> sizes;
  double total = 0.0;
  for (const Lot& lot : ww) {
    sizes.push_back(lot.lotSize);
    total += lot.cost;
  }
  EXPECT_EQ(sizes, (std::vector<int>{98, 97, 121, 112, 67, 135}));
  EXPECT_EQ(total, 864.0);
  const double start = 46391.0;  // 2027-01-04
  std::vector<double> orderDays;
  for (const Lot& lot : ww) orderDays.push_back(lot.date - start);
  EXPECT_EQ(orderDays, (std::vector<double>{0, 2, 4, 7, 9, 10}));

  // The weekly demand: every lot a multiple of its grid, ordered on a period start.
  const std::vector<Lot> pump = lots("PUMPE-4711");
  ASSERT_FALSE(pump.empty());
  for (const Lot& lot : pump) {
    EXPECT_EQ(std::fmod(lot.date - start, 7.0), 0.0);
    EXPECT_EQ(lot.lotSize % 10, 0);
    EXPECT_GT(lot.cost, 0.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Databases, ResultStorage, ::testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

/// Lines of the PostgreSQL server log that tell of a serialization failure in
/// database `name` (the log names each line's database).
/// The serialization failures and deadlocks the server has seen so far: on
/// PostgreSQL those of database `db` (its log), on MariaDB the server's count.
std::size_t serializationFailures(TestDatabase& db) {
  if (db.backend() == Backend::MariaDB)
    return std::stoul(db.rows("select variable_value from information_schema.global_status "
                              "where variable_name='INNODB_DEADLOCKS'")
                          .at(0)
                          .at(0));
  std::ifstream log(test::serverFolder() + "/pg/server.log");
  std::size_t failures = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find(" " + db.name() + " ERROR:") != std::string::npos &&
        (line.find("could not serialize access") != std::string::npos ||
         line.find("deadlock detected") != std::string::npos))
      ++failures;
  }
  return failures;
}

// The bundled examples store the same bits on every database: costs cross
// each driver exactly, both ways.
TEST(StoredBits, TheExamplesStoreTheSameRowsOnEveryDatabase) {
  std::map<Backend, std::vector<std::vector<double>>> stored;
  for (const Backend backend : test::allBackends()) {
    TestDatabase db(backend);
    db.exec(test::exampleData());
    for (const char* key : {"WW1958", "PUMPE-4711"})
      ASSERT_EQ(test::runProgramOnce({db.dataSourceName(), key}, test::Capture::Separate).exitStatus, 0);
    // SQLite prints 15 digits unless told otherwise; the servers print the
    // shortest text that reads back as the same double.
    const std::string kosten = backend == Backend::SQLite ? "printf('%!.17g',Kosten)" : "Kosten";
    for (const auto& row :
         db.rows("select Termin,LosGröße," + kosten + " from LosGröße order by Bedarf,Termin"))
      stored[backend].push_back({std::stod(row.at(0)), std::stod(row.at(1)), std::stod(row.at(2))});
    EXPECT_EQ(stored[backend], stored[Backend::SQLite]) << test::backendName(backend);
  }
  EXPECT_EQ(stored[Backend::SQLite].size(), 10u);
}

/// `demands` demands P0, P1, ... with 30 daily due quantities each, planned
/// with a lot every day.
void addDailyDemands(TestDatabase& db, int demands) {
  std::string setup;
  for (int d = 0; d < demands; ++d) {
    const std::string key = "P" + std::to_string(d);
    setup += "insert into Bedarf(Bedarf,StartTermin,PeriodenLänge) values ('" + key +
             "','2024-01-01 00:00:00',1);";
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"RüstKosten", "1"},
                                                          {"StückKosten", "1"},
                                                          {"LosRaster", "1"},
                                                          {"KapitalbindungsZinssatz", "1"},
                                                          {"PeriodenLänge", "1"},
                                                          {"ZinsJahr", "1"},
                                                          {"Währung", "1"}}) {
      setup += "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ('" + key + "','" +
               name + "'," + value + ");";
    }
    // Setup cost 10, holding cost 100 per unit and day: a lot every day.
    setup += "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + key +
             "',1,'RüstKosten',10),('" + key + "',1,'StückKosten',1),('" + key + "',1,'LosRaster',1),('" +
             key + "',1,'KapitalbindungsZinssatz',100);";
    for (int day = 1; day <= 30; ++day) {
      setup += std::string(day == 1 ? "insert into Termin(Bedarf,Termin,Menge) values " : ",") + "('" + key +
               "','2024-01-" + (day < 10 ? "0" : "") + std::to_string(day) + " 12:00:00',5)";
    }
    setup += ";";
  }
  db.exec(setup);
}

/// Runs the program for each key at the same moment; their results in order.
std::vector<RunResult> runAtOnce(const TestDatabase& db, const std::vector<std::string>& keys) {
  std::vector<RunResult> results(keys.size());
  std::vector<std::thread> threads;
  for (std::size_t r = 0; r < keys.size(); ++r) {
    threads.emplace_back([&, r] {
      results[r] = test::runProgramOnce({db.dataSourceName(), keys[r]}, test::Capture::Separate);
    });
  }
  for (std::thread& thread : threads) thread.join();
  return results;
}

// Many runs at the same moment, several for the same demand: afterwards every
// demand holds exactly one run's rows. Runs for one demand wait for each other
// instead of failing.
class ConcurrentRuns : public ::testing::TestWithParam<Backend> {};

TEST_P(ConcurrentRuns, EveryDemandEndsWithExactlyOneRunsRows) {
  TestDatabase db(GetParam());
  const std::size_t failuresBefore = serializationFailures(db);
  const int demands = 4;
  addDailyDemands(db, demands);
  std::vector<std::string> keys;
  for (int r = 0; r < demands * 4; ++r) keys.push_back("P" + std::to_string(r % demands));
  for (const RunResult& result : runAtOnce(db, keys)) EXPECT_EQ(result.exitStatus, 0) << result.err;
  for (int d = 0; d < demands; ++d) {
    const auto rows = db.rows(
        "select count(*), count(distinct Termin), sum(LosGröße) from LosGröße "
        "where Bedarf='P" +
        std::to_string(d) + "'");
    EXPECT_EQ(rows.at(0), (std::vector<std::string>{"30", "30", "150"})) << "P" << d;
  }
  EXPECT_EQ(serializationFailures(db), failuresBefore);
}

// Runs for different demands never get in each other's way: not even a retried
// serialization failure.
TEST_P(ConcurrentRuns, RunsForDifferentDemandsNeverConflict) {
  TestDatabase db(GetParam());
  const std::size_t failuresBefore = serializationFailures(db);
  const int demands = 16;
  addDailyDemands(db, demands);
  db.exec("insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) select Bedarf, 1, 1, 1 from Bedarf");
  std::vector<std::string> keys;
  for (int d = 0; d < demands; ++d) keys.push_back("P" + std::to_string(d));
  for (const RunResult& result : runAtOnce(db, keys)) EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(
      db.rows("select count(*), sum(LosGröße) from LosGröße"),
      (std::vector<std::vector<std::string>>{{std::to_string(30 * demands), std::to_string(150 * demands)}}));
  EXPECT_EQ(serializationFailures(db), failuresBefore);
}

// The servers that lock rows; SQLite serialises its writers whole.
INSTANTIATE_TEST_SUITE_P(Servers, ConcurrentRuns, ::testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
