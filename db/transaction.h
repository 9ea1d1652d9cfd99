// One serializable transaction on a connection.
#pragma once

#include <functional>

namespace mrp {

class Connection;

/// Runs `work` as one transaction at serializable isolation with autocommit
/// off: commits when `work` returns, rolls back when it raises. A serialization
/// failure (SQLSTATE 40001) rolls back and runs `work` again, a few times with a
/// growing pause, before it is raised. Autocommit is on again afterwards.
void runSerializableTransaction(Connection& connection, const std::function<void()>& work);

}  // namespace mrp
