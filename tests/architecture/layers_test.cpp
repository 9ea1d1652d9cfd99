// The layers of the system point one way: a program (driver/ and every other
// program folder) uses cli/ uses lotsizing/ uses planning_db/ uses demand/ uses
// db/ uses platform/. No product file includes a file of a higher layer, of another
// program, of tests/ or of bench/. ODBC stays inside db/: only its sources and
// its internal header odbc_handle.h include ODBC's headers, and no other layer
// includes odbc_handle.h. This test reads the includes of every product file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace mrp {
namespace {

namespace fs = std::filesystem;

/// The library's layers, lowest first; every other top-level folder holding
/// C++ sources is a program, above them all.
const std::map<std::string, int> kLibraryLayers = {{"platform", 0},    {"db", 1},        {"demand", 2},
                                                   {"planning_db", 3}, {"lotsizing", 4}, {"cli", 5}};
constexpr int kProgramLayer = 6;
/// The database layer's header that includes ODBC's.
constexpr const char* kOdbcHeader = "db/odbc_handle.h";
const std::vector<std::string> kNotProduct = {"tests", "bench", "build", "examples", "sql", "scripts"};

bool isSource(const fs::path& file) {
  const auto extension = file.extension();
  return extension == ".h" || extension == ".cpp";
}

bool isProductFolder(const fs::path& folder) {
  const std::string name = folder.filename().string();
  if (name.empty() || name[0] == '.' || name.starts_with("build")) return false;
  for (const auto& excluded : kNotProduct) {
    if (name == excluded) return false;
  }
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && isSource(entry.path())) return true;
  }
  return false;
}

std::optional<int> layerOf(const std::string& folder) {
  const auto found = kLibraryLayers.find(folder);
  if (found != kLibraryLayers.end()) return found->second;
  return std::nullopt;
}

struct Include {
  std::string file;  // relative to the source root
  int line;
  std::string target;  // the quoted path
};

/// The includes of `file`, quoted ones by their path and system headers in
/// angle brackets as "<name>".
std::vector<Include> quotedIncludes(const fs::path& root, const fs::path& file) {
  static const std::regex include(R"re(^\s*#\s*include\s*(?:"([^"]+)"|<(sql[a-z]*\.h)>))re");
  std::vector<Include> result;
  std::ifstream in(file);
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    std::smatch match;
    if (std::regex_search(text, match, include))
      result.push_back({fs::relative(file, root).string(), line,
                        match[1].matched ? match[1].str() : "<" + match[2].str() + ">"});
  }
  return result;
}

/// Why `include`, made from a file in `folder`, points the wrong way; empty when it does not.
std::string violation(const std::string& folder, const Include& include) {
  const bool odbc = include.target.starts_with("<sql") || include.target == kOdbcHeader;
  const bool insideDatabaseLayer =
      folder == "db" && (include.file.ends_with(".cpp") || include.file == kOdbcHeader);
  if (odbc && !insideDatabaseLayer) return "ODBC outside the database layer's sources";
  const auto slash = include.target.find('/');
  if (slash == std::string::npos) return {};  // a file beside the includer
  const std::string targetFolder = include.target.substr(0, slash);
  if (targetFolder == folder) return {};
  if (targetFolder == "tests" || targetFolder == "bench")
    return "product code includes " + targetFolder + "/";
  const int from = layerOf(folder).value_or(kProgramLayer);
  const std::optional<int> to = layerOf(targetFolder);
  if (!to) return "includes " + targetFolder + "/, a program or no layer of the library";
  if (*to > from) return "includes " + targetFolder + "/, a higher layer";
  return {};
}

TEST(Layers, NoProductFileIncludesAHigherLayerTestsOrBench) {
  const fs::path root = LOTSIZING_SOURCE_DIR;
  std::vector<std::string> folders;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.is_directory() && isProductFolder(entry.path())) folders.push_back(entry.path().filename());
  }
  for (const auto& [layer, rank] : kLibraryLayers) {
    EXPECT_NE(std::find(folders.begin(), folders.end(), layer), folders.end()) << layer << "/ is missing";
  }
  std::size_t checked = 0;
  for (const std::string& folder : folders) {
    for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
      if (!entry.is_regular_file() || !isSource(entry.path())) continue;
      ++checked;
      for (const Include& include : quotedIncludes(root, entry.path())) {
        const std::string why = violation(folder, include);
        EXPECT_TRUE(why.empty()) << include.file << ":" << include.line << ": \"" << include.target << "\" "
                                 << why;
      }
    }
  }
  EXPECT_GT(checked, 20u);
}

TEST(Layers, TheRuleItselfCatchesEachKindOfWrongInclude) {
  const struct {
    const char* folder;
    const char* target;
    bool allowed;
  } cases[] = {
      {"db", "platform/ole_date.h", true},
      {"planning_db", "demand/demand_source.h", true},
      {"lotsizing", "planning_db/lot_storage.h", true},
      {"planning_db", "lotsizing/lot_plan.h", false},
      {"batch", "cli/usage_error.h", true},
      {"lotsizing", "cli/guarded_run.h", false},
      {"demand", "planning_db/demand_keys.h", false},
      {"lotsizing", "demand/loaded_demand.h", true},
      {"driver", "lotsizing/lot_plan.h", true},
      {"report", "demand/demand_loader.h", true},
      {"demand", "demand/row_reading.h", true},
      {"bench", "plan_generator.h", true},
      {"db", "driver/console.h", false},
      {"demand", "lotsizing/lot_plan.h", false},
      {"platform", "db/connection.h", false},
      {"lotsizing", "tests/support/plan_builder.h", false},
      {"demand", "bench/bench_modes.h", false},
      {"driver", "batch/batch.h", false},
      {"report", "batch/batch_options.h", false},
      {"lotsizing", "report/plan_report.h", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(violation(c.folder, {"x", 1, c.target}).empty(), c.allowed) << c.folder << " -> " << c.target;
  }
  const struct {
    const char* file;
    const char* target;
    bool allowed;
  } odbc[] = {
      {"db/statement.cpp", "<sqlext.h>", true},
      {"db/statement.cpp", "db/odbc_handle.h", true},
      {"db/odbc_handle.h", "<sql.h>", true},
      {"db/connection.h", "<sql.h>", false},
      {"db/connection.h", "db/odbc_handle.h", false},
      {"demand/demand_loader.cpp", "<sql.h>", false},
      {"batch/batch_runner.cpp", "db/odbc_handle.h", false},
  };
  for (const auto& c : odbc) {
    const std::string folder = std::string(c.file).substr(0, std::string(c.file).find('/'));
    EXPECT_EQ(violation(folder, {c.file, 1, c.target}).empty(), c.allowed) << c.file << " -> " << c.target;
  }
}

}  // namespace
}  // namespace mrp
