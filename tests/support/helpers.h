// Small helpers that many test files need.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "demand/message_code.h"

namespace mrp {

/// Lets GoogleTest print a message as its code and text.
inline void PrintTo(const Message& message, std::ostream* out) {
  *out << codeName(message.code) << ": " << message.text;
}

}  // namespace mrp

namespace mrp::test {

/// One error-banner line as the program writes it to standard error.
inline std::string banner(const std::string& text) {
  return "\n______>>>>>>>>>______ \a" + text + " ______<<<<<<<<<______";
}

/// How often `part` occurs in `text`, overlapping occurrences included: the
/// search goes on one character behind the start of each one found.
std::size_t count(const std::string& text, const std::string& part);

/// The bytes of a file; empty when it cannot be read.
std::string readFile(const std::string& path);

/// Makes `text` the whole content of a file; throws std::runtime_error when it
/// cannot be written.
void writeFile(const std::string& path, std::string_view text);

}  // namespace mrp::test
