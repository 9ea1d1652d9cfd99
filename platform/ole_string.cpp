// The 8-bit view is made lazily because most texts only travel towards UTF-16.
#include "platform/ole_string.h"

#include <utility>

#include "platform/text_encoding.h"

namespace mrp {

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
