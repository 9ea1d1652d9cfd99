// A PostgreSQL cluster of one test's own, which the test may stop and start
// (a server restart, an outage) without disturbing the tests that share the
// fixture's cluster. It listens on a Unix socket in a scratch folder only and
// belongs to the `postgres` user when the tests run as root.
#pragma once

#include <string>
#include <string_view>

namespace mrp::test {

class PrivatePostgres {
 public:
  /// Makes the cluster (initdb), starts it and creates the database `plan`
  /// with the schema loaded. Throws std::runtime_error when that fails.
  PrivatePostgres();
  /// Stops the server and removes the cluster.
  ~PrivatePostgres();
  PrivatePostgres(const PrivatePostgres&) = delete;
  PrivatePostgres& operator=(const PrivatePostgres&) = delete;

  void start();
  /// A fast shutdown: sessions end with "terminating connection due to administrator command".
  void stop();
  /// Runs SQL statements on the database `plan` through psql.
  void exec(std::string_view sql);
  /// Argument 1 of the programs: this cluster's database `plan` through psqlODBC.
  std::string dataSourceName() const;

 private:
  std::string folder_;
  bool running_ = false;
};

}  // namespace mrp::test
