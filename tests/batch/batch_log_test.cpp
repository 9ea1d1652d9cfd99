#include "batch/batch_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <regex>
#include <sstream>
#include <streambuf>

#include "support/json_check.h"

namespace mrp::batch {
namespace {

const std::string kTime = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";

using enum MessageCode;

/// A summary of these counts, the others 0.
BatchSummary summaryOf(std::size_t planned, std::size_t refused, std::size_t failed, std::size_t lots,
                       double seconds, bool interrupted = false) {
  BatchSummary summary;
  summary.planned = planned;
  summary.refused = refused;
  summary.failed = failed;
  summary.lots = lots;
  summary.seconds = seconds;
  summary.interrupted = interrupted;
  return summary;
}

BatchSummary interrupted(BatchSummary summary, std::string why) {
  summary.interrupted = true;
  summary.stopReason = std::move(why);
  return summary;
}

/// Three demands, each with its messages, and their summary.
struct SampleBatch {
  std::vector<DemandOutcome> demands = {
      {"WW1958", Outcome::Planned, 6, 864.0, 12, 2.5, {}},
      {"OHNE",
       Outcome::Planned,
       2,
       5.0,
       3,
       1.5,
       {{FactorMissing,
         "UmrechnungsFaktor existiert nicht: RüstKosten: Jeder Parameter RüstKosten zählt als 0!"},
        {UnknownParameter, "Unbekannter Parameter: Rüst\nKosten"}}},
      {"Zeile\n\"2\"",
       Outcome::Refused,
       0,
       0.0,
       0,
       0.25,
       {{NoConversionFactors, "UmrechnungsFaktoren existieren nicht!"},
        {DemandMissing, "Bedarf existiert nicht: Zeile\n2"}}},
      {"K\xC3\xB6", Outcome::Failed, 0, 0.0, 0, 1.0, {{DatabaseError, "SQLSTATE 08S01: weg \"ganz\""}}},
  };
  BatchSummary summary() const {
    BatchSummary s = summaryOf(0, 0, 0, 8, 0.5, false);
    for (const DemandOutcome& demand : demands) s.count(demand);
    return s;
  }
};

TEST(BatchLog, TextEntriesOneLineEachWithTheKeyQuotedAndEachMessageWithItsCode) {
  const SampleBatch batch;
  std::ostringstream out;
  BatchLog log(out, false);
  log.started({4, 2, false, false, 0});
  for (const DemandOutcome& demand : batch.demands) log.demand(demand);
  log.summary(batch.summary());
  const std::regex expected(
      kTime + R"( batch started: 4 demands, 2 jobs\n)" + kTime +
      R"( "WW1958" planned lots=6 cost=864 periods=12 ms=2\.5\n)" + kTime +
      R"( "OHNE" planned lots=2 cost=5 periods=3 ms=1\.5 warnings=2\n)" + kTime +
      R"( "OHNE" warning factor-missing: UmrechnungsFaktor existiert nicht: RüstKosten: )"
      R"(Jeder Parameter RüstKosten zählt als 0!\n)" +
      kTime + R"( "OHNE" warning unknown-parameter: Unbekannter Parameter: Rüst Kosten\n)" + kTime +
      R"( "Zeile\\u000a\\"2\\"" refused lots=0 cost=0 periods=0 ms=0\.2\n)" + kTime +
      R"( "Zeile\\u000a\\"2\\"" reason no-conversion-factors: UmrechnungsFaktoren existieren nicht!\n)" +
      kTime + R"( "Zeile\\u000a\\"2\\"" reason demand-missing: Bedarf existiert nicht: Zeile 2\n)" + kTime +
      R"( "K\xC3\xB6" failed lots=0 cost=0 periods=0 ms=1\.0\n)" + kTime +
      R"( "K\xC3\xB6" error database-error: SQLSTATE 08S01: weg "ganz"\n)" + kTime +
      R"( summary codes: no-conversion-factors=1 demand-missing=1 unknown-parameter=1 factor-missing=1 )"
      R"(database-error=1\n)" +
      kTime + R"( summary: planned=2 refused=1 failed=1 lots=8 warned=1 elapsed=0\.50s rate=8\.0/s\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();
}

// A resumed batch says so and how many demands it left out as done; a dry run
// says how many lots it would have stored; an interrupted batch says why.
TEST(BatchLog, StartAndSummarySayWhatKindOfBatchItWas) {
  std::ostringstream out;
  BatchLog log(out, false);
  log.started({5, 2, true, true, 1200});
  BatchSummary dry = summaryOf(3, 0, 0, 17, 1.0);
  dry.dryRun = true;
  log.summary(interrupted(dry, "the database could not be reached for 300 s"));
  const std::regex expected(
      kTime + R"( batch started: 5 demands, 2 jobs, dry run, resume: 1200 skipped as done\n)" + kTime +
      R"( summary: planned=3 refused=0 failed=0 lots=0 would-store=17 warned=0 elapsed=1\.00s rate=3\.0/s, )"
      R"(interrupted: the database could not be reached for 300 s\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();

  std::ostringstream start;
  BatchLog(start, true).started({5, 2, true, true, 1200});
  EXPECT_NE(start.str().find(R"("dryRun":true,"resume":true,"skipped":1200})"), std::string::npos)
      << start.str();
  EXPECT_TRUE(test::isJson(start.str())) << start.str();
  std::ostringstream summary;
  BatchLog(summary, true).summary(dry);
  EXPECT_NE(summary.str().find(R"("lots":0,"wouldStore":17,)"), std::string::npos) << summary.str();
  EXPECT_TRUE(test::isJson(summary.str())) << summary.str();
}

TEST(BatchLog, JsonLinesCarryTheSameFieldsAndTheMessagesWithTheirCodes) {
  const SampleBatch batch;
  std::ostringstream out;
  BatchLog log(out, true);
  for (const DemandOutcome& demand : batch.demands) log.demand(demand);
  log.summary(batch.summary());
  const std::string demand = R"(\{"time":")" + kTime + R"(","event":"demand",)";
  const std::regex expected(
      demand +
      R"("key":"WW1958","outcome":"planned","lots":6,"cost":864,"periods":12,"ms":2\.5,)"
      R"("messages":\[\],"warnings":\[\]\}\n)" +
      demand +
      R"("key":"OHNE","outcome":"planned","lots":2,"cost":5,"periods":3,"ms":1\.5,)"
      R"("messages":\["UmrechnungsFaktor existiert nicht: RüstKosten: Jeder Parameter RüstKosten zählt )"
      R"(als 0!","Unbekannter Parameter: Rüst\\u000aKosten"\],)"
      R"("warnings":\[\{"code":"factor-missing","text":"UmrechnungsFaktor existiert nicht: RüstKosten: )"
      R"(Jeder Parameter RüstKosten zählt als 0!"\},)"
      R"(\{"code":"unknown-parameter","text":"Unbekannter Parameter: Rüst\\u000aKosten"\}\]\}\n)" +
      demand +
      R"("key":"Zeile\\u000a\\"2\\"","outcome":"refused","lots":0,"cost":0,"periods":0,"ms":0\.2,)"
      R"("messages":\["UmrechnungsFaktoren existieren nicht!","Bedarf existiert nicht: Zeile\\u000a2"\],)"
      R"("reasons":\[\{"code":"no-conversion-factors","text":"UmrechnungsFaktoren existieren nicht!"\},)"
      R"(\{"code":"demand-missing","text":"Bedarf existiert nicht: Zeile\\u000a2"\}\]\}\n)" +
      demand +
      R"("key":"K\xC3\xB6","outcome":"failed","lots":0,"cost":0,"periods":0,"ms":1\.0,)"
      R"("messages":\["SQLSTATE 08S01: weg \\"ganz\\""\],)"
      R"("errors":\[\{"code":"database-error","text":"SQLSTATE 08S01: weg \\"ganz\\""\}\]\}\n)"
      R"(\{"time":")" +
      kTime +
      R"(","event":"summary","planned":2,"refused":1,"failed":1,"lots":8,"warned":1,"seconds":0\.50,)"
      R"("perSecond":8\.0,"interrupted":false,"codes":\{"no-conversion-factors":1,"demand-missing":1,)"
      R"("unknown-parameter":1,"factor-missing":1,"database-error":1\}\}\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) EXPECT_TRUE(test::isJson(line)) << line;
}

// warned counts the planned demands with a message, not the messages; a code
// counts the demands that have it, however often each has it.
TEST(BatchLog, TheSummaryCountsWarnedDemandsAndDemandsPerCode) {
  const std::vector<Message> twoFactors = {{FactorMissing, "a"}, {FactorMissing, "b"}, {NegativeCost, "c"}};
  struct Case {
    const char* label;
    std::vector<DemandOutcome> demands;
    std::size_t warned;
    std::map<MessageCode, std::size_t> codes;
  };
  const Case cases[] = {
      {"no messages", {{"A", Outcome::Planned, 1, 1.0, 1, 1.0, {}}}, 0, {}},
      {"one demand, a code twice",
       {{"A", Outcome::Planned, 1, 1.0, 1, 1.0, twoFactors}},
       1,
       {{FactorMissing, 1}, {NegativeCost, 1}}},
      {"two demands",
       {{"A", Outcome::Planned, 1, 1.0, 1, 1.0, twoFactors},
        {"B", Outcome::Planned, 1, 1.0, 1, 1.0, twoFactors}},
       2,
       {{FactorMissing, 2}, {NegativeCost, 2}}},
      {"a refused and a failed demand warn nobody",
       {{"A", Outcome::Refused, 0, 0.0, 0, 1.0, {{CurrencyMissing, "x"}}},
        {"B", Outcome::Failed, 0, 0.0, 0, 1.0, {{OutOfMemory, "y"}}}},
       0,
       {{CurrencyMissing, 1}, {OutOfMemory, 1}}},
  };
  for (const Case& c : cases) {
    BatchSummary summary;
    for (const DemandOutcome& demand : c.demands) summary.count(demand);
    EXPECT_EQ(summary.warned, c.warned) << c.label;
    EXPECT_EQ(summary.codes, c.codes) << c.label;
    EXPECT_EQ(summary.planned + summary.refused + summary.failed, c.demands.size()) << c.label;
  }
}

// Keys and messages that are not UTF-8 (a driver's message, a key from an old
// log) leave the log valid UTF-8: a bad byte of a key or of a JSON string is
// written \u00XX (characters from U+0080 up stand as themselves, so such an
// escape always means a byte), a bad byte of a text message becomes U+FFFD.
TEST(BatchLog, InvalidUtf8StaysOutOfTheLog) {
  const DemandOutcome outcome{
      "K\xFF\xC3\xA4", Outcome::Failed, 0, 0.0, 0, 1.0, {{DatabaseError, "Treiber \xE4rger \xC3"}}};
  std::ostringstream text;
  BatchLog(text, false).demand(outcome);
  EXPECT_TRUE(test::isUtf8(text.str())) << text.str();
  EXPECT_NE(text.str().find("\"K\\u00ff\xC3\xA4\" failed"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("error database-error: Treiber \xEF\xBF\xBDrger \xEF\xBF\xBD\n"),
            std::string::npos)
      << text.str();

  std::ostringstream json;
  BatchLog(json, true).demand(outcome);
  EXPECT_TRUE(test::isJson(json.str())) << json.str();
  EXPECT_NE(json.str().find("\"key\":\"K\\u00ff\xC3\xA4\""), std::string::npos) << json.str();
  EXPECT_NE(json.str().find(R"("messages":["Treiber \u00e4rger \u00c3"])"), std::string::npos) << json.str();
}

/// A device that takes no byte, like /dev/full.
class FullDevice : public std::streambuf {
 protected:
  int_type overflow(int_type) override {
    errno = ENOSPC;
    return traits_type::eof();
  }
};

// A write that fails is reported once, with the reason; the log takes no
// more entries after it.
TEST(BatchLog, AFailedWriteIsReportedOnceWithItsReason) {
  FullDevice device;
  std::ostream out(&device);
  std::vector<std::string> reasons;
  BatchLog log(out, false, [&](const std::string& reason) { reasons.push_back(reason); });
  EXPECT_FALSE(log.failed());
  log.started({2, 1, false, false, 0});
  log.demand({"A", Outcome::Planned, 1, 1.0, 1, 1.0, {}});
  log.summary(summaryOf(1, 0, 0, 1, 1.0));
  EXPECT_TRUE(log.failed());
  EXPECT_EQ(reasons, std::vector<std::string>{"No space left on device"});
}

}  // namespace
}  // namespace mrp::batch
