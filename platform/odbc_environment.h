// The ODBC environment handle (ODBC 3 behaviour) that every connection is
// allocated under. A program makes one at its start and frees it at its end,
// after its last connection; several threads may share it, and connections
// opened under it are opened one at a time (connectLock).
#pragma once

#include <sql.h>

#include <memory>
#include <mutex>

namespace mrp {

class OdbcEnvironment {
 public:
  /// A new environment; null when the driver manager cannot make one.
  static std::unique_ptr<OdbcEnvironment> allocate() noexcept;
  ~OdbcEnvironment();
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;

  SQLHENV handle() const noexcept { return handle_; }

  /// Held while a connection of this environment connects. psqlODBC sets the
  /// process locale while it connects (setlocale frees the previous locale's
  /// name, which a connect in another thread may be reading), so connects
  /// from several threads must not overlap.
  std::mutex& connectLock() const noexcept { return connectLock_; }

 private:
  explicit OdbcEnvironment(SQLHENV handle) noexcept : handle_(handle) {}
  SQLHENV handle_;
  mutable std::mutex connectLock_;
};

}  // namespace mrp
