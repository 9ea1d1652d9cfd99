// Batch mode: lotsizing-batch beside the one-process-per-demand loop.
//
//   lotsizing_bench batch [--demands N] [--due N] [--periods N] [--pg-dsn DSN]
//                         [--maria-dsn DSN] [--loop-sample N]
//
// Fills a planning database with N demands (default 10,000) of 100 due
// quantities over about 100 daily periods each, on SQLite (a scratch file) and,
// with --pg-dsn or --maria-dsn, on PostgreSQL or MariaDB (a scratch database
// created through that data source, which ODBCINI must name). For 1, 2 and 4 jobs it times
// lotsizing-batch over all demands and a loop that starts one lotsizing
// process per demand for a sample of the demands (default 400) with as many
// processes at once, and prints both as demands per second and their ratio.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_modes.h"
#include "db/connection.h"
#include "db/odbc_environment.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"

namespace mrp::bench {
namespace {

constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

struct Sizes {
  int demands = 10'000;
  int due = 100;
  int periods = 100;
  int loopSample = 400;
};

std::string key(int d) {
  char text[16];
  std::snprintf(text, sizeof text, "B%05d", d);
  return text;
}

/// A database server to measure on: its data source and its dialect.
struct Server {
  const char* name;
  std::string dsn;
  const char* schemaFile;
  const char* analyze;       // fresh statistics after the fill
  const char* dropDatabase;  // printf format, the database name for %s
};

/// The demands, all in one transaction.
void fill(Connection& connection, const Sizes& sizes, const std::string& schemaFile = "schema.sql") {
  for (const std::string& statement : schemaStatements(schemaFile)) execute(connection, statement);
  runTransaction(connection, Isolation::Serializable, [&] {
    const std::vector<std::string> factors = {
        "RüstKosten",     "StückKosten",   "LosRaster", "KapitalbindungsZinssatz",
        "WagnisZinssatz", "PeriodenLänge", "ZinsJahr",  "Währung"};
    const std::vector<double> factorValues = {1, 1, 1, 1, 1, 1, 360, 1};
    for (int d = 0; d < sizes.demands; ++d) {
      const std::string k = key(d);
      execute(connection, "insert into Bedarf values ('" + k + "','2024-01-01 00:00:00',1,NULL)");
      for (std::size_t f = 0; f < factors.size(); ++f) {
        execute(connection, "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ('" +
                                k + "','" + factors[f] + "'," + std::to_string(factorValues[f]) + ")");
      }
      execute(connection, "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + k +
                              "',1,'RüstKosten'," + std::to_string(50 + d % 50) + "),('" + k +
                              "',1,'StückKosten',20),('" + k + "',1,'LosRaster',5),('" + k +
                              "',1,'KapitalbindungsZinssatz',0.1),('" + k + "',1,'WagnisZinssatz',0.05)");
      // Termin is a timestamp: sent as text, which both databases convert.
      std::string values;
      for (int i = 0; i < sizes.due; ++i) {
        const int day = i * sizes.periods / sizes.due;
        const int month = day / 28 + 1;  // 28 days a month: every date exists
        char row[96];
        std::snprintf(row, sizeof row, "%s('%s','2024-%02d-%02d 06:00:00',%d)", values.empty() ? "" : ",",
                      k.c_str(), month > 12 ? 12 : month, day % 28 + 1, 1 + (i * 7 + d) % 30);
        values += row;
      }
      execute(connection, "insert into Termin(Bedarf,Termin,Menge) values " + values);
    }
  });
}

/// Runs `argv` and waits: its exit status. Its standard output and error go to /dev/null.
int runQuietly(const std::vector<std::string>& argv) {
  test::ChildOptions child;
  child.argv = argv;
  child.in = test::Stream::inherited();
  child.out = child.err = test::Stream::null();
  try {
    return test::runChild(child).exitStatus;
  } catch (const std::exception&) {
    return 127;  // as a shell says of a program it cannot start
  }
}

/// Demands per second of lotsizing-batch over all demands.
double batchRate(const std::string& dsn, int jobs, const Sizes& sizes) {
  Stopwatch watch;
  const int status = runQuietly({LOTSIZING_BATCH_BINARY, dsn, "--jobs", std::to_string(jobs)});
  const double ms = watch.lap();
  if (status != 0) std::fprintf(stderr, "batch: lotsizing-batch ended with %d\n", status);
  return sizes.demands / (ms / 1000.0);
}

/// Demands per second of one lotsizing process per demand, `jobs` at once.
double loopRate(const std::string& dsn, int jobs, const Sizes& sizes) {
  std::atomic<int> next{0};
  const int sample = std::min(sizes.loopSample, sizes.demands);
  Stopwatch watch;
  std::vector<std::thread> workers;
  for (int j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (int d = next++; d < sample; d = next++) runQuietly({LOTSIZING_BINARY, dsn, key(d)});
    });
  }
  for (std::thread& worker : workers) worker.join();
  return sample / (watch.lap() / 1000.0);
}

void measure(const char* backend, const std::string& dsn, const Sizes& sizes) {
  for (const int jobs : {1, 2, 4}) {
    const double batch = batchRate(dsn, jobs, sizes);
    const double loop = loopRate(dsn, jobs, sizes);
    std::printf("%-10s %4d %14.0f %14.1f %9.1fx\n", backend, jobs, batch, loop, batch / loop);
    std::fflush(stdout);
  }
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

}  // namespace

/// Fills a scratch database on `server`, measures there and drops it again.
void measureOnServer(const OdbcEnvironment& environment, const Server& server, const Sizes& sizes) {
  const std::string database = "lsz_batch_" + std::to_string(::getpid());
  char drop[128];
  std::snprintf(drop, sizeof drop, server.dropDatabase, database.c_str());
  Connection admin(environment, "DSN=" + server.dsn);
  execute(admin, "create database " + database);
  try {
    const std::string dsn = server.dsn + ";Database=" + database;
    {
      Connection connection(environment, "DSN=" + dsn);
      Stopwatch watch;
      fill(connection, sizes, server.schemaFile);
      execute(connection, server.analyze);
      std::fprintf(stderr, "batch: %s filled in %.1f s\n", server.name, watch.lap() / 1000.0);
    }
    measure(server.name, dsn, sizes);
  } catch (...) {
    execute(admin, drop);
    throw;
  }
  execute(admin, drop);
}

int runBatchMode(const Arguments& args) {
  Sizes sizes;
  sizes.demands = std::stoi(option(args, "--demands", "10000"));
  sizes.due = std::stoi(option(args, "--due", "100"));
  sizes.periods = std::stoi(option(args, "--periods", "100"));
  sizes.loopSample = std::stoi(option(args, "--loop-sample", "400"));
  std::vector<Server> servers;
  if (const std::string dsn = option(args, "--pg-dsn", ""); !dsn.empty())
    servers.push_back(
        {"PostgreSQL", dsn, "schema.sql", "analyze", "drop database if exists %s with (force)"});
  if (const std::string dsn = option(args, "--maria-dsn", ""); !dsn.empty())
    servers.push_back({"MariaDB", dsn, "schema-mariadb.sql",
                       "analyze table Bedarf, UmrechnungsFaktor, Parameter, Termin, LosGröße",
                       "drop database if exists %s"});
  test::ScratchFolder scratch("lsz-bench");
  // One odbc.ini for the run: a SQLite data source on a scratch file, and the
  // PostgreSQL one copied from the current ODBCINI. The driver manager reads
  // ODBCINI at its first call, which comes after this.
  const std::string ini = (scratch.path() / "odbc.ini").string();
  {
    std::ofstream out(ini);
    out << "[lsz_batch_sqlite]\nDriver = " << kSqliteDriver
        << "\nDatabase = " << (scratch.path() / "batch.db").string()
        << "\nTimeout = 100000\nJournalMode = WAL\nSyncPragma = NORMAL\n\n";
    for (const Server& server : servers) {
      if (std::getenv("ODBCINI")) out << iniSection(std::getenv("ODBCINI"), server.dsn);
    }
  }
  setenv("ODBCINI", ini.c_str(), 1);
  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) return 1;
  std::printf("batch: %d demands of %d due quantities over %d periods; the loop on %d of them\n",
              sizes.demands, sizes.due, sizes.periods, std::min(sizes.loopSample, sizes.demands));
  std::printf("%-10s %4s %14s %14s %10s\n", "database", "jobs", "batch dem/s", "loop dem/s", "ratio");
  try {
    {
      Connection sqlite(*environment, "DSN=lsz_batch_sqlite");
      Stopwatch watch;
      fill(sqlite, sizes);
      std::fprintf(stderr, "batch: SQLite filled in %.1f s\n", watch.lap() / 1000.0);
    }
    measure("SQLite", "lsz_batch_sqlite", sizes);
    for (const Server& server : servers) measureOnServer(*environment, server, sizes);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "batch: %s\n", error.what());
    return 1;
  }
  return 0;
}

}  // namespace mrp::bench
