#include "support/process.h"

namespace mrp::test {

std::string programPath() { return LOTSIZING_BINARY; }

RunResult runProgramOnce(const std::vector<std::string>& args, Capture capture,
                         const EnvironmentOverrides& env, const std::string& programName) {
  ChildOptions options;
  options.argv = {programName.empty() ? programPath() : programName};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.program = programPath();
  options.in = Stream::inherited();
  if (capture == Capture::Combined) options.err = Stream::intoOutput();
  options.environment = env;
  return runChild(options);
}

RunResult runProgram(const std::vector<std::string>& args, const EnvironmentOverrides& env) {
  RunResult result = runProgramOnce(args, Capture::Separate, env);
  result.combined = runProgramOnce(args, Capture::Combined, env).combined;
  return result;
}

RunResult runCommand(const std::vector<std::string>& argv, std::string_view input,
                     const EnvironmentOverrides& env) {
  ChildOptions options;
  options.argv = argv;
  options.input = input;
  options.environment = env;
  return runChild(options);
}

}  // namespace mrp::test
