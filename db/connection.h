// Connection: one ODBC connection to the planning database.
//
// The caller opens it from an ODBC connection string ("DSN=<name>", no user or
// password added) under an environment, passes it to every query, loading,
// planning and storing step, and owns it: statements hold it by reference, so
// it must outlive them. One connection serves one thread at a time; several
// connections may work at once from several threads. A statement whose
// connection was closed since raises E_POINTER when it is used again.
#pragma once

#include <memory>
#include <string_view>

#include "db/database_error.h"

namespace mrp {

class OdbcEnvironment;

/// The database system behind a connection, for the statements that differ
/// between them.
enum class Dialect { SQLite, PostgreSQL, MariaDB, Other };

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
  bool isOpen() const noexcept;

  /// Whether the driver knows the connection to be gone (the server ended the
  /// session, the network dropped). False when it cannot tell.
  bool dead() const noexcept;

  /// Whether the database locks single rows for a writer (PostgreSQL, MariaDB)
  /// rather than the whole database (SQLite).
  bool locksRows() const noexcept;
  Dialect dialect() const noexcept;
  /// Whether the driver hands a text value only up to an embedded NUL, in
  /// every C type and with that length (the SQLite driver keeps values as C
  /// strings), so that such a value reads as its beginning.
  bool cutsTextsAtNul() const noexcept;
  /// Whether timestamps may be infinite (PostgreSQL's infinity and -infinity).
  bool hasInfiniteDates() const noexcept;

  /// The ODBC side, for the database layer's own use (odbc_handle.h).
  struct State;
  State& state() const noexcept { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

/// What a caller can do about `error`, raised by work on `connection`. A
/// failure on a connection that the driver reports dead is a lost connection
/// whatever its SQLSTATE: after the server ended the session, psqlODBC reports
/// "internal SAVEPOINT failed" (HY000) and MariaDB "Server has gone away" (HY001).
FailureKind failureKind(const DatabaseError& error, const Connection& connection) noexcept;

}  // namespace mrp
