// posix_spawn with pipes.
#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace mrp::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what, int error = errno) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

/// Both ends of a new pipe, neither inherited by a started program unless it
/// is duplicated onto one of its standard streams.
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

  void redirect(int from, int to) { check(posix_spawn_file_actions_adddup2(&actions_, from, to)); }
  void close(int fd) { check(posix_spawn_file_actions_addclose(&actions_, fd)); }
  void open(int fd, const std::string& path, int flags) {
    check(posix_spawn_file_actions_addopen(&actions_, fd, path.c_str(), flags, 0644));
  }
  const posix_spawn_file_actions_t* get() const noexcept { return &actions_; }

 private:
  static void check(int error) {
    if (error != 0) fail("posix_spawn_file_actions", error);
  }
  posix_spawn_file_actions_t actions_;
};

/// Owns posix_spawnattr_t; with `ownGroup` the child leads a process group of
/// its own, so that killing the group also ends whatever it started.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(bool ownGroup) {
    posix_spawnattr_init(&attributes_);
    if (ownGroup) {
      posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP);
      posix_spawnattr_setpgroup(&attributes_, 0);
    }
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const noexcept { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

/// Puts `stream` in place as the child's descriptor `fd`; a piped stream's
/// end of ours lands in `ours`.
void connect(const Stream& stream, int fd, FileActions& actions, Fd& ours, Fd& theirs) {
  switch (stream.kind) {
    case Stream::Kind::Pipe: {
      Pipe pipe;
      const bool input = fd == STDIN_FILENO;
      theirs = std::move(input ? pipe.readEnd : pipe.writeEnd);
      ours = std::move(input ? pipe.writeEnd : pipe.readEnd);
      actions.redirect(theirs.get(), fd);
      return;
    }
    case Stream::Kind::Inherited:
      return;
    case Stream::Kind::Closed:
      actions.close(fd);
      return;
    case Stream::Kind::Descriptor:
      actions.redirect(stream.fd, fd);
      return;
    case Stream::Kind::File:
      actions.open(fd, stream.path, fd == STDIN_FILENO ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC);
      return;
    case Stream::Kind::IntoOutput:
      if (fd != STDERR_FILENO) throw std::invalid_argument("only standard error can go into standard output");
      actions.redirect(STDOUT_FILENO, STDERR_FILENO);
      return;
  }
}

/// The child's environment as "NAME=value" texts.
std::vector<std::string> childEnvironment(const ChildOptions& options) {
  std::map<std::string, std::string> variables;
  if (!options.replaceEnvironment) {
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      const auto equals = text.find('=');
      if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
  }
  for (const auto& [name, value] : options.environment) variables[name] = value;
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

/// Waits for `child`; false when `noWait` and it has not ended yet.
bool waitFor(pid_t child, ChildResult& result, bool noWait) {
  int status = 0;
  struct rusage usage {};
  for (;;) {
    const pid_t ended = wait4(child, &status, noWait ? WNOHANG : 0, &usage);
    if (ended == child) break;
    if (ended == 0) return false;
    if (errno != EINTR) fail("waitpid " + std::to_string(child));
  }
  result.peakKilobytes = usage.ru_maxrss;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : result.signal ? 128 + result.signal : -1;
  return true;
}

/// Blocks SIGPIPE in this thread while it lives, so that writing to a child
/// that has ended fails with EPIPE instead of ending this process; a SIGPIPE
/// raised meanwhile is taken before the old mask returns.
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
    if (!sigismember(&previous_, SIGPIPE) && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
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

enum class Pumped { Done, Ended, TimedOut };

/// Writes `bytes` to `input` (when open) and appends what arrives on each of
/// `outputs` to its text, until `done()`, asked after every read, says so
/// (Done), every output has ended and the input is written (Ended), or
/// `deadline` passes (TimedOut). With `closeInput` the input is closed once
/// written, so that the child sees its end.
Pumped pump(Fd& input, std::string_view bytes, bool closeInput, std::vector<Output> outputs,
            const std::function<bool()>& done, std::optional<Clock::time_point> deadline) {
  SigpipeBlocked sigpipeBlocked;
  if (input.open()) fcntl(input.get(), F_SETFL, fcntl(input.get(), F_GETFL) | O_NONBLOCK);
  const auto inputDone = [&] {
    bytes = {};
    if (closeInput) input.close();
  };
  if (bytes.empty()) inputDone();
  std::array<char, 65536> buffer;
  for (;;) {
    const bool writing = input.open() && !bytes.empty();
    if (outputs.empty() && !writing) return Pumped::Ended;
    std::vector<pollfd> polled;
    for (const Output& output : outputs) polled.push_back({output.fd, POLLIN, 0});
    if (writing) polled.push_back({input.get(), POLLOUT, 0});
    int waitMs = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0) return Pumped::TimedOut;
      waitMs = static_cast<int>(left.count());
    }
    if (poll(polled.data(), polled.size(), waitMs) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    if (writing && polled.back().revents != 0) {
      const ssize_t written = ::write(input.get(), bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
        if (bytes.empty()) inputDone();
      } else if (written < 0 && errno != EINTR && errno != EAGAIN) {
        bytes = {};  // the child closed its input (EPIPE): the rest is dropped
        input.close();
      }
    }
    for (std::size_t i = outputs.size(); i-- > 0;) {
      if (polled[i].revents == 0) continue;
      const ssize_t count = ::read(outputs[i].fd, buffer.data(), buffer.size());
      if (count > 0) {
        outputs[i].text->append(buffer.data(), static_cast<std::size_t>(count));
        if (done && done()) return Pumped::Done;
      } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
        outputs.erase(outputs.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
}

}  // namespace

void Fd::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Child::Child(const ChildOptions& options)
    : ownGroup_(options.timeLimit.has_value()),
      combined_(options.err.kind == Stream::Kind::IntoOutput),
      input_(options.input),
      timeLimit_(options.timeLimit) {
  if (options.argv.empty()) throw std::invalid_argument("a child without argv[0]");
  FileActions actions;
  Fd theirs[3];
  connect(options.in, STDIN_FILENO, actions, in_, theirs[0]);
  connect(options.out, STDOUT_FILENO, actions, out_, theirs[1]);
  connect(options.err, STDERR_FILENO, actions, err_, theirs[2]);
  const SpawnAttributes attributes(ownGroup_);
  std::vector<std::string> argv = options.argv;
  std::vector<char*> argPointers = pointersTo(argv);
  std::vector<std::string> environment = childEnvironment(options);
  std::vector<char*> environmentPointers = pointersTo(environment);
  const std::string& program = options.program.empty() ? options.argv.front() : options.program;
  started_ = Clock::now();
  const int error = program.find('/') == std::string::npos
                        ? posix_spawnp(&pid_, program.c_str(), actions.get(), attributes.get(),
                                       argPointers.data(), environmentPointers.data())
                        : posix_spawn(&pid_, program.c_str(), actions.get(), attributes.get(),
                                      argPointers.data(), environmentPointers.data());
  if (error != 0) {
    pid_ = -1;
    fail("cannot start " + program, error);
  }
  owner_ = ::getpid();
}

Child::~Child() {
  if (pid_ <= 0 || ::getpid() != owner_) return;  // waited for, or a forked copy: not our child
  kill();
  ChildResult ignored;
  try {
    waitFor(pid_, ignored, false);
  } catch (const std::exception&) {
    // Reaped by someone else: nothing left to do.
  }
}

void Child::signal(int number) const {
  if (::kill(pid_, number) != 0) fail("kill " + std::to_string(pid_));
}

void Child::kill() const noexcept { ::kill(ownGroup_ ? -pid_ : pid_, SIGKILL); }

ChildResult Child::wait() {
  if (pid_ <= 0) throw std::logic_error("the child has been waited for already");
  ChildResult result;
  std::optional<Clock::time_point> deadline;
  if (timeLimit_) deadline = started_ + *timeLimit_;
  std::vector<Output> outputs;
  if (out_.open()) outputs.push_back({out_.get(), combined_ ? &result.combined : &result.out});
  if (err_.open()) outputs.push_back({err_.get(), &result.err});
  if (pump(in_, input_, true, outputs, {}, deadline) == Pumped::TimedOut) {
    kill();  // the pipes close as it ends
    result.timedOut = true;
    in_.close();
    pump(in_, {}, true, outputs, {}, std::nullopt);
  }
  reap(result, result.timedOut ? std::nullopt : deadline);
  out_.close();
  err_.close();
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
  return result;
}

void Child::reap(ChildResult& result, std::optional<Clock::time_point> deadline) {
  while (deadline && !waitFor(pid_, result, true)) {
    if (Clock::now() >= *deadline) {
      kill();
      result.timedOut = true;
      deadline.reset();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  if (!deadline) waitFor(pid_, result, false);
  pid_ = -1;
}

ChildResult runChild(const ChildOptions& options) { return Child(options).wait(); }

Coprocess::Coprocess(const std::vector<std::string>& argv, const EnvironmentOverrides& env) {
  ChildOptions options;
  options.argv = argv;
  options.environment = env;
  child_.emplace(options);
}

Coprocess::~Coprocess() {
  if (!child_) return;
  child_->in_.close();  // the child's end of input: it should end now
  child_->out_.close();
  child_->err_.close();
  if (::getpid() != child_->owner_) return;
  ChildResult ignored;
  try {
    child_->reap(ignored, Clock::now() + std::chrono::seconds(5));
  } catch (const std::exception&) {
    // The destructor of the child kills it.
  }
}

Coprocess::Reply Coprocess::exchange(std::string_view request, std::string_view endMark,
                                     std::chrono::milliseconds timeout) {
  if (!child_) throw std::logic_error("the child has ended");
  Reply reply;
  Pumped pumped = Pumped::Ended;
  try {
    pumped = pump(
        child_->in_, request, false, {{child_->out_.get(), &reply.out}, {child_->err_.get(), &reply.err}},
        [&] { return reply.out.ends_with(endMark); }, Clock::now() + timeout);
  } catch (...) {
    child_.reset();
    throw;
  }
  if (pumped == Pumped::TimedOut) {
    child_.reset();
    throw std::runtime_error("no answer from the child in time");
  }
  if (pumped == Pumped::Done) {
    reply.out.resize(reply.out.size() - endMark.size());
    return reply;
  }
  reply.ended = true;
  child_->in_.close();
  ChildResult result;
  child_->reap(result, std::nullopt);
  reply.exitStatus = result.exitStatus;
  child_.reset();
  return reply;
}

}  // namespace mrp::test
