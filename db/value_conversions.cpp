#include "db/value_conversions.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "platform/ole_date.h"

namespace mrp {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kDaysPerSecond = 1.1574074074074073e-05;

/// The text without the blanks and tabs around it.
std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

}  // namespace

std::optional<double> parseNumberText(std::string_view text) {
  std::string_view number = trimmed(text);
  // A sign of its own in front: from_chars takes '-' but not '+'.
  if (number.starts_with('+')) {
    number.remove_prefix(1);
    if (number.starts_with('-')) return std::nullopt;
  }
  if (number.empty()) return std::nullopt;
  double value = 0.0;
  const char* end = number.data() + number.size();
  const auto [stop, error] = std::from_chars(number.data(), end, value);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::optional<std::int32_t> parseInt32Text(std::string_view text) {
  const std::optional<double> value = parseNumberText(text);
  // Every 32-bit integer is exact as a double, and a text that spells one
  // (5, 5.0, 5e0) parses to exactly it.
  if (!value ||
      !(*value >= std::numeric_limits<std::int32_t>::min() &&
        *value <= std::numeric_limits<std::int32_t>::max()) ||
      std::trunc(*value) != *value)
    return std::nullopt;
  return static_cast<std::int32_t>(*value);
}

double roundToSecond(double dayNumber) {
  // Whole days and seconds pass through 32-bit integers; a value outside that
  // range (or not finite) is no date and is left as it is.
  if (!(std::fabs(dayNumber) < 2147483647.0)) return dayNumber;
  if (dayNumber < 0.0) {
    // Before day 0 the time of day counts forward from a day that counts back:
    // round the time on the linear scale, so that 23:59:59.6 moves on to the
    // next day's midnight rather than two days back.
    const double linear = linearDays(dayNumber);
    const double days = std::floor(linear);
    const double seconds = std::floor((linear - days) * kSecondsPerDay + 0.5);
    return oleDateFromLinear(days + seconds * kDaysPerSecond);
  }
  const auto days = static_cast<std::int32_t>(dayNumber);
  const auto seconds = static_cast<std::int32_t>((dayNumber - days) * kSecondsPerDay + 0.5);
  return days + seconds * kDaysPerSecond;
}

namespace {

/// x to the whole power n by repeated squaring.
double powerOf(double x, std::int32_t n) {
  // |n| as unsigned, so that the smallest int32 has a magnitude too.
  std::uint32_t exponent = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
  double result = 1.0;
  double base = x;
  for (;;) {
    if (exponent & 1u) result = base * result;
    exponent >>= 1;
    if (exponent == 0) break;
    base = base * base;
  }
  return n < 0 ? 1.0 / result : result;
}

}  // namespace

double roundToDecimals(double x, std::int32_t n) {
  const double scale = powerOf(10.0, n);
  if (x >= 0) return std::floor(x * scale + 0.5) / scale;
  return -std::floor(-x * scale + 0.5) / scale;
}

}  // namespace mrp
