// The message of a run that failed, for the programs that report a failure
// with its code (the batch and the report): a database failure names its
// SQLSTATE with the driver's text, so that a log tells a constraint from a
// lost connection without the driver's wording.
#pragma once

#include "cli/guarded_run.h"
#include "demand/message_code.h"

namespace mrp {

/// database-error: "SQLSTATE <state>: <the driver's messages on one line>",
/// or the error's own line when the failure has no SQLSTATE (a closed handle,
/// a value that does not convert).
Message databaseFailure(const DatabaseError& error);

/// The message of `failure`: a database failure as databaseFailure says it;
/// out-of-memory "Nicht genug Arbeitsspeicher", as the single-demand program
/// says it; internal-error the failure's own text.
Message failureMessage(const Failure& failure);

}  // namespace mrp
