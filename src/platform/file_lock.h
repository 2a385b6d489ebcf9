// An exclusive lock on a lock file, held for the life of the object.
#pragma once

#include <optional>
#include <string>

namespace obrix {

class FileLock {
 public:
  // Takes the lock on `path` (creating the file when missing), waiting up
  // to `timeoutSeconds` for another holder to let go. nullopt when it could
  // not be had in that time, or the file cannot be opened or is not a
  // plain file (nothing waits on a FIFO).
  static std::optional<FileLock> Acquire(const std::string& path, double timeoutSeconds);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(int handle) : handle_(handle) {}
  int handle_ = -1;
};

}  // namespace obrix
