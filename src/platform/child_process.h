// A program started to run beside this one, to be watched, stopped or
// killed while it runs: the test suite runs the door and obrix-board this
// way, and kills them at chosen points as a node that goes down would.
// (The door's own archivers go through RunProcess, which only waits.)
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace obrix {

struct ChildOptions {
  std::map<std::string, std::string> environment{};  // set on top of ours
  std::string input{};                               // its whole standard input
  bool lowPriority = false;                          // the lowest priority
  // POSIX: run under this user and group id (we must be root). Windows
  // has no such thing: a start with a user fails.
  std::optional<unsigned> user{};
};

// The child runs in a group of its own (a process group, a job object), so
// that a kill reaches whatever it started as well. Its standard output and
// error go together into a temporary file that Output() reads. A child
// still running when the object goes is killed.
class ChildProcess {
 public:
  // Starts `argv` in `workingDirectory`; argv[0] is found on the search
  // path when it names no folder. Null, with `reason` set, when it cannot
  // be started.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                             const std::string& workingDirectory,
                                             const ChildOptions& options, std::string& reason);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // True while the program has not ended. Once it has, its group is killed
  // (no child of it outlives it) and its status kept.
  bool Running();
  // Kills the program and everything it started, and waits for its end.
  void Kill();
  // Stops and resumes the whole group; false where the platform cannot
  // (Windows).
  bool Stop();
  bool Continue();
  // The exit status once the program has ended; -1 when it was killed or
  // ended through a signal.
  int status() const { return status_; }
  // Everything the program wrote so far.
  std::string Output() const;

  struct Handles;  // the platform's own

 private:
  explicit ChildProcess(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
  int status_ = -1;
};

}  // namespace obrix
