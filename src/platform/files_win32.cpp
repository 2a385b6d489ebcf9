#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// <windows.h> makes CreateDirectory a macro for CreateDirectoryA, which would
// rename this file's CreateDirectory away from the one its callers see.
#undef CreateDirectory

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/failure.h"
#include "platform/files.h"
#include "platform/files_internal.h"

namespace obrix {

namespace {

// Links on Windows are reparse points; the work directory never follows one.
bool IsReparsePoint(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Runs `remove` until it succeeds or the file it removes stays in use for
// a second; returns its last answer. A child's handles on a file (the
// archiver's output) may close a moment after the child has ended (Wine
// does this, a virus scanner too), and a file open elsewhere cannot be
// removed on Windows.
template <typename Remove>
bool WhileInUse(Remove remove) {
  for (int attempt = 0;; ++attempt) {
    if (remove()) return true;
    const DWORD error = ::GetLastError();
    const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                       error == ERROR_DIR_NOT_EMPTY || error == ERROR_LOCK_VIOLATION;
    if (!inUse || attempt == 20) return false;
    ::Sleep(50);
  }
}

}  // namespace

char PathSeparator() { return '\\'; }

std::string ProgramDirectory() {
  char buffer[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ".";
  std::string path(buffer, n);
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsInstalledProgramFolder(const std::string& folder) {
  return _access(folder.c_str(), 2) != 0;  // 2: may be written
}

LocalFile LocalFile::CreateFresh(const std::string& path) {
  RemoveTree(path);
  const int fd = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
  if (fd < 0) RaiseFileFailure(kFailurePermission, "Cannot create", path);
  return LocalFile(fd, path);
}

LocalFile LocalFile::OpenAppend(const std::string& path, bool create) {
  if (IsReparsePoint(path)) {
    errno = EINVAL;
    RaiseFileFailure(kFailurePathAccess, "Not a plain file:", path);
  }
  int flags = _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT;
  if (create) flags |= _O_CREAT;
  const int fd = ::_open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    if (errno == ENOENT) RaiseFileFailure(kFailureFileNotFound, "File not found:", path);
    RaiseFileFailure(kFailurePermission, "Cannot open", path);
  }
  // A pipe or a device under the name is no log and no lock file.
  if (::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    ::_close(fd);
    errno = EINVAL;
    RaiseFileFailure(kFailurePathAccess, "Not a plain file:", path);
  }
  return LocalFile(fd, path);
}

std::optional<LocalFile> LocalFile::OpenRead(const std::string& path) {
  if (IsReparsePoint(path)) return std::nullopt;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return std::nullopt;
  return LocalFile(fd, path);
}

void LocalFile::Write(std::string_view data) {
  while (!data.empty()) {
    const unsigned chunk =
        data.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned>(data.size());
    const int n = ::_write(handle_, data.data(), chunk);
    if (n < 0) RaiseFileFailure(kFailureFileIo, "Cannot write", path_);
    data.remove_prefix(static_cast<size_t>(n));
  }
}

size_t LocalFile::Read(char* buffer, size_t size) {
  const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
  const int n = ::_read(handle_, buffer, chunk);
  if (n < 0) RaiseFileFailure(kFailureFileIo, "Cannot read", path_);
  return static_cast<size_t>(n);
}

size_t LocalFile::ReadAt(char* buffer, size_t size, int64_t offset) {
  if (::_lseeki64(handle_, offset, SEEK_SET) < 0) {
    RaiseFileFailure(kFailureFileIo, "Cannot seek", path_);
  }
  size_t done = 0;
  while (done < size) {
    const size_t n = Read(buffer + done, size - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t LocalFile::Size() const {
  struct _stat64 st {};
  if (::_fstat64(handle_, &st) != 0) {
    RaiseFileFailure(kFailureFileIo, "Cannot read the size of", path_);
  }
  return st.st_size;
}

int CloseDescriptor(int descriptor) { return ::_close(descriptor); }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool CreateDirectory(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr); }

bool RemoveFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  return WhileInUse([&] { return ::DeleteFileA(path.c_str()) != 0; });
}

void RemoveTree(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WhileInUse([&] {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
      return !ec;
    });
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    ::RemoveDirectoryA(path.c_str());  // a link to a folder: the link alone
  } else {
    ::DeleteFileA(path.c_str());
  }
}

bool IsPlainFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

int64_t PlainFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return -1;
  return (int64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool CanRead(const std::string& path, std::string& reason) {
  if (!IsPlainFile(path)) {
    reason = "not a regular file";
    return false;
  }
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  ::_close(fd);
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
}

bool SyncFile(const std::string& path) {
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const BOOL flushed = ::FlushFileBuffers(handle);
  ::CloseHandle(handle);
  return flushed;
}

// NTFS journals its folder entries; a created or renamed file's entry is
// on the disk once the file's own data is flushed.
bool SyncFolder(const std::string& path) { return IsDirectory(path); }

}  // namespace obrix
