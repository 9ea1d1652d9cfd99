#include "plan_oracle.h"

#include <algorithm>

#include "db/connection.h"
#include "db/database_error.h"
#include "demand/demand_loader.h"
#include "demand/message_sink.h"
#include "platform/text_encoding.h"
#include "support/reference_engine.h"

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
  return {SqlValue::of(lot.termin), SqlValue::of(std::int64_t{lot.lotSize}), SqlValue::of(lot.kosten)};
}

/// The first row where the stored rows differ from the expected ones, described; empty when equal.
std::string firstDeparture(const std::vector<Lot>& lots, const std::vector<SqlRow>& stored) {
  for (std::size_t i = 0; i < std::max(lots.size(), stored.size()); ++i) {
    const std::optional<SqlRow> expected = i < lots.size() ? std::optional(storedRow(lots[i])) : std::nullopt;
    if (expected && i < stored.size() && *expected == stored[i]) continue;
    return std::to_string(lots.size()) + " rows expected, " + std::to_string(stored.size()) + " stored; row " +
           std::to_string(i + 1) + " expected " + (expected ? rowText(*expected) : "none") + ", stored " +
           (i < stored.size() ? rowText(stored[i]) : "none");
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
  found.push_back("standard error does not start with the loading's " + std::to_string(expected.loadingMessages.size()) +
                  " messages; from byte " + std::to_string(same) + " on it holds " + printable(err.substr(same)) +
                  " instead of " + printable(loading.substr(same)));
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

void checkRefusal(const Observation& observation, RefusalReasons reasons, const StandardError& err,
                  Violations& found) {
  if (observation.run.exitStatus != 1) {
    found.push_back("the reference refuses the demand, but the run planned it: " +
                    std::to_string(observation.after.planned.size()) + " rows stored");
  } else if (err.startsWithLoading && reasons == RefusalReasons::AtLeastOne && err.rest.empty()) {
    found.push_back("a refusal gave no reason after the loading's messages");
  } else if (err.startsWithLoading && reasons == RefusalReasons::None && !err.rest.empty()) {
    found.push_back("a demand without header was refused with more than the loading's messages: " +
                    printable(err.rest));
  }
}

/// What a refusal of `demand` says beyond the loading's messages.
RefusalReasons refusalReasonsOf(const DemandPlan& demand) {
  if (!demand.headerFound) return RefusalReasons::None;
  if (!demand.startDate || !demand.periodLength) return RefusalReasons::Optional;
  return RefusalReasons::AtLeastOne;
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
    const DemandPlan demand = loadDemandPlan(connection, demandKey, messages);
    connection.close();
    expected.lots = test::plannedLots(demand);
    expected.refusalReasons = refusalReasonsOf(demand);
  } catch (const DatabaseError& error) {
    expected.loadingFailure = error.what();
  }
  expected.loadingMessages = std::move(messages.lines);
  return expected;
}

std::vector<std::string> findDepartures(const Observation& observation, const Expectation& expected) {
  Violations found;
  const ChildRun& run = observation.run;
  if (run.timedOut || (run.exitStatus != 0 && run.exitStatus != 1)) return found;
  const StandardError err = afterLoading(run.err, expected, found);
  if (expected.loadingFailure) {
    checkLoadingFailure(observation, *expected.loadingFailure, err, found);
  } else if (expected.lots) {
    checkSuccess(observation, *expected.lots, err, found);
  } else {
    checkRefusal(observation, expected.refusalReasons, err, found);
  }
  return found;
}

}  // namespace mrp::fuzz
