#include "demand/message_code.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/helpers.h"

namespace mrp {
namespace {

std::vector<MessageCode> allCodes() {
  std::vector<MessageCode> codes;
  for (auto c = static_cast<int>(MessageCode{}); c <= static_cast<int>(kLastMessageCode); ++c) {
    codes.push_back(static_cast<MessageCode>(c));
  }
  return codes;
}

TEST(MessageCode, EachNameIsLowerCaseWordsWithDashesAndItsOwn) {
  const std::regex form("[a-z]+(-[a-z]+)*");
  std::set<std::string_view> names;
  for (const MessageCode code : allCodes()) {
    const std::string_view name = codeName(code);
    EXPECT_TRUE(std::regex_match(name.begin(), name.end(), form)) << name;
    EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
  }
  EXPECT_EQ(names.size(), 25u);
}

TEST(MessageCode, OnlyTheWarningsAboutPlannedDataAreLeftToTheBatchAndTheReport) {
  std::vector<std::string_view> warnings;
  for (const MessageCode code : allCodes()) {
    if (isPlanWarning(code)) warnings.push_back(codeName(code));
  }
  EXPECT_EQ(warnings, (std::vector<std::string_view>{"factor-missing", "negative-cost", "negative-quantity",
                                                     "due-date-gap"}));
}

// A planner who reads a code in a log finds it in the README and in every man
// page (which writes a dash as \-).
TEST(MessageCode, EveryCodeIsDocumented) {
  const std::string source = LOTSIZING_SOURCE_DIR;
  for (const char* document :
       {"README.md", "man/lotsizing.1", "man/lotsizing-batch.1", "man/lotsizing-report.1"}) {
    const std::string text =
        std::regex_replace(test::readFile(source + "/" + document), std::regex(R"(\\-)"), "-");
    ASSERT_FALSE(text.empty()) << document;
    for (const MessageCode code : allCodes()) {
      const std::string name(codeName(code));
      EXPECT_TRUE(std::regex_search(text, std::regex("(^|[^a-z-])" + name + "($|[^a-z-])")))
          << document << ": " << name;
    }
  }
}

}  // namespace
}  // namespace mrp
