#include "support/scratch_folder.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace mrp::test {

ScratchFolder::ScratchFolder(std::string_view prefix) : owner_(::getpid()) {
  std::string pattern = "/tmp/" + std::string(prefix) + ".XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || chmod(pattern.c_str(), 0755) != 0)
    throw std::runtime_error("cannot create a scratch folder under /tmp");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  if (keep_ || ::getpid() != owner_) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string scratchFolder() {
  static const ScratchFolder folder("lszt");
  return folder.path().string();
}

}  // namespace mrp::test
