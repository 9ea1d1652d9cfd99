#include "hostile_values.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <vector>

namespace mrp::fuzz {
namespace {

using namespace std::chrono;

constexpr std::int32_t kSecondsPerDay = 86400;
constexpr std::int64_t kStartSlackDays = 30;  // start dates lie at most this far before the base
constexpr int kLatestFarBaseYear = 2100;      // far-future due dates only for bases up to this year
constexpr double kInfinity = std::numeric_limits<double>::infinity();

const sys_days kFirstDay = sys_days{year{1} / January / 1};
const sys_days kLastDay = sys_days{year{9999} / December / 31};

std::string twoDigits(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u", value);
  return text;
}

std::string dateOnly(const Moment& moment) {
  const year_month_day date{moment.day};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

std::string clockText(std::int32_t second) {
  return twoDigits(static_cast<unsigned>(second / 3600)) + ":" +
         twoDigits(static_cast<unsigned>(second / 60 % 60)) + ":" +
         twoDigits(static_cast<unsigned>(second % 60));
}

Moment fromText(int y, unsigned m, unsigned d, std::int32_t second) {
  return Moment{sys_days{year{y} / month{m} / day{d}}, second};
}

/// Other spellings of the same moment, each read as that moment or not at all.
std::string respelled(Random& random, const Moment& moment) {
  const year_month_day date{moment.day};
  const std::string day = dateOnly(moment);
  const std::string clock = clockText(moment.second);
  switch (random.below(9)) {
    case 0:
      return day;
    case 1:
      return day + "T" + clock;
    case 2:
      return day + " " + clock + "." + std::to_string(random.below(1000));
    case 3:
      return day + " " + clock.substr(0, 5);
    case 4:
      return " " + day + " " + clock;
    case 5:
      return day + " " + clock + " ";
    case 6:
      return day + " x";
    case 7: {
      std::string slashes = day;
      std::replace(slashes.begin(), slashes.end(), '-', '/');
      return slashes;
    }
    default:
      if (static_cast<int>(date.year()) < 1000) return day;
      return std::to_string(static_cast<int>(date.year())) + "-" +
             std::to_string(static_cast<unsigned>(date.month())) + "-" +
             std::to_string(static_cast<unsigned>(date.day()));
  }
}

/// Texts that are no moment at all, or one that does not exist.
std::string malformedDate(Random& random, const Moment& moment) {
  const year_month_day date{moment.day};
  const std::string y = dateOnly(moment).substr(0, 4);
  switch (random.below(9)) {
    case 0:
      return y + "-02-30";
    case 1:
      return y + "-13-01";
    case 2:
      return y + "-00-10";
    case 3:
      return dateOnly(moment) + " 25:61:61";
    case 4:
      return dateOnly(moment) + " 23:59:60";
    case 5:
      return dateOnly(moment) + " 24:00:00";
    case 6:
      return twoDigits(static_cast<unsigned>(date.day())) + "." +
             twoDigits(static_cast<unsigned>(date.month())) + "." + y;
    case 7:
      return random.pick<std::string>(
          {"", "morgen", "-", "0", dateOnly(moment) + "'; drop table Bedarf; --"});
    default:
      return y + "0101";
  }
}

/// Fixed moments at the calendar's edges and around day 0 (1899-12-30).
std::vector<Moment> edgeMoments() {
  return {fromText(1, 1, 1, 0),      fromText(1, 1, 1, 1),          fromText(1899, 12, 29, 43200),
          fromText(1899, 12, 30, 0), fromText(1899, 12, 30, 21600), fromText(1899, 12, 31, 86399),
          fromText(1900, 1, 1, 0),   fromText(9990, 1, 1, 0),       fromText(9999, 12, 30, 43200),
          fromText(9999, 12, 31, 0), fromText(9999, 12, 31, 86399)};
}

bool safeDueDate(const Moment& candidate, const Moment& base) {
  const auto after = (candidate.day - base.day).count();
  if (after <= kDueWindowDays) return true;
  return yearOf(candidate) >= 9990 && yearOf(base) <= kLatestFarBaseYear;
}

bool safeStartDate(const Moment& candidate, const Moment& base) {
  return (base.day - candidate.day).count() <= kStartSlackDays;
}

std::string momentText(const Moment& moment, bool withClock) {
  return withClock ? timestampText(moment) : dateOnly(moment);
}

/// A moment at an edge of the calendar when `safe` allows one, else one near the base.
SqlValue edgeOrNear(Random& random, const Moment& base, bool (*safe)(const Moment&, const Moment&)) {
  std::vector<Moment> allowed;
  for (const Moment& edge : edgeMoments()) {
    if (safe(edge, base)) allowed.push_back(edge);
  }
  if (!allowed.empty() && random.chance(0.8)) {
    const Moment& edge = random.pick(allowed);
    const bool withClock = random.chance(0.5);
    return SqlValue::text(momentText(edge, withClock));
  }
  return SqlValue::text(respelled(random, base));
}

/// A date that lies before year 1 or after year 9999 as text.
std::string outsideCalendar(Random& random, const Moment& base) {
  if (yearOf(base) <= kLatestFarBaseYear && random.chance(0.5)) return "10000-01-01";
  return random.pick<std::string>({"0000-01-01", "-0001-01-01"});
}

SqlValue dateOfWrongKind(Random& random, const Moment& moment) {
  switch (random.below(4)) {
    case 0:
      return SqlValue::null();
    case 1:
      return SqlValue::of(static_cast<std::int64_t>(oleDay(moment)));
    case 2:
      return SqlValue::of(oleDay(moment) + 2415018.5);  // a Julian day number
    default:
      return wrongKind(random);
  }
}

const std::vector<std::string>& textPieces() {
  static const std::vector<std::string> pieces{
      "a", "b",  "Z",  "x",  "Q",    "1",    "7",    "-",        " ",
      " ", "ä",  "ö",  "ü",  "ß",    "Ä",    "Ö",    "Ü",        "é",
      "€", "\t", "\n", "\r", "\x01", "\x1b", "\x7f", "\xC2\x85", "\xE2\x80\xA8",
      "'", "\"", "%",  ";",  "_",    "\\"};
  return pieces;
}

std::string latin1(const std::string& name) {
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (static_cast<unsigned char>(name[i]) == 0xC3 && i + 1 < name.size()) {
      text += static_cast<char>(static_cast<unsigned char>(name[i + 1]) + 0x40);
      ++i;
    } else {
      text += name[i];
    }
  }
  return text;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string withCase(std::string text, int (*change)(int)) {
  for (char& c : text) c = static_cast<char>(change(static_cast<unsigned char>(c)));
  return text;
}

/// The name padded to beyond 128 bytes so that an umlaut straddles byte 128.
std::string overlong(const std::string& name) {
  std::string text = name;
  while (text.size() < 127) text += "x";
  return text + "ü" + name;
}

/// A moment `fromDay` to `toDay` days after `base`, at a random second of the day.
Moment nearBase(Random& random, const Moment& base, std::int64_t fromDay, std::int64_t toDay) {
  const std::int64_t days = random.between(fromDay, toDay);
  const auto second = static_cast<std::int32_t>(random.below(kSecondsPerDay));
  return shifted(base, days, second);
}

}  // namespace

Moment shifted(const Moment& base, std::int64_t days, std::int32_t second) {
  const sys_days day = base.day + std::chrono::days{days};
  if (day > kLastDay) return Moment{kLastDay, kSecondsPerDay - 1};
  if (day < kFirstDay) return Moment{kFirstDay, 0};
  return Moment{day, std::clamp(second, 0, kSecondsPerDay - 1)};
}

std::string timestampText(const Moment& moment) { return dateOnly(moment) + " " + clockText(moment.second); }

double oleDay(const Moment& moment) {
  const auto days = (moment.day - sys_days{year{1899} / December / 30}).count();
  return static_cast<double>(days) + moment.second / double{kSecondsPerDay};
}

int yearOf(const Moment& moment) { return static_cast<int>(year_month_day{moment.day}.year()); }

std::string randomText(Random& random, std::size_t maxBytes) {
  const std::size_t pieces = random.below(maxBytes / 2 + 1);
  std::string text;
  for (std::size_t i = 0; i < pieces; ++i) {
    std::string piece;
    if (random.chance(0.01)) {
      piece = random.pick<std::string>({"\xFF", "\xC3", "\x80"});
    } else {
      piece = random.pick(textPieces());
    }
    if (text.size() + piece.size() > maxBytes) break;
    text += piece;
  }
  return text;
}

std::string nearName(Random& random, const std::string& name) {
  switch (random.below(12)) {
    case 0:
      return withCase(name, [](int c) { return std::tolower(c); });
    case 1:
      return withCase(name, [](int c) { return std::toupper(c); });
    case 2:
      return name + " ";
    case 3:
      return " " + name;
    case 4:
      return name + "\t";
    case 5:
      return name + random.pick<std::string>({"\n", "\r\n", "\r"});
    case 6:
      return replaced(replaced(replaced(name, "ü", "u\xCC\x88"), "ä", "a\xCC\x88"), "ö", "o\xCC\x88");
    case 7:
      return replaced(replaced(replaced(name, "ü", "ue"), "ä", "ae"), "ö", "oe");
    case 8:
      return latin1(name);
    case 9:
      return name.substr(0, name.size() - 1);
    case 10:
      return overlong(name);
    default:
      return randomText(random, 20);
  }
}

SqlValue wrongKind(Random& random) {
  switch (random.below(4)) {
    case 0:
      return SqlValue::null();
    case 1:
      return SqlValue::blob(random.pick<std::string>({"", std::string(1, '\0'), "ABC", "\xFF\x00\xFF"}));
    default:
      return SqlValue::text(random.pick<std::string>({"7abc",
                                                      "3,6e2",
                                                      "",
                                                      " ",
                                                      "12 ",
                                                      " 12",
                                                      "0x10",
                                                      "NaN",
                                                      "inf",
                                                      "-inf",
                                                      "-",
                                                      "+5",
                                                      "1.9",
                                                      "1,9",
                                                      "\xD9\xA1\xD9\xA2",
                                                      "\xEF\xBC\x97",
                                                      "4294967297",
                                                      "2147483648",
                                                      "-0",
                                                      "1e999",
                                                      "sieben"}));
  }
}

SqlValue hostileInteger(Random& random) {
  if (random.chance(0.3)) return wrongKind(random);
  if (random.chance(0.25))
    return SqlValue::of(random.pick({1.9, -0.5, 2.0, 0.5, 1e308, -1e308, 2147483647.5, kInfinity}));
  return SqlValue::of(random.pick<std::int64_t>(
      {0, 1, -1, 2, 2147483647, 2147483648, -2147483648, -2147483647, -2147483649, 4294967297, 4294967303,
       std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}));
}

SqlValue hostileReal(Random& random) {
  if (random.chance(0.25)) return wrongKind(random);
  if (random.chance(0.1)) return SqlValue::of(random.pick<std::int64_t>({0, -1, 3, 2147483648, 4294967297}));
  return SqlValue::of(random.pick({0.0, -0.0, -1.0, 0.5, 1.9, 2.5, 100.0, 1e4, 1e15, 1e308, -1e308, 1e-300,
                                   5e-324, 2147483647.5, 2147483648.0, kInfinity, -kInfinity}));
}

SqlValue hostileText(Random& random) {
  if (random.chance(0.4)) return wrongKind(random);
  if (random.chance(0.2)) return SqlValue::of(random.pick<std::int64_t>({0, 42, -1}));
  const std::size_t maxBytes = random.chance(0.1) ? 300 : 40;
  return SqlValue::text(randomText(random, maxBytes));
}

SqlValue hostileHeaderLength(Random& random) {
  switch (random.below(4)) {
    case 0:
      return SqlValue::of(
          random.pick<std::int64_t>({0, -1, -7, 2147483647, 2147483648, -2147483648, -2147483649, 4294967297,
                                     4294967303, 10000, std::numeric_limits<std::int64_t>::max()}));
    case 1:
      return SqlValue::of(random.pick({1.9, 7.5, 0.5, -0.5, 1e308, 1e4, kInfinity}));
    case 2:
      return SqlValue::text(
          random.pick<std::string>({"7abc", "3,6e2", "", " 7", "7 ", "0x7", "sieben", "1,5"}));
    default:
      if (random.chance(0.5)) return SqlValue::null();
      return SqlValue::blob("\x07");
  }
}

SqlValue hostileLengthFactor(Random& random) {
  switch (random.below(3)) {
    case 0:
      return SqlValue::of(random.pick({0.0, -1.0, -0.0, 0.5, 0.999, 1.0, 1.9, 1e4, 1e308, kInfinity,
                                       -kInfinity, 1e-300, 5e-324, 2147483648.0, 4294967297.0}));
    case 1:
      return SqlValue::text(random.pick<std::string>({"1,5", "", "x", "1e", "eins"}));
    default:
      if (random.chance(0.5)) return SqlValue::null();
      return SqlValue::blob("\x01");
  }
}

SqlValue hostileDueDate(Random& random, const Moment& base) {
  const Moment near = nearBase(random, base, -30, kDueWindowDays);
  switch (random.below(6)) {
    case 0:
      return SqlValue::text(respelled(random, near));
    case 1:
      return SqlValue::text(malformedDate(random, near));
    case 2:
      return edgeOrNear(random, base, safeDueDate);
    case 3:
      return SqlValue::text(outsideCalendar(random, base));
    default:
      return dateOfWrongKind(random, near);
  }
}

SqlValue hostileStartDate(Random& random, const Moment& base) {
  const Moment near = nearBase(random, base, -kStartSlackDays, 60);
  switch (random.below(5)) {
    case 0:
      return SqlValue::text(respelled(random, near));
    case 1:
      return SqlValue::text(malformedDate(random, near));
    case 2:
      return edgeOrNear(random, base, safeStartDate);
    case 3:
      return SqlValue::text(momentText(near, true));
    default:
      return dateOfWrongKind(random, near);
  }
}

}  // namespace mrp::fuzz
