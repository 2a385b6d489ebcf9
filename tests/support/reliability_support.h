// Helpers of the reliability tests: the real obrix program started in the
// background (so that a test can watch it, stop it or kill it at a chosen
// moment), and a read-only look at a board while other processes write it.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "admin/board_admin.h"
#include "board/sqlite.h"
#include "support/test_support.h"

namespace obrix::testing {

// A program running in a process group of its own, so that a kill reaches
// the archivers it started as well, as when a node goes down. The group is
// killed before the program is reaped, so the group id still names it. A
// program still running when the object goes is killed.
class BackgroundRun {
 public:
  struct Options {
    std::map<std::string, std::string> environment;
    // Standard output and error go to this file (to the null device when
    // empty).
    std::string outputPath;
    // Run at the lowest scheduling priority, so that a watcher keeps up.
    bool lowPriority = false;
    // Run under this user and group id instead of the test's own.
    std::optional<uid_t> user;
  };

  BackgroundRun(const std::vector<std::string>& argv, const std::string& workingDirectory,
                const Options& options) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      close(report[0]);
      setpgid(0, 0);
      const int null = open("/dev/null", O_RDWR);
      const int out = options.outputPath.empty()
                          ? null
                          : open(options.outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (null < 0 || out < 0 || dup2(null, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
        Fail(report[1]);
      }
      if (out > 2 && out != null) close(out);
      if (null > 2) close(null);
      if (options.lowPriority) (void)!nice(19);
      if (chdir(workingDirectory.c_str()) != 0) Fail(report[1]);
      if (options.user) {
        if (setgroups(0, nullptr) != 0 || setgid(*options.user) != 0 ||
            setuid(*options.user) != 0) {
          Fail(report[1]);
        }
      }
      for (const auto& [key, value] : options.environment) setenv(key.c_str(), value.c_str(), 1);
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      Fail(report[1]);
    }
    // The parent sets the group too, so that it exists before any kill.
    setpgid(pid_, pid_);
    close(report[1]);
    int childError = 0;
    const ssize_t n = read(report[0], &childError, sizeof childError);
    close(report[0]);
    if (n > 0) {
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      throw std::runtime_error("cannot start " + argv[0] + ": " + std::to_string(childError));
    }
  }

  ~BackgroundRun() {
    if (pid_ > 0) Kill();
  }
  BackgroundRun(BackgroundRun&& other) noexcept
      : pid_(other.pid_), done_(other.done_), status_(other.status_) {
    other.pid_ = -1;
    other.done_ = true;
  }
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;
  BackgroundRun& operator=(BackgroundRun&&) = delete;

  // True while the program has not ended.
  bool Running() { return !Ended(); }

  // Waits up to `seconds` for the end and returns the exit status; -1 when
  // the program ended through a signal. A program that does not end in
  // time is killed and reported as a test failure (-2).
  int Wait(double seconds) {
    if (done_) return status_;
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
      if (Ended()) return status_;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ADD_FAILURE() << "the program did not end within " << seconds << " s";
    Kill();
    status_ = -2;
    return status_;
  }

  // Kills the program and everything it started, and reaps it.
  void Kill() {
    if (done_) return;
    kill(-pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    Record(status);
  }

  // Stops and resumes the whole group.
  void Stop() { kill(-pid_, SIGSTOP); }
  void Continue() { kill(-pid_, SIGCONT); }

  // True once the program has ended (it is then reaped; its group is
  // killed first so that no child of it outlives it).
  bool Ended() {
    if (done_) return true;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid == 0) {
      return false;
    }
    kill(-pid_, SIGKILL);  // its archiver, if one was left behind
    int status = 0;
    waitpid(pid_, &status, 0);
    Record(status);
    return true;
  }

 private:
  using Clock = std::chrono::steady_clock;

  [[noreturn]] static void Fail(int reportFd) {
    const int error = errno;
    (void)!write(reportFd, &error, sizeof error);
    _exit(127);
  }

  void Record(int status) {
    done_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
  }

  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

// Every message on the board, whole, in id order.
inline std::vector<board::MessageSummary> BoardMessages(const std::string& boardPath) {
  board::BoardAdmin admin = board::BoardAdmin::Open(boardPath);
  std::vector<board::MessageSummary> messages;
  for (const board::MessageSummary& listed : admin.ListMessages(std::nullopt, std::nullopt)) {
    messages.push_back(admin.Show(listed.id).value());
  }
  return messages;
}

// A second connection to a board, for looking at it while a run writes it:
// every query is one statement outside any transaction, so it never holds
// the run up.
class BoardProbe {
 public:
  explicit BoardProbe(const std::string& path) : db_(board::Database::Open(path, false)) {}

  // The integer in the first column of the first row of `sql`, with the
  // given values bound at ?1, ?2, ...
  int64_t Number(const std::string& sql, const std::vector<int64_t>& values = {}) {
    auto row = db_.Prepare(sql);
    for (size_t i = 0; i < values.size(); ++i) row->Bind(static_cast<int>(i + 1), values[i]);
    return row->Step() ? row->Int(0) : 0;
  }

 private:
  board::Database db_;
};

// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace obrix::testing
