#include "platform/number_format.h"

#include <cmath>
#include <cstdio>

namespace mrp {
namespace {

/// Widens the exponent of a printf %g result to at least three digits
/// ("1e+06" -> "1e+006").
std::string widenExponent(std::string text) {
  const auto e = text.find('e');
  if (e == std::string::npos) return text;
  const std::size_t digitsStart = e + 2;  // behind the sign
  const std::size_t digits = text.size() - digitsStart;
  if (digits < 3) text.insert(digitsStart, 3 - digits, '0');
  return text;
}

}  // namespace

std::string formatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return widenExponent(text);
}

}  // namespace mrp
