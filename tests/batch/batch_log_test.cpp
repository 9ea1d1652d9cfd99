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

TEST(BatchLog, TextEntriesOneLineEachWithTheKeyQuoted) {
  std::ostringstream out;
  BatchLog log(out, false);
  log.started(3, 2, false);
  log.demand({"WW1958", Outcome::Planned, 6, 864.0, 12, 2.5, {}});
  log.demand({"Zeile\n\"2\"", Outcome::Refused, 0, 0.0, 0, 0.25, {"Bedarf existiert nicht: Zeile\n2"}});
  log.summary({1, 1, 0, 6, 0.5, false});
  const std::regex expected(
      kTime + R"( batch started: 3 demands, 2 jobs\n)" + kTime +
      R"( "WW1958" planned lots=6 cost=864 periods=12 ms=2\.5\n)" + kTime +
      R"( "Zeile\\u000a\\"2\\"" refused lots=0 cost=0 periods=0 ms=0\.2\n)" + kTime +
      R"( "Zeile\\u000a\\"2\\"" message: Bedarf existiert nicht: Zeile 2\n)" + kTime +
      R"( summary: planned=1 refused=1 failed=0 lots=6 elapsed=0\.50s rate=4\.0/s\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();
}

TEST(BatchLog, JsonLinesCarryTheSameFields) {
  std::ostringstream out;
  BatchLog log(out, true);
  log.demand({"K\xC3\xB6", Outcome::Failed, 0, 0.0, 0, 1.0, {"Unknown error 0x80004005: weg"}});
  log.summary({0, 0, 1, 0, 2.0, true});
  const std::regex expected(
      R"(\{"time":")" + kTime +
      R"(","event":"demand","key":"K\xC3\xB6","outcome":"failed","lots":0,"cost":0,"periods":0,"ms":1\.0,)"
      R"("messages":\["Unknown error 0x80004005: weg"\]\}\n)"
      R"(\{"time":")" + kTime +
      R"(","event":"summary","planned":0,"refused":0,"failed":1,"lots":0,"seconds":2\.00,"perSecond":0\.5,"interrupted":true\}\n)");
  EXPECT_TRUE(std::regex_match(out.str(), expected)) << out.str();
}

TEST(BatchLog, ResumeSkipsWhatTheLatestBatchPlannedOrRefused) {
  for (const bool json : {false, true}) {
    std::ostringstream out;
    BatchLog log(out, json);
    log.started(2, 1, false);
    log.demand({"ALT", Outcome::Planned, 1, 1.0, 1, 1.0, {}});
    log.summary({1, 0, 0, 1, 1.0, false});
    log.started(4, 1, false);
    log.demand({"A \"1\"", Outcome::Planned, 1, 1.0, 1, 1.0, {}});
    log.demand({"B", Outcome::Refused, 0, 0.0, 0, 1.0, {"x"}});
    log.demand({"C", Outcome::Failed, 0, 0.0, 0, 1.0, {"y"}});
    log.summary({1, 1, 1, 1, 1.0, true});
    std::istringstream in(out.str());
    std::vector<std::size_t> malformed;
    EXPECT_EQ(keysDoneInLatestBatch(in, malformed), (std::set<std::string>{"A \"1\"", "B"})) << (json ? "json" : "text");
    EXPECT_EQ(malformed, std::vector<std::size_t>{});
  }
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

// Lines that are no entry of the log (malformed escapes, lone surrogates,
// truncated JSON, junk) are skipped and named by number; the entries around
// them still count, and so do the rejected lines of a keys file and a key
// that reads like a start line. A surrogate pair is one character.
TEST(BatchLog, ResumeSkipsMalformedLinesAndNamesThem) {
  const std::string t = "2026-12-07T02:00:00.000Z ";
  const std::string j = R"({"time":"2026-12-07T02:00:00.000Z","event":"demand","key":)";
  const std::string planned = R"(,"outcome":"planned","lots":1,"cost":1,"periods":1,"ms":1.0,"messages":[]})";
  struct Line {
    std::string text;
    bool malformed;
  };
  const std::vector<Line> lines = {
      {t + "batch started: 9 demands, 1 jobs", false},
      {t + R"("A" planned lots=1 cost=1 periods=1 ms=1.0)", false},
      {t + R"("x batch started: y" refused lots=0 cost=0 periods=0 ms=1.0)", false},
      {t + R"("\uZZZZ" planned lots=1 cost=1 periods=1 ms=1.0)", true},
      {t + R"("\u12" planned lots=1 cost=1 periods=1 ms=1.0)", true},
      {t + R"("\ud800" planned lots=1 cost=1 periods=1 ms=1.0)", true},
      {t + R"("\udc00\ud800" planned lots=1 cost=1 periods=1 ms=1.0)", true},
      {t + R"("\ud800\u0041" planned lots=1 cost=1 periods=1 ms=1.0)", true},
      {t + R"("\q" planned lots=1 cost=1 periods=1 ms=1.0)", true},
      {t + "\"tab\there\" planned lots=1 cost=1 periods=1 ms=1.0", true},
      {t + "\"\xFF\" planned lots=1 cost=1 periods=1 ms=1.0", true},
      {t + R"("B" planned lots=)", false},  // cut after its outcome: still done
      {t + R"("\ud83d\ude00" refused lots=0 cost=0 periods=0 ms=1.0)", false},
      {j + R"("\uD83D\uDE01")" + planned, false},
      {j + R"("C")" + planned.substr(0, 20), true},  // cut JSON
      {j + R"("\uZZZZ")" + planned, true},
      {j + R"("D")" + R"(,"outcome":"failed"})", false},
      {"", true},
      {std::string("\0\x01\xFE\xFF junk", 9), true},
      {std::string(100000, 'x'), true},
      {t + "keys file line 3 rejected: \"E\\u00ff\" is not valid UTF-8", false},
      {R"({"time":"2026-12-07T02:00:00.000Z","event":"rejected","line":4,"text":"F\u0000","reason":"contains a NUL byte"})",
       false},
      {t + "summary: planned=2 refused=1 failed=0 lots=2 elapsed=1.00s rate=3.0/s", false},
  };
  std::string log;
  std::vector<std::size_t> expectedMalformed;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    log += lines[i].text + "\n";
    if (lines[i].malformed) expectedMalformed.push_back(i + 1);
  }
  std::istringstream in(log);
  std::vector<std::size_t> malformed;
  EXPECT_EQ(keysDoneInLatestBatch(in, malformed),
            (std::set<std::string>{"A", "x batch started: y", "B", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81"}));
  EXPECT_EQ(malformed, expectedMalformed);
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
  log.started(2, 1, false);
  log.demand({"A", Outcome::Planned, 1, 1.0, 1, 1.0, {}});
  log.summary({1, 0, 0, 1, 1.0, false});
  EXPECT_TRUE(log.failed());
  EXPECT_EQ(reasons, std::vector<std::string>{"No space left on device"});
}

}  // namespace
}  // namespace mrp::batch
