// Captures what is written to std::cerr while it lives, to compare the exact
// bytes of error-banner messages.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace mrp::test {

class StderrCapture {
 public:
  StderrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~StderrCapture() { std::cerr.rdbuf(previous_); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

/// One error-banner line as it appears on standard error.
inline std::string banner(const std::string& text) {
  return "\n______>>>>>>>>>______ \a" + text + " ______<<<<<<<<<______";
}

}  // namespace mrp::test
