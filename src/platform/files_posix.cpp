#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/failure.h"
#include "platform/files.h"
#include "platform/files_internal.h"

namespace obrix {

char PathSeparator() { return '/'; }

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsInstalledProgramFolder(const std::string& folder) {
  if (folder == "/usr" || folder.starts_with("/usr/")) return true;
  return access(folder.c_str(), W_OK) != 0;
}

LocalFile LocalFile::CreateFresh(const std::string& path) {
  RemoveTree(path);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) RaiseFileFailure(kFailurePermission, "Cannot create", path);
  return LocalFile(fd, path);
}

LocalFile LocalFile::OpenAppend(const std::string& path, bool create) {
  // Opened without blocking, so that a FIFO with no reader cannot hold the
  // run; only a plain file is kept, and it is then written blocking.
  int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  if (create) flags |= O_CREAT;
  const int fd = open(path.c_str(), flags, 0600);
  if (fd < 0) {
    if (errno == ENOENT) RaiseFileFailure(kFailureFileNotFound, "File not found:", path);
    if (errno == ELOOP || errno == ENXIO) {
      RaiseFileFailure(kFailurePathAccess, "Not a plain file:", path);
    }
    RaiseFileFailure(kFailurePermission, "Cannot open", path);
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    RaiseFileFailure(kFailurePathAccess, "Not a plain file:", path);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return LocalFile(fd, path);
}

std::optional<LocalFile> LocalFile::OpenRead(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return std::nullopt;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return LocalFile(fd, path);
}

void LocalFile::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(handle_, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileFailure(kFailureFileIo, "Cannot write", path_);
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

size_t LocalFile::Read(char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = read(handle_, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) RaiseFileFailure(kFailureFileIo, "Cannot read", path_);
  }
}

size_t LocalFile::ReadAt(char* buffer, size_t size, int64_t offset) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n =
        pread(handle_, buffer + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileFailure(kFailureFileIo, "Cannot read", path_);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t LocalFile::Size() const {
  struct stat st {};
  if (fstat(handle_, &st) != 0) RaiseFileFailure(kFailureFileIo, "Cannot read the size of", path_);
  return st.st_size;
}

int CloseDescriptor(int descriptor) { return close(descriptor); }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectory(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

bool RemoveFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(path.c_str()) == 0;
}

void RemoveTree(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    // Removes the entries it finds, links as links, and never descends
    // into a link.
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  } else {
    unlink(path.c_str());
  }
}

bool IsPlainFile(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t PlainFileSize(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool CanRead(const std::string& path, std::string& reason) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat st {};
  const bool plain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  if (!plain) reason = "not a regular file";
  return plain;
}

bool RenameFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

namespace {

bool Sync(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  int rc;
  do {
    rc = fsync(fd);
  } while (rc != 0 && errno == EINTR);
  close(fd);
  return rc == 0;
}

}  // namespace

bool SyncFile(const std::string& path) { return Sync(path, O_RDONLY); }

bool SyncFolder(const std::string& path) { return Sync(path, O_RDONLY | O_DIRECTORY); }

}  // namespace obrix
