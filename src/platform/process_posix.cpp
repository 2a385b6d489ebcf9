#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/process.h"

namespace obrix {

namespace {

// In the child: everything here must be async-signal-safe.

// Reports errno through the pipe `reportFd` and ends the child.
[[noreturn]] void ReportAndExit(int reportFd) {
  const int err = errno;
  (void)!write(reportFd, &err, sizeof err);
  _exit(127);
}

// Opens `path` and makes it descriptor `target`, and `second` too when it
// is not -1. False (errno set) when it cannot.
bool Redirect(const char* path, int flags, int target, int second) {
  const int fd = open(path, flags, 0600);
  if (fd < 0 || dup2(fd, target) < 0 || (second >= 0 && dup2(fd, second) < 0)) return false;
  if (fd > 2) close(fd);
  return true;
}

// `outputPath` is the options' output file, null when not redirected.
[[noreturn]] void ExecChild(char* const* argv, const ProcessOptions& options,
                            const char* outputPath, int reportFd) {
  if (options.nullInput && !Redirect("/dev/null", O_RDONLY, 0, -1)) ReportAndExit(reportFd);
  if (options.nullOutput && !Redirect("/dev/null", O_WRONLY, 1, 2)) ReportAndExit(reportFd);
  if (outputPath != nullptr) {
    unlink(outputPath);
    if (!Redirect(outputPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 1, -1)) {
      ReportAndExit(reportFd);
    }
  }
  if (options.ownerOnlyFiles) umask(077);
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
  ReportAndExit(reportFd);
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

int RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  if (arguments.empty() || arguments[0].empty()) return -1;
  std::vector<std::string> words = arguments;
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
    ExecChild(argv.data(), options,
              options.outputPath.empty() ? nullptr : options.outputPath.c_str(), report[1]);
  }
  close(report[1]);
  const bool execFailed = ExecFailed(report[0]);
  const int status = WaitForExit(pid);
  if (execFailed) return -1;  // the program could not be started
  return status;
}

}  // namespace obrix
