#include <windows.h>

#include <string>

#include "platform/process.h"

namespace obrix {

// The child starts hidden and inherits no handle of ours. Windows has no
// per-process file-size limit; `maxFileSize` is not enforced here.
int RunProcess(const std::string& commandLine, const ProcessOptions& options) {
  if (commandLine.find_first_not_of(' ') == std::string::npos) return -1;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info{};
  std::string mutableLine = commandLine;
  (void)options;
  if (!::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info)) {
    return -1;
  }
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
