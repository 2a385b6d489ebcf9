#include "platform/command_runner.h"

namespace obrix {

namespace {

class MachineProcessRunner final : public ProcessRunner {
 public:
  int Run(const std::string& commandLine, const ProcessOptions& options) override {
    return RunProcess(commandLine, options);
  }
};

}  // namespace

ProcessRunner& SystemProcessRunner() {
  static MachineProcessRunner runner;
  return runner;
}

bool RunCommand(ProcessRunner& runner, const std::string& commandLine,
                const ProcessOptions& options) {
  // The archivers run hidden: nothing of theirs reaches the caller's screen.
  ProcessOptions hidden = options;
  hidden.nullOutput = true;
  return runner.Run(commandLine, hidden) == 0;
}

bool RunCommand(const std::string& commandLine, const ProcessOptions& options) {
  return RunCommand(SystemProcessRunner(), commandLine, options);
}

}  // namespace obrix
