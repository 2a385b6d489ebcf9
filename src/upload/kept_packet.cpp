#include "upload/kept_packet.h"

#include <cstdio>

#include "base/failure.h"
#include "base/text.h"
#include "platform/file_mode.h"
#include "platform/files.h"

namespace obrix {

namespace {

// The folder QwkPath + "kept", created when missing. Raises Failure when
// something else has the name (a link included) or it cannot be created.
std::string KeptFolder(const std::string& qwkPath) {
  const std::string folder = qwkPath + kKeptFolderName;
  if (IsDirectory(folder)) return folder + PathSeparator();
  std::string reason;
  if (!CreateOwnerOnlyDirectory(folder, reason)) {
    throw Failure(kFailurePermission, "Cannot keep the reply packet in " + folder + ": " + reason);
  }
  return folder + PathSeparator();
}

}  // namespace

std::string KeptPacketName(const std::string& packetId, int32_t userId, const SYSTEMTIME& now) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", unsigned{now.wYear},
                unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                unsigned{now.wMinute}, unsigned{now.wSecond});
  return packetId + "-" + Decimal(userId) + "-" + stamp + ".rep";
}

std::string ClaimReplyPacket(RunContext& context, const std::string& archive,
                             const std::string& packetId) {
  const std::string folder = KeptFolder(context.state.QwkPath);
  const std::string name = KeptPacketName(packetId, context.state.UserId, context.clock.LocalNow());
  const std::string stem = name.substr(0, name.size() - 4);
  // The work directory's lock keeps other runs away while a name is
  // chosen; a rename never replaces what has the name.
  for (int attempt = 1; attempt <= 100; ++attempt) {
    std::string kept = folder;
    if (attempt == 1) {
      kept += name;
    } else {
      kept.append(stem).append("-").append(Decimal(attempt)).append(".rep");
    }
    if (!RenameFile(archive, kept)) continue;
    // In a folder only its owner may enter, a mode left open is no leak.
    std::string reason;
    (void)RestrictToOwner(kept, reason);
    return kept;
  }
  throw Failure(kFailurePermission, "Cannot move " + archive + " into " + folder);
}

void SyncClaim(RunContext& context) {
  const std::string& qwkPath = context.state.QwkPath;
  for (const std::string& folder : {qwkPath + kKeptFolderName, qwkPath}) {
    if (!context.disk.SyncFolder(folder)) {
      throw Failure(kFailureFileIo, "Cannot sync " + folder + " to the disk");
    }
  }
}

}  // namespace obrix
