#include "platform/odbc_environment.h"

#include <sqlext.h>

namespace mrp {
namespace {

/// Owns the process's environment handle. A function-local static, so it is
/// destroyed at exit after every static made later (the shared connection),
/// whose handles must be freed before the environment.
class Environment {
 public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  ~Environment() { release(); }

  SQLHENV handle = SQL_NULL_HENV;

  /// Frees the handle; the driver manager refuses while connections exist,
  /// then the handle stays for the destructor at exit.
  void release() noexcept {
    if (handle != SQL_NULL_HENV && SQLFreeHandle(SQL_HANDLE_ENV, handle) == SQL_SUCCESS)
      handle = SQL_NULL_HENV;
  }
};

Environment& environment() noexcept {
  static Environment instance;
  return instance;
}

}  // namespace

bool initialisePlatform() noexcept {
  Environment& env = environment();
  if (env.handle != SQL_NULL_HENV) return true;
  SQLHENV handle = SQL_NULL_HENV;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle) != SQL_SUCCESS) return false;
  const SQLRETURN rc = SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    SQLFreeHandle(SQL_HANDLE_ENV, handle);
    return false;
  }
  env.handle = handle;
  return true;
}

void uninitialisePlatform() noexcept { environment().release(); }

SQLHENV environmentHandle() noexcept { return environment().handle; }

}  // namespace mrp
