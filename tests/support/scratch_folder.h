// Scratch folders for the tests, the fuzz campaign and the benchmark. Short
// paths under /tmp on purpose: the program takes only 119 bytes of its data
// source argument, which names a SQLite file, and a Unix socket path at most
// 107 bytes.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace mrp::test {

/// A fresh folder /tmp/<prefix>.XXXXXX, removed with everything in it by the
/// destructor unless kept. Others may enter and read it: the database servers
/// that tests start in it run as users of their own.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }
  void keep() noexcept { keep_ = true; }

 private:
  std::filesystem::path path_;
  pid_t owner_;  // a forked copy of the process leaves the folder alone
  bool keep_ = false;
};

/// This test process's own scratch folder, made on first use and removed when
/// the process ends.
std::string scratchFolder();

}  // namespace mrp::test
