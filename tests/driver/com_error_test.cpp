#include "driver/com_error.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "driver/console.h"

namespace mrp {
namespace {

HRESULT hr(std::uint32_t value) { return static_cast<HRESULT>(value); }

/// What reportComError wrote on standard error.
std::string reportOf(const _com_error& error) {
  std::ostringstream captured;
  std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
  reportComError(error);
  std::cerr.rdbuf(previous);
  releaseConsoleTexts();
  return captured.str();
}

std::string banner(const std::string& text) {
  return "\n______>>>>>>>>>______ \a" + text + " ______<<<<<<<<<______";
}

TEST(ComErrorTest, FallbackTextsAroundTheIDispatchRange) {
  struct Case {
    std::uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {0x80040200u, "Unknown error 0x80040200"},  // n would be 0
      {0x80040201u, "IDispatch error #1"},
      {0x80040300u, "IDispatch error #256"},
      {0x8004FFFFu, "IDispatch error #65023"},
      {0x80050000u, "Unknown error 0x80050000"},
      {0x800401FFu, "Unknown error 0x800401FF"},
      {0x80004005u, "Unknown error 0x80004005"},  // E_FAIL
      {0x8007000Eu, "Unknown error 0x8007000E"},  // E_OUTOFMEMORY: upper-case hex
      {0x00000001u, "Unknown error 0x1"},         // no leading zeros
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fallbackMessageText(hr(c.code)), c.text);
    EXPECT_STREQ(_com_error(hr(c.code)).messageText(), c.text);
  }
}

TEST(ComErrorTest, TrimSystemTextDropsOneFinalLineEnd) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"Zugriff verweigert.\r\n", "Zugriff verweigert."},
      {"Zugriff verweigert.\n", "Zugriff verweigert."},
      {"Zugriff verweigert.\r", "Zugriff verweigert.\r"},
      {"zwei\n\n", "zwei\n"},
      {"\r\n", ""},
      {"\n", "\n"},  // a single line feed stays
      {"", ""},
      {"ohne", "ohne"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimSystemText(c.in), c.out) << testing::PrintToString(c.in);
}

TEST(ComErrorTest, MessageTextIsMadeOnceAndNotCopied) {
  const _com_error error(E_FAIL);
  const char* first = error.messageText();
  EXPECT_EQ(error.messageText(), first);
  const _com_error copy(error);
  EXPECT_STREQ(copy.messageText(), first);
  EXPECT_NE(copy.messageText(), first);
}

TEST(ComErrorTest, RaiseFunctionsThrowTheCodeAndDescription) {
  try {
    raiseComCode(E_POINTER);
    FAIL() << "raiseComCode returned";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.code(), E_POINTER);
    EXPECT_TRUE(error.descriptionText().isNull());
    EXPECT_EQ(error.sqlState(), "");
  }
  try {
    raiseComFailure(E_FAIL, u"Tabelle fehlt", "42S02");
    FAIL() << "raiseComFailure returned";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.code(), E_FAIL);
    EXPECT_STREQ(error.descriptionText().ansi(), "Tabelle fehlt");
    EXPECT_EQ(error.sqlState(), "42S02");
  }
}

TEST(ComErrorTest, CopyKeepsTheDescriptionOfADestroyedOriginal) {
  auto original = std::make_unique<_com_error>(E_FAIL, u"Verbindung verloren", "08S01");
  const _com_error copy(*original);
  original.reset();
  EXPECT_STREQ(copy.descriptionText().ansi(), "Verbindung verloren");
  EXPECT_EQ(copy.sqlState(), "08S01");
  EXPECT_EQ(copy.code(), E_FAIL);
}

TEST(ComErrorTest, ReportIsOneBannerLine) {
  struct Case {
    const char* name;
    _com_error error;
    std::string text;
  };
  const Case cases[] = {
      {"description", _com_error(E_FAIL, u"no such table: LosGröße"),
       "Unknown error 0x80004005: no such table: LosGr\x94\xE1" "e"},
      {"no description", _com_error(E_OUTOFMEMORY), "Unknown error 0x8007000E: <Null>"},
      {"empty description", _com_error(E_FAIL, u""), "Unknown error 0x80004005: <Null>"},
      {"IDispatch code", _com_error(hr(0x80040201u), u"x"), "IDispatch error #1: x"},
      {"outside 850", _com_error(E_FAIL, u"5 \u20AC"), "Unknown error 0x80004005: 5 ?"},
      {"several records", _com_error(E_FAIL, u"erste\nzweite\r\ndritte\n"),
       "Unknown error 0x80004005: erste zweite dritte"},
      {"only line ends", _com_error(E_FAIL, u"\n"), "Unknown error 0x80004005: <Null>"},
  };
  for (const auto& c : cases) EXPECT_EQ(reportOf(c.error), banner(c.text)) << c.name;
}

}  // namespace
}  // namespace mrp
