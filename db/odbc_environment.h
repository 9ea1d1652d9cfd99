// The ODBC environment (ODBC 3 behaviour) that every connection is allocated
// under. A program makes one at its start and frees it at its end, after its
// last connection; several threads may share it, and connections opened under
// it connect one at a time: psqlODBC sets the process locale while it
// connects, and setlocale frees the locale name that a connect in another
// thread may be reading.
#pragma once

#include <memory>

namespace mrp {

class OdbcEnvironment {
 public:
  /// A new environment; null when the driver manager cannot make one.
  static std::unique_ptr<OdbcEnvironment> allocate() noexcept;
  ~OdbcEnvironment();
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;

  /// The ODBC side, for the database layer's own use (odbc_handle.h).
  struct State;
  State& state() const noexcept { return *state_; }

 private:
  explicit OdbcEnvironment(std::unique_ptr<State> state) noexcept;
  std::unique_ptr<State> state_;
};

}  // namespace mrp
