#include "database_generator.h"

#include <algorithm>
#include <functional>
#include <limits>

#include "hostile_values.h"
#include "random_source.h"
#include "sqlite_file.h"

namespace mrp::fuzz {
namespace {

using namespace std::chrono;
using Table = std::vector<SqlRow>;

struct Tables {
  Table headers, factors, parameters, dueDates, lots;
};

const std::vector<std::string> kParameterNames{"RüstKosten", "StückKosten", "LosRaster",
                                               "KapitalbindungsZinssatz", "WagnisZinssatz"};
const std::vector<std::string> kKeyPool{"PUMPE-4711", "WW1958",      "Ventil 12", "Öl-Pumpe Ä",
                                        "A",          "Bedarf;1",    "x'y",       "100%_",
                                        "Größe\tneu", "Zeile\nzwei", "CR\rLF"};
constexpr double kInfinity = std::numeric_limits<double>::infinity();

/// Scales of an extreme demand: numbers of the right kind, but so large or so
/// small (a currency unit of 1e-300, costs of 1e308) that the products and
/// quotients of the planning overflow or vanish. All 1 for other demands.
struct Scales {
  double costs = 1.0;          // the values of RüstKosten and StückKosten
  double costFactors = 1.0;    // their conversion factors
  double rateFactors = 1.0;    // the factors of both interest rates
  double interestYear = 1.0;   // the ZinsJahr factor
  double currency = 0.0;       // the Währung factor instead of a sane one, when not 0
  bool bigQuantities = false;  // quantities near the 32-bit limit
};

/// How one demand is drawn: sane values, each replaced by a hostile one with
/// probability `mutation`, and scaled by `scales`.
struct DemandProfile {
  std::string key;
  Moment base;
  std::int64_t length = 1;  // header period length in days
  double mutation = 0.0;
  bool hostile = false;
  Scales scales;
};

using Hostile = std::function<SqlValue(Random&)>;

/// The sane value, or now and then a hostile one instead.
class Cells {
 public:
  Cells(Random& random, double mutation) : random_(random), mutation_(mutation) {}
  SqlValue operator()(SqlValue sane, const Hostile& hostile) {
    if (!random_.chance(mutation_)) return sane;
    return hostile(random_);
  }
  bool drop() { return random_.chance(mutation_ / 2); }
  bool duplicate() { return random_.chance(mutation_ / 2); }

 private:
  Random& random_;
  double mutation_;
};

Moment randomBase(Random& random) {
  const std::uint64_t draw = random.below(100);
  std::int32_t second = 0;
  if (random.chance(0.3)) second = static_cast<std::int32_t>(random.below(86400));
  if (draw < 8) {
    const std::int64_t days = random.between(-40, 10);
    return shifted({sys_days{year{1899} / December / 30}, 0}, days, second);
  }
  int y = 0;
  if (draw < 65) {
    y = static_cast<int>(random.between(1990, 2030));
  } else if (draw < 75) {
    y = static_cast<int>(random.between(1, 60));
  } else if (draw < 92) {
    y = static_cast<int>(random.between(1800, 1899));
  } else {
    y = static_cast<int>(random.between(9998, 9999));
  }
  const auto m = static_cast<unsigned>(random.between(1, 12));
  const auto d = static_cast<unsigned>(random.between(1, 28));
  return Moment{sys_days{year{y} / month{m} / day{d}}, second};
}

SqlValue dateValue(Random& random, const Moment& moment) {
  const std::string text = timestampText(moment);
  return SqlValue::text(moment.second == 0 && random.chance(0.5) ? text.substr(0, 10) : text);
}

SqlValue nearNameOf(Random& random, const std::string& name) {
  return SqlValue::text(nearName(random, name));
}

void addHeader(Random& random, const DemandProfile& demand, Tables& tables) {
  if (demand.hostile && random.chance(0.15)) return;  // a demand without header
  Cells cell(random, demand.mutation);
  const Moment base = demand.base;
  const SqlValue saneStart = dateValue(random, base);
  const SqlValue start = cell(saneStart, [&](Random& r) { return hostileStartDate(r, base); });
  const SqlValue length = cell(SqlValue::of(demand.length), hostileHeaderLength);
  const SqlValue saneDescription = SqlValue::text(randomText(random, 40));
  const SqlValue description = cell(saneDescription, hostileText);
  tables.headers.push_back({SqlValue::text(demand.key), start, length, description});
}

Scales extremeScales(Random& random) {
  Scales scales;
  scales.costs = random.pick({1.0, 1.0, 1e-300, 1e300, 1e308});
  scales.costFactors = random.pick({1.0, 1.0, 1.9, 1e-300, 1e300, 1e308});
  scales.rateFactors = random.pick({1.0, 1.0, 1e-300, 1e300});
  scales.interestYear = random.pick({1.0, 1.0, 1e-300, 1e300});
  scales.currency = random.pick({1e-300, 5e-324, 1e-10, 0.5, 1e300, 1.7976931348623157e308});
  scales.bigQuantities = random.chance(0.3);
  return scales;
}

/// The sane catalogue (factors that give plannable demands), scaled.
std::vector<std::pair<std::string, double>> saneFactors(Random& random, const DemandProfile& demand) {
  const Scales& scales = demand.scales;
  double currency = scales.currency;
  if (currency == 0.0) currency = random.pick({1.0, 1.95583, 0.5});
  const double setupCost = random.pick({1.0, 0.5});
  const double lotGrid = random.pick({1.0, 1.0, 10.0});
  const double interestYear = random.pick({360.0, 365.0});
  return {{"RüstKosten", setupCost * scales.costFactors},
          {"StückKosten", 1.0 * scales.costFactors},
          {"LosRaster", lotGrid},
          {"KapitalbindungsZinssatz", 0.01 * scales.rateFactors},
          {"WagnisZinssatz", 0.01 * scales.rateFactors},
          {"PeriodenLänge", 1.0},
          {"ZinsJahr", interestYear * scales.interestYear},
          {"Währung", currency}};
}

void addFactors(Random& random, const DemandProfile& demand, Tables& tables) {
  if (demand.hostile && random.chance(0.05)) return;  // no catalogue at all
  Cells cell(random, demand.mutation);
  for (const auto& [name, factor] : saneFactors(random, demand)) {
    // The length factor keeps effective period lengths where horizons stay small or too long.
    const Hostile hostileFactor =
        name == "PeriodenLänge" ? Hostile(hostileLengthFactor) : Hostile(hostileReal);
    const std::string& known = name;
    const SqlValue conversion = cell(SqlValue::text(name), [&](Random& r) { return nearNameOf(r, known); });
    const SqlValue value = cell(SqlValue::of(factor), hostileFactor);
    const SqlValue saneDescription = SqlValue::text(randomText(random, 30));
    const SqlValue description = cell(saneDescription, hostileText);
    SqlRow row{SqlValue::text(demand.key), conversion, value, description};
    if (cell.duplicate()) {
      const SqlValue otherValue = hostileFactor(random);
      tables.factors.push_back({row[0], row[1], otherValue, row[3]});
    }
    if (!cell.drop()) tables.factors.push_back(std::move(row));
  }
  if (cell.duplicate()) {
    const SqlValue conversion = SqlValue::text(randomText(random, 20));
    const SqlValue value = hostileReal(random);
    const SqlValue description = hostileText(random);
    tables.factors.push_back({SqlValue::text(demand.key), conversion, value, description});
  }
}

double saneParameter(Random& random, const std::string& name, const Scales& scales) {
  if (name == "RüstKosten") {
    const auto whole = static_cast<double>(random.between(50, 500));
    const double half = random.pick({0.0, 0.5});
    return (whole + half) * scales.costs;
  }
  if (name == "StückKosten") return static_cast<double>(random.between(1, 20)) * scales.costs;
  if (name == "LosRaster") return static_cast<double>(random.between(1, 10));
  if (name == "KapitalbindungsZinssatz") return static_cast<double>(random.between(0, 15));
  return static_cast<double>(random.between(0, 5));
}

void addParameters(Random& random, const DemandProfile& demand, Tables& tables) {
  if (demand.hostile && random.chance(0.05)) return;  // no parameters at all
  Cells cell(random, demand.mutation);
  for (const std::string& name : kParameterNames) {
    std::int64_t period = 1;
    for (std::int64_t count = random.between(1, 3); count > 0; --count) {
      const SqlValue periode = cell(SqlValue::of(period), hostileInteger);
      const SqlValue parameter = cell(SqlValue::text(name), [&](Random& r) { return nearNameOf(r, name); });
      const double saneValue = saneParameter(random, name, demand.scales);
      const SqlValue value = cell(SqlValue::of(saneValue), hostileReal);
      SqlRow row{SqlValue::text(demand.key), periode, parameter, value};
      if (cell.duplicate()) {
        const SqlValue otherValue = hostileReal(random);
        tables.parameters.push_back({row[0], row[1], row[2], otherValue});
      }
      if (!cell.drop()) tables.parameters.push_back(std::move(row));
      period += random.between(1, 30);
    }
  }
  if (cell.duplicate()) {
    const SqlValue periode = hostileInteger(random);
    const SqlValue parameter = SqlValue::text(randomText(random, 20));
    const SqlValue value = hostileReal(random);
    tables.parameters.push_back({SqlValue::text(demand.key), periode, parameter, value});
  }
}

std::int64_t dueDateCount(Random& random) {
  if (random.chance(0.05)) return 0;
  if (random.chance(0.05)) return random.between(100, 300);
  return random.between(1, 40);
}

std::int64_t saneQuantity(Random& random, const DemandProfile& demand) {
  if (demand.scales.bigQuantities && random.chance(0.3))
    return random.pick<std::int64_t>({2147483647, 2147483646, 1073741824, 0});
  return random.between(1, 500);
}

void addDueDates(Random& random, const DemandProfile& demand, Tables& tables) {
  Cells cell(random, demand.mutation);
  const Moment base = demand.base;
  const std::int64_t span = random.between(0, kDueWindowDays);
  for (std::int64_t count = dueDateCount(random); count > 0; --count) {
    std::int32_t second = 0;
    if (!random.chance(0.5)) second = static_cast<std::int32_t>(random.below(86400));
    const std::int64_t days = random.between(0, span);
    const Moment due = shifted(base, days, second);
    const SqlValue saneDate = dateValue(random, due);
    const SqlValue date = cell(saneDate, [&](Random& r) { return hostileDueDate(r, base); });
    const std::int64_t saneMenge = saneQuantity(random, demand);
    const SqlValue menge = cell(SqlValue::of(saneMenge), hostileInteger);
    SqlRow row{SqlValue::text(demand.key), date, menge};
    if (cell.duplicate()) tables.dueDates.push_back(row);
    if (!cell.drop()) tables.dueDates.push_back(std::move(row));
  }
  // A placeholder date far in the future: the program must refuse the horizon at once.
  if (yearOf(base) <= 2100 && random.chance(0.06)) {
    const std::string farDate =
        random.pick<std::string>({"9999-12-31", "9999-12-31 23:59:59", "9990-01-01 12:00:00"});
    const std::int64_t menge = random.between(1, 500);
    tables.dueDates.push_back({SqlValue::text(demand.key), SqlValue::text(farDate), SqlValue::of(menge)});
  }
}

/// A value the program never stores, for column 1 (Termin), 2 (LosGröße) or 3
/// (Kosten): no text that the column's affinity turns into a number, no finite
/// real (a plan's Termin and Kosten may be any finite number, negative too).
SqlValue oldRowMarker(Random& random, std::size_t column) {
  switch (random.below(4)) {
    case 0:
      return SqlValue::null();
    case 1:
      return SqlValue::text(random.pick<std::string>({"alt", "", "1.5 alt"}));
    case 2:
      return SqlValue::blob(std::string(1, '\0'));
    default:
      return column == 2 ? SqlValue::of(std::int64_t{-1})
                         : SqlValue::of(random.pick({kInfinity, -kInfinity}));
  }
}

void addOldLots(Random& random, const std::string& key, const Moment& base, double mutation, Tables& tables) {
  Cells cell(random, mutation);
  for (std::int64_t count = random.between(1, 5); count > 0; --count) {
    const std::int64_t days = random.between(0, 400);
    const SqlValue termin = cell(SqlValue::of(oleDay(shifted(base, days, 0))), hostileReal);
    const std::int64_t saneLot = random.between(1, 500);
    const SqlValue lot = cell(SqlValue::of(saneLot), hostileInteger);
    const auto saneCost = static_cast<double>(random.between(0, 100000));
    const SqlValue cost = cell(SqlValue::of(saneCost / 7.0), hostileReal);
    SqlRow row{SqlValue::text(key), termin, lot, cost};
    const std::size_t column = static_cast<std::size_t>(random.between(1, 3));
    row[column] = oldRowMarker(random, column);
    tables.lots.push_back(std::move(row));
  }
}

void addDemand(Random& random, const DemandProfile& demand, Tables& tables) {
  addHeader(random, demand, tables);
  addFactors(random, demand, tables);
  addParameters(random, demand, tables);
  addDueDates(random, demand, tables);
  addOldLots(random, demand.key, demand.base, demand.mutation, tables);
}

DemandProfile randomProfile(Random& random, std::string key) {
  DemandProfile demand;
  demand.key = std::move(key);
  demand.base = randomBase(random);
  demand.length = random.between(1, 7);
  demand.hostile = random.chance(0.4);
  if (!demand.hostile && random.chance(0.4)) demand.scales = extremeScales(random);
  demand.mutation = demand.hostile ? random.pick({0.1, 0.25, 0.5}) : random.pick({0.0, 0.01, 0.03});
  return demand;
}

bool contains(const std::vector<std::string>& keys, const std::string& key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

std::vector<std::string> distinctKeys(Random& random, std::int64_t count) {
  std::vector<std::string> keys;
  while (static_cast<std::int64_t>(keys.size()) < count) {
    std::string key;
    if (!keys.empty() && random.chance(0.3)) {
      const std::string& near = random.pick(keys);
      key = nearName(random, near);
    } else if (random.chance(0.25)) {
      key = randomText(random, 24);
    } else {
      key = random.pick(kKeyPool);
    }
    if (!contains(keys, key)) keys.push_back(std::move(key));
  }
  return keys;
}

/// Rows of keys that have no demand of their own: lots and a header-less catalogue.
void addOrphans(Random& random, const std::vector<std::string>& keys, Tables& tables) {
  if (random.chance(0.4)) {
    const std::string& near = random.pick(keys);
    const std::string orphan = nearName(random, near);
    const Moment base = randomBase(random);
    addOldLots(random, orphan, base, 0.1, tables);
    if (random.chance(0.5)) {
      tables.factors.push_back(
          {SqlValue::text(orphan), SqlValue::text("ZinsJahr"), SqlValue::of(360.0), SqlValue::null()});
    }
  }
}

/// Mostly a sane demand, so that runs get through to storing; now and then a
/// hostile one or a key near an existing one (which has no header).
std::string chooseRunKey(Random& random, const std::vector<std::string>& keys,
                         const std::vector<std::string>& saneKeys) {
  if (!saneKeys.empty() && random.chance(0.5)) return random.pick(saneKeys);
  if (random.chance(0.8)) return random.pick(keys);
  const std::string& near = random.pick(keys);
  return nearName(random, near);
}

void insertAll(Random& random, SqliteFile& db, const std::string& table, Table& rows) {
  // The loading's queries sort; rows out of insertion order show whether they do.
  if (random.chance(0.5)) random.shuffle(rows);
  for (const SqlRow& row : rows) db.insert(table, row);
}

}  // namespace

GeneratedDatabase generateDatabase(std::uint64_t seed, const std::filesystem::path& file,
                                   const std::string& schema) {
  Random random(seed);
  GeneratedDatabase generated;
  const std::int64_t demandCount = random.between(2, 5);
  generated.demandKeys = distinctKeys(random, demandCount);
  Tables tables;
  std::vector<std::string> saneKeys;
  for (const std::string& key : generated.demandKeys) {
    const DemandProfile demand = randomProfile(random, key);
    addDemand(random, demand, tables);
    if (!demand.hostile) saneKeys.push_back(key);
  }
  addOrphans(random, generated.demandKeys, tables);
  generated.runKey = chooseRunKey(random, generated.demandKeys, saneKeys);

  SqliteFile db(file);
  db.exec("pragma synchronous=off");
  db.exec(schema);
  db.exec("begin");
  insertAll(random, db, "Bedarf", tables.headers);
  insertAll(random, db, "UmrechnungsFaktor", tables.factors);
  insertAll(random, db, "Parameter", tables.parameters);
  insertAll(random, db, "Termin", tables.dueDates);
  insertAll(random, db, "LosGröße", tables.lots);
  db.exec("commit");
  return generated;
}

}  // namespace mrp::fuzz
