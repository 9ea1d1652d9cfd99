#include "sqlite_file.h"

#include <stdlib.h>

#include <bit>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace mrp::fuzz {
namespace {

/// The SQLite ODBC driver library, looked for where databases.sh looks; else its registered name.
std::string sqliteDriver() {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib64",
                          "/usr/lib/odbc", "/usr/lib"}) {
    const std::filesystem::path library = std::filesystem::path(dir) / "libsqlite3odbc.so";
    if (std::filesystem::exists(library)) return library.string();
  }
  return "SQLite3";
}

/// A prepared statement, finalized by the destructor.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
      throw std::runtime_error("sqlite3: " + sql + ": " + sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void bind(const SqlRow& values) {
    for (std::size_t i = 0; i < values.size(); ++i) bindOne(static_cast<int>(i) + 1, values[i]);
  }
  /// SQLITE_ROW or SQLITE_DONE; anything else throws.
  int step() {
    const int result = sqlite3_step(statement_);
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
      throw std::runtime_error(std::string("sqlite3 step: ") + sqlite3_errmsg(sqlite3_db_handle(statement_)));
    }
    return result;
  }
  SqlRow currentRow() const {
    SqlRow row;
    for (int i = 0; i < sqlite3_column_count(statement_); ++i) row.push_back(column(i));
    return row;
  }

 private:
  void bindOne(int position, const SqlValue& value) {
    const auto size = static_cast<int>(value.bytes.size());
    switch (value.kind) {
      case SqlValue::Kind::Null:
        sqlite3_bind_null(statement_, position);
        break;
      case SqlValue::Kind::Integer:
        sqlite3_bind_int64(statement_, position, value.integer);
        break;
      case SqlValue::Kind::Real:
        sqlite3_bind_double(statement_, position, value.real);
        break;
      case SqlValue::Kind::Text:
        sqlite3_bind_text(statement_, position, value.bytes.data(), size, SQLITE_TRANSIENT);
        break;
      case SqlValue::Kind::Blob:
        sqlite3_bind_blob(statement_, position, value.bytes.data(), size, SQLITE_TRANSIENT);
        break;
    }
  }
  SqlValue column(int i) const {
    const auto bytes = [&](const void* data) {
      return std::string(static_cast<const char*>(data),
                         static_cast<std::size_t>(sqlite3_column_bytes(statement_, i)));
    };
    switch (sqlite3_column_type(statement_, i)) {
      case SQLITE_INTEGER:
        return SqlValue::of(static_cast<std::int64_t>(sqlite3_column_int64(statement_, i)));
      case SQLITE_FLOAT:
        return SqlValue::of(sqlite3_column_double(statement_, i));
      case SQLITE_TEXT:
        return SqlValue::text(bytes(sqlite3_column_text(statement_, i)));
      case SQLITE_BLOB:
        return SqlValue::blob(bytes(sqlite3_column_blob(statement_, i)));
      default:
        return SqlValue::null();
    }
  }

  sqlite3_stmt* statement_ = nullptr;
};

std::string escapedText(const std::string& bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      text += escape;
    } else {
      text += c;
      if (c == '\'') text += '\'';
    }
  }
  return text;
}

std::string hex(const std::string& bytes) {
  std::string text;
  char digits[4];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
    text += digits;
  }
  return text;
}

}  // namespace

bool operator==(const SqlValue& a, const SqlValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case SqlValue::Kind::Null:
      return true;
    case SqlValue::Kind::Integer:
      return a.integer == b.integer;
    case SqlValue::Kind::Real:
      return std::bit_cast<std::uint64_t>(a.real) == std::bit_cast<std::uint64_t>(b.real);
    default:
      return a.bytes == b.bytes;
  }
}

std::string describe(const SqlValue& value) {
  char number[40];
  switch (value.kind) {
    case SqlValue::Kind::Null:
      return "NULL";
    case SqlValue::Kind::Integer:
      return std::to_string(value.integer);
    case SqlValue::Kind::Real:
      std::snprintf(number, sizeof number, "%.17g", value.real);
      return number;
    case SqlValue::Kind::Text:
      return "'" + escapedText(value.bytes) + "'";
    case SqlValue::Kind::Blob:
      return "X'" + hex(value.bytes) + "'";
  }
  return "?";
}

SqliteFile::SqliteFile(const std::filesystem::path& file) {
  if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) fail("open " + file.string());
}

SqliteFile::~SqliteFile() { sqlite3_close(db_); }

void SqliteFile::exec(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql.substr(0, 60));
}

void SqliteFile::insert(const std::string& table, const SqlRow& row) {
  std::string sql = "insert into " + table + " values(";
  for (std::size_t i = 0; i < row.size(); ++i) sql += i == 0 ? "?" : ",?";
  Statement statement(db_, sql + ")");
  statement.bind(row);
  statement.step();
}

std::vector<SqlRow> SqliteFile::rows(const std::string& sql, const SqlRow& parameters) {
  Statement statement(db_, sql);
  statement.bind(parameters);
  std::vector<SqlRow> result;
  while (statement.step() == SQLITE_ROW) result.push_back(statement.currentRow());
  return result;
}

void SqliteFile::fail(const std::string& what) const {
  throw std::runtime_error("sqlite3: " + what + ": " + sqlite3_errmsg(db_));
}

std::filesystem::path prepareOdbcIni(const std::filesystem::path& folder) {
  if (const char* configured = std::getenv("ODBCINI"); configured && *configured) {
    return std::filesystem::absolute(configured);
  }
  const std::filesystem::path file = folder / "odbc.ini";
  std::ofstream out(file);
  out << "[lsz_sqlite]\nDriver = " << sqliteDriver() << "\nDatabase = " << (folder / "default.db").string()
      << "\nTimeout = 10000\n";
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
  if (setenv("ODBCINI", file.c_str(), 1) != 0) throw std::runtime_error("cannot set ODBCINI");
  return file;
}

void removeDatabase(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  std::filesystem::remove(file.string() + "-journal", ignored);
}

}  // namespace mrp::fuzz
