// Running the external archivers ("zip", "unzip").
#pragma once

#include <string>

#include "platform/process.h"

namespace obrix {

// Runs `commandLine` hidden (its output goes nowhere) and waits for its
// end. True only when the program was started and exited with status 0; a
// program that cannot be started gives false at once.
bool RunCommand(const std::string& commandLine, const ProcessOptions& options = {});

}  // namespace obrix
