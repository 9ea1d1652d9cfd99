#include "driver/console.h"

#include <iostream>

#include "platform/text_encoding.h"

namespace mrp {

void newLine(std::ostream& stream) { stream << '\n' << std::flush; }

void setUpConsoleStreams() {
  std::cerr.setf(std::ios_base::unitbuf);
  std::cerr.tie(&std::cout);
}

void printProgress(std::string_view text) {
  newLine(std::cout);
  std::cout << utf8ToCp850(withoutControlCharacters(text)) << std::flush;
}

void printErrorBanner(std::string_view text) {
  newLine(std::cerr);
  std::cerr << kBannerOpen << utf8ToCp850(withoutControlCharacters(text)) << kBannerClose;
}

}  // namespace mrp
