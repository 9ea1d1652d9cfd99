// Reading numbers exactly, and the roundings of database values.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mrp {

/// The number a text spells, all of it: blanks around, an optional sign, a
/// decimal number with a point and an optional exponent (the C locale), or
/// inf, infinity, nan. Nothing for anything else, also for a number beyond
/// the range of a double.
std::optional<double> parseNumberText(std::string_view text);
/// The 32-bit integer a text spells exactly (7, -7, 7.0, 7e0); nothing for a
/// text with a fraction, beyond the 32-bit range or not wholly a number.
std::optional<std::int32_t> parseInt32Text(std::string_view text);

/// The day number rounded to the nearest whole second, halves away from zero.
double roundToSecond(double dayNumber);
/// x rounded to n decimal places, halves away from zero.
double roundToDecimals(double x, std::int32_t n);

}  // namespace mrp
