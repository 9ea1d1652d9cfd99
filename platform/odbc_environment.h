// The ODBC environment handle (ODBC 3 behaviour) that every connection is
// allocated under. A program makes one at its start and frees it at its end,
// after its last connection; several threads may share it.
#pragma once

#include <sql.h>

#include <memory>

namespace mrp {

class OdbcEnvironment {
 public:
  /// A new environment; null when the driver manager cannot make one.
  static std::unique_ptr<OdbcEnvironment> allocate() noexcept;
  ~OdbcEnvironment();
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;

  SQLHENV handle() const noexcept { return handle_; }

 private:
  explicit OdbcEnvironment(SQLHENV handle) noexcept : handle_(handle) {}
  SQLHENV handle_;
};

}  // namespace mrp
