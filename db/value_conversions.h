// Conversions and roundings of database values.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <sql.h>
#include <sqlext.h>

#include "platform/variant.h"

namespace mrp {

/// The value as a double: doubles and dates their number, integers exactly,
/// empty 0.0. NULL, text that is no number and other kinds raise `DatabaseError`.
double asDouble(const VARIANT& value);
/// The value as a 32-bit integer; failures as `asDouble`.
std::int32_t asInt32(const VARIANT& value);
/// The number a text spells, all of it: blanks around, an optional sign, a
/// decimal number with a point and an optional exponent (the C locale), or
/// inf, infinity, nan. Nothing for anything else, also for a number beyond
/// the range of a double.
std::optional<double> parseNumberText(std::string_view text);
/// The 32-bit integer a text spells exactly (7, -7, 7.0, 7e0); nothing for a
/// text with a fraction, beyond the 32-bit range or not wholly a number.
std::optional<std::int32_t> parseInt32Text(std::string_view text);

/// A double or date keeps its kind and takes `x`; anything else becomes a double.
void assignDouble(VARIANT& value, double x);
/// Integer, error code and boolean keep their kind; anything else becomes VT_I4.
void assignInt32(VARIANT& value, std::int32_t n);

/// The day number rounded to the nearest whole second, halves away from zero.
double roundToSecond(double dayNumber);
/// x to the whole power n by repeated squaring.
double powerOf(double x, std::int32_t n);
/// x rounded to n decimal places, halves away from zero.
double roundToDecimals(double x, std::int32_t n);

/// An ODBC timestamp as an OleDate, fractions of a second kept.
OleDate oleDateFromTimestamp(const SQL_TIMESTAMP_STRUCT& timestamp);

}  // namespace mrp
