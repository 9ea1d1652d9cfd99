#include "batch/batch_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <sstream>
#include <streambuf>

#include "support/json_check.h"

namespace mrp::batch {
namespace {

const std::string kTime = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";

BatchSummary summaryOf(std::size_t planned, std::size_t refused, std::size_t failed, std::size_t lots,
                       double seconds) {
  BatchSummary summary;
  summary.planned = planned;
  summary.refused = refused;
  summary.failed = failed;
  summary.lots = lots;
  summary.seconds = seconds;
  return summary;
}

BatchSummary interrupted(BatchSummary summary, std::string why) {
  summary.interrupted = true;
  summary.stopReason = std::move(why);
  return summary;
}

TEST(BatchLog, TextEntriesOneLineEachWithTheKeyQuoted) {
  std::ostringstream out;
  BatchLog log(out, false);
  log.started({3, 2, false, false, 0});
  log.demand({"WW1958", Outcome::Planned, 6, 864.0, 12, 2.5, {}});
  log.demand({"Zeile\n\"2\"", Outcome::Refused, 0, 0.0, 0, 0.25, {"Bedarf existiert nicht: Zeile\n2"}});
  log.summary(summaryOf(1, 1, 0, 6, 0.5));
  const std::regex expected(
      kTime + R"( batch started: 3 demands, 2 jobs\n)" + kTime +
      R"( "WW1958" planned lots=6 cost=864 periods=12 ms=2\.5\n)" + kTime +
      R"( "Zeile\\u000a\\"2\\"" refused lots=0 cost=0 periods=0 ms=0\.2\n)" + kTime +
      R"( "Zeile\\u000a\\"2\\"" message: Bedarf existiert nicht: Zeile 2\n)" + kTime +
      R"( summary: planned=1 refused=1 failed=0 lots=6 elapsed=0\.50s rate=4\.0/s\n)");
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
      R"( summary: planned=3 refused=0 failed=0 lots=0 would-store=17 elapsed=1\.00s rate=3\.0/s, )"
      R"(interrupted: the database could not be reached for 300 s\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();

  std::ostringstream start;
  BatchLog(start, true).started({5, 2, true, true, 1200});
  EXPECT_NE(start.str().find(R"("dryRun":true,"resume":true,"skipped":1200})"), std::string::npos) << start.str();
  EXPECT_TRUE(test::isJson(start.str())) << start.str();
  std::ostringstream summary;
  BatchLog(summary, true).summary(dry);
  EXPECT_NE(summary.str().find(R"("lots":0,"wouldStore":17,)"), std::string::npos) << summary.str();
  EXPECT_TRUE(test::isJson(summary.str())) << summary.str();
}

TEST(BatchLog, JsonLinesCarryTheSameFields) {
  std::ostringstream out;
  BatchLog log(out, true);
  log.demand({"K\xC3\xB6", Outcome::Failed, 0, 0.0, 0, 1.0, {"Unknown error 0x80004005: weg"}});
  log.summary(interrupted(summaryOf(0, 0, 1, 0, 2.0), "SIGTERM"));
  const std::regex expected(
      R"(\{"time":")" + kTime +
      R"(","event":"demand","key":"K\xC3\xB6","outcome":"failed","lots":0,"cost":0,"periods":0,"ms":1\.0,)"
      R"("messages":\["Unknown error 0x80004005: weg"\]\}\n)"
      R"(\{"time":")" + kTime +
      R"(","event":"summary","planned":0,"refused":0,"failed":1,"lots":0,"seconds":2\.00,"perSecond":0\.5,"interrupted":true,)"
      R"("stopReason":"SIGTERM"\}\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();
}

// Keys and messages that are not UTF-8 (a driver's message, a key from an old
// log) leave the log valid UTF-8: a bad byte of a key or of a JSON string is
// written \u00XX (characters from U+0080 up stand as themselves, so such an
// escape always means a byte), a bad byte of a text message becomes U+FFFD.
TEST(BatchLog, InvalidUtf8StaysOutOfTheLog) {
  const DemandOutcome outcome{"K\xFF\xC3\xA4", Outcome::Failed, 0, 0.0, 0, 1.0, {"Treiber \xE4rger \xC3"}};
  std::ostringstream text;
  BatchLog(text, false).demand(outcome);
  EXPECT_TRUE(test::isUtf8(text.str())) << text.str();
  EXPECT_NE(text.str().find("\"K\\u00ff\xC3\xA4\" failed"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("message: Treiber \xEF\xBF\xBDrger \xEF\xBF\xBD\n"), std::string::npos) << text.str();

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
