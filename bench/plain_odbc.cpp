#include "plain_odbc.h"

#include <stdexcept>

namespace mrp::bench {
namespace {

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  SQLCHAR state[6] = {};
  SQLCHAR message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
  throw std::runtime_error(std::string(what) + ": " + reinterpret_cast<const char*>(message));
}

}  // namespace

PlainConnection::PlainConnection(const std::string& connectionString) {
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_)))
    throw std::runtime_error("no ODBC environment");
  SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_))) {
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
    throw std::runtime_error("no ODBC connection handle");
  }
  std::string text = connectionString;
  SQLSMALLINT completed = 0;
  if (!succeeded(SQLDriverConnect(connection_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                  static_cast<SQLSMALLINT>(text.size()), nullptr, 0, &completed,
                                  SQL_DRIVER_NOPROMPT))) {
    try {
      fail(SQL_HANDLE_DBC, connection_, "connect");
    } catch (...) {
      SQLFreeHandle(SQL_HANDLE_DBC, connection_);
      SQLFreeHandle(SQL_HANDLE_ENV, environment_);
      throw;
    }
  }
}

PlainConnection::~PlainConnection() {
  SQLDisconnect(connection_);
  SQLFreeHandle(SQL_HANDLE_DBC, connection_);
  SQLFreeHandle(SQL_HANDLE_ENV, environment_);
}

SQLHSTMT PlainConnection::newStatement() const {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement)))
    fail(SQL_HANDLE_DBC, connection_, "statement");
  return statement;
}

SQLRETURN PlainStatement::check(SQLRETURN rc) const {
  if (succeeded(rc) || rc == SQL_NO_DATA) return rc;
  fail(SQL_HANDLE_STMT, handle_, "statement");
}

}  // namespace mrp::bench
