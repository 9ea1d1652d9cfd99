// Placeholders until the real implementations land; removed piece by piece.
#include <sql.h>
#include <sqlext.h>

#include "platform/odbc_environment.h"
#include "platform/ole_string.h"
#include "platform/text_encoding.h"

namespace mrp {
std::u16string utf8ToUtf16(std::string_view text) { return {text.begin(), text.end()}; }
std::string utf16ToUtf8(std::u16string_view text) { return {text.begin(), text.end()}; }
std::string utf16ToCp850(std::u16string_view text) { return {text.begin(), text.end()}; }
std::string_view cutAtCharBoundary(std::string_view text, std::size_t maxBytes) {
  return text.substr(0, maxBytes);
}
OleString::OleString(const char* text) {
  if (text) wide_ = utf8ToUtf16(text);
}
OleString::OleString(std::optional<std::u16string> wide) : wide_(std::move(wide)) {}
const char* OleString::ansi() const {
  if (!wide_) return nullptr;
  if (!ansi_) ansi_ = utf16ToUtf8(*wide_);
  return ansi_->c_str();
}
}  // namespace mrp
