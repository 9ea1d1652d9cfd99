#include "platform/odbc_environment.h"

#include <sqlext.h>

#include <new>

namespace mrp {

std::unique_ptr<OdbcEnvironment> OdbcEnvironment::allocate() noexcept {
  SQLHENV handle = SQL_NULL_HENV;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle) != SQL_SUCCESS) return nullptr;
  const SQLRETURN rc = SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  std::unique_ptr<OdbcEnvironment> environment;
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
    environment.reset(new (std::nothrow) OdbcEnvironment(handle));
  if (!environment) SQLFreeHandle(SQL_HANDLE_ENV, handle);
  return environment;
}

OdbcEnvironment::~OdbcEnvironment() { SQLFreeHandle(SQL_HANDLE_ENV, handle_); }

}  // namespace mrp
