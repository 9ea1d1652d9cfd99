#include "batch/demand_keys.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "platform/text_encoding.h"

namespace mrp::batch {
namespace {

/// The keys file opened for reading, closed again by the destructor; "-" is
/// standard input, which stays open.
class KeysInput {
 public:
  explicit KeysInput(const std::string& path)
      : owned_(path != "-"), fd_(owned_ ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC) : STDIN_FILENO) {}
  ~KeysInput() {
    if (owned_ && fd_ >= 0) ::close(fd_);
  }
  KeysInput(const KeysInput&) = delete;
  KeysInput& operator=(const KeysInput&) = delete;

  /// Negative when the file could not be opened (errno says why).
  int fd() const noexcept { return fd_; }

 private:
  bool owned_;
  int fd_;
};

}  // namespace

const char* problemText(KeyProblem problem) noexcept {
  return problem == KeyProblem::NulByte ? "contains a NUL byte" : "is not valid UTF-8";
}

std::string readKeysFile(const std::string& path) {
  const KeysInput input(path);
  const auto fail = [&path](int error) {
    const std::string reason = std::error_code(error, std::generic_category()).message();
    throw UsageError(path == "-" ? "cannot read the keys from standard input: " + reason
                                 : "cannot read the keys file " + path + ": " + reason);
  };
  if (input.fd() < 0) fail(errno);
  std::string content;
  std::array<char, 65536> buffer;
  for (;;) {
    const ssize_t count = ::read(input.fd(), buffer.data(), buffer.size());
    if (count == 0) return content;
    if (count > 0) {
      content.append(buffer.data(), static_cast<std::size_t>(count));
    } else if (errno != EINTR) {
      fail(errno);  // also a directory, which opens but cannot be read
    }
  }
}

KeysFile keysFrom(std::string_view content) {
  KeysFile file;
  std::size_t number = 0;
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.find('\0') != std::string_view::npos) {
      file.rejected.push_back({number, std::string(line), KeyProblem::NulByte});
    } else if (!isValidUtf8(line)) {
      file.rejected.push_back({number, std::string(line), KeyProblem::NotUtf8});
    } else {
      file.keys.emplace_back(line);
    }
  }
  return file;
}

std::uint64_t fnv1a64(std::string_view bytes) noexcept {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char byte : bytes) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::vector<std::string> keysOfShard(const std::vector<std::string>& keys, const Shard& shard) {
  std::vector<std::string> mine;
  for (const std::string& key : keys) {
    if (fnv1a64(key) % shard.count == shard.index - 1) mine.push_back(key);
  }
  return mine;
}

KeysFile keysOfShard(const KeysFile& file, const Shard& shard) {
  KeysFile mine{keysOfShard(file.keys, shard), {}};
  for (const RejectedLine& line : file.rejected) {
    if (fnv1a64(line.text) % shard.count == shard.index - 1) mine.rejected.push_back(line);
  }
  return mine;
}

std::vector<std::string> keysLeft(const std::vector<std::string>& keys, const std::set<std::string>& done) {
  std::vector<std::string> left;
  for (const std::string& key : keys) {
    if (!done.contains(key)) left.push_back(key);
  }
  return left;
}

}  // namespace mrp::batch
