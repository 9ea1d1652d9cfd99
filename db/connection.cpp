#include "db/connection.h"

#include "db/odbc_connection.h"
#include "driver/com_error.h"
#include "platform/odbc_environment.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace odbc {

Connection::Connection() {
  const SQLHENV environment = environmentHandle();
  if (environment == SQL_NULL_HENV) raiseComCode(E_POINTER);
  SQLHDBC handle = SQL_NULL_HDBC;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &handle))) raiseComCode(E_POINTER);
  handle_ = ConnectionHandle::adopt(handle);
}

Connection::~Connection() {
  if (!open_) return;
  // A transaction left open (a failure inside one) is undone; SQLite refuses
  // to disconnect while one is open.
  SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
  if (succeeded(SQLGetConnectAttr(handle_.get(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)) &&
      autocommit == SQL_AUTOCOMMIT_OFF)
    SQLEndTran(SQL_HANDLE_DBC, handle_.get(), SQL_ROLLBACK);
  SQLDisconnect(handle_.get());
}

void Connection::connect(std::u16string connectionString) {
  SQLSMALLINT completedLength = 0;
  handle_.check(SQLDriverConnectW(handle_.get(), nullptr, wide(connectionString),
                                  static_cast<SQLSMALLINT>(connectionString.size()), nullptr, 0,
                                  &completedLength, SQL_DRIVER_NOPROMPT));
  open_ = true;
}

void Connection::disconnect() {
  if (!open_) return;
  handle_.check(SQLDisconnect(handle_.get()));
  open_ = false;
  ++session_;
}

namespace {

std::shared_ptr<Connection>& slot() noexcept {
  // The environment is made first so that it is freed after the connection at exit.
  (void)environmentHandle();
  static std::shared_ptr<Connection> connection;
  return connection;
}

}  // namespace

std::shared_ptr<Connection> sharedConnectionObject() noexcept { return slot(); }

}  // namespace odbc

void openConnection(const char* connectionString) {
  auto& shared = odbc::slot();
  shared.reset();  // query objects on the old connection keep it alive
  shared = std::make_shared<odbc::Connection>();
  shared->connect(utf8ToUtf16(connectionString ? connectionString : ""));
}

void closeConnection() {
  if (const auto& shared = odbc::slot()) shared->disconnect();
}

SQLHDBC sharedConnection() noexcept {
  const auto& shared = odbc::slot();
  return shared ? shared->handle() : SQL_NULL_HDBC;
}

bool connectionIsOpen() noexcept {
  const auto& shared = odbc::slot();
  return shared && shared->isOpen();
}

}  // namespace mrp
