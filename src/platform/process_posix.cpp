#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/process.h"

namespace obrix {

namespace {

std::vector<std::string> SplitWords(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  for (char c : commandLine) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// In the child: everything here must be async-signal-safe.
[[noreturn]] void ExecChild(char* const* argv, const ProcessOptions& options, int reportFd) {
  if (options.nullInput) {
    const int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, 0) < 0) {
      const int err = errno;
      (void)!write(reportFd, &err, sizeof err);
      _exit(127);
    }
    if (null > 2) close(null);
  }
  if (options.nullOutput) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) {
      const int err = errno;
      (void)!write(reportFd, &err, sizeof err);
      _exit(127);
    }
    if (null > 2) close(null);
  }
  if (options.maxFileSize > 0) {
    rlimit limit{options.maxFileSize, options.maxFileSize};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  signal(SIGXFSZ, SIG_DFL);
  // Close every descriptor above standard error except the report pipe,
  // which closes itself on exec.
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != reportFd) close(fd);
  }
  execvp(argv[0], argv);
  const int err = errno;
  (void)!write(reportFd, &err, sizeof err);
  _exit(127);
}

// The argument vector execvp takes: the words, then a null pointer.
std::vector<char*> ArgumentVector(std::vector<std::string>& words) {
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return argv;
}

// True when the child reported through the pipe `reportFd` that it could
// not start the program; closes the pipe.
bool ExecFailed(int reportFd) {
  int childErrno = 0;
  ssize_t n;
  do {
    n = read(reportFd, &childErrno, sizeof childErrno);
  } while (n < 0 && errno == EINTR);
  close(reportFd);
  return n > 0;
}

// The child's exit status once it has ended; -1 when it did not exit
// normally.
int WaitForExit(pid_t pid) {
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

int RunProcess(const std::string& commandLine, const ProcessOptions& options) {
  std::vector<std::string> words = SplitWords(commandLine);
  if (words.empty()) return -1;
  std::vector<char*> argv = ArgumentVector(words);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) {
    close(report[0]);
    close(report[1]);
    return -1;
  }
  if (pid == 0) {
    close(report[0]);
    ExecChild(argv.data(), options, report[1]);
  }
  close(report[1]);
  const bool execFailed = ExecFailed(report[0]);
  const int status = WaitForExit(pid);
  if (execFailed) return -1;  // the program could not be started
  return status;
}

}  // namespace obrix
