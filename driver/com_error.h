// The one error type of the system and its report.
//
// Every failure of the database layer, of the value conversions and of text
// conversions is raised as a `_com_error`; only the run driver catches it and
// prints it once with `reportComError`. The error carries a failure code and an
// optional description; over ODBC the description is the text of the failing
// handle's diagnostic records and the SQLSTATE of the first record is kept too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ole_string.h"

namespace mrp {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);

class _com_error {
 public:
  /// A failure `code` (negative) with an optional UTF-16 description and the
  /// SQLSTATE of the failing ODBC call ("" when none).
  explicit _com_error(HRESULT code,
                      std::optional<std::u16string> description = std::nullopt,
                      std::string sqlState = {});
  /// A copy shares the description but not the message text, which it makes anew.
  _com_error(const _com_error& other);
  _com_error& operator=(const _com_error&) = delete;
  virtual ~_com_error();

  HRESULT code() const noexcept { return code_; }
  const std::string& sqlState() const noexcept { return sqlState_; }

  /// The system text of the code, or its fallback text; made once and kept.
  /// Null only when no text could be made.
  const char* messageText() const;
  /// The description (a null string when there is none).
  OleString descriptionText() const;

 private:
  HRESULT code_;
  std::optional<std::u16string> description_;
  std::string sqlState_;
  mutable std::optional<std::string> messageText_;
};

/// Raises `_com_error` for `code` without description.
[[noreturn]] void raiseComCode(HRESULT code);
/// Raises `_com_error` for a failing call of the database layer, with the
/// description and SQLSTATE that the failing handle reported.
[[noreturn]] void raiseComFailure(HRESULT code, std::optional<std::u16string> description,
                                  std::string sqlState = {});

/// The fallback text for a code without system text:
/// "IDispatch error #n" in 0x80040201..0x8004FFFF, else "Unknown error 0x%0lX".
std::string fallbackMessageText(HRESULT code);
/// A system text as the report shows it: a final line feed is removed when the
/// text is longer than one character, then a carriage return before it.
std::string trimSystemText(std::string text);

/// Prints the error in the error banner on standard error:
/// message text, ": ", description ("<Null>" for either when absent).
void reportComError(const _com_error& error);

}  // namespace mrp
