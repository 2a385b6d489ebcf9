#include <windows.h>

#include <string>

#include "platform/process.h"

namespace obrix {

namespace {

// The output file of `options`, inheritable by the child; null when the
// output is not redirected, INVALID_HANDLE_VALUE when it cannot be made.
HANDLE OutputFile(const ProcessOptions& options) {
  if (options.outputPath.empty()) return nullptr;
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  return ::CreateFileA(options.outputPath.c_str(), GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The child starts hidden and inherits no handle of ours but its output
// file; its words are quoted so that its runtime splits them back exactly.
// Windows has no per-process file-size limit and new files take their
// folder's access list: `maxFileSize` and `ownerOnlyFiles` are not
// enforced here.
int RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  if (arguments.empty() || arguments[0].empty()) return -1;
  const HANDLE output = OutputFile(options);
  if (output == INVALID_HANDLE_VALUE) return -1;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  if (output) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION info{};
  std::string mutableLine = WindowsCommandLine(arguments);
  const BOOL started =
      ::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, output ? TRUE : FALSE,
                       NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  if (output) ::CloseHandle(output);
  if (!started) return -1;
  ::CloseHandle(info.hThread);
  // Wait in slices of 100 ms, as the door always has.
  while (::WaitForSingleObject(info.hProcess, 100) != WAIT_OBJECT_0) {
  }
  DWORD code = 0;
  const BOOL haveCode = ::GetExitCodeProcess(info.hProcess, &code);
  const BOOL closed = ::CloseHandle(info.hProcess);
  if (!haveCode || !closed) return -1;
  return static_cast<int>(code);
}

}  // namespace obrix
