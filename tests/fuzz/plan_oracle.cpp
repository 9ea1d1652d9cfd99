#include "plan_oracle.h"

#include <algorithm>
#include <string_view>

#include "db/connection.h"
#include "db/database_error.h"
#include "demand/message_sink.h"
#include "planning_db/demand_queries.h"
#include "platform/text_encoding.h"

namespace mrp::fuzz {
namespace {

using Violations = std::vector<std::string>;

constexpr std::size_t kDataSourceBytes = 119;  // the program cuts its first argument here

/// `message` as the program writes it on standard error.
std::string framed(const std::string& message) {
  return "\n" + std::string(kBannerOpen) + utf8ToCp850(withoutControlCharacters(message)) +
         std::string(kBannerClose);
}

std::string framed(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& message : messages) text += framed(message);
  return text;
}

SqlRow storedRow(const Lot& lot) {
  return {SqlValue::of(lot.date), SqlValue::of(std::int64_t{lot.lotSize}), SqlValue::of(lot.cost)};
}

/// The first row where the stored rows differ from the expected ones, described; empty when equal.
std::string firstDeparture(const std::vector<Lot>& lots, const std::vector<SqlRow>& stored) {
  for (std::size_t i = 0; i < std::max(lots.size(), stored.size()); ++i) {
    const std::optional<SqlRow> expected = i < lots.size() ? std::optional(storedRow(lots[i])) : std::nullopt;
    if (expected && i < stored.size() && *expected == stored[i]) continue;
    return std::to_string(lots.size()) + " rows expected, " + std::to_string(stored.size()) +
           " stored; row " + std::to_string(i + 1) + " expected " + (expected ? rowText(*expected) : "none") +
           ", stored " + (i < stored.size() ? rowText(stored[i]) : "none");
  }
  return {};
}

/// Standard error split after the loading's messages; `rest` is all of it when
/// it does not start with them.
struct StandardError {
  bool startsWithLoading = false;
  std::string rest;
};

StandardError afterLoading(const std::string& err, const Expectation& expected, Violations& found) {
  const std::string loading = framed(expected.loadingMessages);
  if (err.starts_with(loading)) return {true, err.substr(loading.size())};
  std::size_t same = 0;
  while (same < err.size() && same < loading.size() && err[same] == loading[same]) ++same;
  found.push_back("standard error does not start with the loading's " +
                  std::to_string(expected.loadingMessages.size()) + " messages; from byte " +
                  std::to_string(same) + " on it holds " + printable(err.substr(same)) + " instead of " +
                  printable(loading.substr(same)));
  return {false, err};
}

void checkSuccess(const Observation& observation, const std::vector<Lot>& lots, const StandardError& err,
                  Violations& found) {
  if (observation.run.exitStatus != 0) {
    found.push_back("the reference plans " + std::to_string(lots.size()) +
                    " lots, but the run failed: " + printable(err.rest));
    return;
  }
  if (err.startsWithLoading && !err.rest.empty()) {
    found.push_back("a success wrote more than the loading's messages: " + printable(err.rest));
  }
  if (const std::string departure = firstDeparture(lots, observation.after.planned); !departure.empty()) {
    found.push_back("the stored lots are not the reference's: " + departure);
  }
}

/// A refusal message as the program writes it, in code page 850.
struct WrittenRefusal {
  std::string text;
  const test::RefusalMessage* message;
};

const std::vector<WrittenRefusal>& writtenRefusals() {
  static const std::vector<WrittenRefusal> written = [] {
    std::vector<WrittenRefusal> all;
    for (const test::RefusalMessage& message : test::refusalMessages()) {
      all.push_back({utf8ToCp850(message.start), &message});
    }
    return all;
  }();
  return written;
}

/// The kinds of the framed lines of `text`; nothing when a line is no refusal message.
std::optional<std::set<test::Refusal>> refusalKinds(const std::string& text) {
  const std::size_t open = 1 + kBannerOpen.size();  // the line end and the opening mark
  std::set<test::Refusal> kinds;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at + 1), text.size());
    const std::string_view line = std::string_view(text).substr(at, end - at);
    if (line.size() < open + kBannerClose.size()) return std::nullopt;
    const std::string_view message = line.substr(open, line.size() - open - kBannerClose.size());
    const auto& written = writtenRefusals();
    const auto known = std::find_if(written.begin(), written.end(), [&](const WrittenRefusal& refusal) {
      return refusal.message->wholeLine ? message == refusal.text : message.starts_with(refusal.text);
    });
    if (known == written.end()) return std::nullopt;
    kinds.insert(known->message->kind);
    at = end;
  }
  return kinds;
}

std::string kindList(const std::set<test::Refusal>& kinds) {
  std::string text;
  for (const test::RefusalMessage& message : test::refusalMessages()) {
    if (!kinds.contains(message.kind)) continue;
    const std::string_view start = message.start;
    text += (text.empty() ? "'" : ", '") + std::string(start.substr(0, start.find_last_not_of(' ') + 1)) +
            (message.wholeLine ? "'" : "...'");
  }
  return text.empty() ? "no reason of its own" : text;
}

void checkRefusal(const Observation& observation, const std::set<test::Refusal>& reasons,
                  const StandardError& err, Violations& found) {
  if (observation.run.exitStatus != 1) {
    found.push_back("the reference refuses the demand (" + printable(kindList(reasons)) +
                    "), but the run planned it: " + std::to_string(observation.after.planned.size()) +
                    " rows stored");
    return;
  }
  if (!err.startsWithLoading) return;
  const std::optional<std::set<test::Refusal>> given = refusalKinds(err.rest);
  if (!given) {
    found.push_back("a refusal wrote a line that is no refusal message: " + printable(err.rest));
  } else if (*given != reasons) {
    found.push_back("the refusal gave " + printable(kindList(*given)) + " where the reference finds " +
                    printable(kindList(reasons)));
  }
}

void checkLoadingFailure(const Observation& observation, const std::string& failure, const StandardError& err,
                         Violations& found) {
  if (observation.run.exitStatus != 1) {
    found.push_back("the loading failed (" + printable(failure) + "), but the run succeeded");
  } else if (err.startsWithLoading && err.rest != framed(failure)) {
    found.push_back("the loading failed with " + printable(failure) + ", but the run reported " +
                    printable(err.rest));
  }
}

}  // namespace

Expectation expectRun(const OdbcEnvironment& environment, const std::string& dataSource,
                      const std::string& demandKey) {
  Expectation expected;
  MessageList messages;
  try {
    Connection connection(environment, "DSN=" + dataSource.substr(0, kDataSourceBytes));
    const LoadedDemand demand = loadDemand(connection, demandKey, messages);
    connection.close();
    test::ReferencePlan plan = test::referencePlan(demand);
    expected.lots = std::move(plan.lots);
    expected.reasons = std::move(plan.reasons);
  } catch (const DatabaseError& error) {
    expected.loadingFailure = error.what();
  }
  expected.loadingMessages = messages.lines();
  return expected;
}

std::vector<std::string> findDepartures(const Observation& observation, const Expectation& expected) {
  Violations found;
  const test::ChildResult& run = observation.run;
  if (run.timedOut || (run.exitStatus != 0 && run.exitStatus != 1)) return found;
  const StandardError err = afterLoading(run.err, expected, found);
  if (expected.loadingFailure) {
    checkLoadingFailure(observation, *expected.loadingFailure, err, found);
  } else if (expected.lots) {
    checkSuccess(observation, *expected.lots, err, found);
  } else {
    checkRefusal(observation, expected.reasons, err, found);
  }
  return found;
}

}  // namespace mrp::fuzz
