// The fuzzer's own access to a SQLite file through the sqlite3 library: what it
// writes and reads back are the stored values themselves, not what the ODBC
// driver under test makes of them.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mrp::fuzz {

/// One value as SQLite stores it; any column may hold any kind.
struct SqlValue {
  enum class Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  std::int64_t integer = 0;
  double real = 0.0;
  std::string bytes;  // of a text (any bytes) or a blob

  static SqlValue null() { return {}; }
  static SqlValue of(std::int64_t value) { return {Kind::Integer, value, 0.0, {}}; }
  static SqlValue of(double value) { return {Kind::Real, 0, value, {}}; }
  static SqlValue text(std::string value) { return {Kind::Text, 0, 0.0, std::move(value)}; }
  static SqlValue blob(std::string value) { return {Kind::Blob, 0, 0.0, std::move(value)}; }

  bool isText(std::string_view value) const { return kind == Kind::Text && bytes == value; }
};

/// Exact equality: same kind and the same bits (so 0.0 and -0.0 differ).
bool operator==(const SqlValue& a, const SqlValue& b);

/// The value in the manner of SQLite's quote(), on one line: reals with 17
/// digits, control bytes of texts escaped.
std::string describe(const SqlValue& value);

using SqlRow = std::vector<SqlValue>;

/// The odbc.ini that names the data source lsz_sqlite: the file in ODBCINI when
/// that is set (the ctest fixture's); otherwise one written into `folder`, and
/// ODBCINI set to it for this process so that every child inherits it (the
/// driver manager reads ODBCINI once, at its start). Call before any thread starts.
std::filesystem::path prepareOdbcIni(const std::filesystem::path& folder);

/// Removes a SQLite file together with its rollback journal.
void removeDatabase(const std::filesystem::path& file);

/// One open SQLite file; closed by the destructor.
class SqliteFile {
 public:
  explicit SqliteFile(const std::filesystem::path& file);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  /// Runs statements without parameters (a whole script, too).
  void exec(const std::string& sql);
  /// Inserts `row` into `table`, its values in the table's column order.
  void insert(const std::string& table, const SqlRow& row);
  /// The rows of `sql`, its parameters ?1, ?2, ... bound to `parameters`.
  std::vector<SqlRow> rows(const std::string& sql, const SqlRow& parameters = {});

 private:
  [[noreturn]] void fail(const std::string& what) const;

  sqlite3* db_ = nullptr;
};

}  // namespace mrp::fuzz
