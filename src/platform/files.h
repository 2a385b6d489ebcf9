// Local files, the portable way.
//
// The work directory is shared by every run of the door, so the files the
// system creates there are created afresh: whatever has the name (a plain
// file, a link, a folder left by someone) is removed first, and links are
// never followed. Failures are raised as Failure (kFailurePermission when a
// file cannot be opened or created, kFailureFileIo when it cannot be read
// or written, kFailurePathAccess when a name is not a plain file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace obrix {

// The separator of local paths on this platform.
char PathSeparator();

// The folder that holds the running program file, without a trailing
// separator.
std::string ProgramDirectory();

// True for the folder of a program installed by the system: one the run
// may not write, or one under /usr, where a packaged program never keeps
// files of its own at run time (whoever runs it, root included).
bool IsInstalledProgramFolder(const std::string& folder);

// A move-only handle on an open local file. The files it creates are
// readable and writable by their owner only.
class LocalFile {
 public:
  // Removes whatever has the name `path` (without following a link) and
  // creates a new, empty plain file for writing.
  static LocalFile CreateFresh(const std::string& path);
  // Opens an existing plain file for appending. A link or anything but a
  // plain file (a FIFO, a device) is refused (kFailurePathAccess) without
  // waiting on it; a missing file raises kFailureFileNotFound unless
  // `create` is set, which creates it.
  static LocalFile OpenAppend(const std::string& path, bool create = false);
  // Opens an existing plain file for reading; nullopt when it is missing,
  // is a link or anything but a plain file, or cannot be opened.
  static std::optional<LocalFile> OpenRead(const std::string& path);

  LocalFile(LocalFile&& other) noexcept;
  LocalFile& operator=(LocalFile&& other) noexcept;
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;
  ~LocalFile();

  void Write(std::string_view data);
  // Reads up to `size` bytes at the current position; 0 at the end.
  size_t Read(char* buffer, size_t size);
  // Reads up to `size` bytes at byte offset `offset` (0-based).
  size_t ReadAt(char* buffer, size_t size, int64_t offset);
  int64_t Size() const;
  // Closes the file, raising kFailureFileIo when the close fails.
  void Close();

 private:
  LocalFile(int handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  int handle_ = -1;
  std::string path_;
};

// True when `path` names a folder (links not followed).
bool IsDirectory(const std::string& path);
// Creates one folder level that only its owner may use (the umask may take
// more away); false when it cannot.
bool CreateDirectory(const std::string& path);
// The removals never follow a link: a link is removed as itself, and the
// removal of a folder never reaches through a link inside it.
//
// Removes a file or link (not a folder); false when nothing was removed.
bool RemoveFile(const std::string& path);
// Removes whatever has the name: a folder with all it holds, a file or a
// link. Nothing when there is nothing; no error report.
void RemoveTree(const std::string& path);
// True when `path` names a plain file (links not followed).
bool IsPlainFile(const std::string& path);
// Size of a plain file in bytes, -1 when it is not one.
int64_t PlainFileSize(const std::string& path);
// True when the plain file `path` can be opened for reading; otherwise
// `reason` says why (the system's description).
bool CanRead(const std::string& path, std::string& reason);
// Renames `from` to `to` in the same file system; false (nothing moved)
// when anything already has the name `to` or the rename fails.
bool RenameFile(const std::string& from, const std::string& to);

// Durability: the data of the file `path` and the entries of the folder
// `path` (a file created, renamed or removed in it) reach the disk before
// these return true. False when they cannot be synced.
bool SyncFile(const std::string& path);
bool SyncFolder(const std::string& path);

}  // namespace obrix
