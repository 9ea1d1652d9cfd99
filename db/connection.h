// The one shared database connection of the process.
#pragma once

#include <sql.h>

namespace mrp {

/// Opens the shared connection with an ODBC connection string ("DSN=...").
/// A connection held before is dropped first. Raises `_com_error` on failure.
void openConnection(const char* connectionString);
/// Closes the shared connection when it is open; does nothing otherwise.
void closeConnection();
/// The shared connection handle; SQL_NULL_HDBC when none is held.
SQLHDBC sharedConnection() noexcept;
/// True while the shared connection is connected.
bool connectionIsOpen() noexcept;

}  // namespace mrp
