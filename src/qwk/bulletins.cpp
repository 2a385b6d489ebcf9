// The board's welcome and goodbye screens as the packet's "hello" and
// "goodbye", copied from the server's display files.
#include <algorithm>
#include <array>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "platform/files.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "server/packet_settings.h"
#include "server/server_file.h"
#include "server/server_path.h"

namespace obrix {

namespace {

// Server files move through one buffer of this size, kept for the whole run.
constexpr uint32_t kTransferSize = 8073;

std::array<char, kTransferSize>& TransferBuffer() {
  static std::array<char, kTransferSize> buffer;
  return buffer;
}

// Runs one copy; a Failure inside it ends that copy only. True when the
// copy reached the local file.
template <typename Copy>
bool IgnoringFailure(Copy&& copy) {
  try {
    return copy();
  } catch (const Failure&) {
    return false;
  }
}

}  // namespace

bool CopyServerFile(Server& server, const std::string& serverPath, const std::string& localPath,
                    bool append) {
  std::string path = serverPath;
  if (!server.WcExistFile(path)) return false;
  const int32_t opened = server.WcCreateFile(path, kGenericRead, kFileShareRead, kOpenExisting);
  if (opened == -1) return false;
  ServerFileHandle handle(server, opened);

  LocalFile local =
      append ? LocalFile::OpenAppend(localPath, true) : LocalFile::CreateFresh(localPath);
  auto& buffer = TransferBuffer();
  uint32_t bytesRead = 0;
  while (server.WcReadFile(handle.get(), buffer.data(), kTransferSize, bytesRead) &&
         bytesRead > 0) {
    local.Write(std::string_view(buffer.data(), std::min(bytesRead, kTransferSize)));
  }
  local.Close();
  return true;
}

void AddBulletins(RunContext& context, const std::string& workDirectory) {
  Server& server = context.server;
  const std::string hello = workDirectory + kHelloFile;
  const std::string goodbye = workDirectory + kGoodbyeFile;
  // Nothing left from an earlier run, or planted by an uploaded archive,
  // may reach this packet.
  for (const std::string& path : {hello, goodbye}) {
    if (IsDirectory(path)) {
      RemoveTree(path);
    } else {
      RemoveFile(path);
    }
  }

  bool wanted = true;  // a setting that cannot be read counts as true
  IgnoringFailure([&] {
    wanted = SettingIsTrue(
        server.vbGetUserVariable(context.state.UserId, kProfileSection, kIncludeNewBulletins, "0"));
    return true;
  });
  if (wanted) {
    IgnoringFailure([&] {
      context.log.Line("Including Bulletins [Not available at this time]");
      return true;
    });
  }

  // The welcome screens follow one another in "hello", prelog first.
  bool helloStarted = false;
  auto addWelcome = [&](const std::string& serverPath) {
    if (IgnoringFailure([&] { return CopyServerFile(server, serverPath, hello, helloStarted); })) {
      helloStarted = true;
    }
  };
  addWelcome(DisplayPath("prelog.bbs"));
  for (int n = 1; n <= 9; ++n) addWelcome(DisplayPath("hello" + Decimal(n) + ".bbs"));

  IgnoringFailure(
      [&] { return CopyServerFile(server, DisplayPath("goodbye.bbs"), goodbye, false); });
}

}  // namespace obrix
