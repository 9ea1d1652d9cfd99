// Placeholders until the real implementations land; removed piece by piece.
#include <iostream>

#include "driver/com_error.h"
#include "driver/console.h"
#include "driver/run.h"

namespace mrp {
_com_error::_com_error(HRESULT code, std::optional<std::u16string> description, std::string sqlState)
    : code_(code), description_(std::move(description)), sqlState_(std::move(sqlState)) {}
_com_error::_com_error(const _com_error& other)
    : code_(other.code_), description_(other.description_), sqlState_(other.sqlState_) {}
_com_error::~_com_error() = default;
const char* _com_error::messageText() const { return "error"; }
OleString _com_error::descriptionText() const { return OleString(description_); }
void raiseComCode(HRESULT code) { throw _com_error(code); }
void raiseComFailure(HRESULT code, std::optional<std::u16string> description, std::string sqlState) {
  throw _com_error(code, std::move(description), std::move(sqlState));
}
void reportComError(const _com_error&) {}
const char* consoleText(int, const char* p1, const char*, const char*, const char*, const char*,
                        const char*) {
  return p1;
}
void releaseConsoleTexts() {}
void newLine(std::ostream& stream) { stream << '\n' << std::flush; }
std::string_view orNothing(const char* text) noexcept { return text ? text : ""; }
std::string formatNumber(double value) { return std::to_string(value); }
void setUpConsoleStreams() {}
void printErrorBanner(std::string_view text) {
  newLine(std::cerr);
  std::cerr << kBannerOpen << text << kBannerClose;
}
int runLotSizing(int, char**) { return 1; }
}  // namespace mrp
