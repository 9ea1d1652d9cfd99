#include "db/database_error.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "platform/text_encoding.h"

namespace mrp {
namespace {

constexpr std::uint32_t kIDispatchBase = 0x80040200u;
constexpr std::uint32_t kIDispatchLast = 0x8004FFFFu;
constexpr const char* kNullText = "<Null>";

/// The text with each run of line ends replaced by one space and trailing ones
/// dropped, so that a description of several diagnostic records is one line.
std::string onOneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool inBreak = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      inBreak = true;
      continue;
    }
    if (inBreak && !line.empty()) line.push_back(' ');
    inBreak = false;
    line.push_back(c);
  }
  return line;
}

}  // namespace

DatabaseError::DatabaseError(HRESULT code, std::optional<std::u16string> description, std::string sqlState,
                             std::int32_t nativeError)
    : code_(code),
      description_(std::move(description)),
      sqlState_(std::move(sqlState)),
      nativeError_(nativeError) {
  std::string text = description_ ? onOneLine(utf16ToUtf8(*description_)) : std::string();
  if (text.empty()) text = kNullText;
  line_ = withoutControlCharacters(messageTextFor(code_) + ": " + text);
}

FailureKind DatabaseError::kind() const noexcept {
  // 40001 and 40P01 are serialization failures and deadlocks; MariaDB's 1205
  // ends a wait for a row lock after innodb_lock_wait_timeout (with HY000).
  if (sqlState_ == "40001" || sqlState_ == "40P01" || nativeError_ == kLockWaitTimeout)
    return FailureKind::Conflict;
  // Class 08 is a connection exception; 57P01 to 57P03 an administrator's or
  // the server's shutdown of the session; MariaDB's client errors 2006 and
  // 2013 ("Server has gone away", "Lost connection") come with HY000 or HY001;
  // E_POINTER is a statement whose connection was closed.
  if (sqlState_.starts_with("08") || sqlState_ == "57P01" || sqlState_ == "57P02" || sqlState_ == "57P03" ||
      nativeError_ == kServerGoneAway || nativeError_ == kLostConnection || code_ == E_POINTER)
    return FailureKind::ConnectionLost;
  return FailureKind::Statement;
}

std::string DatabaseError::messageTextFor(HRESULT code) {
  const auto value = static_cast<std::uint32_t>(code);
  char text[32];
  if (value > kIDispatchBase && value <= kIDispatchLast) {
    std::snprintf(text, sizeof text, "IDispatch error #%d", static_cast<int>(value - kIDispatchBase));
  } else {
    std::snprintf(text, sizeof text, "Unknown error 0x%0lX", static_cast<unsigned long>(value));
  }
  return text;
}

}  // namespace mrp
