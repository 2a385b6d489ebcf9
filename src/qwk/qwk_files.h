// The packet-file routines that the download and the upload call.
//
// Each routine is implemented in its own file of this folder:
// pad_text.cpp, message_file.cpp, control_file.cpp, new_files.cpp,
// bulletins.cpp, packet_archive.cpp, file_exists.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/run_context.h"
#include "server/records.h"

namespace obrix {

// Fixed-width padding and cutting. Mode 0 pads at the end, mode 1 in
// front; the pad count is taken from the length without surrounding blanks.
std::string PadText(std::string_view text, int16_t mode, int32_t width, char pad);

// The text of the first block of "messages.dat", before padding.
std::string PacketBannerText();

// Appends the message of `record` (header block and text blocks) to
// QwkPath + "messages.dat", which must exist. `attachmentFits` is not used
// by the writer. Raises Failure when the file cannot be written or the
// text needs more than 32,767 blocks (nothing of the message is written
// then).
void WriteQwkMessage(RunContext& context, const MessageRecord& record, bool attachmentFits);

// Creates "messages.dat" (with its first block), "control.dat" and
// "door.id" in QwkPath. True when all three were written; raises Failure
// otherwise.
bool QwkOpen(RunContext& context, const std::string& packetPath, int16_t smallControlDat);

// Writes the new-files list to `path` when the user's "IncludeNewFiles"
// setting asks for it, and logs "Collecting new files: " + count.
void WriteNewFilesList(RunContext& context, const std::string& path);

// Copies the welcome screens into QwkPath + "hello" and the goodbye screen
// into QwkPath + "goodbye", replacing whatever was there before.
void AddBulletins(RunContext& context, const std::string& workDirectory);

// Copies a server file to a local file, in 8,073-byte transfers. With
// `append` the bytes go after what the local file holds; otherwise the
// local file is created afresh. A missing server file leaves the local
// file untouched. Returns true when something was copied.
bool CopyServerFile(Server& server, const std::string& serverPath, const std::string& localPath,
                    bool append);

// Zips the packet's parts into QwkPath + packet id + ".qwk" with
// "zip -m -j -k ...". True when the archiver ran and succeeded; otherwise
// logs "There was a problem creating the QWK packet." and returns false.
bool BuildPacketArchive(RunContext& context);

// The command line that BuildPacketArchive runs.
std::string PacketArchiveCommand(const std::string& qwkPath, const std::string& packetId);

// True when `path` names an existing file: a server path ("WC:\" prefix,
// any letter case) asks the server; a local file counts only when it is a
// non-empty plain file, and an empty one is deleted. Never raises.
bool FileExists(Server& server, std::string& path);

}  // namespace obrix
