// lotsizing-batch end to end on SQLite and PostgreSQL: every demand planned
// exactly as a single-demand run plans it, at one job and at four; batches and
// shards at the same time; an interrupted batch and its resumption; hostile
// keys files, logs that cannot be written or read back, jobs that cannot start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "demand/message_code.h"
#include "platform/text_encoding.h"
#include "support/helpers.h"
#include "support/json_check.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::RunResult;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

/// The demand whose lots a trigger refuses. It sorts among the generated
/// demands (G1000, G1001, ...), so that a batch storing several demands
/// together meets it in the middle of them.
constexpr char kTrap[] = "G1003-FALLE";

/// The demands of the batch database: the two examples, sane generated ones,
/// refused ones, one with bad rows and one whose lots a trigger refuses.
std::vector<std::string> fill(TestDatabase& db, int generated) {
  db.exec(test::exampleData());
  std::vector<std::string> keys = {"WW1958",      "PUMPE-4711",    "OHNE-ZINSJAHR",
                                   "OHNE-RASTER", "M\xC3\xA4ngel", kTrap};
  std::string sql;
  const auto demand = [&sql](const std::string& key, bool interestYear, bool grid) {
    sql += "insert into Bedarf values ('" + key + "','2024-01-01 00:00:00',1,NULL);";
    sql += "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ('" + key +
           "','RüstKosten',1),('" + key + "','StückKosten',1),('" + key + "','LosRaster',1),('" + key +
           "','KapitalbindungsZinssatz',1),('" + key + "','PeriodenLänge',1),('" + key + "','Währung',1)" +
           (interestYear ? ",('" + key + "','ZinsJahr',360);" : ";");
    sql += "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + key +
           "',1,'RüstKosten',50),('" + key + "',1,'StückKosten',360),('" + key +
           "',1,'KapitalbindungsZinssatz',0.5)" + (grid ? ",('" + key + "',1,'LosRaster',2);" : ";");
    for (int d = 0; d < 20; ++d) {
      sql += "insert into Termin(Bedarf,Termin,Menge) values ('" + key + "','2024-01-" + (d < 9 ? "0" : "") +
             std::to_string(d + 1) + " 08:00:00'," + std::to_string(3 + d * 7 % 11) + ");";
    }
    sql += "insert into LosGröße values ('" + key + "',1,1,1);";
  };
  demand("OHNE-ZINSJAHR", false, true);
  demand("OHNE-RASTER", true, false);
  demand("M\xC3\xA4ngel", true, true);
  sql +=
      "insert into Termin(Bedarf,Termin,Menge) values ('M\xC3\xA4ngel',NULL,4),('M\xC3\xA4ngel','2024-01-05 "
      "09:00:00',NULL);"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('M\xC3\xA4ngel',1,'Zinsjahr',1);";
  demand(kTrap, true, true);
  for (int g = 0; g < generated; ++g) {
    const std::string key = "G" + std::to_string(1000 + g);
    demand(key, true, true);
    keys.push_back(key);
  }
  sql += "insert into LosGröße values ('WW1958',1,1,1),('PUMPE-4711',2,2,2);";
  db.exec(sql);
  db.refuseLotsWhere("Falle", "new.Bedarf = '" + std::string(kTrap) + "'", "keine Lose für FALLE");
  return keys;
}

Rows lotsOf(TestDatabase& db) {
  return db.rows("select Bedarf,Termin,LosGröße,Kosten from LosGröße order by Bedarf,Termin,LosGröße");
}

/// One message line of a demand in a text log: "<word> <code>: <text>".
struct LoggedMessage {
  std::string word;
  std::string code;
  std::string text;
};

/// One demand's entry of a text log.
struct LoggedDemand {
  std::string outcome;
  std::string outcomeLine;  // behind the key
  std::vector<LoggedMessage> messages;
};

/// The demands of a text log by key, and its summary line. Keys here hold no
/// quote, so the quoted key ends at the next quote.
std::map<std::string, LoggedDemand> demandsOf(const std::string& log, std::string& summary) {
  std::map<std::string, LoggedDemand> demands;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const auto space = line.find(' ');
    if (line.compare(space + 1, 9, "summary: ") == 0) summary = line.substr(space + 10);
    if (line[space + 1] != '"') continue;
    const auto close = line.find('"', space + 2);
    const std::string key = line.substr(space + 2, close - space - 2);
    const std::string rest = line.substr(close + 2);
    const std::string word = rest.substr(0, rest.find(' '));
    if (word == "planned" || word == "refused" || word == "failed") {
      demands[key].outcome = word;
      demands[key].outcomeLine = rest;
    } else {
      const auto colon = rest.find(": ");
      demands[key].messages.push_back(
          {word, rest.substr(word.size() + 1, colon - word.size() - 1), rest.substr(colon + 2)});
    }
  }
  return demands;
}

/// Whether `name` is the code of a warning that the single-demand program does not print.
bool isPlanWarningName(const std::string& name) {
  for (auto c = static_cast<int>(MessageCode{}); c <= static_cast<int>(kLastMessageCode); ++c) {
    const auto code = static_cast<MessageCode>(c);
    if (codeName(code) == name) return isPlanWarning(code);
  }
  ADD_FAILURE() << "no such code: " << name;
  return false;
}

RunResult runBatch(const TestDatabase& db, std::vector<std::string> options) {
  std::vector<std::string> argv = {LOTSIZING_BATCH_BINARY, db.dataSourceName()};
  argv.insert(argv.end(), options.begin(), options.end());
  return test::runCommand(argv);
}

class BatchRun : public testing::TestWithParam<Backend> {};

// One job takes the 30 demands in chunks of several, the trap among the first
// chunk's: storing that chunk together fails part-way, and its demands are
// stored one by one. Four jobs take three each first, then five.
TEST_P(BatchRun, EveryDemandAsASingleRunPlansItAtOneJobAndAtFour) {
  TestDatabase single(GetParam());
  const std::vector<std::string> keys = fill(single, 24);
  std::map<std::string, RunResult> singles;
  for (const std::string& key : keys) {
    singles[key] = test::runProgramOnce({single.dataSourceName(), key}, test::Capture::Separate);
  }
  const Rows expected = lotsOf(single);

  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs);
    TestDatabase batched(GetParam());
    fill(batched, 24);
    const RunResult result = runBatch(batched, {"--jobs", jobs});
    EXPECT_EQ(result.exitStatus, 3) << "FALLE fails: " << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(lotsOf(batched), expected);

    std::string summary;
    const auto logged = demandsOf(result.out, summary);
    ASSERT_EQ(logged.size(), keys.size()) << result.out;
    std::size_t planned = 0, refused = 0, failed = 0;
    for (const std::string& key : keys) {
      const RunResult& run = singles[key];
      const LoggedDemand& entry = logged.at(key);
      const bool failure = run.err.find("Unknown error") != std::string::npos;
      const std::string outcome = run.exitStatus == 0 ? "planned" : failure ? "failed" : "refused";
      EXPECT_EQ(entry.outcome, outcome) << key;
      planned += outcome == "planned";
      refused += outcome == "refused";
      failed += outcome == "failed";
      // The single run's messages, but the warnings it does not print; a
      // database failure as its SQLSTATE with the driver's text.
      const std::string word = outcome == "planned" ? "warning" : outcome == "refused" ? "reason" : "error";
      std::string banners;
      for (const LoggedMessage& message : entry.messages) {
        EXPECT_EQ(message.word, word) << key;
        if (isPlanWarningName(message.code)) continue;
        std::string text = message.text;
        if (message.code == "database-error") {
          EXPECT_TRUE(std::regex_search(text, std::regex("^SQLSTATE [0-9A-Z]{5}: "))) << text;
          text = "Unknown error 0x80004005: " + text.substr(16);
        }
        banners += test::banner(utf8ToCp850(text));
      }
      EXPECT_EQ(banners, run.err) << key;
    }
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(refused, 2u);
    EXPECT_NE(summary.find("planned=" + std::to_string(planned) + " refused=" + std::to_string(refused) +
                           " failed=" + std::to_string(failed) + " "),
              std::string::npos)
        << summary;
  }
}

TEST_P(BatchRun, DryRunWritesNothing) {
  TestDatabase db(GetParam());
  fill(db, 3);
  const Rows before = lotsOf(db);
  const RunResult result = runBatch(db, {"--dry-run", "--json"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.out.find("\"dryRun\":true"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\"key\":\"WW1958\",\"outcome\":\"planned\",\"lots\":6"), std::string::npos);
  EXPECT_EQ(lotsOf(db), before);
}

// Data a plan takes as it stands (a missing cost factor, a negative cost or
// quantity, a due date years after the others) is planned as before and the
// batch succeeds, but the demand is logged with each warning and its code,
// and the summary counts it; the single-demand program still says nothing.
TEST_P(BatchRun, PlannedDemandsCarryTheirWarningsWithTheirCodes) {
  TestDatabase db(GetParam());
  db.exec(test::exampleData());
  db.exec(
      "delete from UmrechnungsFaktor where Bedarf='WW1958' and Umrechnung='RüstKosten';"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('WW1958',12,'StückKosten',-1);"
      "insert into Termin(Bedarf,Termin,Menge) values "
      "('WW1958','2027-01-05 18:00:00',-3),('WW1958','2029-01-15 12:00:00',4)");
  const std::string warnings =
      R"("warnings":[{"code":"factor-missing","text":"UmrechnungsFaktor existiert nicht: RüstKosten: )"
      R"(Jeder Parameter RüstKosten zählt als 0!"},)"
      R"({"code":"negative-cost","text":"Negative Kosten: StückKosten -1 (inklusiv UmrechnungsFaktor: 1) ab Periode 12"},)"
      R"({"code":"negative-quantity","text":"Negative Menge: -3 zum Termin 2027-01-05 18:00:00"},)"
      R"({"code":"due-date-gap","text":"Termin 2029-01-15 12:00:00 liegt 731 Tage nach dem vorigen Termin )"
      R"(2027-01-15 12:00:00"}]})";

  const RunResult json = runBatch(db, {"--jobs", "1", "--json", "--dry-run"});
  EXPECT_EQ(json.exitStatus, 0) << json.err;
  EXPECT_EQ(json.err, "");
  std::istringstream lines(json.out);
  std::map<std::string, std::string> entries;  // the demands' by key, and the summary
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(test::isJson(line)) << line;
    for (const char* name : {"WW1958", "PUMPE-4711"}) {
      if (line.find(std::string(R"("key":")") + name + "\"") != std::string::npos) entries[name] = line;
    }
    if (line.find(R"("event":"summary")") != std::string::npos) entries["summary"] = line;
  }
  EXPECT_NE(entries["WW1958"].find(R"("outcome":"planned")"), std::string::npos) << entries["WW1958"];
  EXPECT_TRUE(entries["WW1958"].ends_with(warnings)) << entries["WW1958"];
  EXPECT_TRUE(entries["PUMPE-4711"].ends_with(R"("messages":[],"warnings":[]})")) << entries["PUMPE-4711"];
  EXPECT_NE(
      entries["summary"].find(R"("planned":2,"refused":0,"failed":0,"lots":0,"wouldStore":16,"warned":1,)"),
      std::string::npos)
      << entries["summary"];
  EXPECT_TRUE(entries["summary"].ends_with(
      R"("codes":{"factor-missing":1,"negative-cost":1,"negative-quantity":1,"due-date-gap":1}})"))
      << entries["summary"];

  const RunResult single = test::runProgramOnce({db.dataSourceName(), "WW1958"}, test::Capture::Separate);
  EXPECT_EQ(single.exitStatus, 0);
  EXPECT_EQ(single.err, "");
}

INSTANTIATE_TEST_SUITE_P(Databases, BatchRun, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

// As RunOutOfMemoryTest: the SQLite driver runs out of memory gathering a
// demand's 300,000 due quantities; the batch logs the demand as failed with the
// program's message and goes on with the next.
TEST(BatchOutOfMemory, TheDatabaseRunningOutOfMemoryIsLoggedAsExhaustedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' allocator cannot be replaced";
#endif
  TestDatabase db(Backend::SQLite);
  db.exec(test::exampleData() +
          "insert into Termin(Bedarf,Termin,Menge) with recursive n(i) as (select 1 union all"
          " select i+1 from n where i<300000) select 'PUMPE-4711','2027-01-05 08:00:00',1 from n;");
  const RunResult result =
      test::runCommand({LOTSIZING_BATCH_BINARY, db.dataSourceName(), "--jobs", "1"}, {},
                       {{"LD_PRELOAD", FAILING_MALLOC_LIBRARY}, {"LSZ_FAIL_ALLOCATIONS_ABOVE", "4000000"}});
  EXPECT_EQ(result.exitStatus, 3) << result.err;
  std::string summary;
  const auto demands = demandsOf(result.out, summary);
  ASSERT_EQ(demands.count("PUMPE-4711"), 1u) << result.out;
  EXPECT_EQ(demands.at("PUMPE-4711").outcome, "failed");
  ASSERT_EQ(demands.at("PUMPE-4711").messages.size(), 1u);
  EXPECT_EQ(demands.at("PUMPE-4711").messages[0].code, "out-of-memory");
  EXPECT_EQ(demands.at("PUMPE-4711").messages[0].text, "Nicht genug Arbeitsspeicher");
  ASSERT_EQ(demands.count("WW1958"), 1u) << result.out;
  EXPECT_EQ(demands.at("WW1958").outcome, "planned");
}

// Keys are read whole however long: SQLite keeps a key of any length.
TEST(BatchKeys, KeysLongerThanAnyBufferArePlannedAsTheSingleRunPlansThem) {
  TestDatabase db(Backend::SQLite);
  db.exec(test::exampleData());
  std::string longKey;
  for (int i = 0; i < 700; ++i) longKey += "\xC3\xA4";  // 1,400 bytes of umlauts
  longKey += "-Ende";
  for (const char* table : {"Bedarf", "UmrechnungsFaktor", "Parameter", "Termin"}) {
    // WW1958's rows once more, under the long key.
    db.exec(std::string("create temporary table Kopie as select * from ") + table +
            " where Bedarf='WW1958'; update Kopie set Bedarf='" + longKey + "'; insert into " + table +
            " select * from Kopie; drop table Kopie");
  }
  const RunResult result = runBatch(db, {"--jobs", "1", "--json"});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("\"key\":\"" + longKey + "\""), std::string::npos) << result.out;
  EXPECT_EQ(db.rows("select count(*),sum(LosGröße) from LosGröße where Bedarf='" + longKey + "'"),
            (Rows{{"6", "630"}}));
}

// SQLite's driver hands the key WW1958<NUL>x as WW1958: it names no demand a
// run could load and is left out, not planned as WW1958 a second time.
TEST(BatchKeys, KeysWithANulAreLeftOut) {
  TestDatabase db(Backend::SQLite);
  db.exec(test::exampleData() +
          "insert into Bedarf select 'WW1958'||char(0)||'x',StartTermin,PeriodenLänge,Beschreibung "
          "from Bedarf where Bedarf='WW1958'");
  const RunResult result = runBatch(db, {"--jobs", "1"});
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(test::count(result.out, "\"WW1958\" planned"), 1u) << result.out;
  EXPECT_NE(result.out.find("batch started: 2 demands"), std::string::npos) << result.out;
}

TEST(BatchUsage, WrongArgumentsAndNoConnectionExitWithTwo) {
  const RunResult usage = test::runCommand({LOTSIZING_BATCH_BINARY});
  EXPECT_EQ(usage.exitStatus, 2);
  EXPECT_NE(usage.err.find("usage: "), std::string::npos) << usage.err;
  const RunResult unknown = test::runCommand({LOTSIZING_BATCH_BINARY, "lsz_no_such_source"});
  EXPECT_EQ(unknown.exitStatus, 2);
  EXPECT_NE(unknown.err.find("no connection to lsz_no_such_source"), std::string::npos) << unknown.err;
}

// Two batches over the whole database and four shards, all at once: every
// demand ends with exactly one run's rows, the shards plan every key once, and
// each run ends with the status and the summary of the demands it planned.
class BatchesAtOnce : public testing::TestWithParam<Backend> {};

/// What a single run of each key gives: planned, refused or failed.
std::map<std::string, std::string> singleOutcomes(const TestDatabase& db,
                                                  const std::vector<std::string>& keys) {
  std::map<std::string, std::string> outcomes;
  for (const std::string& key : keys) {
    const RunResult run = test::runProgramOnce({db.dataSourceName(), key}, test::Capture::Separate);
    const bool failure = run.err.find("Unknown error") != std::string::npos;
    outcomes[key] = run.exitStatus == 0 ? "planned" : failure ? "failed" : "refused";
  }
  return outcomes;
}

/// "planned=<p> refused=<r> failed=<f> " of a summary over `keys`, and the exit status it implies.
std::pair<std::string, int> expectedSummary(const std::map<std::string, std::string>& outcomes,
                                            const std::vector<std::string>& keys) {
  std::map<std::string, int> counts;
  for (const std::string& key : keys) ++counts[outcomes.at(key)];
  const std::string figures = "planned=" + std::to_string(counts["planned"]) +
                              " refused=" + std::to_string(counts["refused"]) +
                              " failed=" + std::to_string(counts["failed"]) + " ";
  return {figures, counts["failed"] > 0 ? 3 : counts["refused"] > 0 ? 1 : 0};
}

TEST_P(BatchesAtOnce, TwoBatchesAndFourShardsLeaveOneRunsRowsPerDemand) {
  TestDatabase single(GetParam());
  const std::vector<std::string> keys = fill(single, 40);
  const std::map<std::string, std::string> outcomes = singleOutcomes(single, keys);
  const Rows expected = lotsOf(single);

  TestDatabase db(GetParam());
  fill(db, 40);
  std::vector<RunResult> results(6);
  std::vector<std::thread> threads;
  for (int b = 0; b < 2; ++b) threads.emplace_back([&, b] { results[b] = runBatch(db, {"--jobs", "2"}); });
  for (int s = 1; s <= 4; ++s) {
    threads.emplace_back([&, s] {
      results[1 + s] = runBatch(db, {"--jobs", "2", "--shard", std::to_string(s) + "/4"});
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(lotsOf(db), expected);
  std::map<std::string, int> sharded;
  for (int r = 0; r < 6; ++r) {
    SCOPED_TRACE(r < 2 ? "batch " + std::to_string(r + 1) : "shard " + std::to_string(r - 1) + "/4");
    std::string summary;
    const auto logged = demandsOf(results[r].out, summary);
    std::vector<std::string> runKeys;
    for (const auto& [key, entry] : logged) {
      runKeys.push_back(key);
      EXPECT_EQ(entry.outcome, outcomes.at(key)) << key;
      if (r >= 2) ++sharded[key];
    }
    if (r < 2) {
      EXPECT_EQ(runKeys.size(), keys.size());
    }
    const auto [figures, status] = expectedSummary(outcomes, runKeys);
    EXPECT_EQ(results[r].exitStatus, status) << results[r].err;
    EXPECT_EQ(results[r].err, "");
    EXPECT_TRUE(summary.starts_with(figures)) << summary;
    EXPECT_EQ(summary.find(", interrupted"), std::string::npos) << summary;
  }
  EXPECT_EQ(sharded.size(), keys.size());
  for (const auto& [key, times] : sharded) EXPECT_EQ(times, 1) << key;
}

// On the servers that lock rows: SQLite serialises its writers whole.
INSTANTIATE_TEST_SUITE_P(Servers, BatchesAtOnce, testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                         [](const auto& info) { return test::backendName(info.param); });

// A worker whose connection breaks connects anew and tries the demand once
// more: the server ends the session while the demand's first lot is stored,
// once (a sequence counts, which no rollback undoes).
TEST(BatchConnectionLost, TheWorkerConnectsAnewAndPlansTheDemandInHand) {
  TestDatabase db(Backend::PostgreSQL);
  const std::vector<std::string> keys = fill(db, 6);
  db.exec(
      "drop trigger Falle on LosGröße; create sequence bruch;"
      "create function bruch() returns trigger language plpgsql as $$ begin "
      "if new.Bedarf = 'G1003' and nextval('bruch') = 1 then perform pg_terminate_backend(pg_backend_pid()); "
      "end if; return new; end $$;"
      "create trigger Bruch before insert on LosGröße for each row execute function bruch()");
  const RunResult result = runBatch(db, {"--jobs", "2"});
  std::string summary;
  const auto logged = demandsOf(result.out, summary);
  EXPECT_EQ(logged.at("G1003").outcome, "planned") << result.out;
  EXPECT_EQ(logged.at(kTrap).outcome, "planned") << "no trigger refuses it here";
  EXPECT_NE(summary.find(" failed=0 "), std::string::npos) << summary;
  EXPECT_NE(db.rows("select last_value from bruch"), (Rows{{"1"}})) << "the demand was tried again";
  EXPECT_FALSE(db.rows("select 1 from LosGröße where Bedarf='G1003' and Kosten > 1").empty());
}

/// Starts the batch with its log in `logPath`, its standard streams the test's.
test::Child startBatch(const TestDatabase& db, const std::string& logPath,
                       const std::vector<std::string>& options) {
  test::ChildOptions child;
  child.argv = {LOTSIZING_BATCH_BINARY, db.dataSourceName(), "--log", logPath};
  child.argv.insert(child.argv.end(), options.begin(), options.end());
  child.in = child.out = child.err = test::Stream::inherited();
  return test::Child(child);
}

// The same on MariaDB, where a trigger cannot end its own session: the first
// lot of G1003 waits in the trigger until the test kills that connection from
// outside.
TEST(BatchConnectionLost, OnMariaDBTheWorkerConnectsAnewToo) {
  TestDatabase db(Backend::MariaDB);
  fill(db, 6);
  db.exec(
      "drop trigger Falle; create sequence bruch;\n"
      "delimiter $$\ncreate trigger Bruch before insert on LosGröße for each row "
      "if new.Bedarf = 'G1003' and nextval(bruch) = 1 then do sleep(60); end if$$\ndelimiter ;\n");
  const std::string logPath = test::scratchFolder() + "/lost_" + std::to_string(::getpid()) + ".log";
  test::Child batch = startBatch(db, logPath, {"--jobs", "2"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  Rows sleeping;
  while (sleeping.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sleeping = db.rows("select id from information_schema.processlist where state='User sleep' and db='" +
                       db.name() + "'");
  }
  ASSERT_EQ(sleeping.size(), 1u) << "the first lot of G1003 never reached the trigger";
  db.exec("kill connection " + sleeping[0][0]);
  batch.wait();
  std::string summary;
  const auto logged = demandsOf(test::readFile(logPath), summary);
  EXPECT_EQ(logged.at("G1003").outcome, "planned") << test::readFile(logPath);
  EXPECT_NE(summary.find(" failed=0 "), std::string::npos) << summary;
  EXPECT_FALSE(db.rows("select 1 from LosGröße where Bedarf='G1003' and Kosten > 1").empty());
  std::remove(logPath.c_str());
}

// SIGINT while the batch stores: the workers finish the demand in hand, the
// summary says the batch was interrupted, every demand has its old rows or its
// new ones, and --resume plans the rest.
TEST(BatchInterrupted, EveryDemandKeepsOldOrNewRowsAndAResumedBatchPlansTheRest) {
  TestDatabase single(Backend::PostgreSQL);
  const std::vector<std::string> keys = fill(single, 400);
  const RunResult reference = runBatch(single, {"--jobs", "2"});
  ASSERT_EQ(reference.exitStatus, 3) << "FALLE fails: " << reference.err;
  std::string referenceSummary;
  const auto referenceOutcomes = demandsOf(reference.out, referenceSummary);
  for (const std::string& key : keys) {
    if (key.starts_with("G") && key != kTrap) {
      ASSERT_EQ(referenceOutcomes.at(key).outcome, "planned") << reference.out;
    }
  }
  const Rows expected = lotsOf(single);

  TestDatabase db(Backend::PostgreSQL);
  fill(db, 400);
  const Rows old = lotsOf(db);
  const std::string logPath = test::scratchFolder() + "/batch_" + std::to_string(::getpid()) + ".log";
  test::Child batch = startBatch(db, logPath, {"--jobs", "2"});
  // Interrupt once some demands are done.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (test::count(test::readFile(logPath), " planned ") < 20 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  batch.signal(SIGINT);
  const RunResult interrupted = batch.wait();
  ASSERT_EQ(interrupted.signal, 0);
  EXPECT_EQ(interrupted.exitStatus, 130);
  std::string summary;
  const auto done = demandsOf(test::readFile(logPath), summary);
  EXPECT_TRUE(summary.ends_with(", interrupted: SIGINT")) << summary;
  EXPECT_LT(done.size(), keys.size());

  // Per demand: exactly its old rows or exactly its new rows.
  const auto rowsOf = [](const Rows& all, const std::string& key) {
    Rows mine;
    for (const auto& row : all) {
      if (row.at(0) == key) mine.push_back(row);
    }
    return mine;
  };
  const Rows now = lotsOf(db);
  for (const std::string& key : keys) {
    const Rows mine = rowsOf(now, key);
    EXPECT_TRUE(mine == rowsOf(old, key) || mine == rowsOf(expected, key)) << key;
  }

  // The resumed batch plans exactly the demands that were neither planned nor
  // refused before (a failed one is tried again), and ends as a whole batch.
  std::set<std::string> left(keys.begin(), keys.end());
  for (const auto& [key, entry] : done) {
    if (entry.outcome == "planned" || entry.outcome == "refused") left.erase(key);
  }
  ASSERT_LT(left.size(), keys.size());
  const std::size_t before = test::readFile(logPath).size();
  const RunResult resumed = startBatch(db, logPath, {"--jobs", "2", "--resume"}).wait();
  ASSERT_EQ(resumed.signal, 0);
  EXPECT_EQ(resumed.exitStatus, 3) << "FALLE fails again";
  const auto rest = demandsOf(test::readFile(logPath).substr(before), summary);
  std::set<std::string> resumedKeys;
  for (const auto& [key, entry] : rest) resumedKeys.insert(key);
  EXPECT_EQ(resumedKeys, left);
  EXPECT_EQ(rest.at(kTrap).outcome, "failed");
  EXPECT_FALSE(summary.ends_with(", interrupted")) << summary;
  EXPECT_EQ(lotsOf(db), expected);
  std::remove(logPath.c_str());
}

/// A file in the fixture's scratch folder, unique to this test process.
std::string scratchFile(const std::string& name) {
  return test::scratchFolder() + "/" + name + "_" + std::to_string(::getpid());
}

/// Rows of every demand but `key`.
Rows lotsOfOthers(TestDatabase& db, const std::string& key) {
  Rows others;
  for (const auto& row : lotsOf(db)) {
    if (row.at(0) != key) others.push_back(row);
  }
  return others;
}

/// Whether every line of `log` is a JSON value.
bool everyLineIsJson(const std::string& log) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (!test::isJson(line)) return false;
  }
  return true;
}

// A line of the keys file with a NUL byte or bytes that are not UTF-8 is
// reported with its number, recorded in the log and planned for no key: the
// rows of WW1958 (what the line starts with) stay, and no rows appear under
// such a key.
class BatchKeysFile : public testing::TestWithParam<Backend> {};

TEST_P(BatchKeysFile, LinesThatAreNoKeyAreReportedAndNotPlanned) {
  TestDatabase db(GetParam());
  fill(db, 0);
  const Rows before = lotsOfOthers(db, "PUMPE-4711");
  const std::string keysPath = scratchFile("keys_" + test::backendName(GetParam()));
  test::writeFile(keysPath, std::string("WW1958\0junk\n", 12) + "PUMPE-4711\xFF\r\n\nPUMPE-4711\n");
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "--json" : "text");
    std::vector<std::string> options = {"--keys", keysPath};
    if (json) options.push_back("--json");
    const RunResult result = runBatch(db, options);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err,
              "lotsizing-batch: keys file line 1 rejected: \"WW1958\\u0000junk\" contains a NUL byte\n"
              "lotsizing-batch: keys file line 2 rejected: \"PUMPE-4711\\u00ff\" is not valid UTF-8\n");
    EXPECT_TRUE(test::isUtf8(result.out)) << result.out;
    if (json) {
      EXPECT_TRUE(everyLineIsJson(result.out)) << result.out;
      EXPECT_NE(result.out.find(R"("event":"rejected","line":2,"text":"PUMPE-4711\u00ff")"),
                std::string::npos);
      EXPECT_NE(result.out.find(R"("key":"PUMPE-4711","outcome":"planned")"), std::string::npos)
          << result.out;
    } else {
      EXPECT_NE(result.out.find(R"( keys file line 1 rejected: "WW1958\u0000junk" contains a NUL byte)"),
                std::string::npos);
      EXPECT_NE(result.out.find(R"( "PUMPE-4711" planned )"), std::string::npos) << result.out;
      EXPECT_NE(result.out.find(" summary: planned=1 refused=0 failed=0 "), std::string::npos) << result.out;
    }
    EXPECT_EQ(lotsOfOthers(db, "PUMPE-4711"), before);
    EXPECT_EQ(db.rows("select count(*) from LosGröße where Bedarf='PUMPE-4711'"), (Rows{{"4"}}));
  }
  std::remove(keysPath.c_str());
}

INSTANTIATE_TEST_SUITE_P(Databases, BatchKeysFile, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

// A keys file that cannot be read is a usage error that names the reason,
// before anything is planned or logged; a directory opens but cannot be read.
TEST(BatchUnreadableKeysFile, IsAUsageErrorWithTheReason) {
  TestDatabase db(Backend::SQLite);
  fill(db, 0);
  const Rows before = lotsOf(db);
  struct Case {
    std::string path;
    std::string reason;
  };
  std::vector<Case> cases = {{test::scratchFolder(), "Is a directory"},
                             {scratchFile("no_such_keys"), "No such file or directory"}};
  const std::string locked = scratchFile("locked_keys");
  if (::geteuid() != 0) {  // root reads any file
    test::writeFile(locked, "WW1958\n");
    ::chmod(locked.c_str(), 0);
    cases.push_back({locked, "Permission denied"});
  }
  for (const Case& c : cases) {
    const RunResult result = runBatch(db, {"--keys", c.path});
    EXPECT_EQ(result.exitStatus, 2) << c.path;
    EXPECT_EQ(result.err, "lotsizing-batch: cannot read the keys file " + c.path + ": " + c.reason + "\n");
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(lotsOf(db), before);
  std::remove(locked.c_str());
}

/// A run of the batch whose standard output is `out` (-1: closed) and whose
/// standard error is captured unless `closeErr`. `whileRunning` is called
/// once it started.
RunResult runBatchWithOutput(const TestDatabase& db, const std::vector<std::string>& options, int out,
                             const std::function<void()>& whileRunning = {}, bool closeErr = false) {
  test::ChildOptions child;
  child.argv = {LOTSIZING_BATCH_BINARY, db.dataSourceName()};
  child.argv.insert(child.argv.end(), options.begin(), options.end());
  child.in = test::Stream::inherited();
  child.out = out < 0 ? test::Stream::closed() : test::Stream::descriptor(out);
  if (closeErr) child.err = test::Stream::closed();
  test::Child batch(child);
  if (whileRunning) whileRunning();
  return batch.wait();
}

// A log that cannot be written ends the batch with status 3: the reason once
// on standard error, no demand taken after it, and the summary on standard
// error instead. Here the first write fails, so nothing is planned.
TEST(BatchLogNotWritten, EndsWithThreeAndTheReasonWhenNothingCanBeWritten) {
  TestDatabase db(Backend::SQLite);
  fill(db, 0);
  const Rows before = lotsOf(db);
  struct Case {
    std::string what;
    std::vector<std::string> options;
    int out;  // -1: closed
    std::string message;
  };
  int brokenPipe[2];
  ASSERT_EQ(pipe2(brokenPipe, O_CLOEXEC), 0);
  ::close(brokenPipe[0]);
  const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const std::vector<Case> cases = {
      {"/dev/full",
       {"--log", "/dev/full"},
       devNull,
       "lotsizing-batch: cannot write the log /dev/full: No space left on device\n"},
      {"closed standard output",
       {},
       -1,
       "lotsizing-batch: cannot write the log (standard output): Bad file descriptor\n"},
      {"a pipe nobody reads",
       {"--json"},
       brokenPipe[1],
       "lotsizing-batch: cannot write the log (standard output): Broken pipe\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = runBatchWithOutput(db, c.options, c.out);
    EXPECT_EQ(run.exitStatus, 3) << c.what << ": " << run.err;
    EXPECT_TRUE(
        run.err.starts_with(c.message + "lotsizing-batch: summary: planned=0 refused=0 failed=0 lots=0 "))
        << c.what << ": " << run.err;
    EXPECT_TRUE(run.err.ends_with(", interrupted: the log could not be written\n"))
        << c.what << ": " << run.err;
    EXPECT_EQ(test::count(run.err, "\n"), 2u) << c.what << ": " << run.err;
  }
  ::close(brokenPipe[1]);
  ::close(devNull);
  EXPECT_EQ(lotsOf(db), before);
}

// Standard error closed by the caller: the log file must not take its
// number, or the program's own messages (a rejected line here) would land
// in the log among its entries.
TEST(BatchClosedStandardError, TheLogHoldsOnlyItsEntries) {
  TestDatabase db(Backend::SQLite);
  fill(db, 0);
  const std::string keysPath = scratchFile("closed_err_keys");
  test::writeFile(keysPath, "WW1958\nM\xE4ngel\n");
  const std::string logPath = scratchFile("closed_err.log");
  std::remove(logPath.c_str());
  const RunResult run =
      runBatchWithOutput(db, {"--keys", keysPath, "--log", logPath, "--json"}, STDOUT_FILENO, {}, true);
  EXPECT_EQ(run.exitStatus, 1);
  const std::string log = test::readFile(logPath);
  EXPECT_TRUE(everyLineIsJson(log)) << log;
  EXPECT_EQ(test::count(log, "\n"), 4u) << log;
  std::remove(logPath.c_str());
  std::remove(keysPath.c_str());
}

// The reader of the log goes away after the start line: the worker finishes
// the demands in hand (the chunk it planned), takes no others, and the batch
// ends with status 3.
TEST(BatchLogNotWritten, AReaderThatGoesAwayStopsTheBatch) {
  TestDatabase db(Backend::SQLite);
  fill(db, 200);
  const Rows before = lotsOf(db);
  int logPipe[2];
  ASSERT_EQ(pipe2(logPipe, O_CLOEXEC), 0);
  const RunResult run = runBatchWithOutput(db, {"--jobs", "1"}, logPipe[1], [&] {
    ::close(logPipe[1]);
    char c = 0;
    while (::read(logPipe[0], &c, 1) == 1 && c != '\n') {
    }
    ::close(logPipe[0]);
  });
  EXPECT_EQ(run.exitStatus, 3) << run.err;
  EXPECT_TRUE(
      run.err.starts_with("lotsizing-batch: cannot write the log (standard output): Broken pipe\n"
                          "lotsizing-batch: summary: "))
      << run.err;
  EXPECT_EQ(test::count(run.err, "cannot write"), 1u) << run.err;
  EXPECT_TRUE(run.err.ends_with(", interrupted: the log could not be written\n")) << run.err;
  std::set<std::string> changed;
  const Rows after = lotsOf(db);
  for (const auto& row : before) {
    if (std::find(after.begin(), after.end(), row) == after.end()) changed.insert(row.at(0));
  }
  EXPECT_LE(changed.size(), 103u) << "demands were taken after the log broke (a chunk is 206 / 2 demands)";
}

// Lines of the log that are no entry of it (a malformed escape, a lone
// surrogate, junk) are named on standard error and ignored; --resume reads
// the entries around them.
TEST(BatchResume, MalformedLogLinesAreNamedAndIgnored) {
  TestDatabase db(Backend::SQLite);
  fill(db, 0);
  const std::string logPath = scratchFile("malformed.log");
  const std::string time = "2026-12-07T02:00:00.000Z ";
  test::writeFile(logPath, time + "batch started: 2 demands, 1 jobs\n" + time +
                               "\"WW1958\" planned lots=6 cost=864 periods=12 ms=1.0\n" + time +
                               "\"\\uZZZZ\" planned lots=1 cost=1 periods=1 ms=1.0\n" + time +
                               "\"\\ud800\" refused lots=0 cost=0 periods=0 ms=1.0\n" +
                               std::string("\x01\xFF\0junk\n", 8));
  const std::string keysPath = scratchFile("resume_keys");
  test::writeFile(keysPath, "WW1958\nPUMPE-4711\n");
  const RunResult result = runBatch(db, {"--keys", keysPath, "--log", logPath, "--resume"});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const std::string prefix = "lotsizing-batch: the log " + logPath + ", line ";
  EXPECT_EQ(result.err, prefix + "3: not an entry of the log, ignored\n" + prefix +
                            "4: not an entry of the log, ignored\n" + prefix +
                            "5: not an entry of the log, ignored\n");
  const std::string log = test::readFile(logPath);
  const std::string resumed = log.substr(log.rfind(" batch started: "));
  EXPECT_EQ(test::count(resumed, " planned "), 1u) << resumed;
  EXPECT_NE(resumed.find("\"PUMPE-4711\" planned "), std::string::npos) << resumed;
  std::remove(logPath.c_str());
  std::remove(keysPath.c_str());
}

// More jobs than the address space holds threads for: the batch says so and
// plans every demand with the workers it could start (half of them, so that
// their connections find memory), instead of aborting.
TEST(BatchJobs, MoreJobsThanThreadsPlanWithTheWorkersThatStarted) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs far more address space than the limit leaves";
#endif
  TestDatabase db(Backend::SQLite);
  fill(db, 0);
  const std::string keysPath = scratchFile("many_keys");
  std::string keys;
  for (int k = 0; k < 150; ++k) keys += "WW1958\nPUMPE-4711\n";
  test::writeFile(keysPath, keys);
  const RunResult result =
      test::runCommand({"bash", "-c", "ulimit -v 400000 && exec \"$0\" \"$@\"", LOTSIZING_BATCH_BINARY,
                        db.dataSourceName(), "--keys", keysPath, "--jobs", "100000"});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_TRUE(
      std::regex_search(result.err, std::regex("^lotsizing-batch: only [0-9]+ of 300 jobs could be started: "
                                               "[^\n]+; [0-9]+ of them plan, leaving memory for their "
                                               "connections\n$")))
      << result.err;
  std::string summary;
  demandsOf(result.out, summary);
  EXPECT_TRUE(summary.starts_with("planned=300 refused=0 failed=0 ")) << summary;
  EXPECT_EQ(
      db.rows("select Bedarf, count(*) from LosGröße where Bedarf in ('WW1958','PUMPE-4711') group by Bedarf"
              " order by Bedarf"),
      (Rows{{"PUMPE-4711", "4"}, {"WW1958", "6"}}));
  std::remove(keysPath.c_str());
}

// Any failure that escapes ends the batch with one line and status 3, never
// with an abort: here memory runs out while a keys file with a long line is read.
TEST(BatchUnexpectedFailure, EndsWithOneLineAndStatusThree) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' allocator cannot be replaced";
#endif
  TestDatabase db(Backend::SQLite);
  fill(db, 0);
  const Rows before = lotsOf(db);
  const std::string keysPath = scratchFile("long_keys");
  test::writeFile(keysPath, "WW1958\n" + std::string(3000000, 'K') + "\n");
  const RunResult result =
      test::runCommand({LOTSIZING_BATCH_BINARY, db.dataSourceName(), "--keys", keysPath}, {},
                       {{"LD_PRELOAD", FAILING_MALLOC_LIBRARY}, {"LSZ_FAIL_ALLOCATIONS_ABOVE", "1000000"}});
  EXPECT_EQ(result.exitStatus, 3);
  EXPECT_EQ(result.err, "lotsizing-batch: unexpected failure: out of memory\n");
  EXPECT_EQ(lotsOf(db), before);
  std::remove(keysPath.c_str());
}

}  // namespace
}  // namespace mrp
