// Shared helpers of the test suite: temporary folders, whole-file reads and
// writes, and the one way the tests run a program as a process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
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

// The names in a folder, sorted; none when it does not exist.
std::vector<std::string> FolderNames(const std::string& folder);

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

struct RunOptions {
  std::map<std::string, std::string> environment{};  // set on top of the test's own
  std::string input{};                               // the standard input
  bool lowPriority = false;                          // nice 19, so that a watcher keeps up
  std::optional<uid_t> user{};                       // run under this user and group id
};

// A program started by StartProgram, in a process group of its own, so
// that a kill reaches the archivers it started as well, as when a node goes
// down. Its standard output and error are kept in an unnamed file. A
// program still running when the object goes is killed.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& workingDirectory,
          const RunOptions& options);
  ~Process();
  Process(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process& operator=(Process&&) = delete;

  // True while the program has not ended. Once it has, it is reaped and
  // its group killed, so that no child of it outlives it.
  bool Running();
  // Waits up to `seconds` for the end and returns the exit status; -1 when
  // the program ended through a signal. A program that does not end in
  // time is killed and reported as a test failure (-2).
  int Wait(double seconds);
  // Kills the program and everything it started, and reaps it.
  void Kill();
  // Stops and resumes the whole group.
  void Stop();
  void Continue();
  // What the program wrote so far.
  std::string Output() const;
  // Waits as Wait does; the status and all the output.
  ProcessResult Finish(double seconds);

 private:
  void Reap(int status);

  pid_t pid_ = -1;
  int status_ = -1;
  int output_ = -1;
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

// Paths of the programs under test, as built.
std::string ObrixBinary();
std::string BoardBinary();

// Puts the obrix program into `dir` under a path of its own (a link to the
// built program where the file system allows, else a copy), so that its
// work directory dir/Qwk is private to the test, and returns that path.
std::string InstallObrix(const std::string& dir);

}  // namespace obrix::testing
