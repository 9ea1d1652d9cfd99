// Conversions and roundings of database values.
#pragma once

#include <cstdint>

#include <sql.h>
#include <sqlext.h>

#include "platform/variant.h"

namespace mrp {

/// The value as a double: doubles and dates their number, integers exactly,
/// empty 0.0. NULL, text that is no number and other kinds raise `DatabaseError`.
double asDouble(const VARIANT& value);
/// The value as a 32-bit integer; failures as `asDouble`.
std::int32_t asInt32(const VARIANT& value);
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
