// Running the external archivers ("zip", "unzip").
#pragma once

#include <string>

#include "platform/process.h"

namespace obrix {

// What starts the archivers for a run; a test hands in a runner of its own
// to see the command lines without running them.
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Runs `commandLine` as RunProcess does and returns its exit status, -1
  // when it could not be started or did not exit normally.
  virtual int Run(const std::string& commandLine, const ProcessOptions& options) = 0;
};

// The real runner: RunProcess.
ProcessRunner& SystemProcessRunner();

// Runs `commandLine` hidden (its output goes nowhere) on `runner` and
// waits for its end. True only when the program was started and exited
// with status 0; a program that cannot be started gives false at once.
bool RunCommand(ProcessRunner& runner, const std::string& commandLine,
                const ProcessOptions& options = {});

// RunCommand on the real runner.
bool RunCommand(const std::string& commandLine, const ProcessOptions& options = {});

}  // namespace obrix
