// One transaction on a connection, retried when the database gives it up.
#pragma once

#include <chrono>
#include <functional>

namespace mrp {

class Connection;

enum class Isolation {
  /// Each statement sees what was committed before it; writers of the same
  /// rows wait for each other. For work that locks what it depends on.
  ReadCommitted,
  /// As if the transactions ran one after the other; a database may give one
  /// up with a serialization failure (SQLSTATE 40001).
  Serializable,
  /// Every statement sees the same committed state: the one at the first
  /// statement. For reads that must see one version of several tables
  /// (repeatable read on PostgreSQL and MariaDB; SQLite's transactions are
  /// serializable anyway).
  Snapshot,
};

/// How long a transaction that the database gave up (serialization failure
/// 40001, deadlock 40P01) is tried again before the failure is raised.
inline constexpr std::chrono::milliseconds kRetryBudget{60'000};

/// Runs `work` as one transaction with autocommit off: commits when `work`
/// returns, rolls back when it raises. A serialization failure or deadlock
/// rolls back and runs `work` again after a growing random pause, for as long
/// as `budget` lasts, before it is raised. Autocommit is on again afterwards.
void runTransaction(Connection& connection, Isolation isolation, const std::function<void()>& work,
                    std::chrono::milliseconds budget = kRetryBudget);

}  // namespace mrp
