#include "cli/run_failure.h"

#include <string>
#include <string_view>

#include "db/database_error.h"
#include "platform/text_encoding.h"

namespace mrp {

Message databaseFailure(const DatabaseError& error) {
  const std::string_view line = error.what();
  if (error.sqlState().empty()) return {MessageCode::DatabaseError, std::string(line)};
  // what() is "<the code's text>: <the description on one line>".
  std::string_view description = line;
  const std::string prefix = error.messageText() + ": ";
  if (description.starts_with(prefix)) description.remove_prefix(prefix.size());
  return {MessageCode::DatabaseError,
          withoutControlCharacters("SQLSTATE " + error.sqlState() + ": " + std::string(description))};
}

Message failureMessage(const Failure& failure) {
  switch (failure.kind) {
    case Failure::Kind::Database:
      return databaseFailure(*failure.database);
    case Failure::Kind::OutOfMemory:
      return {MessageCode::OutOfMemory, "Nicht genug Arbeitsspeicher"};
    case Failure::Kind::Other:
      break;
  }
  return {MessageCode::InternalError, failure.text};
}

}  // namespace mrp
