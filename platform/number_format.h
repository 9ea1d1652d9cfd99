// The number format of messages: what a stream writes by default, with the
// exponent as the console has always shown it. 6 significant digits, general
// notation (scientific when the decimal exponent is below -4 or 6 and more),
// no trailing zeros, a point as separator, the exponent signed with at least
// three digits: 2.5, 100, 0.0001, 123456, 1.23457e+006, 1e-005; nan, inf, -inf.
#pragma once

#include <string>

namespace mrp {

std::string formatNumber(double value);

}  // namespace mrp
