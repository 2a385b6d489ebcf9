#include "platform/command_runner.h"

namespace obrix {

bool RunCommand(const std::string& commandLine, const ProcessOptions& options) {
  // The archivers run hidden: nothing of theirs reaches the caller's screen.
  ProcessOptions hidden = options;
  hidden.nullOutput = true;
  return RunProcess(commandLine, hidden) == 0;
}

}  // namespace obrix
