#include "db/transaction.h"

#include <chrono>

#include "db/backoff.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_handle.h"

namespace mrp {
namespace {

constexpr std::chrono::milliseconds kFirstPause{10};
constexpr std::chrono::milliseconds kLongestPause{640};

void setAttribute(const Connection& connection, SQLINTEGER attribute, SQLULEN value) {
  const Connection::State& s = connection.state();
  s.check(SQLSetConnectAttr(s.handle.get(), attribute, reinterpret_cast<SQLPOINTER>(value), 0));
}

/// Rolls back and turns autocommit on again, raising nothing: used while
/// another failure is on its way. psqlODBC undoes only the failing statement,
/// so the whole transaction must be rolled back here before anything else.
void abandon(const Connection& connection) noexcept {
  const SQLHDBC handle = connection.state().handle.get();
  SQLEndTran(SQL_HANDLE_DBC, handle, SQL_ROLLBACK);
  SQLSetConnectAttr(handle, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

SQLULEN isolationLevel(const Connection& connection, Isolation isolation) {
  switch (isolation) {
    case Isolation::ReadCommitted:
      return SQL_TXN_READ_COMMITTED;
    case Isolation::Serializable:
      return SQL_TXN_SERIALIZABLE;
    case Isolation::Snapshot:
      // The SQLite driver knows serializable only.
      return connection.locksRows() ? SQL_TXN_REPEATABLE_READ : SQL_TXN_SERIALIZABLE;
  }
  return SQL_TXN_SERIALIZABLE;
}

void begin(Connection& connection, Isolation isolation) {
  // The isolation level can only change outside a transaction. Setting it
  // costs a round trip on some drivers, so only a change is sent.
  const SQLULEN level = isolationLevel(connection, isolation);
  if (connection.state().isolationLevel != level) {
    setAttribute(connection, SQL_ATTR_TXN_ISOLATION, level);
    connection.state().isolationLevel = level;
  }
  setAttribute(connection, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
}

void commit(const Connection& connection) {
  const Connection::State& s = connection.state();
  s.check(SQLEndTran(SQL_HANDLE_DBC, s.handle.get(), SQL_COMMIT));
  setAttribute(connection, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

}  // namespace

void runTransaction(Connection& connection, Isolation isolation, const std::function<void()>& work,
                    std::chrono::milliseconds budget) {
  if (!connection.isOpen()) throw DatabaseError(E_POINTER);
  Backoff backoff(kFirstPause, kLongestPause, budget);
  for (;;) {
    try {
      begin(connection, isolation);
      work();
      commit(connection);
      return;
    } catch (const DatabaseError& error) {
      abandon(connection);
      if (error.kind() != FailureKind::Conflict || backoff.spent()) throw;
    } catch (...) {
      abandon(connection);
      throw;
    }
    backoff.pause();
  }
}

}  // namespace mrp
