// The QWK packet's names and its archive.
//
// Every part of a packet has one name here, used by the writers that make
// the part, by the download that clears the work directory of old parts
// and by the upload that looks for the caller's reply packet. The parts in
// the work directory are zipped into packet id + ".qwk" by the external
// archiver, which moves them in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/run_context.h"

namespace obrix {

// The packet's parts in the work directory.
inline constexpr const char* kMessagesFile = "messages.dat";
inline constexpr const char* kControlFile = "control.dat";
inline constexpr const char* kDoorIdFile = "door.id";
inline constexpr const char* kNewFilesFile = "newfiles.dat";
inline constexpr const char* kHelloFile = "hello";
inline constexpr const char* kGoodbyeFile = "goodbye";
// The parts of QWKE and UTF-8 packets only: the caller's conferences for
// the reader, and the whole headers of every message.
inline constexpr const char* kToReaderFile = "toreader.ext";
inline constexpr const char* kHeadersFile = "headers.dat";
// Packet id + extension: the pointer file, the packet itself, the reply
// packet a caller uploads and the reply file inside it.
inline constexpr const char* kPointerExtension = ".ptr";
inline constexpr const char* kPacketExtension = ".qwk";
inline constexpr const char* kReplyArchiveExtension = ".rep";
inline constexpr const char* kReplyFileExtension = ".msg";

// True for the name of a temporary file of the archiver ("zi" and six
// letters or digits), which a run killed while zipping leaves behind.
bool IsArchiverTemporary(std::string_view name);

// The archiver's words that BuildPacketArchive runs: "zip", its switches,
// the packet, "--" and every part, one path per word; the names
// `extraParts` (parts of some kinds of packet only) come last.
std::vector<std::string> PacketArchiveCommand(const std::string& qwkPath,
                                              const std::string& packetId,
                                              const std::vector<std::string>& extraParts = {});

// Zips the packet's parts into QwkPath + packet id + ".qwk" with
// "zip -m -j -k ...", run by the context's process runner so that the
// packet is its owner's alone. Whatever had the packet's name before (a
// file, or a link, removed as itself) is gone first, so the archiver
// never writes through it. True when the archiver ran and succeeded;
// otherwise logs "There was a problem creating the QWK packet." and
// returns false. `extraParts` as for PacketArchiveCommand.
bool BuildPacketArchive(RunContext& context, const std::vector<std::string>& extraParts = {});

}  // namespace obrix
