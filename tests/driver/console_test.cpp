#include "driver/console.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace mrp {
namespace {

class ConsoleTextTest : public testing::Test {
 protected:
  void TearDown() override { releaseConsoleTexts(); }

  static bool allSlotsEmpty() {
    for (int slot = 0; slot < kConsoleTextSlots; ++slot) {
      if (consoleSlotText(slot) != nullptr) return false;
    }
    return true;
  }
  static void fillAllSlots() {
    for (int slot = 0; slot < kConsoleTextSlots; ++slot) consoleText(slot, "x", "", "", "", "", "");
  }
};

TEST_F(ConsoleTextTest, JoinsSixPiecesIntoTheSlot) {
  const char* text = consoleText(3, "Datenbank: ", "lager", "   Bedarf: ", "B-1", "", "!");
  EXPECT_STREQ(text, "Datenbank: lager   Bedarf: B-1!");
  EXPECT_EQ(consoleSlotText(3), text);
  EXPECT_EQ(consoleSlotText(0), nullptr);
}

TEST_F(ConsoleTextTest, ConvertsUtf8ToCodePage850) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"LosGröße", "LosGr\x94\xE1" "e"},
      {"äöüÄÖÜß", "\x84\x94\x81\x8E\x99\x9A\xE1"},
      {"Preis 5 €", "Preis 5 ?"},            // no euro sign in code page 850
      {"a\xF0\x9F\x98\x80z", "a?z"},          // 4-byte character: one '?'
      {"kaputt \xC3", "kaputt ?"},            // truncated UTF-8
      {"\xE0\x80\xAF", "???"},                // overlong form
      {"tab\tbell\a", "tab\tbell\a"},         // ASCII stays as it is
  };
  for (const auto& c : cases) EXPECT_STREQ(consoleText(0, c.in, "", "", "", "", ""), c.out) << c.in;
}

TEST_F(ConsoleTextTest, SecondCallReplacesOnlyItsOwnSlot) {
  consoleText(1, "andere", "", "", "", "", "");
  consoleText(0, "erste", "", "", "", "", "");
  const char* second = consoleText(0, "zweite", "", "", "", "", "");
  EXPECT_STREQ(second, "zweite");
  EXPECT_STREQ(consoleSlotText(0), "zweite");
  EXPECT_STREQ(consoleSlotText(1), "andere");
}

TEST_F(ConsoleTextTest, NullOrEmptyResultReleasesEverySlot) {
  struct Case {
    const char* name;
    const char* piece1;
    const char* piece2;
  };
  const Case cases[] = {
      {"absent first piece", nullptr, "rest"},
      {"all pieces empty", "", ""},
  };
  for (const auto& c : cases) {
    fillAllSlots();
    EXPECT_EQ(consoleText(5, c.piece1, c.piece2, "", "", "", ""), nullptr) << c.name;
    EXPECT_TRUE(allSlotsEmpty()) << c.name;
  }
}

TEST_F(ConsoleTextTest, EmptyFirstPieceWithTextBehindIsNotNull) {
  EXPECT_STREQ(consoleText(0, "", "", "", "", "", "Bedarf"), "Bedarf");
}

TEST_F(ConsoleTextTest, AbsentLaterPiecesCountAsEmpty) {
  EXPECT_STREQ(consoleText(0, "a", nullptr, "b", nullptr, nullptr, nullptr), "ab");
}

TEST_F(ConsoleTextTest, ReleaseEmptiesAllSlots) {
  fillAllSlots();
  releaseConsoleTexts();
  EXPECT_TRUE(allSlotsEmpty());
  releaseConsoleTexts();  // releasing empty slots again is harmless
  EXPECT_TRUE(allSlotsEmpty());
}

TEST_F(ConsoleTextTest, LongTextIsConvertedWhole) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "ü";
  const std::string converted = consoleText(7, text.c_str(), "", "", "", "", "");
  EXPECT_EQ(converted, std::string(5000, '\x81'));
}

TEST_F(ConsoleTextTest, SlotOutsideTheTableIsRefused) {
  EXPECT_THROW(consoleText(-1, "x", "", "", "", "", ""), std::out_of_range);
  EXPECT_THROW(consoleText(kConsoleTextSlots, "x", "", "", "", "", ""), std::out_of_range);
  EXPECT_THROW(consoleSlotText(kConsoleTextSlots), std::out_of_range);
}

TEST(FormatNumberTest, GeneralNotationWithThreeDigitExponent) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {2.5, "2.5"},
      {100, "100"},
      {0.0001, "0.0001"},
      {123456, "123456"},
      {1234567, "1.23457e+006"},
      {0.00001, "1e-005"},
      {1000000, "1e+006"},
      {999999.4, "999999"},
      {999999.5, "1e+006"},     // rounding to 6 digits reaches exponent 6
      {123456.7, "123457"},
      {0.1 + 0.2, "0.3"},
      {-2.5, "-2.5"},
      {-0.000012345678, "-1.23457e-005"},
      {0, "0"},
      {1e100, "1e+100"},
      {1.5e-300, "1.5e-300"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatNumber(c.value), c.text) << c.text;
}

TEST(ConsoleStreamTest, NewLineWritesOneLineEnd) {
  std::ostringstream stream;
  stream << "a";
  newLine(stream);
  EXPECT_EQ(stream.str(), "a\n");
}

TEST(ConsoleStreamTest, OrNothingTurnsNullIntoNothing) {
  EXPECT_EQ(orNothing(nullptr), "");
  EXPECT_EQ(orNothing("text"), "text");
}

TEST(ConsoleStreamTest, StandardErrorIsUnitBufferedAndTiedToStandardOutput) {
  setUpConsoleStreams();
  EXPECT_TRUE(std::cerr.flags() & std::ios_base::unitbuf);
  EXPECT_EQ(std::cerr.tie(), &std::cout);
}

TEST(ConsoleStreamTest, ErrorBannerFramesTheTextAfterALineEnd) {
  std::ostringstream captured;
  std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
  printErrorBanner("Bedarf existiert nicht: B\x84");
  std::cerr.rdbuf(previous);
  EXPECT_EQ(captured.str(), std::string("\n______>>>>>>>>>______ \a") + "Bedarf existiert nicht: B\x84" +
                                " ______<<<<<<<<<______");
  EXPECT_EQ(kBannerOpen.size(), 23u);
  EXPECT_EQ(kBannerClose.size(), 22u);
}

}  // namespace
}  // namespace mrp
