#include "cli/connection_string.h"

namespace mrp {

std::string connectionStringFor(std::string_view dataSourceName) {
  constexpr std::size_t kLongestName = 119;
  return "DSN=" + std::string(dataSourceName.substr(0, kLongestName));
}

}  // namespace mrp
