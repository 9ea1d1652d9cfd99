#include "platform/text_encoding.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace mrp {
namespace {

// The C library's converter as an independent reference for the code page 850
// table: one UTF-16 character in, its single byte out.
std::string iconvToCp850(char16_t character) {
  iconv_t converter = iconv_open("IBM850", "UTF-16LE");
  if (converter == reinterpret_cast<iconv_t>(-1)) return {};
  char in[2] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8)};
  char out[8] = {};
  char* inPtr = in;
  char* outPtr = out;
  std::size_t inLeft = sizeof in;
  std::size_t outLeft = sizeof out;
  const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) return {};
  return std::string(out, outPtr);
}

// Decodes byte b of code page 850 through iconv.
char16_t iconvFromCp850(unsigned char byte) {
  iconv_t converter = iconv_open("UTF-16LE", "IBM850");
  char in[1] = {static_cast<char>(byte)};
  char out[4] = {};
  char* inPtr = in;
  char* outPtr = out;
  std::size_t inLeft = 1;
  std::size_t outLeft = sizeof out;
  iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(converter);
  return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                               (static_cast<unsigned char>(out[1]) << 8));
}

TEST(TextEncodingTest, EveryUpperCodePage850ByteRoundTripsLikeIconv) {
  for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
    const char16_t character = iconvFromCp850(static_cast<unsigned char>(byte));
    ASSERT_EQ(iconvToCp850(character), std::string(1, static_cast<char>(byte))) << byte;
    EXPECT_EQ(utf8ToCp850(utf16ToUtf8(std::u16string(1, character))), std::string(1, static_cast<char>(byte)))
        << "byte 0x" << std::hex << byte << " character U+" << static_cast<unsigned>(character);
  }
}

TEST(TextEncodingTest, GermanLettersAndAsciiInCodePage850) {
  EXPECT_EQ(utf8ToCp850("äöüÄÖÜß"), "\x84\x94\x81\x8E\x99\x9A\xE1");
  EXPECT_EQ(utf8ToCp850("LosGröße"),
            "LosGr\x94\xE1"
            "e");
  std::string ascii;
  for (char c = 1; c > 0; ++c) ascii.push_back(c);
  EXPECT_EQ(utf8ToCp850(ascii), ascii);
}

TEST(TextEncodingTest, CharactersMissingInCodePage850BecomeOneQuestionMarkEach) {
  struct Case {
    std::u16string in;
    std::string out;
  };
  const Case cases[] = {
      {u"€", "?"},           // in Windows-1252, not in 850
      {u"a\u0100b", "a?b"},  // Latin Extended-A
      {u"\U0001F600", "?"},  // a surrogate pair is one character
      {u"x\U0001F600y\u20ACz", "x?y?z"},
      {std::u16string(1, char16_t(0xD800)), "?"},  // lone high surrogate
      {std::u16string(1, char16_t(0xDC00)) + u"ä", "?\x84"},
  };
  // A lone surrogate of the database's UTF-16 reaches the console as U+FFFD.
  for (const auto& c : cases) EXPECT_EQ(utf8ToCp850(utf16ToUtf8(c.in)), c.out);
}

TEST(TextEncodingTest, Utf8ToUtf16DecodesValidTexts) {
  EXPECT_EQ(utf8ToUtf16(""), u"");
  EXPECT_EQ(utf8ToUtf16("Bedarf"), u"Bedarf");
  EXPECT_EQ(utf8ToUtf16("PeriodenLänge"), u"PeriodenLänge");
  EXPECT_EQ(utf8ToUtf16("€"), u"\u20AC");
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(utf8ToUtf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextEncodingTest, InvalidUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"\x80", u"\uFFFD"},  // stray continuation byte
      {"a\xFF"
       "b",
       u"a\uFFFDb"},                                      // byte that never occurs
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong 3-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xC3", u"\uFFFD"},                                // truncated at the end
      {"\xE2\x82", u"\uFFFD"},                            // truncated 3-byte character
      {"\xE2\x82x", u"\uFFFDx"},                          // interrupted by ASCII
      {"\xF0\x9F\x98"
       "\xC3\xA4",
       u"\uFFFDä"},  // truncated, then valid
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8ToUtf16(c.in), c.out) << testing::PrintToString(c.in);
  }
}

// Well-formedness and repair agree with the decoder above, also where the
// decoder yields a U+FFFD of its own for a truncated 4-byte form of 3 bytes.
TEST(TextEncodingTest, Utf8ValidityAndRepair) {
  struct Case {
    std::string in;
    std::size_t firstLength;  // utf8CharacterLength
    std::string repaired;     // validUtf8
  };
  const Case cases[] = {
      {"", 0, ""},
      {"a\xC3\xA4", 1, "a\xC3\xA4"},
      {"\xC3\xA4x", 2, "\xC3\xA4x"},
      {"\xEF\xBF\xBD", 3, "\xEF\xBF\xBD"},  // a real U+FFFD
      {"\xF4\x8F\xBF\xBF", 4, "\xF4\x8F\xBF\xBF"},
      {std::string("\0a", 2), 1, std::string("\0a", 2)},
      {"\xF0\x9F\x98", 0, "\xEF\xBF\xBD"},  // truncated 4-byte form
      {"\xFF"
       "a",
       0,
       "\xEF\xBF\xBD"
       "a"},
      {"\xC0\xAF", 0, "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
      {"\xED\xA0\x80", 0, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"\xE2\x82x", 0, "\xEF\xBF\xBDx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8CharacterLength(c.in), c.firstLength) << testing::PrintToString(c.in);
    EXPECT_EQ(validUtf8(c.in), c.repaired) << testing::PrintToString(c.in);
    EXPECT_EQ(isValidUtf8(c.in), c.repaired == c.in) << testing::PrintToString(c.in);
  }
  EXPECT_FALSE(isValidUtf8("WW1958 \xE4rger")) << "Latin-1, not UTF-8";
}

TEST(TextEncodingTest, Utf16ToUtf8EncodesAndReplacesLoneSurrogates) {
  EXPECT_EQ(utf16ToUtf8(u"LosGröße"), "LosGröße");
  EXPECT_EQ(utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16ToUtf8(u"\u20AC\u07FF\u0080"), "€\xDF\xBF\xC2\x80");
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xD83D), u'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(utf16ToUtf8(std::u16string{u'x', char16_t(0xDE00)}), "x\xEF\xBF\xBD");
  // A low surrogate in front of a high one is no pair.
  EXPECT_EQ(utf16ToUtf8(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextEncodingTest, Utf8RoundTripOverAllPlanes) {
  std::string text;
  for (char32_t c : {U'A', U'\u00E4', U'\u0800', U'\uFFFD', U'\U00010000', U'\U0010FFFF'}) {
    std::u16string wide;
    if (c < 0x10000) {
      wide.push_back(static_cast<char16_t>(c));
    } else {
      wide.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    const std::string narrow = utf16ToUtf8(wide);
    EXPECT_EQ(utf8ToUtf16(narrow), wide);
  }
}

TEST(TextEncodingTest, CutAtCharBoundaryNeverSplitsACharacter) {
  struct Case {
    std::string text;
    std::size_t maxBytes;
    std::string expected;
  };
  const Case cases[] = {
      {"abc", 5, "abc"},  // shorter: whole
      {"abc", 3, "abc"},  // exactly fitting
      {"abcd", 3, "abc"},
      {"a\xC3\xA4", 2, "a"},  // inside ä
      {"a\xC3\xA4"
       "b",
       3, "a\xC3\xA4"},                                 // right behind ä
      {"\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC"},  // inside the second €
      {"\xE2\x82\xAC\xE2\x82\xAC", 5, "\xE2\x82\xAC"},
      {"\xF0\x9F\x98\x80x", 1, ""},  // inside a 4-byte character
      {"\xF0\x9F\x98\x80x", 3, ""},
      {"\xF0\x9F\x98\x80x", 4, "\xF0\x9F\x98\x80"},
      {"\x80\x80\x80\x80\x80", 2, "\x80\x80"},  // stray bytes are characters of their own
      {"a\xC3\xC3\xA4", 2, "a\xC3"},            // broken lead byte stands alone
      {"\xC3\xA4", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cutAtCharBoundary(c.text, c.maxBytes), c.expected)
        << testing::PrintToString(c.text) << " max " << c.maxBytes;
  }
}

TEST(TextEncodingTest, CutOfLongUmlautTextStaysValidUtf8) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "ö";  // 200 bytes
  const std::string_view cut = cutAtCharBoundary(text, 128);
  EXPECT_EQ(cut.size(), 128u);
  const std::string shifted = "x" + text;
  const std::string_view odd = cutAtCharBoundary(shifted, 128);
  EXPECT_EQ(odd.size(), 127u);
  EXPECT_EQ(utf8ToUtf16(odd).find(u'\uFFFD'), std::u16string::npos);
}

TEST(WithoutControlCharacters, EveryControlCharacterBecomesOneSpace) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Bedarf\n1", "Bedarf 1"},
      {"a\r\nb", "a  b"},
      {"tab\there", "tab here"},
      {std::string("nul\0!", 5), "nul !"},
      {"bell\a del\x7F", "bell  del "},
      {"C1 \xC2\x85 next line", "C1   next line"},
      {"line\xE2\x80\xA8sep\xE2\x80\xA9par", "line sep par"},
      {"Gr\xC3\xB6\xC3\x9F"
       "e \xC2\xA0 \xE2\x82\xAC",
       "Gr\xC3\xB6\xC3\x9F"
       "e \xC2\xA0 \xE2\x82\xAC"},
      {"cut \xC2", "cut \xC2"},
      {"cut \xE2\x80", "cut \xE2\x80"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(withoutControlCharacters(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace mrp
