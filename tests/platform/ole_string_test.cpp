#include "platform/ole_string.h"

#include <gtest/gtest.h>

#include <string>

namespace mrp {
namespace {

TEST(OleStringTest, NullAndEmptyAreDistinct) {
  const OleString absent(static_cast<const char*>(nullptr));
  EXPECT_TRUE(absent.isNull());
  EXPECT_EQ(absent.length(), 0u);
  EXPECT_EQ(absent.ansi(), nullptr);
  EXPECT_TRUE(OleString().isNull());
  EXPECT_TRUE(OleString(std::optional<std::u16string>{}).isNull());

  const OleString empty("");
  EXPECT_FALSE(empty.isNull());
  EXPECT_EQ(empty.length(), 0u);
  ASSERT_NE(empty.ansi(), nullptr);
  EXPECT_STREQ(empty.ansi(), "");
}

TEST(OleStringTest, ConvertsBetweenUtf8AndUtf16) {
  const OleString text("Rüstkosten \xF0\x9F\x98\x80");
  EXPECT_EQ(text.wide(), std::u16string(u"Rüstkosten \U0001F600"));
  EXPECT_EQ(text.length(), 13u);  // the emoji takes two UTF-16 units
  EXPECT_STREQ(text.ansi(), "Rüstkosten \xF0\x9F\x98\x80");
}

TEST(OleStringTest, AnsiViewIsMadeOnceAndKept) {
  const OleString text(std::optional<std::u16string>(u"Währung"));
  const char* first = text.ansi();
  EXPECT_STREQ(first, "Währung");
  EXPECT_EQ(text.ansi(), first);
}

TEST(OleStringTest, InvalidUtf8BecomesReplacementCharacter) {
  const OleString text("a\xFF");
  EXPECT_EQ(text.wide(), std::u16string(u"a\uFFFD"));
  EXPECT_STREQ(text.ansi(), "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace mrp
