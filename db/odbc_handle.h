// Internal to the database layer: RAII owners of ODBC handles and the one
// place that checks ODBC return codes.
//
// Every ODBC call of the system goes through `check`: a result other than
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (and SQL_NO_DATA where the caller allows
// it) raises `DatabaseError` with E_FAIL, the message texts of the failing
// handle's diagnostic records as description and the first record's SQLSTATE;
// a driver that ran out of memory raises std::bad_alloc instead, as the
// program's own allocations do.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace mrp::odbc {

/// The message texts of the diagnostic records of a handle, one record per
/// line, and the SQLSTATE and native error of the first record ("" and 0 when
/// there is none).
struct Diagnostics {
  std::optional<std::u16string> text;
  std::string sqlState;
  std::int32_t nativeError = 0;
};
Diagnostics readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) noexcept;

/// Whether the diagnostics report memory running out: SQLSTATE HY001 from any
/// driver (but MariaDB's, which says so also for a connection gone: native
/// errors 2006 and 2013), or SQLite's out-of-memory code 7 from the SQLite
/// driver (whose messages start with "[SQLite]"; another driver's native error
/// 7 means something else).
bool isOutOfMemory(const Diagnostics& diagnostics) noexcept;

/// Raises `DatabaseError` (E_FAIL) with the diagnostics of the handle, or
/// std::bad_alloc when they report memory running out.
[[noreturn]] void raiseFailure(SQLSMALLINT handleType, SQLHANDLE handle);

/// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool succeeded(SQLRETURN rc) noexcept {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

/// Raises for every result but success; returns the result (for SQL_NO_DATA
/// when `noDataAllowed`).
SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle,
                bool noDataAllowed = false);

/// One ODBC handle of type `Type`, freed by the destructor. Move-only.
template <SQLSMALLINT Type>
class Handle {
 public:
  Handle() = default;
  /// Allocates a handle under `parent`; raises on failure.
  explicit Handle(SQLHANDLE parent) {
    const SQLRETURN rc = SQLAllocHandle(Type, parent, &handle_);
    if (!succeeded(rc)) {
      handle_ = SQL_NULL_HANDLE;
      raiseFailure(parentType(), parent);
    }
  }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  /// Takes over a handle allocated elsewhere.
  static Handle adopt(SQLHANDLE handle) noexcept {
    Handle owner;
    owner.handle_ = handle;
    return owner;
  }
  /// Gives up the handle without freeing it (freed by someone else).
  void forget() noexcept { handle_ = SQL_NULL_HANDLE; }

  SQLHANDLE get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != SQL_NULL_HANDLE; }
  void reset() noexcept {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, handle_);
    handle_ = SQL_NULL_HANDLE;
  }
  /// Raises with this handle's diagnostics unless `rc` is a success.
  SQLRETURN check(SQLRETURN rc, bool noDataAllowed = false) const {
    return odbc::check(rc, Type, handle_, noDataAllowed);
  }

 private:
  static constexpr SQLSMALLINT parentType() noexcept {
    return Type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
  }
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using ConnectionHandle = Handle<SQL_HANDLE_DBC>;
using StatementHandle = Handle<SQL_HANDLE_STMT>;

/// UTF-16 text as the ODBC wide type, and back.
inline SQLWCHAR* wide(std::u16string& text) noexcept {
  static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

}  // namespace mrp::odbc
