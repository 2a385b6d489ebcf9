#include "platform/command_runner.h"

namespace obrix {

namespace {

class MachineProcessRunner final : public ProcessRunner {
 public:
  int Run(const std::vector<std::string>& arguments, const ProcessOptions& options) override {
    return RunProcess(arguments, options);
  }
};

}  // namespace

ProcessRunner& SystemProcessRunner() {
  static MachineProcessRunner runner;
  return runner;
}

std::string JoinWords(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    line += word;
  }
  return line;
}

bool RunCommand(ProcessRunner& runner, const std::vector<std::string>& arguments,
                const ProcessOptions& options) {
  // The archivers run hidden: nothing of theirs reaches the caller's screen.
  ProcessOptions hidden = options;
  hidden.nullOutput = true;
  return runner.Run(arguments, hidden) == 0;
}

bool RunCommand(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  return RunCommand(SystemProcessRunner(), arguments, options);
}

}  // namespace obrix
