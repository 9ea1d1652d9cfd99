// The child processes that the tests, the fuzz campaign and the benchmark
// start: what reaches the child, what comes back, and that a time limit ends
// whatever the child started.
#include "support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <stdexcept>
#include <string>

namespace mrp::test {
namespace {

ChildOptions shell(const std::string& script) {
  ChildOptions options;
  options.argv = {"sh", "-c", script};
  return options;
}

TEST(RunChild, WhatReachesTheChildAndWhatComesBack) {
  const std::string megabyte(1 << 20, 'x');  // beyond any pipe buffer both ways
  struct Case {
    const char* what;
    ChildOptions options;
    std::string out, err, combined;
    int exitStatus, signal;
  };
  ChildOptions fed = shell("cat; echo err >&2; exit 3");
  fed.input = megabyte;
  ChildOptions combined = shell("echo 1; echo 2 >&2; echo 3");
  combined.err = Stream::intoOutput();
  ChildOptions replaced = shell("echo \"$A|$HOME\"");
  replaced.program = "/bin/sh";
  replaced.environment = {{"A", "1"}};
  replaced.replaceEnvironment = true;
  ChildOptions named;
  named.argv = {"chosen", "-c", "echo \"$0\""};
  named.program = "/bin/sh";
  const Case cases[] = {
      {"input, both outputs, exit code", fed, megabyte, "err\n", "", 3, 0},
      {"standard error into standard output, in write order", combined, "", "", "1\n2\n3\n", 0, 0},
      {"a replaced environment", replaced, "1|\n", "", "", 0, 0},
      {"argument 0", named, "chosen\n", "", "", 0, 0},
      {"ended by a signal", shell("kill -TERM $$"), "", "", "", 128 + SIGTERM, SIGTERM},
  };
  for (const Case& c : cases) {
    const ChildResult result = runChild(c.options);
    EXPECT_EQ(result.out, c.out) << c.what;
    EXPECT_EQ(result.err, c.err) << c.what;
    EXPECT_EQ(result.combined, c.combined) << c.what;
    EXPECT_EQ(result.exitStatus, c.exitStatus) << c.what;
    EXPECT_EQ(result.signal, c.signal) << c.what;
    EXPECT_FALSE(result.timedOut) << c.what;
  }
}

// The grandchild holds the output pipe open: only killing the whole process
// group ends the run before the grandchild's own end.
TEST(RunChild, ATimeLimitKillsWhatTheChildStarted) {
  ChildOptions options = shell("sleep 30 & sleep 30");
  options.timeLimit = std::chrono::milliseconds(200);
  const ChildResult result = runChild(options);
  EXPECT_TRUE(result.timedOut);
  EXPECT_EQ(result.signal, SIGKILL);
  EXPECT_LT(result.elapsed, std::chrono::seconds(10));
}

TEST(Coprocess, AnswersRequestByRequestUntilItEnds) {
  Coprocess child({"sh"});
  for (const std::string word : {"eins", "zwei"}) {
    const Coprocess::Reply reply =
        child.exchange("echo " + word + "; echo @@\n", "@@\n", std::chrono::seconds(10));
    EXPECT_EQ(reply.out, word + "\n");
    EXPECT_FALSE(reply.ended);
  }
  const Coprocess::Reply last = child.exchange("echo bye >&2; exit 4\n", "@@\n", std::chrono::seconds(10));
  EXPECT_TRUE(last.ended);
  EXPECT_EQ(last.exitStatus, 4);
  EXPECT_EQ(last.err, "bye\n");
  EXPECT_FALSE(child.running());

  Coprocess silent({"sh"});
  EXPECT_THROW(silent.exchange("sleep 10\n", "@@\n", std::chrono::milliseconds(100)), std::runtime_error);
  EXPECT_FALSE(silent.running()) << "killed";
}

}  // namespace
}  // namespace mrp::test
