// Internal to the database layer: the ODBC connection behind the shared
// connection. Query objects hold it by shared pointer, so a connection that
// `openConnection` replaces lives on until its last statement is gone (like a
// counted COM reference). Statement handles of a session are freed by
// SQLDisconnect; `session` tells a statement whether its handle still exists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "db/odbc_handle.h"

namespace mrp::odbc {

class Connection {
 public:
  /// Allocates the connection handle; E_POINTER without an environment.
  Connection();
  /// Rolls back an open transaction, disconnects and frees; never raises.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// SQLDriverConnectW without prompt; informational messages are discarded.
  void connect(std::u16string connectionString);
  /// SQLDisconnect when connected; this frees the session's statements.
  void disconnect();

  bool isOpen() const noexcept { return open_; }
  SQLHDBC handle() const noexcept { return handle_.get(); }
  /// Counts the disconnects; a statement allocated in another session is gone.
  std::uint64_t session() const noexcept { return session_; }
  const ConnectionHandle& checked() const noexcept { return handle_; }

 private:
  ConnectionHandle handle_;
  bool open_ = false;
  std::uint64_t session_ = 0;
};

/// The shared connection object; null before the first `openConnection`.
std::shared_ptr<Connection> sharedConnectionObject() noexcept;

}  // namespace mrp::odbc
