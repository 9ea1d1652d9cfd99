// A connection that a worker keeps for many units of work, and the rules for
// what fails on it.
//
// After any failure the next unit starts on a new connection, whatever state
// the failure left the transaction in: SQLite rolls a transaction back by
// itself on a full disk or a trigger's raise(rollback), and its driver then
// runs on in autocommit. A lost connection (also one lost during a commit,
// whose outcome is then unknown) and a transaction the database gave up are
// tried again on a new connection, with pauses growing from 0.1 to 5 s while
// the database cannot be reached, for as long as the wait allows: the work
// must be idempotent. Work that loses a newly opened connection three times in
// a row ends the session itself (a trigger, say): it fails.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "db/database_error.h"

namespace mrp {

class Connection;
class OdbcEnvironment;

/// What came of a unit of work.
struct Attempt {
  enum class Result { Done, Failed, GaveUp } result = Result::Done;
  /// Failed: the failure that ended the work; GaveUp: the last one.
  std::optional<DatabaseError> error;
};

class Session {
 public:
  /// Opens connections with `connectionString` under `environment` (both must
  /// outlive the session) when work needs one. `stopped` says when to give up
  /// waiting for the database.
  Session(const OdbcEnvironment& environment, std::string connectionString, std::chrono::milliseconds wait,
          std::function<bool()> stopped);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Runs `work` on the session's connection, again on a new one as the rules
  /// say. GaveUp when the database could not be reached in time or a stop came
  /// meanwhile. Other exceptions than DatabaseError leave it, the connection
  /// dropped.
  Attempt run(const std::function<void(Connection&)>& work);

 private:
  FailureKind kindOf(const DatabaseError& error) const noexcept;

  const OdbcEnvironment& environment_;
  std::string connectionString_;
  std::chrono::milliseconds wait_;
  std::function<bool()> stopped_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace mrp
