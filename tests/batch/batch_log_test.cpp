#include "batch/batch_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

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
    EXPECT_EQ(keysDoneInLatestBatch(in), (std::set<std::string>{"A \"1\"", "B"})) << (json ? "json" : "text");
  }
}

}  // namespace
}  // namespace mrp::batch
