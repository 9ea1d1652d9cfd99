// The one way a program turns a data source name into an ODBC connection string.
#pragma once

#include <string>
#include <string_view>

namespace mrp {

/// "DSN=" and at most the first 119 bytes of `dataSourceName`: no user or
/// password is added (they belong in the data source).
std::string connectionStringFor(std::string_view dataSourceName);

}  // namespace mrp
