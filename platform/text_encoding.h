// Conversions between the process's 8-bit text encoding (UTF-8), UTF-16 (the
// database side) and code page 850 (the console). None of them fails: a byte
// sequence that is not UTF-8, or an unpaired surrogate, becomes U+FFFD, and a
// character that code page 850 lacks becomes '?'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mrp {

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);
/// UTF-8 to code page 850.
std::string utf8ToCp850(std::string_view text);

/// `text` with every control character (C0, DEL, C1) and the Unicode line and
/// paragraph separators replaced by one space each, so that it stays on one
/// line. Other bytes, also malformed UTF-8, pass unchanged.
std::string withoutControlCharacters(std::string_view text);

/// The number of bytes of the well-formed UTF-8 character at the start of
/// `text`; 0 when `text` is empty or starts with a sequence that is none
/// (a stray or missing continuation byte, an overlong form, a surrogate,
/// beyond U+10FFFF).
std::size_t utf8CharacterLength(std::string_view text) noexcept;
/// Whether `text` is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text) noexcept;
/// `text` with each maximal ill-formed UTF-8 subsequence replaced by U+FFFD;
/// well-formed text comes back unchanged.
std::string validUtf8(std::string_view text);

/// The longest prefix of `text` of at most `maxBytes` bytes that does not end
/// inside a UTF-8 character.
std::string_view cutAtCharBoundary(std::string_view text, std::size_t maxBytes);

}  // namespace mrp
