// Run mode: one whole run (load, compute, store) on SQLite through the real
// ODBC driver.
//
//   lotsizing_bench run [--due N] [--periods N] [--others N] [--other-due N]
//                       [--old-lots N] [--seed S] [--keep]
//
// Generates, in a scratch folder under /tmp, a SQLite database from
// sql/schema.sql holding the measured demand (default 1,000,000 due quantities
// over 5,000 daily periods, due at random times of day, time-phased costs and
// lot grid, ZinsJahr and Währung factors) among the rows of other demands
// (default 20 with 50,000 due quantities each) and old LosGröße rows of all of
// them. The rows of all demands are inserted interleaved by period, as a table
// filled over time would hold them. It writes an odbc.ini naming the driver by
// path and runs this program again with ODBCINI pointing at it (the driver
// manager reads ODBCINI at its first call, so it must be set before the
// process starts). The child times connect, load, compute, store and close,
// each with the peak resident memory after it, and the whole run end to end.
// Afterwards the stored rows are checked: lots exist for the measured demand,
// its old rows are gone, and the other demands' rows are unchanged. The folder
// is removed unless --keep is given.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

#include "bench_modes.h"
#include "db/connection.h"
#include "db/odbc_environment.h"
#include "demand/message_sink.h"
#include "lotsizing/lot_plan.h"
#include "planning_db/demand_queries.h"
#include "planning_db/lot_storage.h"
#include "support/scratch_folder.h"

namespace mrp::bench {
namespace {

constexpr char kMeasuredDemand[] = "MESSUNG-4711";
constexpr char kDataSource[] = "lsz_bench";
constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr char kDatabaseFile[] = "bench.db";
constexpr int kStartYear = 2024;  // the demands start on 1 January 2024 (OleDate 45292)
constexpr double kStartOleDate = 45292.0;
constexpr double kOldLotMarker = -1.0;  // Kosten of generated old rows; the run never stores it

struct Sizes {
  std::int64_t due = 0;
  std::int64_t periods = 0;
  std::int64_t others = 0;
  std::int64_t otherDue = 0;
  std::int64_t oldLots = 0;
  std::uint32_t seed = 1;
};

Sizes sizesFrom(const Arguments& args) {
  Sizes sizes;
  sizes.due = std::stoll(option(args, "--due", "1000000"));
  sizes.periods = std::stoll(option(args, "--periods", "5000"));
  sizes.others = std::stoll(option(args, "--others", "20"));
  sizes.otherDue = std::stoll(option(args, "--other-due", "50000"));
  sizes.oldLots = std::stoll(option(args, "--old-lots", "2000"));
  sizes.seed = static_cast<std::uint32_t>(std::stoul(option(args, "--seed", "1")));
  if (sizes.due < 1 || sizes.periods < 1 || sizes.others < 0 || sizes.otherDue < 1 || sizes.oldLots < 0) {
    throw std::invalid_argument("sizes must be positive");
  }
  return sizes;
}

// ---------------------------------------------------------------------------
// Scratch folder and generation (parent process, sqlite3 library)

/// A folder under /tmp, removed with everything in it when this goes away.
class SqliteDatabase {
 public:
  explicit SqliteDatabase(const std::filesystem::path& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) fail("open");
  }
  ~SqliteDatabase() { sqlite3_close(db_); }
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  void exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql.substr(0, 60));
  }
  sqlite3* handle() const { return db_; }
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("sqlite3: " + what + ": " + sqlite3_errmsg(db_));
  }

 private:
  sqlite3* db_ = nullptr;
};

/// One prepared statement, reset after every step.
class SqliteStatement {
 public:
  SqliteStatement(const SqliteDatabase& db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &statement_, nullptr) != SQLITE_OK) db.fail(sql);
  }
  ~SqliteStatement() { sqlite3_finalize(statement_); }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  SqliteStatement& text(int position, const std::string& value) {
    sqlite3_bind_text(statement_, position, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  SqliteStatement& integer(int position, std::int64_t value) {
    sqlite3_bind_int64(statement_, position, value);
    return *this;
  }
  SqliteStatement& real(int position, double value) {
    sqlite3_bind_double(statement_, position, value);
    return *this;
  }
  void run() {
    if (sqlite3_step(statement_) != SQLITE_DONE) db_.fail("step");
    sqlite3_reset(statement_);
  }
  /// Steps to the one result row; its columns are read with `column`.
  void fetch() {
    if (sqlite3_step(statement_) != SQLITE_ROW) db_.fail("fetch");
  }
  double column(int position) const { return sqlite3_column_double(statement_, position); }

 private:
  const SqliteDatabase& db_;
  sqlite3_stmt* statement_ = nullptr;
};

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// "YYYY-MM-DD HH:MM:SS" of `day` days and `second` seconds after the start.
std::string timestampText(std::int64_t day, std::int32_t second) {
  using namespace std::chrono;
  const year_month_day date{sys_days{year{kStartYear} / January / 1} + days{day}};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), second / 3600,
                second / 60 % 60, second % 60);
  return text;
}

std::string otherDemand(std::int64_t index) {
  char key[32];
  std::snprintf(key, sizeof key, "ANDERER-%03lld", static_cast<long long>(index + 1));
  return key;
}

void insertCatalogue(SqliteDatabase& db, const std::string& key, std::int64_t periods) {
  SqliteStatement header(db,
                         "insert into Bedarf(Bedarf,StartTermin,PeriodenLänge,Beschreibung)values(?,?,?,?)");
  header.text(1, key).text(2, timestampText(0, 0)).integer(3, 1).text(4, "Tagesplanung " + key).run();

  struct Factor {
    const char* name;
    double factor;
    const char* description;
  };
  constexpr Factor kFactors[] = {{"RüstKosten", 1.0, "Euro je Rüstvorgang"},
                                 {"StückKosten", 1.0, "Euro je Stück"},
                                 {"LosRaster", 1.0, "Stück"},
                                 {"KapitalbindungsZinssatz", 0.01, "Prozent je Zinsjahr"},
                                 {"WagnisZinssatz", 0.01, "Prozent je Zinsjahr"},
                                 {"PeriodenLänge", 1.0, "Tage"},
                                 {"ZinsJahr", 360.0, "Zinstage je Jahr"},
                                 {"Währung", 1.95583, "DM je Euro"}};
  SqliteStatement factor(db,
                         "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor,Beschreibung)"
                         "values(?,?,?,?)");
  for (const Factor& f : kFactors)
    factor.text(1, key).text(2, f.name).real(3, f.factor).text(4, f.description).run();

  // Every parameter changes about 20 times over the horizon, at staggered periods.
  SqliteStatement parameter(db, "insert into Parameter(Bedarf,Periode,Parameter,Wert)values(?,?,?,?)");
  const std::int64_t step = std::max<std::int64_t>(1, periods / 20);
  constexpr double kGrids[] = {1, 5, 10, 20, 5};
  for (std::int64_t k = 0; k * step < periods; ++k) {
    const std::int64_t periode = 1 + k * step;
    parameter.text(1, key).integer(2, periode).text(3, "RüstKosten").real(4, 150.0 + 20.0 * (k % 7)).run();
    parameter.text(1, key).integer(2, periode).text(3, "StückKosten").real(4, 40.0 + 1.5 * (k % 5)).run();
    parameter.text(1, key).integer(2, periode).text(3, "LosRaster").real(4, kGrids[k % 5]).run();
    parameter.text(1, key)
        .integer(2, periode + step / 3)
        .text(3, "KapitalbindungsZinssatz")
        .real(4, 8.0 + 0.5 * (k % 3))
        .run();
    parameter.text(1, key)
        .integer(2, periode + step / 2)
        .text(3, "WagnisZinssatz")
        .real(4, 2.0 + 0.25 * (k % 4))
        .run();
  }
}

struct DemandRows {
  std::string key;
  std::int64_t count = 0;  // due quantities
  std::int64_t next = 0;   // the next one to insert; row j falls into period j * periods / count
};

/// Inserts the due quantities of all demands period by period, each demand's
/// rows of one period at random times of day.
void insertDueQuantities(SqliteDatabase& db, std::vector<DemandRows>& demands, std::int64_t periods,
                         std::mt19937& random) {
  SqliteStatement due(db, "insert into Termin(Bedarf,Termin,Menge)values(?,?,?)");
  std::uniform_int_distribution<std::int32_t> secondOfDay(0, 86'399);
  std::uniform_int_distribution<std::int32_t> quantity(1, 60);
  for (std::int64_t period = 0; period < periods; ++period) {
    for (DemandRows& demand : demands) {
      for (; demand.next < demand.count && demand.next * periods / demand.count == period; ++demand.next) {
        due.text(1, demand.key)
            .text(2, timestampText(period, secondOfDay(random)))
            .integer(3, quantity(random))
            .run();
      }
    }
  }
}

void insertOldLots(SqliteDatabase& db, const std::vector<DemandRows>& demands, std::int64_t perDemand,
                   std::int64_t periods) {
  SqliteStatement lot(db, "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)");
  for (std::int64_t row = 0; row < perDemand; ++row) {
    for (const DemandRows& demand : demands) {
      lot.text(1, demand.key)
          .real(2, kStartOleDate + static_cast<double>(row * periods / perDemand))
          .integer(3, 100 + row % 50)
          .real(4, kOldLotMarker)
          .run();
    }
  }
}

void generateDatabase(const std::filesystem::path& file, const Sizes& sizes) {
  SqliteDatabase db(file);
  db.exec("pragma journal_mode=off; pragma synchronous=off; pragma cache_size=-262144;");
  db.exec(readFile(std::filesystem::path(LOTSIZING_SOURCE_DIR) / "sql" / "schema.sql"));
  db.exec("begin");
  std::vector<DemandRows> demands{{kMeasuredDemand, sizes.due, 0}};
  for (std::int64_t i = 0; i < sizes.others; ++i) demands.push_back({otherDemand(i), sizes.otherDue, 0});
  for (const DemandRows& demand : demands) insertCatalogue(db, demand.key, sizes.periods);
  std::mt19937 random(sizes.seed);
  insertDueQuantities(db, demands, sizes.periods, random);
  insertOldLots(db, demands, sizes.oldLots, sizes.periods);
  db.exec("commit");
  db.exec("analyze");
}

void writeOdbcIni(const std::filesystem::path& file, const std::filesystem::path& database) {
  std::ofstream ini(file);
  ini << "[" << kDataSource << "]\nDriver = " << kSqliteDriver << "\nDatabase = " << database.string()
      << "\nTimeout = 10000\n";
  if (!ini.flush()) throw std::runtime_error("cannot write " + file.string());
}

// ---------------------------------------------------------------------------
// Checks of the stored rows (parent process, after the run)

/// Count and column sums of the LosGröße rows that belong (or do not belong) to `key`.
struct LotFingerprint {
  double rows = 0, termin = 0, lots = 0, costs = 0, minTermin = 0, maxTermin = 0, marked = 0;
  bool operator==(const LotFingerprint&) const = default;
};

LotFingerprint fingerprint(const SqliteDatabase& db, const char* relation) {
  const std::string sql = std::string(
                              "select count(*),total(Termin),total(LosGröße),total(Kosten),"
                              "min(Termin),max(Termin),total(Kosten=") +
                          std::to_string(kOldLotMarker) + ") from LosGröße where Bedarf" + relation + "?";
  SqliteStatement query(db, sql.c_str());
  query.text(1, kMeasuredDemand).fetch();
  return {query.column(0), query.column(1), query.column(2), query.column(3),
          query.column(4), query.column(5), query.column(6)};
}

double dueTotal(const SqliteDatabase& db) {
  SqliteStatement query(db, "select total(Menge) from Termin where Bedarf=?");
  query.text(1, kMeasuredDemand).fetch();
  return query.column(0);
}

/// Prints what the run left in LosGröße; false when it is not sane.
bool checkStoredRows(const std::filesystem::path& file, const LotFingerprint& othersBefore,
                     const Sizes& sizes) {
  const SqliteDatabase db(file);
  const LotFingerprint measured = fingerprint(db, "=");
  const LotFingerprint others = fingerprint(db, "<>");
  const double due = dueTotal(db);
  const bool lotsStored = measured.rows > 0;
  const bool oldRowsGone = measured.marked == 0;
  const bool lotsCoverDue = measured.lots >= due;
  const bool datesInHorizon = measured.minTermin == kStartOleDate &&
                              measured.maxTermin < kStartOleDate + static_cast<double>(sizes.periods);
  const bool othersUntouched = others == othersBefore;
  std::printf(
      "stored: %.0f lots for %s, %.0f pieces for %.0f due (%s), order dates %.0f..%.0f (%s), "
      "old rows %s\n",
      measured.rows, kMeasuredDemand, measured.lots, due, lotsCoverDue ? "covered" : "NOT COVERED",
      measured.minTermin, measured.maxTermin, datesInHorizon ? "in horizon" : "OUT OF HORIZON",
      oldRowsGone ? "gone" : "STILL THERE");
  std::printf("other demands: %.0f rows %s\n", others.rows, othersUntouched ? "untouched" : "CHANGED");
  return lotsStored && oldRowsGone && lotsCoverDue && datesInHorizon && othersUntouched;
}

// ---------------------------------------------------------------------------
// The measured run (child process, ODBC)

void printPhase(const char* phase, double ms) {
  std::printf("%12s %12.2f %10.1f\n", phase, ms, peakResidentMiB());
  std::fflush(stdout);
}

/// The run sequence of the program, each step timed. Returns the exit status.
int runMeasured() {
  std::printf("%12s %12s %10s\n", "phase", "ms", "peak MiB");
  std::fflush(stdout);
  Stopwatch total;
  Stopwatch watch;
  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) {
    std::fprintf(stderr, "run: no ODBC environment\n");
    return 1;
  }
  try {
    std::optional<Connection> connection;
    connection.emplace(*environment, std::string("DSN=") + kDataSource);
    printPhase("connect", watch.lap());
    MessageList messages;
    std::optional<LoadedDemand> demand = loadDemand(*connection, kMeasuredDemand, messages);
    printPhase("load", watch.lap());
    std::optional<LotPlan> plan = planLots(*demand, messages);
    printPhase("compute", watch.lap());
    if (!plan) {
      std::fprintf(stderr, "\nrun: the plan was refused\n");
      return 1;
    }
    storeLots(*connection, demand->demandKey, plan->lots);
    printPhase("store", watch.lap());
    connection->close();
    connection.reset();
    demand.reset();
    plan.reset();
    environment.reset();
    printPhase("close", watch.lap());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "\nrun: %s\n", error.what());
    return 1;
  }
  printPhase("end to end", total.lap());
  return 0;
}

int generateAndRun(const Arguments& args) {
  const Sizes sizes = sizesFrom(args);
  std::printf(
      "run: %s with %lld due quantities over %lld periods, among %lld other demands with %lld each; "
      "%lld old lots per demand\n",
      kMeasuredDemand, static_cast<long long>(sizes.due), static_cast<long long>(sizes.periods),
      static_cast<long long>(sizes.others), static_cast<long long>(sizes.otherDue),
      static_cast<long long>(sizes.oldLots));
  test::ScratchFolder scratch("lsz-bench");
  if (hasFlag(args, "--keep")) scratch.keep();
  const std::filesystem::path database = scratch.path() / kDatabaseFile;

  Stopwatch watch;
  generateDatabase(database, sizes);
  const double generation = watch.lap();
  std::printf("generation: %.0f ms, database %.1f MiB (not part of the run)\n", generation,
              static_cast<double>(std::filesystem::file_size(database)) / (1024.0 * 1024.0));
  const LotFingerprint othersBefore = fingerprint(SqliteDatabase(database), "<>");

  const std::filesystem::path ini = scratch.path() / "odbc.ini";
  writeOdbcIni(ini, database);
  setenv("ODBCINI", ini.c_str(), 1);
  const int child = runChild({"run", "--child"});
  if (child != 0) {
    std::fprintf(stderr, "run: the measured run failed (status %d)\n", child);
    return 1;
  }
  const bool sane = checkStoredRows(database, othersBefore, sizes);
  if (hasFlag(args, "--keep")) std::printf("kept: %s\n", scratch.path().c_str());
  return sane ? 0 : 1;
}

}  // namespace

int runRunMode(const Arguments& args) {
  if (hasFlag(args, "--child")) return runMeasured();
  try {
    return generateAndRun(args);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "run: %s\n", error.what());
    return 1;
  }
}

}  // namespace mrp::bench
