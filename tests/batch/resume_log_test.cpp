#include "batch/resume_log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_log.h"

namespace mrp::batch {
namespace {

/// One batch of a log: what kind it was and the outcomes of its demands.
struct LoggedBatch {
  bool resume = false;
  bool dryRun = false;
  std::vector<std::pair<std::string, Outcome>> demands;
};

/// The log of `batches` as the program writes it, in text or JSON.
std::string logOf(const std::vector<LoggedBatch>& batches, bool json) {
  std::ostringstream out;
  BatchLog log(out, json);
  for (const LoggedBatch& batch : batches) {
    log.started({batch.demands.size(), 1, batch.dryRun, batch.resume, 0});
    for (const auto& [key, outcome] : batch.demands)
      log.demand({key,
                  outcome,
                  0,
                  0.0,
                  0,
                  1.0,
                  {{MessageCode::UnknownParameter, "a message: batch started: 9 demands, 1 jobs"}}});
    log.summary(BatchSummary{});
  }
  return out.str();
}

// A chain is the latest batch that is no resume (and no dry run) with the
// resumes after it: whatever any of them planned or refused is done.
TEST(ResumeLog, TheDemandsDoneAreThoseOfTheLatestChain) {
  const auto P = Outcome::Planned;
  const auto R = Outcome::Refused;
  const auto F = Outcome::Failed;
  struct Case {
    const char* name;
    std::vector<LoggedBatch> batches;
    std::set<std::string> done;
  };
  const std::vector<Case> cases = {
      {"a batch alone", {{false, false, {{"A \"1\"", P}, {"B", R}, {"C", F}}}}, {"A \"1\"", "B"}},
      {"an earlier batch does not count", {{false, false, {{"OLD", P}}}, {false, false, {{"A", P}}}}, {"A"}},
      {"a resume adds to its chain",
       {{false, false, {{"A", P}, {"B", F}}}, {true, false, {{"B", P}, {"C", R}}}},
       {"A", "B", "C"}},
      {"an interrupted resume is not forgotten",
       {{false, false, {{"A", P}}}, {true, false, {{"B", P}}}, {true, false, {{"C", P}}}},
       {"A", "B", "C"}},
      {"a new batch starts a new chain",
       {{false, false, {{"A", P}}},
        {true, false, {{"B", P}}},
        {false, false, {{"C", P}}},
        {true, false, {{"D", R}}}},
       {"C", "D"}},
      {"dry runs count for nothing",
       {{false, false, {{"A", P}}},
        {false, true, {{"B", P}}},
        {true, true, {{"C", P}}},
        {true, false, {{"D", P}}}},
       {"A", "D"}},
      {"a failure in a later batch of the chain does not undo an earlier success",
       {{false, false, {{"A", P}}}, {true, false, {{"A", F}}}},
       {"A"}},
  };
  for (const Case& c : cases) {
    for (const bool json : {false, true}) {
      std::istringstream in(logOf(c.batches, json));
      std::vector<std::size_t> malformed;
      EXPECT_EQ(keysDoneInChain(in, malformed), c.done) << c.name << (json ? " (json)" : " (text)");
      EXPECT_TRUE(malformed.empty()) << c.name;
    }
  }
}

// Logs written before batches said whether they resumed: such a start line
// begins a chain, as a batch that is no resume does.
TEST(ResumeLog, AStartLineWithoutFlagsBeginsAChain) {
  std::istringstream in(
      "2026-12-06T02:00:00.000Z batch started: 2 demands, 2 jobs\n"
      "2026-12-06T02:00:00.100Z \"A\" planned lots=1 cost=1 periods=1 ms=1.0\n"
      "2026-12-07T02:00:00.000Z batch started: 2 demands, 2 jobs\n"
      "2026-12-07T02:00:00.100Z \"B\" planned lots=1 cost=1 periods=1 ms=1.0\n");
  std::vector<std::size_t> malformed;
  EXPECT_EQ(keysDoneInChain(in, malformed), std::set<std::string>{"B"});
}

// Lines that are no entry of the log (malformed escapes, lone surrogates,
// truncated JSON, junk) are skipped and named by number; the entries around
// them still count, and so do the rejected lines of a keys file and a key
// that reads like a start line. A surrogate pair is one character.
TEST(ResumeLog, MalformedLinesAreSkippedAndNamed) {
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
      {t + R"("G" planned lots=1 cost=1 periods=1 ms=1.0 warnings=1)", false},
      {t + R"("G" warning factor-missing: UmrechnungsFaktor existiert nicht: RüstKosten)", false},
      {t + R"("H" reason currency-missing: UmrechnungsFaktor existiert nicht: Währung)", false},
      {t + R"("I" error database-error: SQLSTATE 08S01: weg)", false},
      {t + R"("J" message: Termine existieren nicht!)", false},  // an earlier version's message line
      {t + R"("K" notice something)", true},
      {t + "summary codes: factor-missing=1 currency-missing=1", false},
      {t + "summary: planned=2 refused=1 failed=0 lots=2 warned=1 elapsed=1.00s rate=3.0/s", false},
  };
  std::string log;
  std::vector<std::size_t> expectedMalformed;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    log += lines[i].text + "\n";
    if (lines[i].malformed) expectedMalformed.push_back(i + 1);
  }
  std::istringstream in(log);
  std::vector<std::size_t> malformed;
  EXPECT_EQ(
      keysDoneInChain(in, malformed),
      (std::set<std::string>{"A", "x batch started: y", "B", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", "G"}));
  EXPECT_EQ(malformed, expectedMalformed);
}

}  // namespace
}  // namespace mrp::batch
