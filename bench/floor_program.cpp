#include "floor_program.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "bench_modes.h"
#include "plain_odbc.h"

namespace mrp::bench {
namespace {

constexpr SQLULEN kArrayRows = 1000;
constexpr SQLLEN kTextBytes = 256;

/// A column fetched as `type` into `width` bytes per row.
struct Column {
  SQLSMALLINT type;
  SQLLEN width;
};

constexpr Column kText{SQL_C_CHAR, kTextBytes};
constexpr Column kDate{SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)};
constexpr Column kInteger{SQL_C_SLONG, sizeof(SQLINTEGER)};
constexpr Column kReal{SQL_C_DOUBLE, sizeof(double)};

struct Query {
  const char* text;
  std::vector<Column> columns;
};

/// The batch's columns, in the batch's order.
const Query kQueries[] = {
    {"select Bedarf,Umrechnung,UmrechnungsFaktor,Beschreibung from UmrechnungsFaktor order by Bedarf",
     {kText, kText, kReal, kText}},
    {"select Bedarf,StartTermin,PeriodenLänge,Beschreibung from Bedarf order by Bedarf",
     {kText, kDate, kInteger, kText}},
    {"select Bedarf,Periode,Parameter,Wert from Parameter order by Bedarf,Parameter,Periode",
     {kText, kInteger, kText, kReal}},
    {"select Bedarf,Termin,Menge from Termin order by Bedarf,Termin", {kText, kDate, kInteger}},
};

void executeDirect(const PlainStatement& statement, std::string text) {
  statement.check(SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                static_cast<SQLINTEGER>(text.size())));
}

/// Fetches every row of `query` in arrays of kArrayRows rows; the number of rows.
std::int64_t fetchAll(const PlainConnection& connection, const Query& query) {
  const PlainStatement statement(connection);
  SQLULEN fetched = 0;
  statement.check(SQLSetStmtAttr(statement.get(), SQL_ATTR_ROW_ARRAY_SIZE,
                                 reinterpret_cast<SQLPOINTER>(kArrayRows), 0));
  statement.check(SQLSetStmtAttr(statement.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  std::vector<std::vector<char>> buffers;
  std::vector<std::vector<SQLLEN>> indicators;
  for (std::size_t c = 0; c < query.columns.size(); ++c) {
    const Column column = query.columns[c];
    buffers.emplace_back(column.width * kArrayRows);
    indicators.emplace_back(kArrayRows);
    statement.check(SQLBindCol(statement.get(), static_cast<SQLUSMALLINT>(c + 1), column.type,
                               buffers.back().data(), column.width, indicators.back().data()));
  }
  executeDirect(statement, query.text);
  std::int64_t rows = 0;
  while (statement.check(SQLFetch(statement.get())) != SQL_NO_DATA) rows += static_cast<std::int64_t>(fetched);
  return rows;
}

/// Parameter arrays of the insert, bound column by column.
struct LotArrays {
  std::vector<char> keys = std::vector<char>(kArrayRows * kTextBytes);
  std::vector<SQLLEN> keyLengths = std::vector<SQLLEN>(kArrayRows);
  std::vector<double> dates = std::vector<double>(kArrayRows);
  std::vector<SQLINTEGER> sizes = std::vector<SQLINTEGER>(kArrayRows);
  std::vector<double> costs = std::vector<double>(kArrayRows);

  void bind(const PlainStatement& statement) {
    const SQLHSTMT handle = statement.get();
    statement.check(SQLBindParameter(handle, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 128, 0, keys.data(),
                                     kTextBytes, keyLengths.data()));
    statement.check(SQLBindParameter(handle, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, dates.data(), 0,
                                     nullptr));
    statement.check(SQLBindParameter(handle, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, sizes.data(), 0,
                                     nullptr));
    statement.check(SQLBindParameter(handle, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, costs.data(), 0,
                                     nullptr));
  }

  void set(std::size_t row, const std::string& key, std::int64_t lot) {
    std::memcpy(&keys[row * kTextBytes], key.data(), key.size());
    keyLengths[row] = static_cast<SQLLEN>(key.size());
    dates[row] = 45292.0 + static_cast<double>(lot % 100);
    sizes[row] = static_cast<SQLINTEGER>(10 + lot % 90);
    costs[row] = 100.0 + static_cast<double>(lot % 1000) / 8.0;
  }
};

/// One delete and `lots` inserts in parameter arrays, in one transaction.
void replaceLots(const PlainConnection& connection, std::int64_t lots, std::int64_t demands) {
  const SQLHDBC handle = connection.handle();
  SQLSetConnectAttr(handle, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  {
    const PlainStatement remove(connection);
    executeDirect(remove, "delete from LosGröße");
  }
  const PlainStatement insert(connection);
  LotArrays arrays;
  arrays.bind(insert);
  std::string text = "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten) values (?,?,?,?)";
  insert.check(SQLPrepare(insert.get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS));
  for (std::int64_t first = 0; first < lots; first += kArrayRows) {
    const std::int64_t count = std::min<std::int64_t>(kArrayRows, lots - first);
    for (std::int64_t row = 0; row < count; ++row)
      arrays.set(static_cast<std::size_t>(row), floorKey((first + row) * demands / lots), first + row);
    insert.check(SQLSetStmtAttr(insert.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(count), 0));
    insert.check(SQLExecute(insert.get()));
  }
  if (SQLEndTran(SQL_HANDLE_DBC, handle, SQL_COMMIT) != SQL_SUCCESS) throw std::runtime_error("floor: commit");
  SQLSetConnectAttr(handle, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

}  // namespace

std::string floorKey(std::int64_t demand) {
  char text[24];
  std::snprintf(text, sizeof text, "B%07lld", static_cast<long long>(demand));
  return text;
}

FloorResult runFloor(const std::string& connectionString, std::int64_t lots, std::int64_t demands) {
  const PlainConnection connection(connectionString);
  FloorResult result;
  Stopwatch watch;
  for (const Query& query : kQueries) result.rowsRead += fetchAll(connection, query);
  result.readMs = watch.lap();
  replaceLots(connection, lots, demands);
  result.writeMs = watch.lap();
  return result;
}

int runFloorMode(const Arguments& args) {
  try {
    const FloorResult result = runFloor(option(args, "--connection", ""), std::stoll(option(args, "--lots", "0")),
                                        std::stoll(option(args, "--demands", "1")));
    std::printf("read %lld rows in %.2f s, wrote lots in %.2f s, total %.3f s, peak %.0f MiB\n",
                static_cast<long long>(result.rowsRead), result.readMs / 1000, result.writeMs / 1000,
                (result.readMs + result.writeMs) / 1000, peakResidentMiB());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "floor: %s\n", error.what());
    return 1;
  }
}

}  // namespace mrp::bench
