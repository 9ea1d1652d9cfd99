// Values a hostile planning database may hold, column by column.
//
// Every palette mixes the expected kind at its edges (32-bit limits and just
// beyond, negative, fractional, huge, tiny, infinite) with wrong kinds (texts
// that almost look like numbers, blobs, NULL). Dates are drawn near a demand's
// base moment in many spellings, some malformed.
//
// The horizon (latest due date less start, divided by the period length) must
// stay either small (at most a few thousand periods) or beyond the program's
// limit of 200,000 periods: in between the n x n cost matrix of a legitimate
// run takes seconds and gigabytes. So effective period lengths (header length
// times factor) are at most 13 days or at least 5,000; due dates lie within
// 420 days after the base, before the start, or in the years 9990 to 9999 for
// demands based before 2101; start dates lie at most 30 days before the base.
// The SQLite driver reads a date followed by any text as that date, so even a
// malformed spelling is built from a moment that keeps these bounds.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "random_source.h"
#include "sqlite_file.h"

namespace mrp::fuzz {

/// Due dates of a demand lie at most this many days after its base moment
/// (but for the far-future ones).
inline constexpr std::int64_t kDueWindowDays = 420;

/// A date and time of day, year 1 to 9999.
struct Moment {
  std::chrono::sys_days day;
  std::int32_t second = 0;  // of the day
};

/// `base` moved by whole days and seconds, kept within 0001-01-01 to 9999-12-31 23:59:59.
Moment shifted(const Moment& base, std::int64_t days, std::int32_t second);
/// "YYYY-MM-DD HH:MM:SS".
std::string timestampText(const Moment& moment);
/// The OLE day number (days since 1899-12-30, time of day as fraction).
double oleDay(const Moment& moment);
int yearOf(const Moment& moment);

/// Text of `maxBytes` bytes at most: letters, umlauts, blanks, control
/// characters other than NUL, now and then a byte that is not UTF-8.
std::string randomText(Random& random, std::size_t maxBytes);
/// A name close to `name`: other case, blanks around, a tab or line end, the
/// umlaut decomposed or spelled out, Latin-1 bytes, cut, or padded beyond 128 bytes.
std::string nearName(Random& random, const std::string& name);

SqlValue wrongKind(Random& random);
SqlValue hostileInteger(Random& random);
SqlValue hostileReal(Random& random);
SqlValue hostileText(Random& random);
/// For the header's PeriodenLänge (an integer column).
SqlValue hostileHeaderLength(Random& random);
/// For the PeriodenLänge conversion factor.
SqlValue hostileLengthFactor(Random& random);
/// For a due date of a demand based at `base`.
SqlValue hostileDueDate(Random& random, const Moment& base);
/// For the start date of a demand based at `base`.
SqlValue hostileStartDate(Random& random, const Moment& base);

}  // namespace mrp::fuzz
