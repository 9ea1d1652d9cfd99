// Batch mode: lotsizing-batch over a whole database beside the floor.
//
//   lotsizing_bench batch [--demands N] [--due N] [--periods N] [--jobs 1,2]
//                         [--pg-dsn DSN] [--maria-dsn DSN] [--no-sqlite]
//                         [--without-indexes] [--repeat R] [--loop-sample N]
//                         [--batch-binary PATH] [--keep]
//
// Fills a planning database with N demands (default 10,000) of 100 due
// quantities over about 100 daily periods each (keys as floorKey makes them), on SQLite (a scratch file)
// and, with --pg-dsn or --maria-dsn, on PostgreSQL or MariaDB (a scratch
// database created through that data source, which ODBCINI must name). The
// rows are made by the database itself (one insert-select per table), the
// indexes built afterwards and the statistics refreshed.
//
// On every database it times lotsizing-batch over all demands for each number
// of jobs, with the peak resident memory of its process, and the floor: a
// plain ODBC program that reads every input row once and writes as many lots
// as the batch stored (floor_program.h). It prints the batch's demands per
// second and its time as a multiple of the floor's, the medians of R runs.
// With --without-indexes it then drops the tables' indexes (the primary key
// of Bedarf stays) and measures again. With --loop-sample N it also times one
// lotsizing process per demand over the first N demands, as many at once as
// jobs. --batch-binary measures another build of lotsizing-batch; --keep
// keeps the servers' databases for a closer look.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_modes.h"
#include "db/connection.h"
#include "db/odbc_environment.h"
#include "db/statement.h"
#include "floor_program.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"

namespace mrp::bench {
namespace {

constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

struct Sizes {
  std::int64_t demands = 10'000;
  std::int64_t due = 100;
  std::int64_t periods = 100;
  std::vector<int> jobs = {1, 2};
  int repeat = 1;
  int loopSample = 0;
  std::string batchBinary = LOTSIZING_BATCH_BINARY;
};

enum class Sql { SQLite, PostgreSQL, MariaDB };

/// A database to measure on.
struct Backend {
  const char* name;
  Sql sql;
  std::string dsn;  // of the server's administrative data source; SQLite's own
  const char* schemaFile;
};

// The dialects' ways to make rows: a derived table `alias` with a column n
// counting from 0 to count-1, a demand's key of n, and a timestamp.

std::string numbers(Sql sql, std::int64_t count, const char* alias) {
  const std::string last = std::to_string(count - 1);
  switch (sql) {
    case Sql::PostgreSQL: return "generate_series(0," + last + ") " + alias + "(n)";
    case Sql::MariaDB: return "(select seq n from seq_0_to_" + last + ") " + alias;
    case Sql::SQLite: break;
  }
  return "(with recursive c(n) as (select 0 union all select n+1 from c where n<" + last + ") select n from c) " +
         alias;
}

std::string keyOfRow(Sql sql) {
  switch (sql) {
    case Sql::PostgreSQL: return "'B'||lpad(d.n::text,7,'0')";
    case Sql::MariaDB: return "concat('B',lpad(d.n,7,'0'))";
    case Sql::SQLite: break;
  }
  return "printf('B%07d',d.n)";
}

/// 06:00 on the day `days` after 2024-01-01 (midnight when `days` is empty).
std::string timestamp(Sql sql, const std::string& days) {
  switch (sql) {
    case Sql::PostgreSQL: return "timestamp '2024-01-01 06:00:00' + (" + days + ") * interval '1 day'";
    case Sql::MariaDB: return "timestamp '2024-01-01 06:00:00' + interval (" + days + ") day";
    case Sql::SQLite: break;
  }
  return "datetime('2024-01-01 06:00:00','+'||(" + days + ")||' days')";
}

std::string dayOfDue(Sql sql, const Sizes& sizes) {
  const char* divide = sql == Sql::MariaDB ? " div " : "/";
  return "i.n*" + std::to_string(sizes.periods) + divide + std::to_string(sizes.due);
}

std::vector<std::string> fillStatements(Sql sql, const Sizes& sizes) {
  const std::string demands = numbers(sql, sizes.demands, "d");
  const std::string k = keyOfRow(sql);
  const std::string start = sql == Sql::SQLite ? "'2024-01-01 00:00:00'" : "timestamp '2024-01-01 00:00:00'";
  return {
      "insert into Bedarf(Bedarf,StartTermin,PeriodenLänge) select " + k + "," + start + ",1 from " + demands,
      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) select " + k + ",f.u,f.v from " +
          demands +
          ",(select 'RüstKosten' u,1 v union all select 'StückKosten',1 union all select 'LosRaster',1 "
          "union all select 'KapitalbindungsZinssatz',1 union all select 'WagnisZinssatz',1 "
          "union all select 'PeriodenLänge',1 union all select 'ZinsJahr',360 union all select 'Währung',1) f",
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) select " + k + ",1,p.u,p.v+p.w*(d.n%50) from " +
          demands +
          ",(select 'RüstKosten' u,50.0 v,1 w union all select 'StückKosten',20,0 "
          "union all select 'LosRaster',5,0 union all select 'KapitalbindungsZinssatz',0.1,0 "
          "union all select 'WagnisZinssatz',0.05,0) p",
      "insert into Termin(Bedarf,Termin,Menge) select " + k + "," + timestamp(sql, dayOfDue(sql, sizes)) +
          ",1+(i.n*7+d.n)%30 from " + demands + "," + numbers(sql, sizes.due, "i"),
  };
}

const char* analyze(Sql sql) {
  return sql == Sql::MariaDB ? "analyze table Bedarf, UmrechnungsFaktor, Parameter, Termin, LosGröße" : "analyze";
}

bool isIndex(const std::string& statement) { return statement.find("create index") != std::string::npos; }

/// "drop index" for a schema's "create index <name> on <table> (...)".
std::string dropIndex(Sql sql, const std::string& create) {
  std::istringstream words(create.substr(create.find("create index")));
  std::string skip, name, on, table;
  words >> skip >> skip >> name >> on >> table;
  return "drop index " + name + (sql == Sql::MariaDB ? " on " + table : "");
}

/// Tables, rows, then indexes and statistics: a database as a planner's would be.
void fill(Connection& connection, const Backend& backend, const Sizes& sizes) {
  const std::vector<std::string> schema = schemaStatements(backend.schemaFile);
  for (const std::string& statement : schema)
    if (!isIndex(statement)) execute(connection, statement);
  for (const std::string& statement : fillStatements(backend.sql, sizes)) execute(connection, statement);
  for (const std::string& statement : schema)
    if (isIndex(statement)) execute(connection, statement);
  execute(connection, analyze(backend.sql));
}

void dropIndexes(Connection& connection, const Backend& backend) {
  for (const std::string& statement : schemaStatements(backend.schemaFile))
    if (isIndex(statement)) execute(connection, dropIndex(backend.sql, statement));
  execute(connection, analyze(backend.sql));
}

struct Timed {
  double seconds = 0;
  double peakMiB = 0;
  int status = 0;
};

/// Runs `argv` quietly (output to /dev/null) and times it.
Timed runQuietly(const std::vector<std::string>& argv) {
  test::ChildOptions child;
  child.argv = argv;
  child.in = test::Stream::inherited();
  child.out = child.err = test::Stream::null();
  Stopwatch watch;
  try {
    const test::ChildResult result = test::runChild(child);
    return {watch.lap() / 1000.0, static_cast<double>(result.peakKilobytes) / 1024.0, result.exitStatus};
  } catch (const std::exception&) {
    return {0, 0, 127};  // as a shell says of a program it cannot start
  }
}

template <typename T>
T median(std::vector<T> values, double T::*field) {
  std::sort(values.begin(), values.end(), [&](const T& a, const T& b) { return a.*field < b.*field; });
  return values[values.size() / 2];
}

Timed batchRun(const std::string& dsn, int jobs, const Sizes& sizes) {
  std::vector<Timed> runs;
  for (int r = 0; r < sizes.repeat; ++r) {
    runs.push_back(runQuietly({sizes.batchBinary, dsn, "--jobs", std::to_string(jobs)}));
    if (runs.back().status != 0)
      std::fprintf(stderr, "batch: lotsizing-batch ended with %d\n", runs.back().status);
  }
  return median(runs, &Timed::seconds);
}

/// Seconds of the floor program (its own process, to keep its memory out of
/// the batch's figures) after a batch run stored the lots it writes as many of.
double floorSeconds(const OdbcEnvironment& environment, const std::string& dsn, const Sizes& sizes,
                    const std::string& floorAttributes) {
  std::string lots = "0";
  {
    Connection connection(environment, "DSN=" + dsn);
    Statement count(connection);
    count.query("select count(*)*1.0 from LosGröße");  // a double everywhere; count(*) may be 64 bits
    if (count.next()) lots = std::to_string(std::llround(count.real(0).optional().value_or(0)));
  }
  std::vector<double> seconds;
  for (int r = 0; r < sizes.repeat; ++r) {
    std::string output;
    if (runChild({"floor", "--connection", "DSN=" + dsn + floorAttributes, "--lots", lots, "--demands",
                  std::to_string(sizes.demands)},
                 &output) != 0)
      throw std::runtime_error("the floor program failed");
    std::fprintf(stderr, "batch: floor %s", output.c_str());
    seconds.push_back(std::stod(output.substr(output.find("total ") + 6)));
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

/// Demands per second of one lotsizing process per demand, `jobs` at once.
double loopRate(const std::string& dsn, int jobs, const Sizes& sizes) {
  std::atomic<std::int64_t> next{0};
  const std::int64_t sample = std::min<std::int64_t>(sizes.loopSample, sizes.demands);
  Stopwatch watch;
  std::vector<std::thread> workers;
  for (int j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (std::int64_t d = next++; d < sample; d = next++) runQuietly({LOTSIZING_BINARY, dsn, floorKey(d)});
    });
  }
  for (std::thread& worker : workers) worker.join();
  return static_cast<double>(sample) / (watch.lap() / 1000.0);
}

void measure(const OdbcEnvironment& environment, const std::string& label, const std::string& dsn,
             const Sizes& sizes, const std::string& floorAttributes) {
  double floor = 0;
  for (const int jobs : sizes.jobs) {
    const Timed batch = batchRun(dsn, jobs, sizes);
    if (floor == 0) floor = floorSeconds(environment, dsn, sizes, floorAttributes);
    std::printf("%-24s %4d %9.2f %9.0f %9.2f %8.2fx %9.0f", label.c_str(), jobs, batch.seconds,
                static_cast<double>(sizes.demands) / batch.seconds, floor, batch.seconds / floor, batch.peakMiB);
    if (sizes.loopSample > 0) std::printf(" %11.1f", loopRate(dsn, jobs, sizes));
    std::printf("\n");
    std::fflush(stdout);
  }
}

/// Fills, measures with and (on request) without the indexes.
void measureDatabase(const OdbcEnvironment& environment, const Backend& backend, const std::string& dsn,
                     const Sizes& sizes, bool withoutIndexes) {
  // psqlODBC keeps a whole result in memory unless it reads through a cursor.
  const std::string floorAttributes =
      backend.sql == Sql::PostgreSQL && sizes.demands * sizes.due > 5'000'000 ? ";UseDeclareFetch=1;Fetch=10000"
                                                                              : "";
  {
    Connection connection(environment, "DSN=" + dsn);
    Stopwatch watch;
    fill(connection, backend, sizes);
    std::fprintf(stderr, "batch: %s filled in %.1f s\n", backend.name, watch.lap() / 1000.0);
  }
  measure(environment, backend.name, dsn, sizes, floorAttributes);
  if (!withoutIndexes) return;
  {
    Connection connection(environment, "DSN=" + dsn);
    dropIndexes(connection, backend);
  }
  measure(environment, std::string(backend.name) + " (no indexes)", dsn, sizes, floorAttributes);
}

/// A scratch database on a server, dropped again however the measuring ends.
void measureOnServer(const OdbcEnvironment& environment, const Backend& backend, const Sizes& sizes,
                     bool withoutIndexes, bool keep) {
  const std::string database = "lsz_batch_" + std::to_string(::getpid());
  const std::string drop =
      "drop database if exists " + database + (backend.sql == Sql::PostgreSQL ? " with (force)" : "");
  Connection admin(environment, "DSN=" + backend.dsn);
  execute(admin, "create database " + database);
  try {
    measureDatabase(environment, backend, backend.dsn + ";Database=" + database, sizes, withoutIndexes);
  } catch (...) {
    execute(admin, drop);
    throw;
  }
  if (keep)
    std::fprintf(stderr, "batch: %s kept: DSN=%s;Database=%s\n", backend.name, backend.dsn.c_str(), database.c_str());
  else
    execute(admin, drop);
}

/// The [name] section of an odbc.ini, header included; empty when missing.
std::string iniSection(const std::string& path, const std::string& name) {
  std::ifstream in(path);
  std::string section;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("[")) inside = line == "[" + name + "]";
    if (inside) section += line + "\n";
  }
  return section;
}

/// One odbc.ini for the run: a SQLite data source on a scratch file, and the
/// servers' copied from the current ODBCINI. The driver manager reads ODBCINI
/// at its first call, which comes after this.
void writeOdbcIni(const test::ScratchFolder& scratch, const std::vector<Backend>& servers) {
  const std::string ini = (scratch.path() / "odbc.ini").string();
  std::ofstream out(ini);
  out << "[lsz_batch_sqlite]\nDriver = " << kSqliteDriver << "\nDatabase = " << (scratch.path() / "batch.db").string()
      << "\nTimeout = 100000\nJournalMode = WAL\nSyncPragma = NORMAL\n\n";
  for (const Backend& server : servers)
    if (std::getenv("ODBCINI")) out << iniSection(std::getenv("ODBCINI"), server.dsn);
  setenv("ODBCINI", ini.c_str(), 1);
}

std::vector<int> jobCounts(const std::string& list) {
  std::vector<int> jobs;
  std::istringstream items(list);
  for (std::string item; std::getline(items, item, ',');) jobs.push_back(std::stoi(item));
  return jobs;
}

}  // namespace

int runBatchMode(const Arguments& args) {
  Sizes sizes;
  sizes.demands = std::stoll(option(args, "--demands", "10000"));
  sizes.due = std::stoll(option(args, "--due", "100"));
  sizes.periods = std::stoll(option(args, "--periods", "100"));
  sizes.jobs = jobCounts(option(args, "--jobs", "1,2"));
  sizes.repeat = std::max(1, std::stoi(option(args, "--repeat", "1")));
  sizes.loopSample = std::stoi(option(args, "--loop-sample", "0"));
  sizes.batchBinary = option(args, "--batch-binary", LOTSIZING_BATCH_BINARY);
  const bool withoutIndexes = hasFlag(args, "--without-indexes");
  std::vector<Backend> servers;
  if (const std::string dsn = option(args, "--pg-dsn", ""); !dsn.empty())
    servers.push_back({"PostgreSQL", Sql::PostgreSQL, dsn, "schema.sql"});
  if (const std::string dsn = option(args, "--maria-dsn", ""); !dsn.empty())
    servers.push_back({"MariaDB", Sql::MariaDB, dsn, "schema-mariadb.sql"});
  test::ScratchFolder scratch("lsz-bench");
  writeOdbcIni(scratch, servers);
  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) return 1;
  std::printf("batch: %lld demands of %lld due quantities over %lld periods, medians of %d\n",
              static_cast<long long>(sizes.demands), static_cast<long long>(sizes.due),
              static_cast<long long>(sizes.periods), sizes.repeat);
  std::printf("%-24s %4s %9s %9s %9s %9s %9s%s\n", "database", "jobs", "batch s", "dem/s", "floor s", "ratio",
              "peak MiB", sizes.loopSample > 0 ? "  loop dem/s" : "");
  std::fflush(stdout);
  try {
    if (!hasFlag(args, "--no-sqlite"))
      measureDatabase(*environment, {"SQLite (WAL)", Sql::SQLite, "lsz_batch_sqlite", "schema.sql"},
                      "lsz_batch_sqlite", sizes, withoutIndexes);
    for (const Backend& server : servers) measureOnServer(*environment, server, sizes, withoutIndexes, hasFlag(args, "--keep"));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "batch: %s\n", error.what());
    return 1;
  }
  return 0;
}

}  // namespace mrp::bench
