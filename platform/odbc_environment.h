// The process's ODBC environment handle (ODBC 3 behaviour). Allocating it is
// the platform initialisation of a run, freeing it the uninitialisation.
#pragma once

#include <sql.h>

namespace mrp {

/// Allocates the environment handle if not yet done. False when that fails.
bool initialisePlatform() noexcept;
/// Frees the environment handle (after every connection is gone).
void uninitialisePlatform() noexcept;
/// The environment handle; SQL_NULL_HENV before `initialisePlatform`.
SQLHENV environmentHandle() noexcept;

}  // namespace mrp
