// Internal to the database layer: the ODBC connection behind the shared
// connection. Query objects hold it by shared pointer, so a connection that
// `openConnection` replaces lives on until its last statement is gone (like a
// counted COM reference). Statement handles of a session are freed when it is
// disconnected; `session` tells a statement whether its handle still exists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  /// Counts the disconnects; a statement enlisted in another session is gone.
  std::uint64_t session() const noexcept { return session_; }
  const ConnectionHandle& checked() const noexcept { return handle_; }

  /// Statements made on this connection. They are freed before a disconnect
  /// (SQLite refuses to disconnect while statements exist), which ends their
  /// session.
  void enlist(SQLHSTMT statement) { statements_.push_back(statement); }
  void delist(SQLHSTMT statement) noexcept;

 private:
  void freeStatements() noexcept;

  ConnectionHandle handle_;
  std::vector<SQLHSTMT> statements_;
  bool open_ = false;
  std::uint64_t session_ = 0;
};

/// The shared connection object; null before the first `openConnection`.
std::shared_ptr<Connection> sharedConnectionObject() noexcept;

}  // namespace mrp::odbc
