#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/child_process.h"

namespace obrix {

struct ChildProcess::Handles {
  pid_t pid = -1;
  int output = -1;
  ~Handles() {
    if (output >= 0) close(output);
  }
};

namespace {

// An unnamed temporary file open for reading and writing, holding `bytes`
// from its start; -1 when it cannot be made.
int UnnamedFile(const std::string& bytes) {
  std::string name = (std::filesystem::temp_directory_path() / "obrix-run-XXXXXX").string();
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  unlink(name.c_str());
  if (!bytes.empty() &&
      (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
       lseek(fd, 0, SEEK_SET) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

// The child's side of a start: sets the process up and executes the
// program, or writes errno to `report` and exits.
[[noreturn]] void Exec(const std::vector<std::string>& argv, const std::string& workingDirectory,
                       const ChildOptions& options, int input, int output, int report) {
  const bool ready = setpgid(0, 0) == 0 && dup2(input, 0) >= 0 && dup2(output, 1) >= 0 &&
                     dup2(output, 2) >= 0 && chdir(workingDirectory.c_str()) == 0 &&
                     (!options.user || (setgroups(0, nullptr) == 0 && setgid(*options.user) == 0 &&
                                        setuid(*options.user) == 0));
  if (ready) {
    if (options.lowPriority) (void)!nice(19);
    for (const auto& [key, value] : options.environment) setenv(key.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
  }
  const int error = errno;
  (void)!write(report, &error, sizeof error);
  _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const std::string& workingDirectory,
                                                  const ChildOptions& options,
                                                  std::string& reason) {
  auto handles = std::make_unique<Handles>();
  handles->output = UnnamedFile("");
  const int input =
      options.input.empty() ? open("/dev/null", O_RDONLY | O_CLOEXEC) : UnnamedFile(options.input);
  int report[2];
  if (handles->output < 0 || input < 0 || pipe2(report, O_CLOEXEC) != 0) {
    if (input >= 0) close(input);
    reason = std::strerror(errno);
    return nullptr;
  }
  const pid_t pid = fork();
  if (pid == 0) Exec(argv, workingDirectory, options, input, handles->output, report[1]);
  // The parent sets the group too, so that it exists before any kill.
  if (pid > 0) setpgid(pid, pid);
  const int forkError = errno;
  close(input);
  close(report[1]);
  int childError = pid < 0 ? forkError : 0;
  const ssize_t n = pid < 0 ? 0 : read(report[0], &childError, sizeof childError);
  close(report[0]);
  if (pid < 0 || n > 0) {
    if (pid > 0) waitpid(pid, nullptr, 0);
    reason = std::strerror(childError);
    return nullptr;
  }
  handles->pid = pid;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Running() {
  const pid_t pid = handles_->pid;
  if (pid <= 0) return false;
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid == 0) {
    return true;
  }
  Kill();  // reaps it, and kills an archiver left behind
  return false;
}

void ChildProcess::Kill() {
  const pid_t pid = handles_->pid;
  if (pid <= 0) return;
  kill(-pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  handles_->pid = -1;
}

bool ChildProcess::Stop() { return handles_->pid > 0 && kill(-handles_->pid, SIGSTOP) == 0; }

bool ChildProcess::Continue() { return handles_->pid > 0 && kill(-handles_->pid, SIGCONT) == 0; }

std::string ChildProcess::Output() const {
  std::string output;
  char buffer[4096];
  ssize_t n;
  for (off_t at = 0; (n = pread(handles_->output, buffer, sizeof buffer, at)) > 0; at += n) {
    output.append(buffer, static_cast<size_t>(n));
  }
  return output;
}

}  // namespace obrix
