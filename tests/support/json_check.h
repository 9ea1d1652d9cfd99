// A strict JSON checker for the tests and the fuzzer, independent of the
// program's own reader: one value (RFC 8259) with optional blanks around it,
// strings of well-formed UTF-8 whose \u escapes pair every surrogate.
#pragma once

#include <string_view>

namespace mrp::test {

/// Whether `text` is exactly one JSON value.
bool isJson(std::string_view text);

/// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates,
/// nothing beyond U+10FFFF).
bool isUtf8(std::string_view text);

}  // namespace mrp::test
