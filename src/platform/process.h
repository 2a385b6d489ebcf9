// Starting an external program and waiting for its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace obrix {

struct ProcessOptions {
  // Standard input from the null device instead of the program's own.
  bool nullInput = false;
  // Largest file the child may write, in bytes; 0 for no limit.
  uint64_t maxFileSize = 0;
  // Standard output and error to the null device: the program runs hidden.
  bool nullOutput = false;
  // Standard output to this file instead (created afresh, its owner's
  // alone), for a program whose answer is its output; standard error still
  // follows `nullOutput`. Empty: not redirected.
  std::string outputPath;
  // The files and folders the child creates are its owner's alone (a
  // packet holds a caller's private mail). Not enforced on Windows, where
  // new files take the access list of their folder.
  bool ownerOnlyFiles = false;
};

// Runs the program `arguments[0]`, found on the search path, hidden, with
// the other words as its arguments. Each word reaches the program as it
// stands: blanks and quotes inside a word are part of it. Only standard
// input, output and error reach the child; no other handle or descriptor
// of ours does. Waits for the child's end. Returns its exit status, or -1
// when there is no word, the program could not be started or did not exit
// normally.
int RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

// The Windows command line that hands `arguments` to a program whose
// start-up code splits its command line by the rules of the Microsoft C
// runtime: each word that is empty or holds a blank, a tab or a double
// quote is quoted, with the backslashes before a quote doubled.
std::string WindowsCommandLine(const std::vector<std::string>& arguments);

}  // namespace obrix
