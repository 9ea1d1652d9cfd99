#include "db/database_error.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace mrp {
namespace {

HRESULT hr(std::uint32_t value) { return static_cast<HRESULT>(value); }

TEST(DatabaseErrorTest, MessageTextsAroundTheIDispatchRange) {
  struct Case {
    std::uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {0x80040200u, "Unknown error 0x80040200"},  // n would be 0
      {0x80040201u, "IDispatch error #1"},       {0x80040300u, "IDispatch error #256"},
      {0x8004FFFFu, "IDispatch error #65023"},   {0x80050000u, "Unknown error 0x80050000"},
      {0x800401FFu, "Unknown error 0x800401FF"}, {0x80004005u, "Unknown error 0x80004005"},  // E_FAIL
      {0x8007000Eu, "Unknown error 0x8007000E"},  // E_OUTOFMEMORY: upper-case hex
      {0x00000001u, "Unknown error 0x1"},         // no leading zeros
  };
  for (const auto& c : cases) EXPECT_EQ(DatabaseError(hr(c.code)).messageText(), c.text);
}

TEST(DatabaseErrorTest, IsAStandardExceptionWithCodeDescriptionAndState) {
  try {
    throw DatabaseError(E_FAIL, u"Tabelle fehlt", "42S02");
  } catch (const std::exception& caught) {
    const auto* error = dynamic_cast<const DatabaseError*>(&caught);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code(), E_FAIL);
    EXPECT_EQ(error->description(), std::u16string(u"Tabelle fehlt"));
    EXPECT_EQ(error->sqlState(), "42S02");
    EXPECT_STREQ(caught.what(), "Unknown error 0x80004005: Tabelle fehlt");
  }
  const DatabaseError bare(E_POINTER);
  EXPECT_FALSE(bare.description().has_value());
  EXPECT_EQ(bare.sqlState(), "");
}

TEST(DatabaseErrorTest, CopyKeepsTheDescriptionOfADestroyedOriginal) {
  auto original = std::make_unique<DatabaseError>(E_FAIL, u"Verbindung verloren", "08S01");
  const DatabaseError copy(*original);
  original.reset();
  EXPECT_STREQ(copy.what(), "Unknown error 0x80004005: Verbindung verloren");
  EXPECT_EQ(copy.sqlState(), "08S01");
  EXPECT_EQ(copy.code(), E_FAIL);
}

TEST(DatabaseErrorTest, WhatIsOneLineOfUtf8) {
  struct Case {
    const char* name;
    DatabaseError error;
    std::string text;
  };
  const Case cases[] = {
      {"description", DatabaseError(E_FAIL, u"no such table: LosGröße"),
       "Unknown error 0x80004005: no such table: LosGröße"},
      {"no description", DatabaseError(E_OUTOFMEMORY), "Unknown error 0x8007000E: <Null>"},
      {"empty description", DatabaseError(E_FAIL, u""), "Unknown error 0x80004005: <Null>"},
      {"IDispatch code", DatabaseError(hr(0x80040201u), u"x"), "IDispatch error #1: x"},
      {"several records", DatabaseError(E_FAIL, u"erste\nzweite\r\ndritte\n"),
       "Unknown error 0x80004005: erste zweite dritte"},
      {"only line ends", DatabaseError(E_FAIL, u"\n"), "Unknown error 0x80004005: <Null>"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error.what(), c.text) << c.name;
}

}  // namespace
}  // namespace mrp
