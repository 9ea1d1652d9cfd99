// The guard around a program's run: whatever leaves it becomes one failure
// that the program reports in its own documented words and exit status.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "db/database_error.h"
#include "platform/text_encoding.h"

namespace mrp {

/// A failure that left a run.
struct Failure {
  enum class Kind { Database, OutOfMemory, Other } kind = Kind::Other;
  /// Database: the error, valid while the failure is handled.
  const DatabaseError* database = nullptr;
  /// The failure's own text on one line (DatabaseError::what() for Database;
  /// empty for OutOfMemory).
  std::string text;
};

/// Runs `body` and returns its result; a failure that leaves it is handed to
/// `onFailure`, whose result is returned instead.
template <class Body, class OnFailure>
auto runGuarded(Body&& body, OnFailure&& onFailure) -> decltype(body()) {
  try {
    return body();
  } catch (const DatabaseError& error) {
    return onFailure(Failure{Failure::Kind::Database, &error, error.what()});
  } catch (const std::bad_alloc&) {
    return onFailure(Failure{Failure::Kind::OutOfMemory, nullptr, {}});
  } catch (const std::exception& error) {
    return onFailure(Failure{Failure::Kind::Other, nullptr, withoutControlCharacters(error.what())});
  } catch (...) {
    return onFailure(Failure{Failure::Kind::Other, nullptr, "unknown failure"});
  }
}

}  // namespace mrp
