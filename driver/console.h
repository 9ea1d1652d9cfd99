// Console messages.
//
// Standard output carries the progress and closing messages, standard error the
// error-banner lines. Every message starts with `newLine` on its stream and ends
// without a line end, so no run ends its output with one. Texts from outside the
// program (arguments, database texts, error descriptions) go through
// `consoleText`, which joins up to six UTF-8 pieces and converts them to code
// page 850; the result lives in one of 8 slots until that slot is reused or
// `releaseConsoleTexts` is called.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace mrp {

inline constexpr std::string_view kBannerOpen = "______>>>>>>>>>______ \a";
inline constexpr std::string_view kBannerClose = " ______<<<<<<<<<______";
inline constexpr int kConsoleTextSlots = 8;

/// Joins the pieces in `slot` as code page 850 text. Returns null when `piece1`
/// is null or all pieces are empty; both cases also release every slot.
const char* consoleText(int slot, const char* piece1, const char* piece2, const char* piece3,
                        const char* piece4, const char* piece5, const char* piece6);
/// Empties all 8 slots.
void releaseConsoleTexts();
/// The text that `slot` holds now, null when it is empty (for checks in tests).
const char* consoleSlotText(int slot);

/// Writes one line end to `stream` and flushes it.
void newLine(std::ostream& stream);
/// A text that may be null, as a stream part: null writes nothing.
std::string_view orNothing(const char* text) noexcept;
/// A double in the message number format: 6 significant digits, general
/// notation, exponent with sign and at least three digits (1e+006).
std::string formatNumber(double value);

/// Sets up the two streams: standard error unit-buffered and tied to standard output.
void setUpConsoleStreams();

/// Writes one error-banner message: a new line on standard error, the opening
/// mark, `text` (already in code page 850 or plain ASCII) and the closing mark.
void printErrorBanner(std::string_view text);

}  // namespace mrp
