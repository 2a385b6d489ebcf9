// Shared helpers of the test suite: temporary folders, whole-file reads and
// writes, and the one way the tests run a program as a process.
#pragma once

#include <gmock/gmock.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"

namespace obrix::testing {

// Paths in the suite are written with "/" on every platform: Windows takes
// it as a separator, and the kit gives paths in that form (TempDir) and
// reads the programs' paths back in it (LogMessages, Process::Output).
//
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
// The permission bits of `path` itself (0600, ...); 0 when it is missing.
unsigned FileMode(const std::string& path);

// The names in a folder, sorted; none when it does not exist.
std::vector<std::string> FolderNames(const std::string& folder);

// The lines of a CR LF text, without their line ends. A last piece without
// a line end is returned as a line too.
std::vector<std::string> SplitCrLf(const std::string& text);

// The log lines of an "obrix.log", each without its 20-character time
// stamp; a line that has no stamp is kept whole. On Windows the door
// writes "\\" between the parts of a path; it is read back as "/".
std::vector<std::string> LogMessages(const std::string& logPath);

struct ProcessResult {
  int status = -1;     // exit status; -1 when killed or not started
  std::string output;  // standard output and error together
};

// environment, input, low priority and user of a program the tests run.
using RunOptions = ChildOptions;

// A program started by StartProgram (a ChildProcess): a kill reaches the
// archivers it started as well, as when a node goes down. A program still
// running when the object goes is killed.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& workingDirectory,
          const RunOptions& options);
  Process(Process&& other) noexcept = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process& operator=(Process&&) = delete;

  // True while the program has not ended. Once it has, its group is
  // killed, so that no child of it outlives it.
  bool Running() { return child_->Running(); }
  // Waits up to `seconds` for the end and returns the exit status; -1 when
  // the program ended through a signal. A program that does not end in
  // time is killed and reported as a test failure (-2).
  int Wait(double seconds);
  // Kills the program and everything it started, and reaps it.
  void Kill() { child_->Kill(); }
  // Stops and resumes the whole group; false where the platform cannot.
  bool Stop() { return child_->Stop(); }
  bool Continue() { return child_->Continue(); }
  // What the program wrote so far, byte for byte.
  std::string Output() const { return child_->Output(); }
  // Waits as Wait does; the status and all the output.
  ProcessResult Finish(double seconds);

 private:
  std::unique_ptr<ChildProcess> child_;
  bool timedOut_ = false;
};

// Runs `argv` in `workingDirectory`; argv[0] is found on the search path
// when it names no folder.
Process StartProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                     const RunOptions& options = {});
// As StartProgram, and waits for the end.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& input = "");

// Polls `condition` every 0.2 ms until it holds or `seconds` pass; returns
// whether it held.
template <typename Condition>
bool PollUntil(double seconds, Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return condition();
}

// The text a program printed, as Linux shows it: Windows programs end
// their lines with CR LF and separate the parts of a path with "\\".
std::string TextOf(std::string output);

// Paths of the programs under test, as built, and of obrix_test_helper, the
// suite's stand-in for the system's small tools (tests/helper).
std::string ObrixBinary();
std::string BoardBinary();
std::string TestHelper();

// What a test may need that only some systems have. A test that needs one
// begins with OBRIX_SKIP_WITHOUT(need): where it is missing, the test is
// skipped and says why.
enum class Need {
  kFileModes,           // POSIX permission bits on files and folders
  kOtherUsers,          // running a program under another user id
  kFifos,               // FIFOs in the file system
  kSymlinks,            // symbolic links an ordinary user may make
  kStopAndContinue,     // stopping and resuming a running program (signals)
  kStrace,              // strace, to kill a program at each of its calls
  kPostgresServer,      // the private PostgreSQL server of ./scripts/test
  kSocketsCloseOnKill,  // a killed program's connections close with it
  kPosixTools,          // the POSIX tools and /proc a test drives directly
  kFileSizeLimit,       // a limit on the size of the files a child writes
  kCaseSensitiveNames,  // two file names that differ in letter case only
};
// Empty when this system has `need`; else why not.
std::string MissingReason(Need need);
inline bool Has(Need need) { return MissingReason(need).empty(); }
// A matcher for a text that ECMAScript's regular expression `pattern`
// matches whole (GoogleTest's own regular expressions are simpler on
// Windows).
::testing::Matcher<std::string> MatchesPattern(const std::string& pattern);

#define OBRIX_SKIP_WITHOUT(need)                                               \
  if (const std::string obrix_missing = ::obrix::testing::MissingReason(need); \
      !obrix_missing.empty())                                                  \
  GTEST_SKIP() << obrix_missing

// Puts the obrix program into `dir` under a path of its own (a link to the
// built program where the file system allows, else a copy), so that its
// work directory dir/Qwk is private to the test, and returns that path.
std::string InstallObrix(const std::string& dir);

}  // namespace obrix::testing
