// The single-demand program's console.
//
// Standard output carries the progress and closing messages, standard error the
// error-banner lines. Every message starts with `newLine` on its stream and ends
// without a line end, so no run ends its output with one; each is flushed as
// soon as it is written, so a log shows how far a long run has come. Texts from
// outside the program (arguments, database texts, error descriptions) are UTF-8
// and are written in code page 850.
#pragma once

#include <ostream>
#include <string_view>

#include "demand/message_sink.h"

namespace mrp {

inline constexpr std::string_view kBannerOpen = "______>>>>>>>>>______ \a";
inline constexpr std::string_view kBannerClose = " ______<<<<<<<<<______";

/// Writes one line end to `stream` and flushes it.
void newLine(std::ostream& stream);

/// Sets up the two streams: standard error unit-buffered and tied to standard output.
void setUpConsoleStreams();

/// Writes one progress message on standard output: a new line, the UTF-8
/// `text` in code page 850 with its control characters made spaces (an
/// argument's line end must not start a line of its own), and a flush.
void printProgress(std::string_view text);

/// Writes one error-banner message: a new line on standard error, the opening
/// mark, the UTF-8 `text` in code page 850 with its control characters made
/// spaces (one message, one line) and the closing mark.
void printErrorBanner(std::string_view text);

/// The run's messages, each in the error banner. The warnings about data the
/// plan takes as it stands are left out: this program has always planned such
/// data without a word, and its output stays as it was.
class ConsoleSink final : public MessageSink {
 public:
  void message(MessageCode code, std::string_view line) override {
    if (!isPlanWarning(code)) printErrorBanner(line);
  }
};

}  // namespace mrp
