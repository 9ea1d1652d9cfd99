#include "db/odbc_handle.h"

#include <array>
#include <new>
#include <string_view>

#include "db/database_error.h"

namespace mrp::odbc {

Diagnostics readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) noexcept {
  Diagnostics result;
  if (handle == SQL_NULL_HANDLE) return result;
  try {
    std::u16string text;
    for (SQLSMALLINT record = 1;; ++record) {
      std::array<SQLWCHAR, 6> state{};
      SQLINTEGER nativeError = 0;
      SQLSMALLINT length = 0;
      SQLRETURN rc =
          SQLGetDiagRecW(handleType, handle, record, state.data(), &nativeError, nullptr, 0, &length);
      if (!succeeded(rc)) break;
      std::u16string message(static_cast<std::size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(handleType, handle, record, state.data(), &nativeError, wide(message),
                          static_cast<SQLSMALLINT>(message.size()), &length);
      if (!succeeded(rc)) break;
      message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size() - 1));
      if (record == 1) {
        for (std::size_t i = 0; i < 5 && state[i] != 0; ++i)
          result.sqlState.push_back(static_cast<char>(state[i]));
        result.nativeError = nativeError;
      }
      if (!text.empty()) text.push_back(u'\n');
      text += message;
    }
    if (!text.empty()) result.text = std::move(text);
  } catch (...) {
    // Out of memory while reading diagnostics: report what was gathered.
  }
  return result;
}

bool isOutOfMemory(const Diagnostics& diagnostics) noexcept {
  constexpr std::int32_t kSQLiteNoMemory = 7;  // SQLITE_NOMEM
  constexpr std::u16string_view kSQLitePrefix = u"[SQLite]";
  const bool connectionGone =
      diagnostics.nativeError == kServerGoneAway || diagnostics.nativeError == kLostConnection;
  return (diagnostics.sqlState == "HY001" && !connectionGone) ||
         (diagnostics.nativeError == kSQLiteNoMemory && diagnostics.text &&
          diagnostics.text->starts_with(kSQLitePrefix));
}

void raiseFailure(SQLSMALLINT handleType, SQLHANDLE handle) {
  Diagnostics diagnostics = readDiagnostics(handleType, handle);
  if (isOutOfMemory(diagnostics)) throw std::bad_alloc();
  throw DatabaseError(E_FAIL, std::move(diagnostics.text), std::move(diagnostics.sqlState),
                      diagnostics.nativeError);
}

SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, bool noDataAllowed) {
  if (succeeded(rc) || (noDataAllowed && rc == SQL_NO_DATA)) return rc;
  raiseFailure(handleType, handle);
}

}  // namespace mrp::odbc
