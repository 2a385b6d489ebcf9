#include <windows.h>

#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/start_retry_win32.h"

namespace obrix {

namespace {

// An inheritable handle on `path`, for one of the child's standard
// handles; INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE Inheritable(const char* path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  return ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The child's three standard handles, as the options have them; each
// handle opened here is closed with the object.
class StandardHandles {
 public:
  explicit StandardHandles(const ProcessOptions& options) {
    const bool nullOutput = options.nullOutput;
    in_ = options.nullInput ? Open("NUL", GENERIC_READ, OPEN_EXISTING)
                            : ::GetStdHandle(STD_INPUT_HANDLE);
    err_ =
        nullOutput ? Open("NUL", GENERIC_WRITE, OPEN_EXISTING) : ::GetStdHandle(STD_ERROR_HANDLE);
    if (!options.outputPath.empty()) {
      out_ = Open(options.outputPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    } else {
      out_ = nullOutput ? err_ : ::GetStdHandle(STD_OUTPUT_HANDLE);
    }
  }
  ~StandardHandles() {
    for (HANDLE h : opened_) ::CloseHandle(h);
  }
  StandardHandles(const StandardHandles&) = delete;
  StandardHandles& operator=(const StandardHandles&) = delete;

  bool ok() const { return ok_; }
  void SetInto(STARTUPINFOA& startup) const {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = in_;
    startup.hStdOutput = out_;
    startup.hStdError = err_;
  }

 private:
  HANDLE Open(const char* path, DWORD access, DWORD disposition) {
    const HANDLE h = Inheritable(path, access, disposition);
    if (h == INVALID_HANDLE_VALUE) {
      ok_ = false;
      return nullptr;
    }
    opened_.push_back(h);
    return h;
  }

  HANDLE in_ = nullptr;
  HANDLE out_ = nullptr;
  HANDLE err_ = nullptr;
  std::vector<HANDLE> opened_;
  bool ok_ = true;
};

}  // namespace

// The child starts hidden, with its standard handles as the options have
// them (the null device, the output file, or ours); its words are quoted
// so that its runtime splits them back exactly. Windows has no per-process
// file-size limit and new files take their folder's access list:
// `maxFileSize` and `ownerOnlyFiles` are not enforced here.
int RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
  if (arguments.empty() || arguments[0].empty()) return -1;
  PROCESS_INFORMATION info{};
  {
    const StandardHandles handles(options);
    if (!handles.ok()) return -1;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    handles.SetInto(startup);
    std::string mutableLine = WindowsCommandLine(arguments);
    const bool started = StartRetried([&] {
      return ::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                              NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                              &info) != FALSE;
    });
    if (!started) return -1;
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
