// Plain ODBC for the benchmark's floor: what a program needs that calls the
// driver manager directly, without the system's database layer. Owns an
// environment and one connection; every failing call throws std::runtime_error.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace mrp::bench {

class PlainConnection {
 public:
  explicit PlainConnection(const std::string& connectionString);
  ~PlainConnection();
  PlainConnection(const PlainConnection&) = delete;
  PlainConnection& operator=(const PlainConnection&) = delete;

  SQLHDBC handle() const noexcept { return connection_; }
  /// A new statement handle on the connection; the caller frees it (PlainStatement).
  SQLHSTMT newStatement() const;

 private:
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC connection_ = SQL_NULL_HDBC;
};

/// One statement handle, freed by the destructor.
class PlainStatement {
 public:
  explicit PlainStatement(const PlainConnection& connection) : handle_(connection.newStatement()) {}
  ~PlainStatement() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
  PlainStatement(const PlainStatement&) = delete;
  PlainStatement& operator=(const PlainStatement&) = delete;

  SQLHSTMT get() const noexcept { return handle_; }
  /// Throws with the statement's diagnostics unless `rc` is a success (or SQL_NO_DATA).
  SQLRETURN check(SQLRETURN rc) const;

 private:
  SQLHSTMT handle_;
};

}  // namespace mrp::bench
