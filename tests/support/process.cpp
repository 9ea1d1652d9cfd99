// posix_spawn with pipes. All pipes of a child are served together with poll,
// so that a child filling one of them never blocks while another is written or
// read.
#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace mrp::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

/// A file descriptor, closed by the destructor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) noexcept : fd_(fd) {}
  ~Fd() { close(); }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }

  int get() const noexcept { return fd_; }
  bool open() const noexcept { return fd_ >= 0; }
  int release() noexcept { return std::exchange(fd_, -1); }
  void close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

/// Both ends of a new pipe; neither is inherited by a started program unless
/// it is duplicated onto one of its standard streams.
struct Pipe {
  Pipe() {
    std::array<int, 2> fds{-1, -1};
    if (pipe2(fds.data(), O_CLOEXEC) != 0) fail("pipe2");
    readEnd = Fd(fds[0]);
    writeEnd = Fd(fds[1]);
  }
  Fd readEnd;
  Fd writeEnd;
};

/// Owns posix_spawn_file_actions_t.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  void redirect(int from, int to) {
    if (const int error = posix_spawn_file_actions_adddup2(&actions_, from, to); error != 0) {
      errno = error;
      fail("posix_spawn_file_actions_adddup2");
    }
  }
  const posix_spawn_file_actions_t* get() const noexcept { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

/// Pipes for a child's standard input, output and error, and the file
/// actions that put the child's ends in place.
struct StandardPipes {
  StandardPipes() {
    actions.redirect(in.readEnd.get(), STDIN_FILENO);
    actions.redirect(out.writeEnd.get(), STDOUT_FILENO);
    actions.redirect(err.writeEnd.get(), STDERR_FILENO);
  }
  Pipe in;
  Pipe out;
  Pipe err;
  FileActions actions;
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

/// Starts `path` with `argv` and the test's environment plus `env`; `path` is
/// looked up in PATH unless it contains a '/'.
pid_t spawn(const std::string& path, std::vector<std::string> argv, const EnvironmentOverrides& env,
            const FileActions& actions) {
  std::vector<char*> argPointers = pointersTo(argv);
  std::vector<std::string> envTexts = childEnvironment(env);
  std::vector<char*> envPointers = pointersTo(envTexts);
  pid_t child = 0;
  const int error =
      path.find('/') == std::string::npos
          ? posix_spawnp(&child, path.c_str(), actions.get(), nullptr, argPointers.data(),
                         envPointers.data())
          : posix_spawn(&child, path.c_str(), actions.get(), nullptr, argPointers.data(),
                        envPointers.data());
  if (error != 0) {
    errno = error;
    fail("cannot start " + path);
  }
  return child;
}

int statusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

/// Waits for `child` to end; its exit status as in RunResult.
int waitForExit(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) fail("waitpid " + std::to_string(child));
  }
  return statusCode(status);
}

/// Kills `child` and waits for it, for when a test gives up on it.
void killAndReap(pid_t child) noexcept {
  ::kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

/// Kills and reaps the child unless it has been waited for: no child outlives
/// a test that gave up on it by an exception.
class ChildGuard {
 public:
  explicit ChildGuard(pid_t child) noexcept : child_(child) {}
  ~ChildGuard() {
    if (child_ > 0) killAndReap(child_);
  }
  ChildGuard(const ChildGuard&) = delete;
  ChildGuard& operator=(const ChildGuard&) = delete;

  int wait() {
    const int status = waitForExit(child_);
    child_ = -1;
    return status;
  }

 private:
  pid_t child_;
};

/// Blocks SIGPIPE in this thread while it lives, so that writing to a child
/// that has ended fails with EPIPE instead of ending the test program; a
/// SIGPIPE raised meanwhile is taken before the old mask returns.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigemptyset(&sigpipe_);
    sigaddset(&sigpipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &sigpipe_, &previous_);
  }
  ~SigpipeBlocked() {
    sigset_t pending;
    sigemptyset(&pending);
    if (!sigismember(&previous_, SIGPIPE) && sigpending(&pending) == 0 &&
        sigismember(&pending, SIGPIPE)) {
      const timespec noWait{0, 0};
      while (sigtimedwait(&sigpipe_, nullptr, &noWait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

 private:
  sigset_t sigpipe_;
  sigset_t previous_;
};

struct Output {
  int fd;
  std::string* text;
};

/// Writes `input` to `inputFd` (-1: nothing to write) and appends what arrives
/// on each of `outputs` to its text, until `done()`, asked after every read,
/// says so or every output has ended. With `closeInput` the input is closed
/// once written, so that the child sees its end. Returns whether `done()` said
/// so. Throws when `deadline` passes first or poll fails.
bool pump(Fd* input, std::string_view bytes, bool closeInput, std::vector<Output> outputs,
          const std::function<bool()>& done, std::optional<Clock::time_point> deadline) {
  SigpipeBlocked sigpipeBlocked;
  if (input && input->open()) fcntl(input->get(), F_SETFL, fcntl(input->get(), F_GETFL) | O_NONBLOCK);
  const auto inputDone = [&] {
    bytes = {};
    if (closeInput && input) input->close();
  };
  if (bytes.empty()) inputDone();
  std::array<char, 65536> buffer;
  while (!outputs.empty()) {
    const bool writing = input && input->open() && !bytes.empty();
    std::vector<pollfd> polled;
    for (const Output& output : outputs) polled.push_back({output.fd, POLLIN, 0});
    if (writing) polled.push_back({input->get(), POLLOUT, 0});
    int waitMs = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0) throw std::runtime_error("no answer from the child in time");
      waitMs = static_cast<int>(left.count());
    }
    if (poll(polled.data(), polled.size(), waitMs) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    if (writing && polled.back().revents != 0) {
      const ssize_t written = ::write(input->get(), bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
        if (bytes.empty()) inputDone();
      } else if (written < 0 && errno != EINTR && errno != EAGAIN) {
        bytes = {};  // the child closed its input (EPIPE): the rest is dropped
        input->close();
      }
    }
    for (std::size_t i = outputs.size(); i-- > 0;) {
      if (polled[i].revents == 0) continue;
      const ssize_t count = ::read(outputs[i].fd, buffer.data(), buffer.size());
      if (count > 0) {
        outputs[i].text->append(buffer.data(), static_cast<std::size_t>(count));
        if (done && done()) return true;
      } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
        outputs.erase(outputs.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  return false;
}

}  // namespace

std::string programPath() { return LOTSIZING_BINARY; }

RunResult runProgramOnce(const std::vector<std::string>& args, Capture capture,
                         const EnvironmentOverrides& env, const std::string& programName) {
  std::vector<std::string> argv{programName.empty() ? programPath() : programName};
  argv.insert(argv.end(), args.begin(), args.end());

  Pipe first;
  Pipe second;
  FileActions actions;  // standard input is inherited
  actions.redirect(first.writeEnd.get(), STDOUT_FILENO);
  actions.redirect(capture == Capture::Separate ? second.writeEnd.get() : first.writeEnd.get(),
                   STDERR_FILENO);
  ChildGuard child(spawn(programPath(), std::move(argv), env, actions));
  first.writeEnd.close();
  second.writeEnd.close();

  RunResult result;
  if (capture == Capture::Separate) {
    pump(nullptr, {}, false, {{first.readEnd.get(), &result.out}, {second.readEnd.get(), &result.err}},
         {}, std::nullopt);
  } else {
    pump(nullptr, {}, false, {{first.readEnd.get(), &result.combined}}, {}, std::nullopt);
  }
  result.exitStatus = child.wait();
  return result;
}

RunResult runProgram(const std::vector<std::string>& args, const EnvironmentOverrides& env) {
  RunResult result = runProgramOnce(args, Capture::Separate, env);
  result.combined = runProgramOnce(args, Capture::Combined, env).combined;
  return result;
}

RunResult runCommand(const std::vector<std::string>& argv, std::string_view input,
                     const EnvironmentOverrides& env) {
  if (argv.empty()) throw std::invalid_argument("runCommand without a program");
  StandardPipes pipes;
  ChildGuard child(spawn(argv.front(), argv, env, pipes.actions));
  pipes.in.readEnd.close();
  pipes.out.writeEnd.close();
  pipes.err.writeEnd.close();

  RunResult result;
  pump(&pipes.in.writeEnd, input, true,
       {{pipes.out.readEnd.get(), &result.out}, {pipes.err.readEnd.get(), &result.err}}, {}, std::nullopt);
  result.exitStatus = child.wait();
  return result;
}

Coprocess::Coprocess(const std::vector<std::string>& argv, const EnvironmentOverrides& env) {
  if (argv.empty()) throw std::invalid_argument("Coprocess without a program");
  StandardPipes pipes;
  pid_ = spawn(argv.front(), argv, env, pipes.actions);
  owner_ = ::getpid();
  input_ = pipes.in.writeEnd.release();
  output_ = pipes.out.readEnd.release();
  errors_ = pipes.err.readEnd.release();
}

Coprocess::~Coprocess() {
  if (!running()) return;
  ::close(input_);  // the child's end of input: it should end now
  ::close(output_);
  ::close(errors_);
  if (::getpid() != owner_) return;  // a forked copy of the test: not our child
  const auto giveUp = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_ || (ended < 0 && errno != EINTR)) return;
    if (Clock::now() > giveUp) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  killAndReap(pid_);
}

void Coprocess::stop() noexcept {
  if (!running()) return;
  ::close(input_);
  ::close(output_);
  ::close(errors_);
  if (::getpid() == owner_) killAndReap(pid_);
  pid_ = -1;
}

Coprocess::Reply Coprocess::exchange(std::string_view request, std::string_view endMark,
                                     std::chrono::milliseconds timeout) {
  if (!running()) throw std::logic_error("the child has ended");
  Reply reply;
  bool marked = false;
  Fd input(std::exchange(input_, -1));
  try {
    // Returns false only once both outputs have ended: the child is ending.
    marked = pump(&input, request, false, {{output_, &reply.out}, {errors_, &reply.err}},
                  [&] { return reply.out.ends_with(endMark); }, Clock::now() + timeout);
  } catch (...) {
    input_ = input.release();
    stop();
    throw;
  }
  input_ = input.release();
  if (marked) {
    reply.out.resize(reply.out.size() - endMark.size());
    return reply;
  }
  reply.ended = true;
  if (input_ >= 0) ::close(input_);
  ::close(output_);
  ::close(errors_);
  const pid_t child = std::exchange(pid_, -1);
  reply.exitStatus = waitForExit(child);
  return reply;
}

}  // namespace mrp::test
