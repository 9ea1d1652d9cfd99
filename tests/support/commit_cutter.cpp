#include "support/commit_cutter.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace mrp::test {
namespace {

sockaddr_un addressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

/// Whether `word` occurs in `bytes` as a word of its own, in any case.
bool containsWord(std::string_view bytes, std::string_view word) {
  const auto equal = [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  };
  for (auto at = std::search(bytes.begin(), bytes.end(), word.begin(), word.end(), equal); at != bytes.end();
       at = std::search(at + 1, bytes.end(), word.begin(), word.end(), equal)) {
    const auto before = at == bytes.begin() ? ' ' : *(at - 1);
    const auto after = at + static_cast<std::ptrdiff_t>(word.size());
    if (!std::isalnum(static_cast<unsigned char>(before)) &&
        (after == bytes.end() || !std::isalnum(static_cast<unsigned char>(*after))))
      return true;
  }
  return false;
}

/// Sends all of `bytes`; false when the peer is gone.
bool sendAll(int socket, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(socket, bytes, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

CommitCutter::CommitCutter(std::string listenPath, std::string serverPath, int cuts)
    : listenPath_(std::move(listenPath)), serverPath_(std::move(serverPath)), cutsLeft_(cuts) {
  ::unlink(listenPath_.c_str());
  listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = addressOf(listenPath_);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0)
    throw std::runtime_error("cannot listen on " + listenPath_);
  thread_ = std::thread([this] { serve(); });
}

CommitCutter::~CommitCutter() {
  stopping_ = true;
  ::shutdown(listener_, SHUT_RDWR);
  thread_.join();
  ::close(listener_);
  ::unlink(listenPath_.c_str());
}

void CommitCutter::serve() {
  std::vector<std::thread> relays;
  while (!stopping_) {
    pollfd ready{listener_, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) relays.emplace_back([this, client] { relay(client); });
  }
  for (std::thread& relay : relays) relay.join();
}

bool CommitCutter::cutsHere(std::string_view bytes, bool& wrote) {
  if (containsWord(bytes, "insert")) wrote = true;
  if (!wrote || !containsWord(bytes, "commit")) return false;
  wrote = false;
  for (int left = cutsLeft_.load(); left > 0;) {
    if (cutsLeft_.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

void CommitCutter::relay(int client) {
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = addressOf(serverPath_);
  if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(client);
    if (server >= 0) ::close(server);
    return;
  }
  bool wrote = false;
  bool cutting = false;  // the commit went to the server; its answer never goes back
  std::array<char, 65536> buffer{};
  while (!stopping_) {
    std::array<pollfd, 2> ends{pollfd{client, POLLIN, 0}, pollfd{server, POLLIN, 0}};
    if (::poll(ends.data(), ends.size(), 100) <= 0) continue;
    if (ends[0].revents != 0) {
      const ssize_t got = ::recv(client, buffer.data(), buffer.size(), 0);
      if (got <= 0) break;
      const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
      cutting = cutsHere(bytes, wrote);
      if (!sendAll(server, bytes.data(), bytes.size())) break;
    }
    if (ends[1].revents != 0) {
      const ssize_t got = ::recv(server, buffer.data(), buffer.size(), 0);
      if (got <= 0) break;
      if (cutting) {  // the server has answered: the commit is done
        ++cut_;
        break;
      }
      if (!sendAll(client, buffer.data(), static_cast<std::size_t>(got))) break;
    }
  }
  ::close(server);
  ::close(client);
}

}  // namespace mrp::test
