#include "db/session.h"

#include <utility>

#include "db/backoff.h"
#include "db/connection.h"

namespace mrp {
namespace {

constexpr std::chrono::milliseconds kFirstReconnectPause{100};
constexpr std::chrono::milliseconds kLongestReconnectPause{5'000};
/// Work that loses a newly opened connection this often ends the session
/// itself: it fails rather than waits.
constexpr int kMostLossesOnNewConnections = 3;

}  // namespace

Session::Session(const OdbcEnvironment& environment, std::string connectionString,
                 std::chrono::milliseconds wait, std::function<bool()> stopped)
    : environment_(environment),
      connectionString_(std::move(connectionString)),
      wait_(wait),
      stopped_(std::move(stopped)) {}

Session::~Session() = default;

FailureKind Session::kindOf(const DatabaseError& error) const noexcept {
  return connection_ ? failureKind(error, *connection_) : error.kind();
}

Attempt Session::run(const std::function<void(Connection&)>& work) {
  Backoff backoff(kFirstReconnectPause, kLongestReconnectPause, wait_);
  int lossesOnNewConnections = 0;
  for (;;) {
    const bool fresh = !connection_;
    try {
      if (!connection_) connection_ = std::make_unique<Connection>(environment_, connectionString_);
      work(*connection_);
      return {};
    } catch (const DatabaseError& error) {
      const FailureKind kind = kindOf(error);
      const bool opened = connection_ != nullptr;
      connection_.reset();
      if (kind == FailureKind::Statement || (kind == FailureKind::ConnectionLost && fresh && opened &&
                                             ++lossesOnNewConnections >= kMostLossesOnNewConnections))
        return {Attempt::Result::Failed, error};
      if (stopped_() || backoff.spent()) return {Attempt::Result::GaveUp, error};
    } catch (...) {
      connection_.reset();
      throw;
    }
    backoff.pause(stopped_);
  }
}

}  // namespace mrp
