// Starting an external program and waiting for its end.
#pragma once

#include <cstdint>
#include <string>

namespace obrix {

struct ProcessOptions {
  // Standard input from the null device instead of the program's own.
  bool nullInput = false;
  // Largest file the child may write, in bytes; 0 for no limit.
  uint64_t maxFileSize = 0;
  // Standard output and error to the null device: the program runs hidden.
  bool nullOutput = false;
};

// Runs `commandLine` hidden: the first word names the program, found on the
// search path; the words are separated by blanks (paths are not quoted).
// Only standard input, output and error reach the child; no other handle or
// descriptor of ours does. Waits for the child's end. Returns its exit
// status, or -1 when it could not be started or did not exit normally.
int RunProcess(const std::string& commandLine, const ProcessOptions& options = {});

}  // namespace obrix
