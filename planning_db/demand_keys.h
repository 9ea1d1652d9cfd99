// The keys of the planning database's demands.
#pragma once

#include <string>
#include <vector>

namespace mrp {

class Connection;

/// Every key of `Bedarf`, in the database's key order, each whole however
/// long. A key with a NUL in it names no demand a run could load: it is left
/// out rather than read as its beginning, which may be another demand's key.
/// Raises `DatabaseError`.
std::vector<std::string> allDemandKeys(Connection& connection);

}  // namespace mrp
