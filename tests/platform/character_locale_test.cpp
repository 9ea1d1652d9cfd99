#include "platform/character_locale.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

namespace mrp {
namespace {

/// Sets the locale variables for the length of a test and restores them.
class LocaleVariables {
 public:
  LocaleVariables() {
    for (const char* name : kNames) {
      const char* value = getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~LocaleVariables() {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i])
        setenv(kNames[i], saved_[i]->c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }
  static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};

 private:
  std::vector<std::optional<std::string>> saved_;
};

std::string variable(const char* name) {
  const char* value = getenv(name);
  return value ? value : "<unset>";
}

TEST(CharacterLocale, BecomesUtf8UnlessTheEnvironmentNamesAnInstalledUtf8Locale) {
  struct Case {
    const char* name;
    const char* all;
    const char* ctype;
    const char* lang;
    const char* wantAll;  // afterwards
    const char* wantCtype;
  };
  const Case cases[] = {
      {"no locale at all", nullptr, nullptr, nullptr, "<unset>", "C.UTF-8"},
      {"LANG=C", nullptr, nullptr, "C", "<unset>", "C.UTF-8"},
      {"a locale that is not installed", nullptr, nullptr, "xx_YY.UTF-8", "<unset>", "C.UTF-8"},
      {"LC_ALL=POSIX overrides everything", "POSIX", nullptr, "C.UTF-8", "C.UTF-8", "<unset>"},
      {"LC_CTYPE=C under a UTF-8 LANG", nullptr, "C", "C.UTF-8", "<unset>", "C.UTF-8"},
      {"an installed UTF-8 locale stays", nullptr, nullptr, "C.UTF-8", "<unset>", "<unset>"},
      {"LC_ALL naming UTF-8 stays", "C.UTF-8", "C", nullptr, "C.UTF-8", "C"},
  };
  for (const Case& c : cases) {
    const LocaleVariables scope;
    if (c.all) setenv("LC_ALL", c.all, 1);
    if (c.ctype) setenv("LC_CTYPE", c.ctype, 1);
    if (c.lang) setenv("LANG", c.lang, 1);
    requireUtf8CharacterType();
    EXPECT_EQ(variable("LC_ALL"), c.wantAll) << c.name;
    EXPECT_EQ(variable("LC_CTYPE"), c.wantCtype) << c.name;
    EXPECT_TRUE(environmentCharacterTypeIsUtf8()) << c.name;
  }
}

}  // namespace
}  // namespace mrp
