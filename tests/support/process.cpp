// posix_spawn with pipes; both pipes are drained together with poll so that a
// child filling one of them never blocks while the other is read.
#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace mrp::test {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

/// A pipe whose two ends are closed by the destructor.
class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_.data(), O_CLOEXEC) != 0) fail("pipe2");
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
  const posix_spawn_file_actions_t* get() const noexcept { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

/// The test's environment with `overrides` applied, as "NAME=value" texts.
std::vector<std::string> childEnvironment(const EnvironmentOverrides& overrides) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : overrides) variables[name] = value;
  std::vector<std::string> result;
  for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

/// Reads every pipe in `sources` to its end into the matching string.
void drain(std::vector<std::pair<int, std::string*>> sources) {
  std::array<char, 4096> buffer;
  while (!sources.empty()) {
    std::vector<pollfd> polled;
    for (const auto& source : sources) polled.push_back({source.first, POLLIN, 0});
    if (poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
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
}

int waitForExit(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) fail("waitpid");
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::string programPath() { return LOTSIZING_BINARY; }

RunResult runProgramOnce(const std::vector<std::string>& args, Capture capture,
                         const EnvironmentOverrides& env, const std::string& programName) {
  std::vector<std::string> argvTexts{programName.empty() ? programPath() : programName};
  argvTexts.insert(argvTexts.end(), args.begin(), args.end());
  std::vector<char*> argv = pointersTo(argvTexts);
  std::vector<std::string> envTexts = childEnvironment(env);
  std::vector<char*> envp = pointersTo(envTexts);

  Pipe first;
  Pipe second;
  FileActions actions;
  actions.redirect(first.writeEnd(), STDOUT_FILENO);
  actions.redirect(capture == Capture::Separate ? second.writeEnd() : first.writeEnd(),
                   STDERR_FILENO);

  pid_t child = 0;
  const std::string path = programPath();
  const int spawned = posix_spawn(&child, path.c_str(), actions.get(), nullptr, argv.data(), envp.data());
  if (spawned != 0) {
    errno = spawned;
    fail("posix_spawn " + path);
  }
  first.closeWrite();
  second.closeWrite();

  RunResult result;
  if (capture == Capture::Separate) {
    drain({{first.readEnd(), &result.out}, {second.readEnd(), &result.err}});
  } else {
    drain({{first.readEnd(), &result.combined}});
  }
  result.exitStatus = waitForExit(child);
  return result;
}

RunResult runProgram(const std::vector<std::string>& args, const EnvironmentOverrides& env) {
  RunResult result = runProgramOnce(args, Capture::Separate, env);
  result.combined = runProgramOnce(args, Capture::Combined, env).combined;
  return result;
}

}  // namespace mrp::test
