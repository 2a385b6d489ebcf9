#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_mode.h"

namespace obrix {

bool CreateOwnerOnlyFile(const std::string& path, std::string& reason) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  // The mode given to open() passes through the umask, which can only take
  // rights away; set it exactly all the same.
  const bool restricted = fchmod(fd, 0600) == 0;
  if (!restricted) reason = std::strerror(errno);
  close(fd);
  if (!restricted) unlink(path.c_str());
  return restricted;
}

bool RestrictToOwner(const std::string& path, std::string& reason) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  struct stat st {};
  bool done = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!done) {
    reason = "not a regular file";
  } else if (fchmod(fd, 0600) != 0) {
    reason = std::strerror(errno);
    done = false;
  }
  close(fd);
  return done;
}

bool CreateOwnerOnlyDirectory(const std::string& path, std::string& reason) {
  if (mkdir(path.c_str(), 0700) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  // As for files: the umask may have taken more than the group's and
  // others' rights.
  if (chmod(path.c_str(), 0700) != 0) {
    reason = std::strerror(errno);
    rmdir(path.c_str());
    return false;
  }
  return true;
}

bool WritableByOthers(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace obrix
