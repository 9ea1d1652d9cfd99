// Internal to the database layer, and the only header that includes ODBC's:
// RAII owners of ODBC handles, the ODBC side of the environment and of a
// connection, and the one place that checks ODBC return codes.
//
// Every ODBC call of the system goes through `check`: a result other than
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (and SQL_NO_DATA where the caller allows
// it) raises `DatabaseError` with E_FAIL, the message texts of the failing
// handle's diagnostic records as description and the first record's SQLSTATE;
// a driver that ran out of memory raises std::bad_alloc instead, as the
// program's own allocations do.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/connection.h"
#include "db/odbc_environment.h"

namespace mrp::odbc {

/// The message texts of the diagnostic records of a handle, one record per
/// line, and the SQLSTATE and native error of the first record ("" and 0 when
/// there is none).
struct Diagnostics {
  std::optional<std::u16string> text;
  std::string sqlState;
  std::int32_t nativeError = 0;
};
Diagnostics readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) noexcept;

/// Whether the diagnostics report memory running out: SQLSTATE HY001 from any
/// driver (but MariaDB's, which says so also for a connection gone: native
/// errors 2006 and 2013), or SQLite's out-of-memory code 7 from the SQLite
/// driver (whose messages start with "[SQLite]"; another driver's native error
/// 7 means something else).
bool isOutOfMemory(const Diagnostics& diagnostics) noexcept;

/// Raises `DatabaseError` (E_FAIL) with the diagnostics of the handle, or
/// std::bad_alloc when they report memory running out.
[[noreturn]] void raiseFailure(SQLSMALLINT handleType, SQLHANDLE handle);

/// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool succeeded(SQLRETURN rc) noexcept { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

/// Raises for every result but success; returns the result (for SQL_NO_DATA
/// when `noDataAllowed`).
SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, bool noDataAllowed = false);

/// One ODBC handle of type `Type`, freed by the destructor. Move-only.
template <SQLSMALLINT Type>
class Handle {
 public:
  Handle() = default;
  /// Allocates a handle under `parent`; raises on failure.
  explicit Handle(SQLHANDLE parent) {
    const SQLRETURN rc = SQLAllocHandle(Type, parent, &handle_);
    if (!succeeded(rc)) {
      handle_ = SQL_NULL_HANDLE;
      raiseFailure(parentType(), parent);
    }
  }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  /// Takes over a handle allocated elsewhere.
  static Handle adopt(SQLHANDLE handle) noexcept {
    Handle owner;
    owner.handle_ = handle;
    return owner;
  }
  /// Gives up the handle without freeing it (freed by someone else).
  void forget() noexcept { handle_ = SQL_NULL_HANDLE; }

  SQLHANDLE get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != SQL_NULL_HANDLE; }
  void reset() noexcept {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, handle_);
    handle_ = SQL_NULL_HANDLE;
  }
  /// Raises with this handle's diagnostics unless `rc` is a success.
  SQLRETURN check(SQLRETURN rc, bool noDataAllowed = false) const {
    return odbc::check(rc, Type, handle_, noDataAllowed);
  }

 private:
  static constexpr SQLSMALLINT parentType() noexcept {
    return Type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
  }
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using ConnectionHandle = Handle<SQL_HANDLE_DBC>;
using StatementHandle = Handle<SQL_HANDLE_STMT>;

/// UTF-16 text as the ODBC wide type, and back.
inline SQLWCHAR* wide(std::u16string& text) noexcept {
  static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

}  // namespace mrp::odbc

namespace mrp {

struct OdbcEnvironment::State {
  SQLHENV handle;
  std::mutex connectLock;  // held while a connection of this environment connects
};

struct Connection::State {
  odbc::ConnectionHandle handle;
  /// The statements made on the connection, freed before it disconnects
  /// (SQLite refuses to disconnect while statements exist).
  std::vector<SQLHSTMT> statements;
  bool open = false;
  bool locksRows = true;
  Dialect dialect = Dialect::Other;
  bool cutsTextsAtNul = false;
  bool hasInfiniteDates = false;
  /// Whether the driver hands the signed whole numbers and the dates of such
  /// columns exactly as C values (MariaDB's, from the server's binary values),
  /// so that reading them in blocks need not go through text.
  bool convertsExactly = false;
  /// The transaction isolation level last set (0: none yet, the driver's default).
  SQLULEN isolationLevel = 0;
  /// Counts the disconnects: a statement made in an earlier session is gone.
  std::uint64_t session = 0;

  /// Raises with this connection's diagnostics unless `rc` is a success.
  SQLRETURN check(SQLRETURN rc) const { return handle.check(rc); }
  void enlist(SQLHSTMT statement) { statements.push_back(statement); }
  void delist(SQLHSTMT statement) noexcept { std::erase(statements, statement); }
  void freeStatements() noexcept {
    for (SQLHSTMT statement : statements) SQLFreeHandle(SQL_HANDLE_STMT, statement);
    statements.clear();
    ++session;
  }
};

}  // namespace mrp
