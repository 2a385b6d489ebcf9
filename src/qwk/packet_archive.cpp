// The QWK packet: the parts in the work directory zipped into
// packet id + ".qwk" by the external archiver, which moves them in.
#include "qwk/packet_archive.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/command_runner.h"
#include "platform/files.h"

namespace obrix {

namespace {

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// True when anything (a file, a folder, a link) has the name `path`.
bool AnythingNamed(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() !=
         std::filesystem::file_type::not_found;
}

}  // namespace

bool IsArchiverTemporary(std::string_view name) {
  if (name.size() != 8 || name.substr(0, 2) != "zi") return false;
  for (const char c : name.substr(2)) {
    if (!IsLetterOrDigit(c)) return false;
  }
  return true;
}

std::vector<std::string> PacketArchiveCommand(const std::string& qwkPath,
                                              const std::string& packetId,
                                              const std::vector<std::string>& extraParts) {
  // -m moves each part into the archive, -j drops the folder from the
  // stored names, -k stores MS-DOS names (upper case, 8.3). Every part is
  // listed whether or not this download made it; the archiver skips
  // missing names. Every path is absolute, and "--" after the archive
  // (zip takes none before it) ends the options all the same.
  const std::string parts[] = {kMessagesFile, kNewFilesFile, packetId + kPointerExtension,
                               kControlFile,  kDoorIdFile,   kHelloFile,
                               kGoodbyeFile};
  std::vector<std::string> command = {
      "zip", "-m", "-j", "-k", qwkPath + packetId + kPacketExtension, "--"};
  for (const std::string& part : parts) command.push_back(qwkPath + part);
  for (const std::string& part : extraParts) command.push_back(qwkPath + part);
  return command;
}

bool BuildPacketArchive(RunContext& context, const std::vector<std::string>& extraParts) {
  MakewildRecord board;
  context.server.vbGetMakewild(board);
  const std::string packetId = board.packetId.Trimmed();
  const std::string& directory = context.state.QwkPath;
  const std::string packet = directory + packetId + kPacketExtension;
  RemoveTree(packet);

  ProcessOptions options;
  options.nullInput = true;
  options.ownerOnlyFiles = true;
  // A true result promises the download a packet to hand over.
  if (AnythingNamed(packet) ||
      !RunCommand(context.processes, PacketArchiveCommand(directory, packetId, extraParts),
                  options) ||
      !IsPlainFile(packet)) {
    context.log.Line("There was a problem creating the QWK packet.");
    return false;
  }
  return true;
}

}  // namespace obrix
