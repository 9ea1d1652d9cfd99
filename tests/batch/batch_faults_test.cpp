// lotsizing-batch under the faults of unattended nights: SQLite rolling a
// transaction back by itself (a trigger's raise(rollback), a full disk) and a
// connection lost during the commit. Whatever happens, every demand ends with
// exactly its old rows or exactly its new ones, and the log says which.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/commit_cutter.h"
#include "support/helpers.h"
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
    const char* factors[] = {"RüstKosten", "StückKosten", "LosRaster", "KapitalbindungsZinssatz",
                             "PeriodenLänge", "Währung"};
    for (const char* name : factors) sql += "(" + k + ",'" + name + "',1),";
    sql += "(" + k + ",'ZinsJahr',360);";
    sql += "insert into Parameter(Bedarf,Periode,Parameter,Wert) values (" + k + ",1,'RüstKosten',500),(" + k +
           ",1,'StückKosten',1),(" + k + ",1,'KapitalbindungsZinssatz',0.5),(" + k + ",1,'LosRaster',1);";
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
    if (word == "planned" || word == "refused" || word == "failed") outcomes[line.substr(open + 2, close - open - 2)] = word;
  }
  return outcomes;
}

RunResult runBatch(const std::string& dataSource, const std::vector<std::string>& options) {
  std::vector<std::string> argv = {LOTSIZING_BATCH_BINARY, dataSource};
  argv.insert(argv.end(), options.begin(), options.end());
  return test::runCommand(argv);
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
  db.exec("create trigger Zurück before insert on LosGröße when new.LosGröße > 3000 "
          "begin select raise(rollback, 'zu groß'); end");
  const auto old = lotsByDemand(db);
  for (const char* jobs : {"1", "2"}) {
    const RunResult result = runBatch(db.dataSourceName(), {"--jobs", jobs});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
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
  if (!mountSmallFileSystem(mountPoint, size + 256 * 1024)) GTEST_SKIP() << "cannot mount a small file system here";
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
  EXPECT_EQ(result.exitStatus, 1) << result.err;
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
    server = test::scratchFolder() + "/msock/mariadb.sock";
    dataSource += ";Socket=" + listen;
  } else {
    listen = folder + "/.s.PGSQL.5432";
    server = test::scratchFolder() + "/sock/.s.PGSQL.5432";
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

}  // namespace
}  // namespace mrp
