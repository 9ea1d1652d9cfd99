// Where a run's messages go: data problems found while loading, the reasons
// a demand cannot be planned and the warnings about data a plan takes as it
// stands.
//
// Each message is handed over with its code as one finished line of UTF-8
// text, without line end or any other control character. The caller of a run
// chooses the sink: the single-demand program writes each line but the
// warnings in the error banner on standard error; a batch collects them per
// demand. Nothing below the programs writes to a stream.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "demand/message_code.h"

namespace mrp {

class MessageSink {
 public:
  virtual void message(MessageCode code, std::string_view line) = 0;

 protected:
  ~MessageSink() = default;
};

/// Keeps the messages in the order they came.
class MessageList final : public MessageSink {
 public:
  void message(MessageCode code, std::string_view line) override {
    messages.push_back(Message{code, std::string(line)});
  }

  /// The texts alone, in order.
  std::vector<std::string> lines() const {
    std::vector<std::string> texts;
    texts.reserve(messages.size());
    for (const Message& m : messages) texts.push_back(m.text);
    return texts;
  }

  std::vector<Message> messages;
};

}  // namespace mrp
