#include "support/json_check.h"

#include <cstddef>

namespace mrp::test {
namespace {

/// Nesting deeper than this is refused rather than risking the stack.
constexpr int kMaxDepth = 200;

class JsonChecker {
 public:
  explicit JsonChecker(std::string_view text) : text_(text) {}

  bool wholeValue() {
    blanks();
    if (!value(0)) return false;
    blanks();
    return at_ == text_.size();
  }

 private:
  bool value(int depth) {
    if (depth > kMaxDepth || at_ >= text_.size()) return false;
    switch (text_[at_]) {
      case '{':
        return object(depth);
      case '[':
        return array(depth);
      case '"':
        return string();
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        return number();
    }
  }

  bool object(int depth) {
    ++at_;
    blanks();
    if (take('}')) return true;
    do {
      blanks();
      if (!string()) return false;
      blanks();
      if (!take(':')) return false;
      blanks();
      if (!value(depth + 1)) return false;
      blanks();
    } while (take(','));
    return take('}');
  }

  bool array(int depth) {
    ++at_;
    blanks();
    if (take(']')) return true;
    do {
      blanks();
      if (!value(depth + 1)) return false;
      blanks();
    } while (take(','));
    return take(']');
  }

  bool string() {
    if (!take('"')) return false;
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto byte = static_cast<unsigned char>(text_[at_]);
      if (byte < 0x20) return false;
      if (byte == '\\' && !escape()) return false;
      if (byte != '\\') ++at_;
    }
    if (!isUtf8(text_.substr(start, at_ - start))) return false;
    return take('"');
  }

  /// One escape at `at_` (the backslash); a high surrogate must be followed by a low one.
  bool escape() {
    ++at_;
    if (at_ >= text_.size()) return false;
    const char kind = text_[at_++];
    if (kind != 'u') return std::string_view("\"\\/bfnrt").find(kind) != std::string_view::npos;
    unsigned unit = 0;
    if (!hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit < 0xD800 || unit > 0xDBFF) return true;
    unsigned low = 0;
    return take('\\') && take('u') && hex4(low) && low >= 0xDC00 && low <= 0xDFFF;
  }

  bool hex4(unsigned& unit) {
    if (text_.size() - at_ < 4) return false;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      unit = unit * 16 + static_cast<unsigned>(digit);
    }
    return true;
  }

  bool number() {
    take('-');
    if (take('0')) {
      // no leading zeros
    } else if (!digits()) {
      return false;
    }
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    return true;
  }

  bool digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool word(std::string_view expected) {
    if (text_.substr(at_, expected.size()) != expected) return false;
    at_ += expected.size();
    return true;
  }

  bool take(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  void blanks() {
    while (at_ < text_.size() && std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      ++at_;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

bool isJson(std::string_view text) { return JsonChecker(text).wholeValue(); }

bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if (k == 1 ? byte < low || byte > high : (byte & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace mrp::test
