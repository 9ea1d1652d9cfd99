// lotsizing-batch end to end on SQLite and PostgreSQL: every demand planned
// exactly as a single-demand run plans it, at one job and at four; batches and
// shards at the same time; an interrupted batch and its resumption.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_encoding.h"
#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

extern char** environ;

namespace mrp {
namespace {

using test::Backend;
using test::RunResult;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

/// The demands of the batch database: the two examples, sane generated ones,
/// refused ones, one with bad rows and one whose lots a trigger refuses.
std::vector<std::string> fill(TestDatabase& db, int generated) {
  db.exec(test::readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/example_data.sql"));
  std::vector<std::string> keys = {"WW1958", "PUMPE-4711", "OHNE-ZINSJAHR", "OHNE-RASTER", "M\xC3\xA4ngel", "FALLE"};
  std::string sql;
  const auto demand = [&sql](const std::string& key, bool interestYear, bool grid) {
    sql += "insert into Bedarf values ('" + key + "','2024-01-01 00:00:00',1,NULL);";
    sql += "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ('" + key +
           "','RüstKosten',1),('" + key + "','StückKosten',1),('" + key + "','LosRaster',1),('" + key +
           "','KapitalbindungsZinssatz',1),('" + key + "','PeriodenLänge',1),('" + key + "','Währung',1)" +
           (interestYear ? ",('" + key + "','ZinsJahr',360);" : ";");
    sql += "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + key + "',1,'RüstKosten',50),('" +
           key + "',1,'StückKosten',360),('" + key + "',1,'KapitalbindungsZinssatz',0.5)" +
           (grid ? ",('" + key + "',1,'LosRaster',2);" : ";");
    for (int d = 0; d < 20; ++d) {
      sql += "insert into Termin(Bedarf,Termin,Menge) values ('" + key + "','2024-01-" +
             (d < 9 ? "0" : "") + std::to_string(d + 1) + " 08:00:00'," + std::to_string(3 + d * 7 % 11) + ");";
    }
    sql += "insert into LosGröße values ('" + key + "',1,1,1);";
  };
  demand("OHNE-ZINSJAHR", false, true);
  demand("OHNE-RASTER", true, false);
  demand("M\xC3\xA4ngel", true, true);
  sql += "insert into Termin(Bedarf,Termin,Menge) values ('M\xC3\xA4ngel',NULL,4),('M\xC3\xA4ngel','2024-01-05 09:00:00',NULL);"
         "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('M\xC3\xA4ngel',1,'Zinsjahr',1);";
  demand("FALLE", true, true);
  for (int g = 0; g < generated; ++g) {
    const std::string key = "G" + std::to_string(1000 + g);
    demand(key, true, true);
    keys.push_back(key);
  }
  sql += "insert into LosGröße values ('WW1958',1,1,1),('PUMPE-4711',2,2,2);";
  db.exec(sql);
  db.refuseLotsWhere("Falle", "new.Bedarf = 'FALLE'", "keine Lose für FALLE");
  return keys;
}

Rows lotsOf(TestDatabase& db) {
  return db.rows("select Bedarf,Termin,LosGröße,Kosten from LosGröße order by Bedarf,Termin,LosGröße");
}

/// One demand's entry of a text log.
struct LoggedDemand {
  std::string outcome;
  std::vector<std::string> messages;
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
    if (rest.starts_with("message: ")) {
      demands[key].messages.push_back(rest.substr(9));
    } else {
      demands[key].outcome = rest.substr(0, rest.find(' '));
    }
  }
  return demands;
}

RunResult runBatch(const TestDatabase& db, std::vector<std::string> options) {
  std::vector<std::string> argv = {LOTSIZING_BATCH_BINARY, db.dataSourceName()};
  argv.insert(argv.end(), options.begin(), options.end());
  return test::runCommand(argv);
}

class BatchRun : public testing::TestWithParam<Backend> {};

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
    EXPECT_EQ(result.exitStatus, 1) << result.err;
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
      std::string banners;
      for (const std::string& message : entry.messages) banners += test::banner(utf8ToCp850(message));
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
  db.exec(test::readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/example_data.sql") +
          "insert into Termin(Bedarf,Termin,Menge) with recursive n(i) as (select 1 union all"
          " select i+1 from n where i<300000) select 'PUMPE-4711','2027-01-05 08:00:00',1 from n;");
  const RunResult result =
      test::runCommand({LOTSIZING_BATCH_BINARY, db.dataSourceName(), "--jobs", "1"}, {},
                       {{"LD_PRELOAD", FAILING_MALLOC_LIBRARY}, {"LSZ_FAIL_ALLOCATIONS_ABOVE", "4000000"}});
  EXPECT_EQ(result.exitStatus, 1) << result.err;
  std::string summary;
  const auto demands = demandsOf(result.out, summary);
  ASSERT_EQ(demands.count("PUMPE-4711"), 1u) << result.out;
  EXPECT_EQ(demands.at("PUMPE-4711").outcome, "failed");
  EXPECT_EQ(demands.at("PUMPE-4711").messages, std::vector<std::string>{"Nicht genug Arbeitsspeicher"});
  ASSERT_EQ(demands.count("WW1958"), 1u) << result.out;
  EXPECT_EQ(demands.at("WW1958").outcome, "planned");
}

// Keys are read whole however long: SQLite keeps a key of any length.
TEST(BatchKeys, KeysLongerThanAnyBufferArePlannedAsTheSingleRunPlansThem) {
  TestDatabase db(Backend::SQLite);
  db.exec(test::readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/example_data.sql"));
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
  db.exec(test::readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/example_data.sql") +
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
// demand ends with exactly one run's rows, and the shards plan every key once.
class BatchesAtOnce : public testing::TestWithParam<Backend> {};

TEST_P(BatchesAtOnce, TwoBatchesAndFourShardsLeaveOneRunsRowsPerDemand) {
  TestDatabase single(GetParam());
  const std::vector<std::string> keys = fill(single, 40);
  for (const std::string& key : keys) test::runProgramOnce({single.dataSourceName(), key}, test::Capture::Separate);
  const Rows expected = lotsOf(single);

  TestDatabase db(GetParam());
  fill(db, 40);
  std::vector<RunResult> results(6);
  std::vector<std::thread> threads;
  for (int b = 0; b < 2; ++b) threads.emplace_back([&, b] { results[b] = runBatch(db, {"--jobs", "2"}); });
  for (int s = 1; s <= 4; ++s) {
    threads.emplace_back([&, s] { results[1 + s] = runBatch(db, {"--jobs", "2", "--shard", std::to_string(s) + "/4"}); });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(lotsOf(db), expected);
  std::map<std::string, int> sharded;
  for (int s = 2; s < 6; ++s) {
    EXPECT_EQ(results[s].err, "");
    std::string summary;
    for (const auto& [key, entry] : demandsOf(results[s].out, summary)) ++sharded[key];
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
  db.exec("drop trigger Falle on LosGröße; create sequence bruch;"
          "create function bruch() returns trigger language plpgsql as $$ begin "
          "if new.Bedarf = 'G1003' and nextval('bruch') = 1 then perform pg_terminate_backend(pg_backend_pid()); "
          "end if; return new; end $$;"
          "create trigger Bruch before insert on LosGröße for each row execute function bruch()");
  const RunResult result = runBatch(db, {"--jobs", "2"});
  std::string summary;
  const auto logged = demandsOf(result.out, summary);
  EXPECT_EQ(logged.at("G1003").outcome, "planned") << result.out;
  EXPECT_EQ(logged.at("FALLE").outcome, "planned") << "no trigger refuses it here";
  EXPECT_NE(summary.find(" failed=0 "), std::string::npos) << summary;
  EXPECT_NE(db.rows("select last_value from bruch"), (Rows{{"1"}})) << "the demand was tried again";
  EXPECT_FALSE(db.rows("select 1 from LosGröße where Bedarf='G1003' and Kosten > 1").empty());
}

/// Starts the batch with its log in `logPath`; returns the child's pid.
pid_t startBatch(const TestDatabase& db, const std::string& logPath, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {LOTSIZING_BATCH_BINARY, db.dataSourceName(), "--log", logPath};
  argv.insert(argv.end(), options.begin(), options.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) return -1;
  return pid;
}

// The same on MariaDB, where a trigger cannot end its own session: the first
// lot of G1003 waits in the trigger until the test kills that connection from
// outside.
TEST(BatchConnectionLost, OnMariaDBTheWorkerConnectsAnewToo) {
  TestDatabase db(Backend::MariaDB);
  fill(db, 6);
  db.exec("drop trigger Falle; create sequence bruch;\n"
          "delimiter $$\ncreate trigger Bruch before insert on LosGröße for each row "
          "if new.Bedarf = 'G1003' and nextval(bruch) = 1 then do sleep(60); end if$$\ndelimiter ;\n");
  const std::string logPath = test::scratchFolder() + "/lost_" + std::to_string(::getpid()) + ".log";
  const pid_t pid = startBatch(db, logPath, {"--jobs", "2"});
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  Rows sleeping;
  while (sleeping.empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sleeping = db.rows("select id from information_schema.processlist where state='User sleep' and db='" +
                       db.name() + "'");
  }
  ASSERT_EQ(sleeping.size(), 1u) << "the first lot of G1003 never reached the trigger";
  db.exec("kill connection " + sleeping[0][0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
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
  ASSERT_EQ(reference.exitStatus, 1) << reference.err;
  std::string referenceSummary;
  const auto referenceOutcomes = demandsOf(reference.out, referenceSummary);
  for (const std::string& key : keys) {
    if (key.starts_with("G")) {
      ASSERT_EQ(referenceOutcomes.at(key).outcome, "planned") << reference.out;
    }
  }
  const Rows expected = lotsOf(single);

  TestDatabase db(Backend::PostgreSQL);
  fill(db, 400);
  const Rows old = lotsOf(db);
  const std::string logPath = test::scratchFolder() + "/batch_" + std::to_string(::getpid()) + ".log";
  const pid_t pid = startBatch(db, logPath, {"--jobs", "2"});
  ASSERT_GT(pid, 0);
  // Interrupt once some demands are done.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (test::count(test::readFile(logPath), " planned ") < 20 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::string summary;
  const auto done = demandsOf(test::readFile(logPath), summary);
  EXPECT_TRUE(summary.ends_with(", interrupted")) << summary;
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

  const pid_t resumed = startBatch(db, logPath, {"--jobs", "2", "--resume"});
  ASSERT_EQ(waitpid(resumed, &status, 0), resumed);
  const auto rest = demandsOf(test::readFile(logPath), summary);
  EXPECT_EQ(lotsOf(db), expected);
  EXPECT_EQ(rest.size(), keys.size());
  std::remove(logPath.c_str());
}

}  // namespace
}  // namespace mrp
