#include "demand/message_code.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace mrp
