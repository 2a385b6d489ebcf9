// What a local file does the same way on every platform: the failures it
// raises and the ownership of its descriptor. The system's calls are in
// files_posix.cpp and files_win32.cpp.
#include "platform/files.h"

#include <cerrno>
#include <cstring>

#include "base/failure.h"
#include "platform/files_internal.h"

namespace obrix {

void RaiseFileFailure(int32_t code, const std::string& what, const std::string& path) {
  throw Failure(code, what + " " + path + ": " + std::strerror(errno));
}

LocalFile::LocalFile(LocalFile&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

LocalFile& LocalFile::operator=(LocalFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) CloseDescriptor(handle_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = -1;
  }
  return *this;
}

LocalFile::~LocalFile() {
  if (handle_ >= 0) CloseDescriptor(handle_);
}

void LocalFile::Close() {
  if (handle_ < 0) return;
  const int fd = handle_;
  handle_ = -1;
  if (CloseDescriptor(fd) != 0) RaiseFileFailure(kFailureFileIo, "Cannot close", path_);
}

}  // namespace obrix
