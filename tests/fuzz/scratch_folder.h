// Folders and files the campaign needs for itself.
#pragma once

#include <filesystem>
#include <string>

namespace mrp::fuzz {

/// A fresh folder under /tmp, removed with everything in it by the destructor.
/// Short on purpose: the program takes only 119 bytes of its data source
/// argument, which names the database file.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

/// The odbc.ini that names the data source lsz_sqlite: the file in ODBCINI when
/// that is set (the ctest fixture's); otherwise one written into `scratch`, and
/// ODBCINI set to it for this process so that every child inherits it (the
/// driver manager reads ODBCINI once, at its start). Call before any thread starts.
std::filesystem::path prepareOdbcIni(const std::filesystem::path& scratch);

std::string readFile(const std::filesystem::path& file);

/// Removes a SQLite file together with its rollback journal.
void removeDatabase(const std::filesystem::path& file);

}  // namespace mrp::fuzz
