// Runs as values: several runs in one process, on their own connections, one
// after the other and at the same time from two threads, give the same rows and
// messages as the same runs of the program.
#include "lotsizing/demand_run.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "demand/message_sink.h"
#include "driver/console.h"
#include "platform/text_encoding.h"
#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

// The bundled examples and a demand with data problems.
const std::vector<std::string> kKeys = {"WW1958", "PUMPE-4711", "M\xC3\xA4ngel"};

void fill(TestDatabase& db) {
  db.exec(test::exampleData());
  db.exec(
      "insert into Bedarf values ('Mängel','2024-01-01 00:00:00',1,NULL);"
      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values "
      "('Mängel','PeriodenLänge',1),('Mängel','ZinsJahr',360),('Mängel','Währung',1),"
      "('Mängel','LosRaster',1),('Mängel','Zinsjahr',1),('Mängel','RüstKosten',NULL);"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values "
      "('Mängel',1,'LosRaster',2.5),('Mängel',1,'Währung',1),('Mängel',2,'RüstKosten',40);"
      "insert into Termin(Bedarf,Termin,Menge) values "
      "('Mängel','2024-01-01 08:00:00',3),('Mängel','2024-01-02 08:00:00',NULL),"
      "('Mängel','2024-01-03 08:00:00',4);"
      "insert into LosGröße values ('WW1958',1,1,1),('Mängel',1,1,1)");
}

Rows lots(TestDatabase& db) {
  return db.rows("select Bedarf,Termin,LosGröße,Kosten from LosGröße order by Bedarf,Termin");
}

/// One run in this process: its messages as the program writes them.
struct InProcessRun {
  std::string err;
  bool planned = false;
};

InProcessRun runInProcess(const TestDatabase& db, const std::string& key) {
  const std::unique_ptr<Connection> connection = db.connect();
  MessageList sink;
  InProcessRun run;
  run.planned = planDemand(*connection, key, sink).plan.has_value();
  for (const Message& message : sink.messages) {
    // The program leaves out the warnings about data the plan takes as it stands.
    if (isPlanWarning(message.code)) continue;
    run.err += "\n" + std::string(kBannerOpen) + utf8ToCp850(message.text) + std::string(kBannerClose);
  }
  return run;
}

class InProcessRuns : public testing::TestWithParam<Backend> {};

TEST_P(InProcessRuns, GiveTheRowsAndMessagesOfTheProgram) {
  TestDatabase byProgram(GetParam());
  fill(byProgram);
  std::vector<test::RunResult> programRuns;
  for (const std::string& key : kKeys) {
    programRuns.push_back(test::runProgramOnce({byProgram.dataSourceName(), key}, test::Capture::Separate));
  }
  const Rows expected = lots(byProgram);
  ASSERT_NE(programRuns[2].err, "") << "the third demand has data problems";
  std::vector<std::string> classicLots;
  for (const auto& row : expected) {
    if (row[0] == "WW1958") classicLots.push_back(row[2]);
  }
  EXPECT_EQ(classicLots, (std::vector<std::string>{"98", "97", "121", "112", "67", "135"}));

  const auto compare = [&](const std::vector<InProcessRun>& runs, const char* how) {
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
      EXPECT_EQ(runs[k].err, programRuns[k].err) << how << " " << kKeys[k];
      EXPECT_EQ(runs[k].planned, programRuns[k].exitStatus == 0) << how << " " << kKeys[k];
    }
  };

  TestDatabase oneAfterTheOther(GetParam());
  fill(oneAfterTheOther);
  std::vector<InProcessRun> sequential;
  for (const std::string& key : kKeys) sequential.push_back(runInProcess(oneAfterTheOther, key));
  compare(sequential, "one after the other");
  EXPECT_EQ(lots(oneAfterTheOther), expected);

  TestDatabase atOnce(GetParam());
  fill(atOnce);
  std::vector<InProcessRun> concurrent(kKeys.size());
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < kKeys.size(); ++k) {
    threads.emplace_back([&, k] { concurrent[k] = runInProcess(atOnce, kKeys[k]); });
  }
  for (std::thread& thread : threads) thread.join();
  compare(concurrent, "at the same time");
  EXPECT_EQ(lots(atOnce), expected);
}

INSTANTIATE_TEST_SUITE_P(Databases, InProcessRuns, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
