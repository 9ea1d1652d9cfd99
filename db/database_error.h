// DatabaseError: every failure of the database layer and of its value
// conversions.
//
// It carries a failure code (the negative codes of OLE Automation: E_FAIL for
// a failing ODBC call, E_POINTER for a missing handle, the variant conversion
// codes for a value that does not convert), the SQLSTATE and native error of
// the failing call's first diagnostic record ("" and 0 when none) and the
// message texts of its diagnostic records. `what()` is one line of UTF-8: the text of the code, ": "
// and the description with line ends made spaces ("<Null>" when there is none).
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace mrp {

using HRESULT = std::int32_t;

inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

/// MariaDB's (and MySQL's) client errors for a connection gone, "Server has
/// gone away" and "Lost connection"; its driver reports them with SQLSTATE
/// HY000 or HY001 (which otherwise means memory allocation error).
inline constexpr std::int32_t kServerGoneAway = 2006;
inline constexpr std::int32_t kLostConnection = 2013;
/// MariaDB's "Lock wait timeout exceeded; try restarting transaction".
inline constexpr std::int32_t kLockWaitTimeout = 1205;

/// What a caller can do about a failure.
enum class FailureKind {
  /// The statement's own error (a constraint, a trigger, bad SQL): give up.
  Statement,
  /// The database gave the transaction up (serialization failure, deadlock,
  /// a lock waited for too long): roll back and run the transaction again.
  Conflict,
  /// The connection is gone: connect anew. Whether a commit in flight took
  /// effect is unknown.
  ConnectionLost,
};

class DatabaseError : public std::exception {
 public:
  /// A failure `code` with an optional UTF-16 description, and the SQLSTATE
  /// and native error of the failing ODBC call.
  explicit DatabaseError(HRESULT code, std::optional<std::u16string> description = std::nullopt,
                         std::string sqlState = {}, std::int32_t nativeError = 0);

  HRESULT code() const noexcept { return code_; }
  const std::string& sqlState() const noexcept { return sqlState_; }
  /// The driver's or server's own error number of the first diagnostic record.
  std::int32_t nativeError() const noexcept { return nativeError_; }
  FailureKind kind() const noexcept;
  const std::optional<std::u16string>& description() const noexcept { return description_; }
  /// The text of the code: "IDispatch error #n" for 0x80040201..0x8004FFFF,
  /// otherwise "Unknown error 0x%0lX" (there is no system message table).
  std::string messageText() const { return messageTextFor(code_); }
  const char* what() const noexcept override { return line_.c_str(); }

  static std::string messageTextFor(HRESULT code);

 private:
  HRESULT code_;
  std::optional<std::u16string> description_;
  std::string sqlState_;
  std::int32_t nativeError_;
  std::string line_;
};

}  // namespace mrp
