#include "platform/character_locale.h"

#include <langinfo.h>
#include <locale.h>
#include <stdlib.h>

#include <string_view>

namespace mrp {

bool environmentCharacterTypeIsUtf8() noexcept {
  const locale_t named = newlocale(LC_CTYPE_MASK, "", locale_t{});
  if (named == locale_t{}) return false;  // not installed
  const bool utf8 = std::string_view(nl_langinfo_l(CODESET, named)) == "UTF-8";
  freelocale(named);
  return utf8;
}

void requireUtf8CharacterType() noexcept {
  if (environmentCharacterTypeIsUtf8()) return;
  // LC_ALL, when set, overrides LC_CTYPE: then it is the one to change.
  const char* all = getenv("LC_ALL");
  setenv(all != nullptr && *all != '\0' ? "LC_ALL" : "LC_CTYPE", "C.UTF-8", 1);
}

}  // namespace mrp
