#include <windows.h>

#include "platform/file_mode.h"

namespace obrix {

// On Windows a new file takes the access list of its folder; the board's
// folder should be one that only the sysop's account may read.
bool CreateOwnerOnlyFile(const std::string& path, std::string& reason) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = "cannot create the file (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  ::CloseHandle(handle);
  return true;
}

// A file moved within one folder tree keeps the access list it had; the
// work directory's own list is what guards it.
bool RestrictToOwner(const std::string& path, std::string& reason) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    reason = "not a regular file";
    return false;
  }
  return true;
}

// A new folder takes the access list of its parent, as a new file does.
bool CreateOwnerOnlyDirectory(const std::string& path, std::string& reason) {
  if (!::CreateDirectoryA(path.c_str(), nullptr)) {
    reason = "cannot create the folder (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  return true;
}

// Who may write a folder is its access list's business, which the sysop
// sets when he gives each node its folder; the mode bits POSIX checks have
// no counterpart here.
bool WritableByOthers(const std::string& path) {
  (void)path;
  return false;
}

}  // namespace obrix
