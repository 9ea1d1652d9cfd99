#include "driver/console.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

namespace mrp {
namespace {

TEST(ConsoleStreamTest, NewLineWritesOneLineEnd) {
  std::ostringstream stream;
  stream << "a";
  newLine(stream);
  EXPECT_EQ(stream.str(), "a\n");
}

TEST(ConsoleStreamTest, StandardErrorIsUnitBufferedAndTiedToStandardOutput) {
  setUpConsoleStreams();
  EXPECT_TRUE(std::cerr.flags() & std::ios_base::unitbuf);
  EXPECT_EQ(std::cerr.tie(), &std::cout);
}

/// Captures what is written to `stream` while it lives.
class Capture {
 public:
  explicit Capture(std::ostream& stream) : stream_(stream), previous_(stream.rdbuf(text_.rdbuf())) {}
  ~Capture() { stream_.rdbuf(previous_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostream& stream_;
  std::ostringstream text_;
  std::streambuf* previous_;
};

TEST(ConsoleStreamTest, ErrorBannerFramesTheTextInCodePage850AfterALineEnd) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"Bedarf existiert nicht: Bär", "Bedarf existiert nicht: B\x84r"},
      {"LosGröße",
       "LosGr\x94\xE1"
       "e"},
      {"Preis 5 €", "Preis 5 ?"},     // no euro sign in code page 850
      {"a\xF0\x9F\x98\x80z", "a?z"},  // 4-byte character: one '?'
      {"kaputt \xC3", "kaputt ?"},    // truncated UTF-8
      {"\xE0\x80\xAF", "???"},        // overlong form
      {"", ""},
  };
  for (const Case& c : cases) {
    Capture captured(std::cerr);
    printErrorBanner(c.in);
    EXPECT_EQ(captured.text(), std::string("\n______>>>>>>>>>______ \a") + c.out + " ______<<<<<<<<<______")
        << c.in;
  }
  EXPECT_EQ(kBannerOpen.size(), 23u);
  EXPECT_EQ(kBannerClose.size(), 22u);
}

// The warnings about data the plan takes as it stands are the batch's and the
// report's: this program has always planned such data without a word.
TEST(ConsoleStreamTest, SinkWritesEachMessageButTheWarningsAsABannerLine) {
  Capture captured(std::cerr);
  ConsoleSink sink;
  sink.message(MessageCode::NoDueQuantities, "Termine existieren nicht!");
  for (const MessageCode warning : {MessageCode::FactorMissing, MessageCode::NegativeCost,
                                    MessageCode::NegativeQuantity, MessageCode::DueDateGap}) {
    sink.message(warning, "Warnung");
  }
  sink.message(MessageCode::UnknownParameter, "Unbekannter Parameter: Währung");
  EXPECT_EQ(captured.text(),
            "\n______>>>>>>>>>______ \aTermine existieren nicht! ______<<<<<<<<<______"
            "\n______>>>>>>>>>______ \aUnbekannter Parameter: W\x84hrung ______<<<<<<<<<______");
}

/// A stream buffer that remembers what had been written at its last flush.
class FlushRecorder : public std::stringbuf {
 public:
  std::string flushed;

 protected:
  int sync() override {
    flushed = str();
    return 0;
  }
};

TEST(ConsoleStreamTest, ProgressIsFlushedAsSoonAsItIsWritten) {
  // A long run's database line must reach a log before the run ends.
  FlushRecorder recorder;
  std::streambuf* previous = std::cout.rdbuf(&recorder);
  printProgress("Datenbank: x   Bedarf: y");
  std::cout.rdbuf(previous);
  EXPECT_EQ(recorder.flushed, "\nDatenbank: x   Bedarf: y");
}

TEST(ConsoleStreamTest, ProgressIsOneLineInCodePage850AfterALineEnd) {
  Capture captured(std::cout);
  printProgress("Datenbank: x\n   Bedarf: B\xC3\xA4r\r\x1b\xC2\x9B");
  EXPECT_EQ(captured.text(), "\nDatenbank: x    Bedarf: B\x84r   ");
}

}  // namespace
}  // namespace mrp
