#include "db/odbc_environment.h"

#include <new>

#include "db/odbc_handle.h"

namespace mrp {

std::unique_ptr<OdbcEnvironment> OdbcEnvironment::allocate() noexcept {
  SQLHENV handle = SQL_NULL_HENV;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle) != SQL_SUCCESS) return nullptr;
  const SQLRETURN rc =
      SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  std::unique_ptr<State> state;
  if (odbc::succeeded(rc)) state.reset(new (std::nothrow) State{handle, {}});
  std::unique_ptr<OdbcEnvironment> environment;
  if (state) environment.reset(new (std::nothrow) OdbcEnvironment(std::move(state)));
  if (!environment) SQLFreeHandle(SQL_HANDLE_ENV, handle);
  return environment;
}

OdbcEnvironment::OdbcEnvironment(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}

OdbcEnvironment::~OdbcEnvironment() { SQLFreeHandle(SQL_HANDLE_ENV, state_->handle); }

}  // namespace mrp
