#include "driver/command_runner.h"

namespace obrix {

bool RunCommand(const std::string& commandLine, const ProcessOptions& options) {
  return RunProcess(commandLine, options) == 0;
}

}  // namespace obrix
