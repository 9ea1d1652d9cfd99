// UTF-8 and UTF-16 are decoded by hand so that malformed input never fails a
// run: each maximal ill-formed subsequence becomes one U+FFFD, as Unicode
// recommends. Code page 850 is a fixed table of its 128 upper characters.
#include "platform/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace mrp {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }
bool isHighSurrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

/// Number of bytes of the character that `lead` starts; 0 for a byte that
/// cannot start one (a continuation byte, C0, C1, F5..FF).
int sequenceLength(unsigned char lead) noexcept {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

/// Range of the second byte after `lead`; it excludes overlong forms,
/// surrogates (ED A0..BF) and values above U+10FFFF.
bool secondByteFits(unsigned char lead, unsigned char second) noexcept {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return isContinuation(second);
  }
}

struct Decoded {
  char32_t character;
  std::size_t bytes;  // consumed, at least 1
};

/// Decodes the character at the start of `text` (not empty).
Decoded decodeUtf8(std::string_view text) noexcept {
  const auto lead = static_cast<unsigned char>(text[0]);
  const int length = sequenceLength(lead);
  if (length == 1) return {lead, 1};
  if (length == 0) return {kReplacement, 1};
  char32_t value = lead & (0xFF >> (length + 1));
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= text.size()) return {kReplacement, text.size()};
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool fits = i == 1 ? secondByteFits(lead, byte) : isContinuation(byte);
    if (!fits) return {kReplacement, static_cast<std::size_t>(i)};
    value = (value << 6) | (byte & 0x3F);
  }
  return {value, static_cast<std::size_t>(length)};
}

/// Decodes the UTF-16 character at `text[index]`; lone surrogates give U+FFFD.
Decoded decodeUtf16(std::u16string_view text, std::size_t index) noexcept {
  const char32_t unit = text[index];
  if (isHighSurrogate(unit) && index + 1 < text.size() && isLowSurrogate(text[index + 1])) {
    const char32_t low = text[index + 1];
    return {0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), 2};
  }
  if (isHighSurrogate(unit) || isLowSurrogate(unit)) return {kReplacement, 1};
  return {unit, 1};
}

void appendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
    return;
  }
  c -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

/// The Unicode characters of the code page 850 bytes 0x80 to 0xFF, in byte order.
constexpr std::array<char16_t, 128> kCp850Upper = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

struct Cp850Entry {
  char16_t character;
  unsigned char byte;
};

/// The upper half sorted by character, for a binary search per character.
constexpr std::array<Cp850Entry, 128> sortedCp850Upper() {
  std::array<Cp850Entry, 128> entries{};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i] = {kCp850Upper[i], static_cast<unsigned char>(0x80 + i)};
  }
  std::sort(entries.begin(), entries.end(),
            [](const Cp850Entry& a, const Cp850Entry& b) { return a.character < b.character; });
  return entries;
}

constexpr std::array<Cp850Entry, 128> kCp850ByCharacter = sortedCp850Upper();

char toCp850(char32_t c) noexcept {
  if (c < 0x80) return static_cast<char>(c);
  const auto found =
      std::lower_bound(kCp850ByCharacter.begin(), kCp850ByCharacter.end(), c,
                       [](const Cp850Entry& entry, char32_t wanted) { return entry.character < wanted; });
  if (found != kCp850ByCharacter.end() && found->character == c) {
    return static_cast<char>(found->byte);
  }
  return '?';
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const Decoded decoded = decodeUtf8(text);
    appendUtf16(out, decoded.character);
    text.remove_prefix(decoded.bytes);
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Decoded decoded = decodeUtf16(text, i);
    appendUtf8(out, decoded.character);
    i += decoded.bytes;
  }
  return out;
}

std::string utf8ToCp850(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const Decoded decoded = decodeUtf8(text);
    out.push_back(toCp850(decoded.character));
    text.remove_prefix(decoded.bytes);
  }
  return out;
}

std::string withoutControlCharacters(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto byte = static_cast<unsigned char>(out[i]);
    if (byte < 0x20 || byte == 0x7F) {
      out[i] = ' ';
    } else if (byte == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(out[i + 1]) <= 0x9F) {
      out.replace(i, 2, " ");  // C1: U+0080 to U+009F
    } else if (byte == 0xE2 && i + 2 < out.size() && out[i + 1] == '\x80' &&
               (out[i + 2] == '\xA8' || out[i + 2] == '\xA9')) {
      out.replace(i, 3, " ");  // U+2028, U+2029
    }
  }
  return out;
}

std::size_t utf8CharacterLength(std::string_view text) noexcept {
  if (text.empty()) return 0;
  const Decoded decoded = decodeUtf8(text);
  // The decoder gives U+FFFD for an ill-formed sequence; tell it from a real one.
  const bool wellFormed = decoded.character != kReplacement || text.starts_with("\xEF\xBF\xBD");
  return wellFormed ? decoded.bytes : 0;
}

bool isValidUtf8(std::string_view text) noexcept {
  while (!text.empty()) {
    const std::size_t length = utf8CharacterLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string validUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = utf8CharacterLength(text);
    if (length > 0) {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    } else {
      appendUtf8(out, kReplacement);
      text.remove_prefix(decodeUtf8(text).bytes);
    }
  }
  return out;
}

std::string_view cutAtCharBoundary(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  // Step back over the continuation bytes in front of the cut to the lead byte;
  // the cut moves there only when that character really reaches past the cut.
  // Stray continuation bytes are characters of their own (U+FFFD each).
  for (std::size_t back = 0; back < 4 && back <= maxBytes; ++back) {
    const auto byte = static_cast<unsigned char>(text[maxBytes - back]);
    if (back > 0 && !isContinuation(byte)) {
      const bool straddles = decodeUtf8(text.substr(maxBytes - back)).bytes > back;
      return text.substr(0, straddles ? maxBytes - back : maxBytes);
    }
    if (!isContinuation(byte)) break;
  }
  return text.substr(0, maxBytes);
}

}  // namespace mrp
