#include "db/transaction.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "db/connection.h"
#include "db/database_error.h"

namespace mrp {
namespace {

constexpr int kFirstPauseMs = 10;
constexpr int kLongestPauseMs = 640;

void setAttribute(const Connection& connection, SQLINTEGER attribute, SQLULEN value) {
  connection.check(
      SQLSetConnectAttr(connection.handle(), attribute, reinterpret_cast<SQLPOINTER>(value), 0));
}

/// Rolls back and turns autocommit on again, raising nothing: used while
/// another failure is on its way. psqlODBC undoes only the failing statement,
/// so the whole transaction must be rolled back here before anything else.
void abandon(const Connection& connection) noexcept {
  SQLEndTran(SQL_HANDLE_DBC, connection.handle(), SQL_ROLLBACK);
  SQLSetConnectAttr(connection.handle(), SQL_ATTR_AUTOCOMMIT,
                    reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

void begin(Connection& connection, Isolation isolation) {
  // The isolation level can only change outside a transaction. Setting it
  // costs a round trip on some drivers, so only a change is sent.
  const SQLULEN level = isolation == Isolation::Serializable ? SQL_TXN_SERIALIZABLE : SQL_TXN_READ_COMMITTED;
  if (connection.isolationLevel() != level) {
    setAttribute(connection, SQL_ATTR_TXN_ISOLATION, level);
    connection.setIsolationLevel(level);
  }
  setAttribute(connection, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
}

void commit(const Connection& connection) {
  connection.check(SQLEndTran(SQL_HANDLE_DBC, connection.handle(), SQL_COMMIT));
  setAttribute(connection, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

/// Waits before the next attempt: the pause doubles with every attempt and a
/// random part keeps competing runs from retrying in lockstep.
void pauseBeforeAttempt(int attempt, std::minstd_rand& random) {
  const int longest = std::min(kFirstPauseMs << std::min(attempt - 1, 10), kLongestPauseMs);
  std::uniform_int_distribution<int> pause(longest / 2, longest);
  std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
}

}  // namespace

void runTransaction(Connection& connection, Isolation isolation,
                    const std::function<void()>& work, std::chrono::milliseconds budget) {
  if (!connection.isOpen()) throw DatabaseError(E_POINTER);
  const auto deadline = std::chrono::steady_clock::now() + budget;
  std::optional<std::minstd_rand> random;  // seeded at the first retry only
  for (int attempt = 1;; ++attempt) {
    try {
      begin(connection, isolation);
      work();
      commit(connection);
      return;
    } catch (const DatabaseError& error) {
      abandon(connection);
      if (error.kind() != FailureKind::Conflict || std::chrono::steady_clock::now() >= deadline) throw;
    } catch (...) {
      abandon(connection);
      throw;
    }
    if (!random) random.emplace(std::random_device{}());
    pauseBeforeAttempt(attempt, *random);
  }
}

}  // namespace mrp
