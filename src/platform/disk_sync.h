// Making local files durable before the run moves on: what a download
// syncs before the caller's pointers move past the mail in his packet.
#pragma once

#include <string>

namespace obrix {

// The syncs of local files a run makes; a test hands in one of its own to
// see their order among the run's other steps.
class DiskSync {
 public:
  virtual ~DiskSync() = default;
  // The file's data is on the disk when this returns true.
  virtual bool SyncFile(const std::string& path) = 0;
  // The folder's entries (files created or renamed in it) are on the disk
  // when this returns true.
  virtual bool SyncFolder(const std::string& path) = 0;
};

// The machine's own: SyncFile and SyncFolder of platform/files.h.
DiskSync& SystemDiskSync();

}  // namespace obrix
