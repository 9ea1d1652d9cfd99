#include "db/transaction.h"

#include <chrono>
#include <thread>

#include "db/odbc_connection.h"
#include "driver/com_error.h"

namespace mrp {
namespace {

constexpr int kAttempts = 5;
constexpr std::chrono::milliseconds kFirstPause{10};
constexpr char kSerializationFailure[] = "40001";

void setAttribute(const odbc::Connection& connection, SQLINTEGER attribute, SQLULEN value) {
  connection.checked().check(SQLSetConnectAttr(connection.handle(), attribute,
                                               reinterpret_cast<SQLPOINTER>(value), 0));
}

/// Rolls back and turns autocommit on again, raising nothing: used while
/// another failure is on its way. psqlODBC undoes only the failing statement,
/// so the whole transaction must be rolled back here before anything else.
void abandon(const odbc::Connection& connection) noexcept {
  SQLEndTran(SQL_HANDLE_DBC, connection.handle(), SQL_ROLLBACK);
  SQLSetConnectAttr(connection.handle(), SQL_ATTR_AUTOCOMMIT,
                    reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

void begin(const odbc::Connection& connection) {
  // The isolation level can only change outside a transaction.
  setAttribute(connection, SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE);
  setAttribute(connection, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
}

void commit(const odbc::Connection& connection) {
  connection.checked().check(SQLEndTran(SQL_HANDLE_DBC, connection.handle(), SQL_COMMIT));
  setAttribute(connection, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

}  // namespace

void runSerializableTransaction(const std::function<void()>& work) {
  const auto connection = odbc::sharedConnectionObject();
  if (!connection || !connection->isOpen()) raiseComCode(E_POINTER);
  auto pause = kFirstPause;
  for (int attempt = 1;; ++attempt) {
    try {
      begin(*connection);
      work();
      commit(*connection);
      return;
    } catch (const _com_error& error) {
      abandon(*connection);
      if (error.sqlState() != kSerializationFailure || attempt == kAttempts) throw;
    } catch (...) {
      abandon(*connection);
      throw;
    }
    std::this_thread::sleep_for(pause);
    pause *= 2;
  }
}

}  // namespace mrp
