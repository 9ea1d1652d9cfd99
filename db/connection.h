// Connection: one ODBC connection to the planning database.
//
// The caller opens it from an ODBC connection string ("DSN=<name>", no user or
// password added) under an environment, passes it to every query, loading,
// planning and storing step, and owns it: queries hold it by reference, so it
// must outlive them. One connection serves one thread at a time; several
// connections may work at once from several threads.
//
// Statement handles made on the connection are freed before it disconnects
// (SQLite refuses to disconnect while statements exist); a query whose handle
// went that way raises E_POINTER when it is used again.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "db/database_error.h"
#include "db/odbc_handle.h"
#include "platform/odbc_environment.h"

namespace mrp {

class Connection {
 public:
  /// Connects with `connectionString` (UTF-8), without prompt; informational
  /// messages are discarded. Raises `DatabaseError` when that fails.
  Connection(const OdbcEnvironment& environment, std::string_view connectionString);
  /// Rolls back an open transaction and disconnects; never raises.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// Disconnects when connected; does nothing otherwise.
  void close();
  bool isOpen() const noexcept { return open_; }

  /// Whether the driver knows the connection to be gone (the server ended the
  /// session, the network dropped). False when it cannot tell.
  bool dead() const noexcept;

  /// Whether the database locks single rows for a writer (PostgreSQL, MariaDB)
  /// rather than the whole database (SQLite).
  bool locksRows() const noexcept { return locksRows_; }
  /// Whether the driver hands a text value only up to an embedded NUL, in
  /// every C type and with that length (the SQLite driver keeps values as C
  /// strings), so that such a value reads as its beginning.
  bool cutsTextsAtNul() const noexcept { return cutsTextsAtNul_; }
  /// Whether timestamps may be infinite (PostgreSQL's infinity and -infinity).
  bool hasInfiniteDates() const noexcept { return hasInfiniteDates_; }

  /// The transaction isolation level last set on this connection (0: none
  /// set yet, the driver's default).
  SQLULEN isolationLevel() const noexcept { return isolationLevel_; }
  void setIsolationLevel(SQLULEN level) noexcept { isolationLevel_ = level; }

  SQLHDBC handle() const noexcept { return handle_.get(); }
  /// Raises with this connection's diagnostics unless `rc` is a success.
  SQLRETURN check(SQLRETURN rc) const { return handle_.check(rc); }

  /// Counts the disconnects: a statement enlisted in an earlier session is gone.
  std::uint64_t session() const noexcept { return session_; }
  void enlist(SQLHSTMT statement) { statements_.push_back(statement); }
  void delist(SQLHSTMT statement) noexcept;

 private:
  void freeStatements() noexcept;

  odbc::ConnectionHandle handle_;
  std::vector<SQLHSTMT> statements_;
  bool open_ = false;
  bool locksRows_ = true;
  bool cutsTextsAtNul_ = false;
  bool hasInfiniteDates_ = false;
  SQLULEN isolationLevel_ = 0;
  std::uint64_t session_ = 0;
};

/// What a caller can do about `error`, raised by work on `connection`. A
/// failure on a connection that the driver reports dead is a lost connection
/// whatever its SQLSTATE: after the server ended the session, psqlODBC reports
/// "internal SAVEPOINT failed" (HY000) and MariaDB "Server has gone away" (HY001).
FailureKind failureKind(const DatabaseError& error, const Connection& connection) noexcept;

}  // namespace mrp
