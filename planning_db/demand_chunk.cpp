#include "planning_db/demand_chunk.h"

#include <chrono>

#include "db/connection.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "planning_db/cut_values.h"

namespace mrp {
namespace {

/// The kind each column is read as, as the loading reads it.
enum class Kind { Integer, Real, Date, Text };

/// One input table as the chunk reads it: its columns (behind the key), their
/// kinds, and the order the single demand's statement asks for.
struct ChunkTable {
  const InputColumns* input;
  std::vector<Kind> kinds;
  const char* order;  // after the key: "" or ",<columns>"
};

const ChunkTable kTables[] = {
    {&kFactorColumns, {Kind::Text, Kind::Real, Kind::Text}, ""},
    {&kHeaderColumns, {Kind::Date, Kind::Integer, Kind::Text}, ""},
    {&kParameterColumns, {Kind::Integer, Kind::Text, Kind::Real}, ",Parameter,Periode"},
    {&kDueQuantityColumns, {Kind::Date, Kind::Integer}, ",Termin"},
};

/// Rows per driver call: large enough that the calls no longer count.
constexpr std::size_t kRowsPerBlock = 1000;

/// What breaks ties in the statements' order as an index on the key does: the
/// row's place in the table, where the database names it.
std::string tieBreak(Dialect dialect) {
  switch (dialect) {
    case Dialect::SQLite: return ",rowid";
    case Dialect::PostgreSQL: return ",ctid";
    case Dialect::MariaDB:  // rows of one key come in the index's order anyway
    case Dialect::Other: break;
  }
  return "";
}

std::string chunkQuery(const ChunkTable& table, std::size_t keys, Dialect dialect) {
  std::string columns;
  for (const std::string_view column : table.input->columns) columns += "," + std::string(column);
  return "select Bedarf" + columns + " from " + std::string(table.input->table) + " where " +
         keysCondition(keys) + " order by Bedarf" + table.order + tieBreak(dialect);
}

StoredColumn columnOf(Kind kind) {
  switch (kind) {
    case Kind::Integer: return std::vector<Read<std::int32_t>>();
    case Kind::Real: return std::vector<Read<double>>();
    case Kind::Date: return std::vector<StoredDate>();
    case Kind::Text: break;
  }
  return std::vector<Read<std::string>>();
}

/// Appends the current row's value of `column` to `values`, read as their kind.
void appendValue(StoredColumn& values, const Rows& rows, std::size_t column) {
  if (auto* integers = std::get_if<std::vector<Read<std::int32_t>>>(&values)) {
    integers->push_back(rows.integer(column));
  } else if (auto* reals = std::get_if<std::vector<Read<double>>>(&values)) {
    reals->push_back(rows.real(column));
  } else if (auto* dates = std::get_if<std::vector<StoredDate>>(&values)) {
    dates->push_back(StoredDate{rows.date(column)});
  } else {
    const Read<std::string_view> text = rows.text(column);
    auto& texts = std::get<std::vector<Read<std::string>>>(values);
    texts.push_back(text ? Read<std::string>(std::string(*text)) : Read<std::string>(text.why()));
  }
}

/// Reads one table's rows of the chunk, grouped by key.
DemandChunk::Table readTable(Statement& statement, const ChunkTable& table, const std::vector<Parameter>& keys,
                             Dialect dialect, bool valuesCutAtNul) {
  const bool cut = valuesCutAtNul &&
                   statement.noteValuesCutAtNul(cutValuesProbe(*table.input, keys.size(), true), keys);
  // Cut values are matched to rows as read one by one.
  statement.query(chunkQuery(table, keys.size(), dialect), keys, cut ? 1 : kRowsPerBlock);
  DemandChunk::Table result;
  for (const Kind kind : table.kinds) result.columns.push_back(columnOf(kind));
  std::pair<std::size_t, std::size_t>* range = nullptr;  // of the key of the rows read last
  std::string key;
  while (statement.next()) {
    const Read<std::string_view> rowKey = statement.text(0);
    if (!rowKey) continue;  // no key the chunk asked for
    if (range == nullptr || *rowKey != key) {
      key = *rowKey;
      range = &result.ranges[key];
      *range = {result.rows, result.rows};
    }
    for (std::size_t c = 0; c < result.columns.size(); ++c) appendValue(result.columns[c], statement, c + 1);
    range->second = ++result.rows;
  }
  return result;
}

}  // namespace

Read<OleDate> StoredRows::date(std::size_t column) const {
  const StoredDate* kept = value<StoredDate>(column);
  return kept ? kept->value : Read<OleDate>(NoValue::OtherKind);
}

Read<std::string_view> StoredRows::text(std::size_t column) const {
  const Read<std::string>* kept = value<Read<std::string>>(column);
  if (!kept) return NoValue::OtherKind;
  if (!*kept) return kept->why();
  return std::string_view(**kept);
}

StoredRows DemandChunk::Table::of(const std::string& key) const {
  const auto found = ranges.find(key);
  if (found == ranges.end()) return StoredRows(columns, 0, 0);
  const auto [first, last] = found->second;
  return StoredRows(columns, first, last - first);
}

DemandChunk::DemandChunk(Connection& connection, std::span<const std::string> keys) {
  std::vector<Parameter> parameters(keys.begin(), keys.end());
  // Reads alone are never given up by the database: no retry here.
  runTransaction(
      connection, Isolation::Snapshot,
      [&] {
        tables_.clear();
        Statement statement(connection);
        bool valuesCutAtNul = false;
        if (connection.cutsTextsAtNul()) {
          statement.query(cutValuesCount(keys.size()), parameters);
          valuesCutAtNul = statement.next() && statement.integer(0).optional().value_or(0) > 0;
          while (statement.next()) {
          }
        }
        for (const ChunkTable& table : kTables)
          tables_.push_back(readTable(statement, table, parameters, connection.dialect(), valuesCutAtNul));
      },
      std::chrono::milliseconds(0));
}

std::size_t DemandChunk::rows() const noexcept {
  std::size_t rows = 0;
  for (const Table& table : tables_) rows += table.rows;
  return rows;
}

DemandChunk::Demand DemandChunk::demand(const std::string& key) const { return Demand(*this, key); }

DemandChunk::Demand::Demand(const DemandChunk& chunk, const std::string& key) {
  for (const Table& table : chunk.tables_) rows_.emplace_back(table.of(key));
}

}  // namespace mrp
