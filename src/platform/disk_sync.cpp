#include "platform/disk_sync.h"

#include "platform/files.h"

namespace obrix {

namespace {

class MachineDiskSync final : public DiskSync {
 public:
  bool SyncFile(const std::string& path) override { return obrix::SyncFile(path); }
  bool SyncFolder(const std::string& path) override { return obrix::SyncFolder(path); }
};

}  // namespace

DiskSync& SystemDiskSync() {
  static MachineDiskSync sync;
  return sync;
}

}  // namespace obrix
