// Where a run's messages go: data problems found while loading and the reasons
// a demand cannot be planned.
//
// Each message is handed over as one finished line of UTF-8 text, without line
// end or any other control character. The caller of a run chooses the sink: the single-demand program writes
// each line in the error banner on standard error; a batch collects them per
// demand. Nothing below the programs writes to a stream.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mrp {

class MessageSink {
 public:
  virtual void message(std::string_view line) = 0;

 protected:
  ~MessageSink() = default;
};

/// Keeps the lines in the order they came.
class MessageList final : public MessageSink {
 public:
  void message(std::string_view line) override { lines.emplace_back(line); }

  std::vector<std::string> lines;
};

}  // namespace mrp
