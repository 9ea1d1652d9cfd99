// A demand's inputs are read as one committed version: while another session
// keeps switching the demand between two versions, each changing a conversion
// factor and the due quantities in one transaction, every plan is the plan of
// one of the two versions, never a mix of the factor of one with the due
// quantities of the other.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "demand/message_sink.h"
#include "lotsizing/demand_run.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;

struct Version {
  double setupFactor;     // the RüstKosten conversion factor
  std::int32_t quantity;  // due every day
};
constexpr Version kVersions[] = {{1.0, 10}, {8.0, 30}};
constexpr int kRuns = 30;

void fill(TestDatabase& db) {
  db.exec(
      "insert into Bedarf values ('T','2024-01-01 00:00:00',1,NULL);"
      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values "
      "('T','RüstKosten',1),('T','StückKosten',1),('T','LosRaster',1),('T','KapitalbindungsZinssatz',1),"
      "('T','PeriodenLänge',1),('T','ZinsJahr',360),('T','Währung',1);"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values "
      "('T',1,'RüstKosten',100),('T',1,'StückKosten',2),('T',1,'KapitalbindungsZinssatz',0.5),"
      "('T',1,'LosRaster',1)");
  // Many more parameter rows, all with the same setup cost, make the reading of
  // the parameters (between the factors and the due quantities) last long
  // enough for the writer to switch versions meanwhile.
  std::string more;
  for (int period = 2; period <= 5'000; ++period)
    more += std::string(more.empty() ? "" : ",") + "('T'," + std::to_string(period) + ",'RüstKosten',100)";
  db.exec("insert into Parameter(Bedarf,Periode,Parameter,Wert) values " + more);
}

/// Makes `version` the demand's inputs in one transaction.
void switchTo(Connection& connection, const Version& version) {
  Statement query(connection);
  runTransaction(connection, Isolation::ReadCommitted, [&] {
    query.execute(
        "update UmrechnungsFaktor set UmrechnungsFaktor=? where Bedarf='T' and Umrechnung='RüstKosten'",
        {version.setupFactor});
    query.execute("delete from Termin where Bedarf='T'");
    std::string rows;
    for (int day = 1; day <= 20; ++day) {
      rows += std::string(rows.empty() ? "" : ",") + "('T','2024-01-" + (day < 10 ? "0" : "") +
              std::to_string(day) + " 08:00:00'," + std::to_string(version.quantity) + ")";
    }
    query.execute("insert into Termin(Bedarf,Termin,Menge) values " + rows);
  });
}

bool sameLots(const std::vector<Lot>& a, const std::vector<Lot>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].date != b[i].date || a[i].lotSize != b[i].lotSize || a[i].cost != b[i].cost) return false;
  }
  return true;
}

class ConsistentReads : public testing::TestWithParam<Backend> {};

TEST_P(ConsistentReads, EveryPlanIsThePlanOfOneVersionWhileAWriterSwitchesThem) {
  TestDatabase db(GetParam());
  fill(db);
  const std::unique_ptr<Connection> writer = db.connect();
  const std::unique_ptr<Connection> reader = db.connect();
  std::vector<std::vector<Lot>> versionPlans;
  for (const Version& version : kVersions) {
    switchTo(*writer, version);
    MessageList sink;
    versionPlans.push_back(planDemand(*reader, "T", sink).plan.value().lots);
  }
  ASSERT_FALSE(sameLots(versionPlans[0], versionPlans[1]));

  std::atomic<bool> done{false};
  std::atomic<int> switches{0};
  std::thread switcher([&] {
    // A short pause between switches: SQLite's lock is not fair, and a writer
    // that takes it again at once would keep the reader waiting.
    for (int v = 0; !done.load(); v = 1 - v, ++switches) {
      switchTo(*writer, kVersions[v]);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  int mixed = 0;
  for (int run = 0; run < kRuns; ++run) {
    MessageList sink;
    const std::optional<LotPlan> plan = planDemand(*reader, "T", sink).plan;
    if (!plan || !(sameLots(plan->lots, versionPlans[0]) || sameLots(plan->lots, versionPlans[1]))) ++mixed;
  }
  done = true;
  switcher.join();
  EXPECT_EQ(mixed, 0) << "of " << kRuns << " plans, while the writer switched " << switches.load()
                      << " times";
}

INSTANTIATE_TEST_SUITE_P(Databases, ConsistentReads,
                         testing::Values(Backend::SQLite, Backend::PostgreSQL, Backend::MariaDB),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
