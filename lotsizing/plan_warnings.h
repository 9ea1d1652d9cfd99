// Warnings about data a plan takes as it stands.
//
// The engine plans some data without a word although it is rarely what a
// planner meant: a missing cost factor counts as 0 (no setup costs, no holding
// costs), a negative cost or quantity is computed with as it is, and a due
// date years after the others stretches the plan over empty periods. These
// warnings name such data of a planned demand. The single-demand program
// prints none of them (its console sink leaves them out); the batch and the
// report show them with their codes.
//
// All message texts live in plan_warnings.cpp. Numbers use the message number
// format (6 significant digits), dates "YYYY-MM-DD HH:MM:SS", periods count
// from 1. The messages (<...> stands for a value, each one line) and codes:
//   UmrechnungsFaktor existiert nicht: <name>: Jeder Parameter <name> zählt als 0!
//     for RüstKosten, StückKosten, KapitalbindungsZinssatz, WagnisZinssatz   factor-missing
//   Negative Kosten: <name> <value> (inklusiv UmrechnungsFaktor: <factor>) ab Periode <p>
//     for RüstKosten and StückKosten, one per parameter row                  negative-cost
//   Negative Menge: <quantity> zum Termin <date>[ (und <n> weitere)]         negative-quantity
//   Termin <date> liegt <days> Tage nach dem vorigen Termin <date>[ (und <n> weitere)]
//                                                                            due-date-gap
#pragma once

#include <cstdint>

namespace mrp {

struct LoadedDemand;
class MessageSink;

/// A due date more than this many whole days after the one before it is most
/// likely a placeholder or a typing error (2072 for 2027): a year, leap day
/// included, is the longest gap an ordinary planning has.
inline constexpr std::int64_t kLongestDueDateGap = 366;

/// Hands the warnings about `demand`, which must be plannable, to `sink`:
/// each missing cost factor, each negative cost entry, the demand's negative
/// due quantities (one message: the first and how many more) and its due
/// dates more than kLongestDueDateGap days after the one before (one
/// message: the first gap and how many more).
void reportPlanWarnings(const LoadedDemand& demand, MessageSink& sink);

}  // namespace mrp
