#include "scratch_folder.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace mrp::fuzz {
namespace {

/// The SQLite ODBC driver library, looked for where databases.sh looks; else its registered name.
std::string sqliteDriver() {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc", "/usr/lib64",
                          "/usr/lib/odbc", "/usr/lib"}) {
    const std::filesystem::path library = std::filesystem::path(dir) / "libsqlite3odbc.so";
    if (std::filesystem::exists(library)) return library.string();
  }
  return "SQLite3";
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = "/tmp/lszf.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder under /tmp");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path prepareOdbcIni(const std::filesystem::path& scratch) {
  if (const char* configured = std::getenv("ODBCINI"); configured && *configured) {
    return std::filesystem::absolute(configured);
  }
  const std::filesystem::path file = scratch / "odbc.ini";
  std::ofstream out(file);
  out << "[lsz_sqlite]\nDriver = " << sqliteDriver() << "\nDatabase = " << (scratch / "default.db").string()
      << "\nTimeout = 10000\n";
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
  if (setenv("ODBCINI", file.c_str(), 1) != 0) throw std::runtime_error("cannot set ODBCINI");
  return file;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void removeDatabase(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  std::filesystem::remove(file.string() + "-journal", ignored);
}

}  // namespace mrp::fuzz
