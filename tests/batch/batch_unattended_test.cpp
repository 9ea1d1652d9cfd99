// lotsizing-batch unattended: under the faults of a night (SQLite rolling a
// transaction back by itself on a trigger's raise(rollback) or a full disk, a
// connection lost during the commit, a server restart, a lock held long)
// every demand ends with exactly its old rows or exactly its new ones and the
// log says which; the exit status tells a monitor what to do, and --resume
// goes on over a chain of runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/commit_cutter.h"
#include "support/helpers.h"
#include "support/private_postgres.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::RunResult;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

/// `count` demands D000, D001, ...: every third one with large quantities
/// (lots above 3,000), each with two old rows that no plan writes (lot size -1).
std::vector<std::string> fillDemands(TestDatabase& db, int count) {
  std::vector<std::string> keys;
  TestDatabase::Batch batch(db);
  for (int d = 0; d < count; ++d) {
    const std::string key = std::string(d < 10 ? "D00" : d < 100 ? "D0" : "D") + std::to_string(d);
    keys.push_back(key);
    const std::string k = "'" + key + "'";
    std::string sql = "insert into Bedarf values (" + k + ",'2024-01-01 00:00:00',1,NULL);" +
                      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ";
    const char* factors[] = {"RüstKosten",    "StückKosten", "LosRaster", "KapitalbindungsZinssatz",
                             "PeriodenLänge", "Währung"};
    for (const char* name : factors) sql += "(" + k + ",'" + name + "',1),";
    sql += "(" + k + ",'ZinsJahr',360);";
    sql += "insert into Parameter(Bedarf,Periode,Parameter,Wert) values (" + k + ",1,'RüstKosten',500),(" +
           k + ",1,'StückKosten',1),(" + k + ",1,'KapitalbindungsZinssatz',0.5),(" + k + ",1,'LosRaster',1);";
    const int base = d % 3 == 0 ? 400 : 20 + d % 7;
    for (int day = 1; day <= 10; ++day) {
      sql += "insert into Termin(Bedarf,Termin,Menge) values (" + k + ",'2024-01-" + (day < 10 ? "0" : "") +
             std::to_string(day) + " 08:00:00'," + std::to_string(base + day) + ");";
    }
    sql += "insert into LosGröße values (" + k + ",1,-1,1),(" + k + ",2,-1,2);";
    db.exec(sql);
  }
  return keys;
}

/// The rows of LosGröße per demand, as the database's client prints them.
std::map<std::string, Rows> lotsByDemand(TestDatabase& db) {
  std::map<std::string, Rows> lots;
  for (auto& row : db.rows("select Bedarf,Termin,LosGröße,Kosten from LosGröße order by Bedarf,Termin"))
    lots[row[0]].push_back(row);
  return lots;
}

/// The outcome of every demand in a text log.
std::map<std::string, std::string> outcomesOf(const std::string& log) {
  std::map<std::string, std::string> outcomes;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const auto open = line.find(" \"");
    if (open == std::string::npos) continue;
    const auto close = line.find('"', open + 2);
    const std::string rest = line.substr(close + 2);
    // The outcome line; the demand's message lines follow it with another word.
    const std::string word = rest.substr(0, rest.find(' '));
    if (word == "planned" || word == "refused" || word == "failed")
      outcomes[line.substr(open + 2, close - open - 2)] = word;
  }
  return outcomes;
}

RunResult runBatch(const std::string& dataSource, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {LOTSIZING_BATCH_BINARY, dataSource};
  argv.insert(argv.end(), options.begin(), options.end());
  return test::runCommand(argv);
}

/// A batch started in the background, its standard error in a file.
class BackgroundBatch {
 public:
  BackgroundBatch(const std::string& dataSource, const std::vector<std::string>& options, std::string errPath)
      : errPath_(std::move(errPath)), child_(childOptions(dataSource, options, errPath_)) {}
  ~BackgroundBatch() { std::remove(errPath_.c_str()); }
  BackgroundBatch(const BackgroundBatch&) = delete;
  BackgroundBatch& operator=(const BackgroundBatch&) = delete;

  bool started() const noexcept { return child_.pid() > 0; }
  void signal(int number) const { child_.signal(number); }
  /// Waits for the end: the exit status, or 128 + the signal that ended it.
  int wait() { return child_.wait().exitStatus; }
  std::string err() const { return test::readFile(errPath_); }

 private:
  static test::ChildOptions childOptions(const std::string& dataSource,
                                         const std::vector<std::string>& options,
                                         const std::string& errPath) {
    test::ChildOptions child;
    child.argv = {LOTSIZING_BATCH_BINARY, dataSource};
    child.argv.insert(child.argv.end(), options.begin(), options.end());
    child.in = test::Stream::inherited();
    child.out = test::Stream::null();
    child.err = test::Stream::file(errPath);
    return child;
  }

  std::string errPath_;
  test::Child child_;
};

/// Waits (up to 30 s) until the file at `path` holds `count` lines with `part`.
bool waitForLines(const std::string& path, const std::string& part, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (test::count(test::readFile(path), part) < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

/// Checks that each demand has exactly its old or exactly its new rows, and
/// that the log calls the first failed and the second planned. Returns how
/// many were planned.
int expectOldOrNewAsLogged(const std::vector<std::string>& keys, const std::map<std::string, Rows>& old,
                           const std::map<std::string, Rows>& planned, const std::map<std::string, Rows>& now,
                           const std::string& log) {
  const auto outcomes = outcomesOf(log);
  const auto rowsOf = [](const std::map<std::string, Rows>& all, const std::string& key) {
    const auto found = all.find(key);
    return found == all.end() ? Rows{} : found->second;
  };
  int plannedCount = 0;
  for (const std::string& key : keys) {
    const Rows rows = rowsOf(now, key);
    const auto logged = outcomes.find(key);
    const std::string outcome = logged == outcomes.end() ? "not logged" : logged->second;
    if (rows == rowsOf(planned, key)) {
      EXPECT_EQ(outcome, "planned") << key << " has its new rows";
      ++plannedCount;
    } else if (rows == rowsOf(old, key)) {
      EXPECT_EQ(outcome, "failed") << key << " has its old rows";
    } else {
      ADD_FAILURE() << key << " is neither old nor new: " << rows.size() << " rows; logged " << outcome;
    }
  }
  return plannedCount;
}

/// The rows every demand gets from a batch that meets no fault.
std::map<std::string, Rows> plannedRows(Backend backend, int count) {
  TestDatabase reference(backend);
  fillDemands(reference, count);
  const RunResult result = runBatch(reference.dataSourceName(), {"--jobs", "1"});
  EXPECT_EQ(result.exitStatus, 0) << result.err << result.out;
  return lotsByDemand(reference);
}

// SQLite rolls the whole transaction back when a trigger raises rollback; its
// driver then runs the next statements in autocommit. Every demand must still
// end with its old or its new rows, logged truly, also for the demands that
// follow a failure on the same connection.
TEST(BatchFaults, SQLiteRollingBackByItselfLeavesEveryDemandOldOrNewAsLogged) {
  const std::map<std::string, Rows> planned = plannedRows(Backend::SQLite, 40);
  TestDatabase db(Backend::SQLite);
  const std::vector<std::string> keys = fillDemands(db, 40);
  db.exec(
      "create trigger Zurück before insert on LosGröße when new.LosGröße > 3000 "
      "begin select raise(rollback, 'zu groß'); end");
  const auto old = lotsByDemand(db);
  for (const char* jobs : {"1", "2"}) {
    const RunResult result = runBatch(db.dataSourceName(), {"--jobs", jobs});
    EXPECT_EQ(result.exitStatus, 3) << result.err;
    const int plannedCount = expectOldOrNewAsLogged(keys, old, planned, lotsByDemand(db), result.out);
    EXPECT_EQ(plannedCount, 26) << "the demands with small lots are planned, at " << jobs << " jobs";
  }
}

/// Mounts a file system of `bytes` at `path`; false where this machine does not
/// let the test do so (not root, no tmpfs).
bool mountSmallFileSystem(const std::string& path, std::size_t bytes) {
  std::filesystem::create_directories(path);
  const std::string options = "size=" + std::to_string(bytes);
  return ::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// A disk that fills while the batch stores: SQLite gives up statements with
// SQLITE_FULL and may roll the transaction back by itself.
TEST(BatchFaults, AFullDiskLeavesEveryDemandOldOrNewAsLogged) {
  const std::string mountPoint = test::scratchFolder() + "/full" + std::to_string(::getpid());
  TestDatabase db(Backend::SQLite);
  const std::vector<std::string> keys = fillDemands(db, 300);
  const std::size_t size = std::filesystem::file_size(db.name());
  if (!mountSmallFileSystem(mountPoint, size + 256 * 1024))
    GTEST_SKIP() << "cannot mount a small file system here";
  const std::string file = mountPoint + "/voll.db";
  std::filesystem::copy_file(db.name(), file);
  {  // leaves 16 KiB free
    const std::string filler = mountPoint + "/filler";
    std::FILE* out = std::fopen(filler.c_str(), "wb");
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), out) == block.size() && std::fflush(out) == 0) {
    }
    std::fclose(out);
    std::filesystem::resize_file(filler, std::filesystem::file_size(filler) - 16 * 1024);
  }
  const auto old = lotsByDemand(db);
  const std::map<std::string, Rows> planned = plannedRows(Backend::SQLite, 300);
  const RunResult result = runBatch("lsz_sqlite;Database=" + file, {"--jobs", "2"});
  std::filesystem::copy_file(file, db.name(), std::filesystem::copy_options::overwrite_existing);
  ::umount(mountPoint.c_str());
  std::filesystem::remove(mountPoint);
  EXPECT_EQ(result.exitStatus, 3) << result.err;
  const int plannedCount = expectOldOrNewAsLogged(keys, old, planned, lotsByDemand(db), result.out);
  EXPECT_LT(plannedCount, 300) << "the disk was never full";
}

class CommitLost : public testing::TestWithParam<Backend> {};

// The connection breaks after the server committed a demand's rows, before the
// program hears of it: the worker connects anew and plans the demand again, so
// that the log says planned, as the rows are.
TEST_P(CommitLost, TheWorkerPlansTheDemandAgainAndTheLogSaysPlanned) {
  const std::map<std::string, Rows> planned = plannedRows(GetParam(), 12);
  TestDatabase db(GetParam());
  const std::vector<std::string> keys = fillDemands(db, 12);
  const std::string folder = test::scratchFolder() + "/cut" + std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  std::string dataSource = db.dataSourceName();
  std::string listen;
  std::string server;
  if (GetParam() == Backend::MariaDB) {
    listen = folder + "/maria.sock";
    server = test::serverFolder() + "/msock/mariadb.sock";
    dataSource += ";Socket=" + listen;
  } else {
    listen = folder + "/.s.PGSQL.5432";
    server = test::serverFolder() + "/sock/.s.PGSQL.5432";
    dataSource += ";Servername=" + folder;
  }
  int cut = 0;
  RunResult result;
  {
    test::CommitCutter cutter(listen, server, 3);
    result = runBatch(dataSource, {"--jobs", "2"});
    cut = cutter.cut();
  }
  std::filesystem::remove_all(folder);
  EXPECT_EQ(cut, 3);
  EXPECT_EQ(result.exitStatus, 0) << result.err << result.out;
  EXPECT_EQ(lotsByDemand(db), planned);
  for (const auto& [key, outcome] : outcomesOf(result.out)) EXPECT_EQ(outcome, "planned") << key;
  EXPECT_EQ(outcomesOf(result.out).size(), keys.size());
}

INSTANTIATE_TEST_SUITE_P(Servers, CommitLost, testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                         [](const auto& info) { return test::backendName(info.param); });

// The exit statuses, one case each: what a monitor acts on.
TEST(BatchExitStatus, EveryEndHasItsOwn) {
  TestDatabase db(Backend::SQLite);
  fillDemands(db, 3);
  db.exec("insert into Bedarf values ('OHNE','2024-01-01 00:00:00',1,NULL)");
  std::vector<std::string> files;
  const auto keysFile = [&](const std::string& lines) {
    files.push_back(test::scratchFolder() + "/status_keys_" + std::to_string(::getpid()) + "_" +
                    std::to_string(files.size()));
    test::writeFile(files.back(), lines);
    return files.back();
  };
  struct Case {
    const char* what;
    std::vector<std::string> options;
    int status;
  };
  const std::vector<Case> cases = {
      {"every demand planned", {"--keys", keysFile("D000\nD001\n")}, 0},
      {"one refused for its data", {"--keys", keysFile("D000\nOHNE\n")}, 1},
      {"a usage error", {"--jobs", "0"}, 2},
      {"a keys file that cannot be read", {"--keys", "/nonexistent/keys"}, 2},
      {"a log that cannot be opened", {"--log", "/nonexistent/batch.log"}, 2},
  };
  for (const Case& c : cases) {
    const RunResult result = runBatch(db.dataSourceName(), c.options);
    EXPECT_EQ(result.exitStatus, c.status) << c.what << ": " << result.err;
  }
  EXPECT_EQ(runBatch("lsz_no_such_source", {}).exitStatus, 2) << "no connection at all";
  db.exec(
      "create trigger Nein before insert on LosGröße when new.Bedarf='D002' "
      "begin select raise(abort, 'nein'); end");
  EXPECT_EQ(runBatch(db.dataSourceName(), {"--keys", keysFile("D000\nD002\nOHNE\n")}).exitStatus, 3)
      << "one failed, one refused";
  for (const std::string& file : files) std::remove(file.c_str());
}

// SIGINT and SIGTERM let the demands in hand finish and end with 128 plus the
// signal; the summary says which, and standard error how to go on.
TEST(BatchExitStatus, ASignalEndsWithItsNumberAndTheCommandThatGoesOn) {
  TestDatabase db(Backend::SQLite);
  fillDemands(db, 300);
  for (const int signal : {SIGINT, SIGTERM}) {
    const std::string log = test::scratchFolder() + "/signal_" + std::to_string(::getpid()) + ".log";
    std::remove(log.c_str());
    BackgroundBatch batch(db.dataSourceName(), {"--jobs", "1", "--log", log}, log + ".err");
    ASSERT_TRUE(batch.started());
    ASSERT_TRUE(waitForLines(log, " planned ", 3));
    batch.signal(signal);
    EXPECT_EQ(batch.wait(), 128 + signal);
    const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_NE(test::readFile(log).find(", interrupted: " + name + "\n"), std::string::npos)
        << test::readFile(log);
    EXPECT_NE(batch.err().find("lotsizing-batch: to go on: " + std::string(LOTSIZING_BATCH_BINARY) + " '" +
                               db.dataSourceName() + "' --jobs 1 --log " + log + " --resume\n"),
              std::string::npos)
        << batch.err();
    std::remove(log.c_str());
  }
}

TEST(BatchExitStatus, HelpAndVersionGoToStandardOutput) {
  for (const auto& [option, start] :
       {std::pair{"--help", "usage: "}, std::pair{"--version", "lotsizing-batch 1."},
        std::pair{"-h", "usage: "}}) {
    const RunResult result = test::runCommand({LOTSIZING_BATCH_BINARY, option});
    EXPECT_EQ(result.exitStatus, 0) << option;
    EXPECT_TRUE(result.out.starts_with(start)) << option << ": " << result.out;
    EXPECT_EQ(result.err, "") << option;
  }
}

// A dry run stores nothing and says how many lots a real run would store.
TEST(BatchDryRun, TheSummarySaysHowManyLotsWouldBeStored) {
  TestDatabase db(Backend::SQLite);
  fillDemands(db, 12);
  const auto before = lotsByDemand(db);
  const RunResult dry = runBatch(db.dataSourceName(), {"--dry-run"});
  EXPECT_EQ(lotsByDemand(db), before);
  std::size_t lots = 0;
  const RunResult real = runBatch(db.dataSourceName(), {});
  for (const auto& [key, rows] : lotsByDemand(db)) lots += rows.size();
  EXPECT_NE(dry.out.find(" lots=0 would-store=" + std::to_string(lots) + " "), std::string::npos) << dry.out;
  EXPECT_NE(real.out.find(" lots=" + std::to_string(lots) + " "), std::string::npos) << real.out;
}

/// 2,000 demands on the private cluster, made by the server itself.
void fillManyDemands(test::PrivatePostgres& cluster) {
  cluster.exec(
      "create temporary table k as select 'D' || lpad(i::text, 4, '0') as b from generate_series(1, 2000) i;"
      "insert into Bedarf select b, '2024-01-01 00:00:00', 1, null from k;"
      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) select b, u, "
      "case u when 'ZinsJahr' then 360 else 1 end from k cross join (values ('RüstKosten'),('StückKosten'),"
      "('LosRaster'),('KapitalbindungsZinssatz'),('PeriodenLänge'),('Währung'),('ZinsJahr')) v(u);"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) select b, 1, p, w from k cross join (values "
      "('RüstKosten',500),('StückKosten',1),('KapitalbindungsZinssatz',0.5),('LosRaster',1)) v(p, w);"
      "insert into Termin(Bedarf,Termin,Menge) select b, timestamp '2024-01-01 08:00:00' + d * interval '1 "
      "day', "
      "20 + d from k cross join generate_series(0, 9) d;");
}

/// The keys that the entries of a text log planned.
std::set<std::string> plannedIn(const std::string& log) {
  std::set<std::string> planned;
  for (const auto& [key, outcome] : outcomesOf(log)) {
    if (outcome == "planned") planned.insert(key);
  }
  return planned;
}

// A server that stops for three seconds in the middle of a batch costs no
// demand; one that stays away longer than --wait-for-database stops the batch
// as an interrupt would (status 3), and --resume plans the rest later. A
// second --resume after a complete chain plans nothing.
TEST(BatchOutage, AServerRestartIsWaitedOutAndALongerOutageIsResumedLater) {
  test::PrivatePostgres cluster;
  fillManyDemands(cluster);
  const std::string log = test::scratchFolder() + "/outage_" + std::to_string(::getpid()) + ".log";
  std::remove(log.c_str());
  {
    BackgroundBatch batch(cluster.dataSourceName(), {"--jobs", "2", "--log", log}, log + ".err");
    ASSERT_TRUE(batch.started());
    ASSERT_TRUE(waitForLines(log, " planned ", 200));
    cluster.stop();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cluster.start();
    EXPECT_EQ(batch.wait(), 0) << batch.err();
  }
  EXPECT_EQ(plannedIn(test::readFile(log)).size(), 2000u);
  EXPECT_NE(test::readFile(log).find("summary: planned=2000 refused=0 failed=0 "), std::string::npos);

  std::remove(log.c_str());
  const std::vector<std::string> options = {"--jobs", "2", "--log", log, "--wait-for-database", "1"};
  {
    BackgroundBatch batch(cluster.dataSourceName(), options, log + ".err");
    ASSERT_TRUE(waitForLines(log, " planned ", 200));
    cluster.stop();
    EXPECT_EQ(batch.wait(), 3) << batch.err();
    EXPECT_NE(batch.err().find(" --wait-for-database 1 --resume\n"), std::string::npos) << batch.err();
  }
  const std::string interrupted = test::readFile(log);
  EXPECT_NE(interrupted.find(", interrupted: the database could not be reached for 1 s\n"), std::string::npos)
      << interrupted;
  EXPECT_EQ(interrupted.find(" failed "), std::string::npos) << "a demand failed for want of a database";
  const std::set<std::string> first = plannedIn(interrupted);
  EXPECT_LT(first.size(), 2000u);

  cluster.start();
  std::vector<std::string> resume = options;
  resume.push_back("--resume");
  const RunResult resumed = runBatch(cluster.dataSourceName(), resume);
  EXPECT_EQ(resumed.exitStatus, 0) << resumed.err;
  const std::string chain = test::readFile(log);
  const std::set<std::string> second = plannedIn(chain.substr(interrupted.size()));
  EXPECT_EQ(second.size(), 2000 - first.size()) << "the resumed batch plans what was left, no more";
  EXPECT_NE(chain.find(" demands, 2 jobs, resume: " + std::to_string(first.size()) + " skipped as done\n"),
            std::string::npos);

  const RunResult again = runBatch(cluster.dataSourceName(), resume);
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_NE(test::readFile(log).find("batch started: 0 demands, 2 jobs, resume: 2000 skipped as done\n"),
            std::string::npos);
  std::remove(log.c_str());
}

// MariaDB gives up a wait for a row lock after innodb_lock_wait_timeout (here
// one second) with error 1205: the batch waits on, so that runs for one demand
// queue on MariaDB as on PostgreSQL.
TEST(BatchLockWait, OnMariaDBATimedOutLockWaitIsTriedAgain) {
  TestDatabase db(Backend::MariaDB);
  fillDemands(db, 3);
  std::thread holder([&] {
    db.exec(
        "start transaction; select Bedarf from Bedarf where Bedarf='D001' for update; do sleep(3); commit;");
  });
  Rows sleeping;
  for (int i = 0; i < 3000 && sleeping.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sleeping = db.rows("select id from information_schema.processlist where state='User sleep' and db='" +
                       db.name() + "'");
  }
  ASSERT_FALSE(sleeping.empty()) << "the lock was never taken";
  const RunResult result =
      runBatch(db.dataSourceName() + ";InitStmt=set session innodb_lock_wait_timeout=1", {"--jobs", "1"});
  holder.join();
  EXPECT_EQ(result.exitStatus, 0) << result.err << result.out;
  EXPECT_EQ(outcomesOf(result.out).at("D001"), "planned") << result.out;
}

// A demand whose own work ends the session every time (a trigger) fails after a
// few new connections rather than holding its worker for the whole wait.
TEST(BatchOutage, ADemandThatEndsEverySessionFailsAndTheRestArePlanned) {
  TestDatabase db(Backend::PostgreSQL);
  const std::vector<std::string> keys = fillDemands(db, 6);
  db.exec(
      "create function ende() returns trigger language plpgsql as $$ begin "
      "if new.Bedarf = 'D002' then perform pg_terminate_backend(pg_backend_pid()); end if; "
      "return new; end $$;"
      "create trigger Ende before insert on LosGröße for each row execute function ende()");
  const auto start = std::chrono::steady_clock::now();
  const RunResult result = runBatch(db.dataSourceName(), {"--jobs", "1"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "waited for the database";
  EXPECT_EQ(result.exitStatus, 3) << result.err;
  const auto outcomes = outcomesOf(result.out);
  for (const std::string& key : keys)
    EXPECT_EQ(outcomes.at(key), key == "D002" ? "failed" : "planned") << key;
}

/// What a terminal shows after `bytes`: carriage return, line end and the
/// clearing of the rest of a line are followed, other bytes written in place.
std::vector<std::string> screenOf(const std::string& bytes) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string& line = lines.back();
    if (bytes.compare(i, 3, "\x1b[K") == 0) {
      line.resize(std::min(line.size(), column));
      i += 2;
    } else if (bytes[i] == '\r') {
      column = 0;
    } else if (bytes[i] == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      if (column < line.size())
        line[column] = bytes[i];
      else
        line.push_back(bytes[i]);
      ++column;
    }
  }
  return lines;
}

// On a terminal that shows the status line and the log at once, the status
// line is cleared before each log line: no log line lands behind it.
TEST(BatchTerminal, LogLinesNeverMixWithTheStatusLine) {
  TestDatabase db(Backend::SQLite);
  fillDemands(db, 20);
  const std::string command = std::string(LOTSIZING_BATCH_BINARY) + " '" + db.dataSourceName() + "' --jobs 1";
  const RunResult terminal = test::runCommand({"script", "-q", "-e", "-c", command, "/dev/null"});
  EXPECT_EQ(terminal.exitStatus, 0) << terminal.err;
  std::size_t entries = 0;
  for (const std::string& line : screenOf(terminal.out)) {
    const bool status = line.find(" done, ") != std::string::npos;
    const bool entry = line.find(" planned lots=") != std::string::npos;
    EXPECT_FALSE(status && entry) << line;
    if (entry) ++entries;
  }
  EXPECT_EQ(entries, 20u);
}

}  // namespace
}  // namespace mrp
