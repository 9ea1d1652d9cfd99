// PostgreSQL mode: a whole run against a plain program that only fetches the
// same rows.
//
//   lotsizing_bench postgres --dsn DSN [--due N] [--periods N] [--others N]
//                            [--other-due N] [--repeat R]
//
// DSN names a PostgreSQL data source whose user may create databases (for
// example the test cluster's lsz_pg; ODBCINI must name the odbc.ini before the
// program starts). The mode creates a scratch database, fills it with sql's
// schema, the measured demand (default 200,000 due quantities over 2,000 daily
// periods) and 20 other demands of 10,000 due quantities each, then times, R
// times each and alternating:
//   fetch  the plain loop: the due quantities' query, SQLFetch and SQLGetData
//          per column, nothing kept;
//   run    planDemand: load, compute and store, as the program does.
// It prints the medians and their ratio, then drops the database.
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_modes.h"
#include "db/connection.h"
#include "db/odbc_environment.h"
#include "db/statement.h"
#include "demand/message_sink.h"
#include "lotsizing/demand_run.h"
#include "plain_odbc.h"

namespace mrp::bench {
namespace {

constexpr char kMeasuredDemand[] = "MESSUNG-4711";
constexpr char kDueQuery[] = "select Termin,Menge from Termin where Bedarf=? order by Termin asc";

/// One demand: daily periods from 2024-01-01, `due` quantities at random
/// times spread over `periods` days, setup and unit costs, rates and a grid.
void addDemand(Connection& connection, const std::string& key, std::int64_t due, std::int64_t periods) {
  const std::string k = "'" + key + "'";
  execute(connection, "insert into Bedarf values (" + k + ",'2024-01-01 00:00:00',1,'Messung')");
  execute(connection, "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) select " + k +
                          ", n, 1 from unnest(array['RüstKosten','StückKosten','LosRaster',"
                          "'KapitalbindungsZinssatz','WagnisZinssatz','PeriodenLänge','Währung']) n");
  execute(connection, "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values (" + k +
                          ",'ZinsJahr',360)");
  execute(connection,
          "insert into Parameter(Bedarf,Periode,Parameter,Wert) select " + k +
              ", p, n, case n when 'RüstKosten' then 100 + p % 37 when 'StückKosten' then 20 + p % 5 "
              "when 'LosRaster' then 5 else 0.05 end from generate_series(1," +
              std::to_string(periods) +
              ",50) p, unnest(array['RüstKosten','StückKosten','LosRaster','KapitalbindungsZinssatz',"
              "'WagnisZinssatz']) n");
  execute(connection, "insert into Termin(Bedarf,Termin,Menge) select " + k +
                          ", timestamp '2024-01-01' + random() * interval '1 day' * " +
                          std::to_string(periods) + ", 1 + (random() * 50)::int from generate_series(1," +
                          std::to_string(due) + ")");
}

/// The plain loop over the measured demand's rows; the number of rows.
std::int64_t plainFetch(const PlainConnection& connection) {
  const PlainStatement statement(connection);
  std::string text = kDueQuery;
  std::string key = kMeasuredDemand;
  SQLLEN keyLength = static_cast<SQLLEN>(key.size());
  statement.check(SQLBindParameter(statement.get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, key.size(),
                                   0, key.data(), keyLength, &keyLength));
  statement.check(SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                static_cast<SQLINTEGER>(text.size())));
  std::int64_t rows = 0;
  while (statement.check(SQLFetch(statement.get())) != SQL_NO_DATA) {
    SQL_TIMESTAMP_STRUCT termin{};
    SQLINTEGER menge = 0;
    SQLLEN indicator = 0;
    statement.check(SQLGetData(statement.get(), 1, SQL_C_TYPE_TIMESTAMP, &termin, sizeof termin, &indicator));
    statement.check(SQLGetData(statement.get(), 2, SQL_C_SLONG, &menge, sizeof menge, &indicator));
    ++rows;
  }
  return rows;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int runPostgresMode(const Arguments& args) {
  const std::string dsn = option(args, "--dsn", "");
  if (dsn.empty()) {
    std::fprintf(stderr, "postgres: --dsn names the PostgreSQL data source\n");
    return 2;
  }
  const std::int64_t due = std::stoll(option(args, "--due", "200000"));
  const std::int64_t periods = std::stoll(option(args, "--periods", "2000"));
  const std::int64_t others = std::stoll(option(args, "--others", "20"));
  const std::int64_t otherDue = std::stoll(option(args, "--other-due", "10000"));
  const int repeat = std::stoi(option(args, "--repeat", "3"));
  const std::string database = "lsz_bench_" + std::to_string(::getpid());

  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) return 1;
  try {
    Connection admin(*environment, "DSN=" + dsn);
    execute(admin, "create database " + database);
    int status = 0;
    try {
      Connection connection(*environment, "DSN=" + dsn + ";Database=" + database);
      for (const std::string& statement : schemaStatements()) execute(connection, statement);
      Stopwatch fill;
      addDemand(connection, kMeasuredDemand, due, periods);
      for (std::int64_t d = 0; d < others; ++d)
        addDemand(connection, "ANDERE-" + std::to_string(d), otherDue, periods);
      execute(connection, "analyze");
      std::printf(
          "postgres: %lld due quantities over %lld periods among %lld demands of %lld (filled in %.1f s)\n",
          static_cast<long long>(due), static_cast<long long>(periods), static_cast<long long>(others),
          static_cast<long long>(otherDue), fill.lap() / 1000.0);
      const PlainConnection plain("DSN=" + dsn + ";Database=" + database);
      std::vector<double> fetches;
      std::vector<double> runs;
      std::size_t lots = 0;
      for (int r = 0; r < repeat; ++r) {
        Stopwatch watch;
        const std::int64_t rows = plainFetch(plain);
        fetches.push_back(watch.lap());
        MessageList messages;
        const auto plan = planDemand(connection, kMeasuredDemand, messages).plan;
        runs.push_back(watch.lap());
        if (!plan || rows != due) {
          std::fprintf(stderr, "postgres: the run was refused or rows are missing\n");
          status = 1;
          break;
        }
        lots = plan->lots.size();
      }
      if (status == 0) {
        std::printf("%-44s %10.1f ms\n", "fetch loop (SQLFetch + SQLGetData)", median(fetches));
        std::printf("%-44s %10.1f ms (%zu lots stored)\n", "whole run (load, compute, store)", median(runs),
                    lots);
        std::printf("the whole run takes %.3f of the fetch loop's time (medians of %d)\n",
                    median(runs) / median(fetches), repeat);
      }
    } catch (...) {
      execute(admin, "drop database if exists " + database + " with (force)");
      throw;
    }
    execute(admin, "drop database if exists " + database + " with (force)");
    return status;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "postgres: %s\n", error.what());
    return 1;
  }
}

}  // namespace mrp::bench
