// The slot table is the one piece of process-wide mutable state of the console:
// a slot's text must stay valid until the caller has written it out.
#include "driver/console.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "platform/ole_string.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

std::array<std::optional<std::string>, kConsoleTextSlots> slots;

std::optional<std::string>& slotAt(int slot) {
  if (slot < 0 || slot >= kConsoleTextSlots) {
    throw std::out_of_range("consoleText: slot " + std::to_string(slot) + " out of range");
  }
  return slots[static_cast<std::size_t>(slot)];
}

/// Widens the exponent of a printf %g result to at least three digits
/// ("1e+06" -> "1e+006"), the form of the message number format.
std::string widenExponent(std::string text) {
  const auto e = text.find('e');
  if (e == std::string::npos) return text;
  const std::size_t digitsStart = e + 2;  // behind the sign
  const std::size_t digits = text.size() - digitsStart;
  if (digits < 3) text.insert(digitsStart, 3 - digits, '0');
  return text;
}

}  // namespace

const char* consoleText(int slot, const char* piece1, const char* piece2, const char* piece3,
                        const char* piece4, const char* piece5, const char* piece6) {
  auto& target = slotAt(slot);
  if (piece1 == nullptr) {
    releaseConsoleTexts();
    return nullptr;
  }
  target.reset();
  std::string joined;
  for (const char* piece : {piece1, piece2, piece3, piece4, piece5, piece6}) {
    if (piece) joined += piece;  // an absent later piece counts as empty
  }
  if (joined.empty()) {
    releaseConsoleTexts();
    return nullptr;
  }
  const OleString wide(joined.c_str());
  target = utf16ToCp850(*wide.wide());
  return target->c_str();
}

void releaseConsoleTexts() {
  for (auto& slot : slots) slot.reset();
}

const char* consoleSlotText(int slot) {
  const auto& text = slotAt(slot);
  return text ? text->c_str() : nullptr;
}

void newLine(std::ostream& stream) { stream << '\n' << std::flush; }

std::string_view orNothing(const char* text) noexcept {
  return text ? std::string_view(text) : std::string_view();
}

std::string formatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return widenExponent(text);
}

void setUpConsoleStreams() {
  std::cerr.setf(std::ios_base::unitbuf);
  std::cerr.tie(&std::cout);
}

void printErrorBanner(std::string_view text) {
  newLine(std::cerr);
  std::cerr << kBannerOpen << text << kBannerClose;
}

}  // namespace mrp
