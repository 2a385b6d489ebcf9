#include "support/test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace obrix::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "obrix-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only folders removable again before removing them.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << bytes;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> LogMessages(const std::string& logPath) {
  std::vector<std::string> messages;
  for (const std::string& line : SplitCrLf(ReadFile(logPath))) {
    // "mm/dd/yyyy hh:mm:ss " is 20 characters.
    const bool stamped = line.size() >= 20 && line[2] == '/' && line[5] == '/' && line[10] == ' ' &&
                         line[13] == ':' && line[16] == ':' && line[19] == ' ';
    messages.push_back(stamped ? line.substr(20) : line);
  }
  return messages;
}

namespace {

// An unnamed temporary file open for reading and writing, holding `bytes`
// from its start.
int UnnamedFile(const std::string& bytes) {
  std::string name = (std::filesystem::temp_directory_path() / "obrix-run-XXXXXX").string();
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("mkostemp failed");
  unlink(name.c_str());
  if (!bytes.empty() &&
      (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
       lseek(fd, 0, SEEK_SET) != 0)) {
    close(fd);
    throw std::runtime_error("cannot write a program's input");
  }
  return fd;
}

// The child's side of a start: sets the process up and executes the
// program, or writes errno to `report` and exits.
[[noreturn]] void Exec(const std::vector<std::string>& argv, const std::string& workingDirectory,
                       const RunOptions& options, int input, int output, int report) {
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

Process::Process(const std::vector<std::string>& argv, const std::string& workingDirectory,
                 const RunOptions& options) {
  output_ = UnnamedFile("");
  const int input =
      options.input.empty() ? open("/dev/null", O_RDONLY | O_CLOEXEC) : UnnamedFile(options.input);
  int report[2];
  if (input < 0 || pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) Exec(argv, workingDirectory, options, input, output_, report[1]);
  // The parent sets the group too, so that it exists before any kill.
  setpgid(pid_, pid_);
  close(input);
  close(report[1]);
  int childError = 0;
  const ssize_t n = read(report[0], &childError, sizeof childError);
  close(report[0]);
  if (n > 0) {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(childError));
  }
}

Process::~Process() {
  Kill();
  if (output_ >= 0) close(output_);
}

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), status_(other.status_), output_(other.output_) {
  other.pid_ = -1;
  other.output_ = -1;
}

bool Process::Running() {
  if (pid_ <= 0) return false;
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid == 0) {
    return true;
  }
  kill(-pid_, SIGKILL);  // its archiver, if one was left behind
  int status = 0;
  waitpid(pid_, &status, 0);
  Reap(status);
  return false;
}

int Process::Wait(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  auto pause = std::chrono::microseconds(100);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ADD_FAILURE() << "the program did not end within " << seconds << " s";
      Kill();
      status_ = -2;
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
  return status_;
}

void Process::Kill() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  Reap(status);
}

void Process::Stop() {
  if (pid_ > 0) kill(-pid_, SIGSTOP);
}

void Process::Continue() {
  if (pid_ > 0) kill(-pid_, SIGCONT);
}

std::string Process::Output() const {
  std::string output;
  char buffer[4096];
  ssize_t n;
  for (off_t at = 0; (n = pread(output_, buffer, sizeof buffer, at)) > 0; at += n) {
    output.append(buffer, static_cast<size_t>(n));
  }
  return output;
}

ProcessResult Process::Finish(double seconds) {
  const int status = Wait(seconds);
  return {status, Output()};
}

void Process::Reap(int status) {
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
}

Process StartProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                     const RunOptions& options) {
  return Process(argv, workingDirectory, options);
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                         const std::map<std::string, std::string>& environment,
                         const std::string& input) {
  return StartProgram(argv, workingDirectory, {.environment = environment, .input = input})
      .Finish(120);
}

std::string ObrixBinary() { return OBRIX_BINARY; }
std::string BoardBinary() { return OBRIX_BOARD_BINARY; }

std::string InstallObrix(const std::string& dir) {
  std::string target = dir + "/obrix";
  std::filesystem::remove(target);
  std::error_code linked;
  std::filesystem::create_hard_link(ObrixBinary(), target, linked);
  if (linked) std::filesystem::copy_file(ObrixBinary(), target);
  return target;
}

}  // namespace obrix::testing
