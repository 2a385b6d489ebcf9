#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/file_mode.h"

namespace obrix {

// On Windows a new file takes the access list of its folder; the board's
// folder should be one that only the sysop's account may read.
// The C runtime's calls, so that a failure is worded as on POSIX.
bool CreateOwnerOnlyFile(const std::string& path, std::string& reason) {
  const int fd = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  ::_close(fd);
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
  if (::_mkdir(path.c_str()) != 0) {
    reason = std::strerror(errno);
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
