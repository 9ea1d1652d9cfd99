// There is no system message table on this platform, so every code gets the
// fallback text; the trimming rule for system texts is kept for the texts that
// a message table would deliver.
#include "driver/com_error.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

#include "driver/console.h"

namespace mrp {
namespace {

constexpr std::uint32_t kIDispatchBase = 0x80040200u;
constexpr std::uint32_t kIDispatchLast = 0x8004FFFFu;
constexpr const char* kNullText = "<Null>";

/// The system's text for `code`; none exists here.
std::optional<std::string> systemMessageText(HRESULT) { return std::nullopt; }

/// The text with each run of line ends replaced by one space and trailing ones
/// dropped, so that a description of several diagnostic records stays on the
/// one banner line.
std::string onOneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool inBreak = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      inBreak = true;
      continue;
    }
    if (inBreak && !line.empty()) line.push_back(' ');
    inBreak = false;
    line.push_back(c);
  }
  return line;
}

}  // namespace

_com_error::_com_error(HRESULT code, std::optional<std::u16string> description,
                       std::string sqlState)
    : code_(code), description_(std::move(description)), sqlState_(std::move(sqlState)) {}

_com_error::_com_error(const _com_error& other)
    : code_(other.code_), description_(other.description_), sqlState_(other.sqlState_) {}

_com_error::~_com_error() = default;

const char* _com_error::messageText() const {
  if (!messageText_) {
    if (auto text = systemMessageText(code_)) {
      messageText_ = trimSystemText(std::move(*text));
    } else {
      messageText_ = fallbackMessageText(code_);
    }
  }
  return messageText_->c_str();
}

OleString _com_error::descriptionText() const { return OleString(description_); }

void raiseComCode(HRESULT code) { throw _com_error(code); }

void raiseComFailure(HRESULT code, std::optional<std::u16string> description,
                     std::string sqlState) {
  throw _com_error(code, std::move(description), std::move(sqlState));
}

std::string fallbackMessageText(HRESULT code) {
  const auto value = static_cast<std::uint32_t>(code);
  char text[32];
  if (value > kIDispatchBase && value <= kIDispatchLast) {
    std::snprintf(text, sizeof text, "IDispatch error #%d",
                  static_cast<int>(value - kIDispatchBase));
  } else {
    std::snprintf(text, sizeof text, "Unknown error 0x%0lX", static_cast<unsigned long>(value));
  }
  return text;
}

std::string trimSystemText(std::string text) {
  if (text.size() > 1 && text.back() == '\n') {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
  }
  return text;
}

void reportComError(const _com_error& error) {
  const char* message = error.messageText();
  const OleString description = error.descriptionText();
  std::string descriptionLine = description.length() == 0 ? "" : onOneLine(description.ansi());
  if (descriptionLine.empty()) descriptionLine = kNullText;
  const char* text = consoleText(0, message ? message : kNullText, ": ", descriptionLine.c_str(),
                                 "", "", "");
  printErrorBanner(orNothing(text));
}

}  // namespace mrp
