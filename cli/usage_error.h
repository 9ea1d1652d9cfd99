// A command line that cannot be run, for every program.
#pragma once

#include <stdexcept>

namespace mrp {

/// `what()` says why the command line cannot be run.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace mrp
