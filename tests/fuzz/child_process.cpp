// posix_spawn with pipes created close-on-exec, so that children started at the
// same time by other threads never hold this child's pipes open.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace mrp::fuzz {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

/// A pipe whose ends are closed by the destructor.
class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_.data(), O_CLOEXEC) != 0) fail("pipe2", errno);
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int readEnd() const noexcept { return fds_[0]; }
  int writeEnd() const noexcept { return fds_[1]; }
  void closeRead() noexcept { closeEnd(0); }
  void closeWrite() noexcept { closeEnd(1); }

 private:
  void closeEnd(int end) noexcept {
    if (fds_[end] >= 0) ::close(fds_[end]);
    fds_[end] = -1;
  }
  std::array<int, 2> fds_{-1, -1};
};

/// Owns posix_spawn_file_actions_t.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  void redirect(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }
  void readNothing() { posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0); }
  const posix_spawn_file_actions_t* get() const noexcept { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

/// Owns posix_spawnattr_t: the child leads a process group of its own, so that
/// killing the group also ends whatever it started.
class OwnProcessGroup {
 public:
  OwnProcessGroup() {
    posix_spawnattr_init(&attributes_);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes_, 0);
  }
  ~OwnProcessGroup() { posix_spawnattr_destroy(&attributes_); }
  OwnProcessGroup(const OwnProcessGroup&) = delete;
  OwnProcessGroup& operator=(const OwnProcessGroup&) = delete;
  const posix_spawnattr_t* get() const noexcept { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

/// A started child that is killed and reaped by the destructor if nobody waited for it.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (pid_ > 0) {
      kill();
      waitForExit();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void kill() const noexcept { ::kill(-pid_, SIGKILL); }
  int waitForExit() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) fail("waitpid", errno);
    }
    pid_ = -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
  }

 private:
  pid_t pid_;
};

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

/// Reads both pipes to their ends; kills the child when `deadline` passes.
/// True when it had to kill.
bool drainUntil(std::vector<std::pair<int, std::string*>> sources, const Child& child, Clock::time_point deadline) {
  std::array<char, 4096> buffer;
  bool killed = false;
  while (!sources.empty()) {
    std::vector<pollfd> polled;
    for (const auto& source : sources) polled.push_back({source.first, POLLIN, 0});
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int ready = poll(polled.data(), polled.size(), killed ? -1 : static_cast<int>(std::max<long long>(left, 0)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      fail("poll", errno);
    }
    if (ready == 0) {
      child.kill();  // the pipes close when it is gone
      killed = true;
      continue;
    }
    for (std::size_t i = polled.size(); i-- > 0;) {
      if (polled[i].revents == 0) continue;
      const ssize_t count = ::read(polled[i].fd, buffer.data(), buffer.size());
      if (count > 0) {
        sources[i].second->append(buffer.data(), static_cast<std::size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  return killed;
}

}  // namespace

ChildRun runChild(const std::string& program, const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  std::vector<std::string> argvTexts = argv;
  std::vector<char*> argvPointers = pointersTo(argvTexts);
  Pipe out;
  Pipe err;
  FileActions actions;
  actions.readNothing();
  actions.redirect(out.writeEnd(), STDOUT_FILENO);
  actions.redirect(err.writeEnd(), STDERR_FILENO);

  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  const OwnProcessGroup group;
  const int spawned = posix_spawn(&pid, program.c_str(), actions.get(), group.get(), argvPointers.data(), environ);
  if (spawned != 0) fail("posix_spawn " + program, spawned);
  Child child(pid);
  out.closeWrite();
  err.closeWrite();

  ChildRun run;
  run.timedOut = drainUntil({{out.readEnd(), &run.out}, {err.readEnd(), &run.err}}, child, start + limit);
  run.exitStatus = child.waitForExit();
  run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return run;
}

}  // namespace mrp::fuzz
