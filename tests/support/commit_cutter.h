// A proxy on a Unix socket in front of a database server that loses the
// connection at the worst moment: right after the server has carried out a
// COMMIT of a transaction that wrote, before its answer reaches the client. The
// transaction took effect, and the client only learns that its connection is
// gone, as when a server or network fails during the commit.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace mrp::test {

class CommitCutter {
 public:
  /// Listens on `listenPath` and connects each client to `serverPath`. Cuts
  /// the first `cuts` commits of transactions that inserted rows.
  CommitCutter(std::string listenPath, std::string serverPath, int cuts);
  ~CommitCutter();
  CommitCutter(const CommitCutter&) = delete;
  CommitCutter& operator=(const CommitCutter&) = delete;

  /// How many commits were cut so far.
  int cut() const noexcept { return cut_.load(); }

 private:
  void serve();
  void relay(int client);
  /// Whether the client's bytes end a writing transaction that is to be cut;
  /// `wrote` remembers an insert seen since the connection's last commit.
  bool cutsHere(std::string_view bytes, bool& wrote);

  std::string listenPath_;
  std::string serverPath_;
  int listener_ = -1;
  std::atomic<int> cutsLeft_;
  std::atomic<int> cut_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace mrp::test
