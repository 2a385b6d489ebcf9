#include <windows.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "platform/child_process.h"
#include "platform/process.h"
#include "platform/start_retry_win32.h"

namespace obrix {

namespace {

// The exit code a kill gives the job's processes; reported as -1.
constexpr UINT kKilled = 0xDEAD;

// A kernel handle closed on destruction.
struct OwnedHandle {
  HANDLE handle = nullptr;
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : handle(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(nullptr); }
  void Reset(HANDLE h) {
    if (handle) ::CloseHandle(handle);
    handle = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }
};

std::string LastError() {
  char text[512] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ::GetLastError(), 0, text, sizeof text, nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

// A new temporary file's path; the file itself is created by the caller.
std::string TemporaryPath() {
  std::random_device random;
  return (std::filesystem::temp_directory_path() /
          ("obrix-run-" + std::to_string(random()) + ".tmp"))
      .string();
}

// Opens `path`, inheritable and shared with every other opener, so that
// the child writes while we read.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inheritable, disposition, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

// Our environment with `overrides` set on top, as the block CreateProcess
// takes: NAME=value texts, each ended by a null, then one more null.
std::string EnvironmentBlock(const std::map<std::string, std::string>& overrides) {
  std::map<std::string, std::string> variables;
  if (char* strings = ::GetEnvironmentStringsA()) {
    for (const char* entry = strings; *entry; entry += std::strlen(entry) + 1) {
      const char* equals = std::strchr(entry + 1, '=');  // "=C:=C:\..." starts with one
      if (equals) variables[std::string(entry, equals)] = equals + 1;
    }
    ::FreeEnvironmentStringsA(strings);
  }
  for (const auto& [name, value] : overrides) variables[name] = value;
  std::string block;
  for (const auto& [name, value] : variables) block += name + "=" + value + '\0';
  block += '\0';
  return block;
}

}  // namespace

struct ChildProcess::Handles {
  OwnedHandle job;
  OwnedHandle process;
  std::string outputPath;
  ~Handles() {
    if (!outputPath.empty()) ::DeleteFileA(outputPath.c_str());
  }
};

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const std::string& workingDirectory,
                                                  const ChildOptions& options,
                                                  std::string& reason) {
  if (options.user) {
    reason = "Windows runs no program under another user id";
    return nullptr;
  }
  auto handles = std::make_unique<Handles>();
  handles->outputPath = TemporaryPath();
  const OwnedHandle output(OpenShared(handles->outputPath, GENERIC_WRITE, CREATE_NEW));
  std::string inputPath;
  if (!options.input.empty()) {
    inputPath = TemporaryPath();
    const OwnedHandle writer(OpenShared(inputPath, GENERIC_WRITE, CREATE_NEW));
    DWORD written = 0;
    if (!writer.handle ||
        !::WriteFile(writer.handle, options.input.data(), static_cast<DWORD>(options.input.size()),
                     &written, nullptr)) {
      reason = LastError();
      return nullptr;
    }
  }
  const OwnedHandle input(
      OpenShared(inputPath.empty() ? "NUL" : inputPath, GENERIC_READ, OPEN_EXISTING));
  if (!inputPath.empty()) ::DeleteFileA(inputPath.c_str());  // goes once closed
  handles->job.Reset(::CreateJobObjectA(nullptr, nullptr));
  if (!output.handle || !input.handle || !handles->job.handle) {
    reason = LastError();
    return nullptr;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = input.handle;
  startup.hStdOutput = output.handle;
  startup.hStdError = output.handle;
  std::string commandLine = WindowsCommandLine(argv);
  std::string environment = EnvironmentBlock(options.environment);
  const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW |
                      (options.lowPriority ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
  PROCESS_INFORMATION info{};
  // Only the three standard handles are inheritable; the child gets them.
  const bool started = StartRetried([&] {
    return ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags,
                            environment.data(), workingDirectory.c_str(), &startup, &info) != FALSE;
  });
  if (!started) {
    reason = LastError();
    return nullptr;
  }
  const OwnedHandle thread(info.hThread);
  handles->process.Reset(info.hProcess);
  // In the job before it runs, so that whatever it starts is in it too.
  if (!::AssignProcessToJobObject(handles->job.handle, info.hProcess)) {
    reason = LastError();
    ::TerminateProcess(info.hProcess, kKilled);
    return nullptr;
  }
  ::ResumeThread(info.hThread);
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Running() {
  if (!handles_->process.handle) return false;
  if (::WaitForSingleObject(handles_->process.handle, 0) == WAIT_TIMEOUT) return true;
  Kill();  // keeps its status, and ends an archiver left behind
  return false;
}

void ChildProcess::Kill() {
  const HANDLE process = handles_->process.handle;
  if (!process) return;
  ::TerminateJobObject(handles_->job.handle, kKilled);
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = kKilled;
  ::GetExitCodeProcess(process, &code);
  status_ = code == kKilled ? -1 : static_cast<int>(code);
  handles_->process.Reset(nullptr);
}

// Windows can suspend threads, not a process tree; nothing uses it here.
bool ChildProcess::Stop() { return false; }
bool ChildProcess::Continue() { return false; }

std::string ChildProcess::Output() const {
  const OwnedHandle file(OpenShared(handles_->outputPath, GENERIC_READ, OPEN_EXISTING));
  std::string output;
  if (!file.handle) return output;
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(file.handle, buffer, sizeof buffer, &n, nullptr) && n > 0)
    output.append(buffer, n);
  return output;
}

}  // namespace obrix
