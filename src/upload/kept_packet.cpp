#include "upload/kept_packet.h"

#include <cstdio>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "platform/file_mode.h"
#include "platform/files.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "upload/rep_archive.h"

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

// "yyyymmdd-hhmmss".
std::string Stamp(const SYSTEMTIME& now) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", unsigned{now.wYear},
                unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                unsigned{now.wMinute}, unsigned{now.wSecond});
  return stamp;
}

// The file name of `path`.
std::string FileName(const std::string& path) {
  const size_t separator = path.find_last_of(PathSeparator());
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Moves the REP at `archive` into QwkPath + "kept/" as `name` (see
// ClaimReplyPacket).
std::string MoveIntoKept(RunContext& context, const std::string& archive, const std::string& name) {
  const std::string folder = KeptFolder(context.state.QwkPath);
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

}  // namespace

std::string KeptPacketName(const std::string& packetId, int32_t userId, const SYSTEMTIME& now) {
  return packetId + "-" + Decimal(userId) + "-" + Stamp(now) + kReplyArchiveExtension;
}

std::string UnownedPacketName(const std::string& foundName, const SYSTEMTIME& now) {
  const size_t dot = foundName.find_last_of('.');
  const std::string stem = dot == std::string::npos ? foundName : foundName.substr(0, dot);
  return stem + "-" + kUnknownOwner + "-" + Stamp(now) + kReplyArchiveExtension;
}

std::string ClaimReplyPacket(RunContext& context, const std::string& archive,
                             const std::string& packetId) {
  return MoveIntoKept(context, archive,
                      KeptPacketName(packetId, context.state.UserId, context.clock.LocalNow()));
}

std::string KeepUnownedPacket(RunContext& context, const std::string& archive) {
  return MoveIntoKept(context, archive,
                      UnownedPacketName(FileName(archive), context.clock.LocalNow()));
}

bool KeepStrayReplyPackets(RunContext& context, const std::string& packetId) {
  const std::string& qwkPath = context.state.QwkPath;
  const std::vector<std::string> names = MatchingNames(qwkPath, packetId + kReplyArchiveExtension);
  try {
    for (const std::string& name : names) {
      std::string path = qwkPath + name;
      // Only a plain file with something in it is a packet; FileExists
      // deletes an empty one.
      if (PlainFileSize(path) <= 0) {
        (void)FileExists(context.server, path);
        continue;
      }
      std::string line = "Reply packet " + path + " belongs to no caller of this run: kept as ";
      line += KeepUnownedPacket(context, path);
      context.log.Line(line);
    }
    if (!names.empty()) SyncClaim(context);
  } catch (const Failure& failure) {
    context.log.Line(failure.description());
    return false;
  }
  return true;
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
