// OleString: a UTF-16 string that may be null, with an 8-bit (UTF-8) view made
// on first request and kept. Texts pass through it between the program's 8-bit
// strings and UTF-16.
#pragma once

#include <optional>
#include <string>

namespace mrp {

class OleString {
 public:
  /// A null string.
  OleString() = default;
  /// From an 8-bit text; a null pointer gives a null string.
  explicit OleString(const char* text);
  /// Takes over a UTF-16 string (std::nullopt: null).
  explicit OleString(std::optional<std::u16string> wide);

  bool isNull() const noexcept { return !wide_.has_value(); }
  /// Number of UTF-16 code units; 0 for a null string.
  std::size_t length() const noexcept { return wide_ ? wide_->size() : 0; }
  const std::optional<std::u16string>& wide() const noexcept { return wide_; }
  /// The 8-bit view, made once; null for a null string.
  const char* ansi() const;

 private:
  std::optional<std::u16string> wide_;
  mutable std::optional<std::string> ansi_;
};

}  // namespace mrp
