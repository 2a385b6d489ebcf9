// Shared helpers of the test suite: temporary folders, whole-file reads and
// writes, and running the real programs as processes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace obrix::testing {

// A fresh temporary folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// The lines of a CR LF text, without their line ends. A last piece without
// a line end is returned as a line too.
std::vector<std::string> SplitCrLf(const std::string& text);

// The log lines of an "obrix.log", each without its 20-character time
// stamp; a line that has no stamp is kept whole.
std::vector<std::string> LogMessages(const std::string& logPath);

struct ProcessResult {
  int status = -1;     // exit status; -1 when killed or not started
  std::string output;  // standard output and error together
};

// Runs `argv` (argv[0] a path) in `workingDirectory` with extra environment
// variables, capturing its output. `input` goes to its standard input.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& input = "");

// Paths of the programs under test, as built.
std::string ObrixBinary();
std::string BoardBinary();

// Copies the obrix program into `dir` (so that its work directory
// dir/Qwk is private to the test) and returns the copy's path.
std::string InstallObrix(const std::string& dir);

}  // namespace obrix::testing
