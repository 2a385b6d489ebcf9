// The packet-file routines that the download and the upload call.
//
// Each routine is implemented in its own file of this folder:
// pad_text.cpp, message_file.cpp, control_file.cpp, new_files.cpp,
// bulletins.cpp, file_exists.cpp; the packet's names and its archive are
// in packet_archive.h. The bytes of "messages.dat", "control.dat" and
// "door.id" come from encoders that work on plain values; the writers
// around them only gather those values and write the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "qwk/packet_charset.h"
#include "run/run_context.h"
#include "server/records.h"

namespace obrix {

// Fixed-width padding and cutting. Mode 0 pads at the end, mode 1 in
// front; the pad count is taken from the length without surrounding blanks.
std::string PadText(std::string_view text, int16_t mode, int32_t width, char pad);

// The text of the first block of "messages.dat", before padding.
std::string PacketBannerText();

// The first block of "messages.dat": the banner filled with blanks.
std::string EncodeBannerBlock();

// The server path of a message's text: "wc:\conf(C)\message(I)".
std::string MessageTextPath(int32_t conference, int32_t id);

// The header block and text blocks of the message `record` whose text is
// `text`, both as the packet shows them: names, subject and text in the
// packet's character set, and `record.reference` the number (not the id)
// of the message answered, 0 for none. An empty text gets one block of
// blanks. Raises Failure(kFailureOverflow) when the text needs more than
// 32,767 blocks.
std::string EncodeQwkMessage(const MessageRecord& record, std::string_view text);

// The number of the message that `record` answers, in `record`'s own
// conference; 0 when it answers none, or one that is gone, invisible to
// the viewer or in another conference.
int32_t ReferenceNumber(Server& server, const MessageRecord& record);

// "messages.dat" held open while a packet's messages are added: opened
// once when the packet starts, each message appended through the same
// handle with one write, closed when the packet's files are finished.
// Move-only; a file still open at destruction is closed quietly (the
// failed download removes it anyway).
class MessageFile {
 public:
  // Opens `path`, which must exist (it holds the banner block), for
  // appending. Raises Failure when it cannot.
  static MessageFile Open(const std::string& path);

  // Appends the message of the board's `record`, its text read from
  // `server`: its texts converted by `charset`, its reference shown as a
  // number. Raises Failure when the file is closed or cannot be written,
  // or the text is too long (nothing of the message is written then).
  void WriteQwkMessage(Server& server, const MessageRecord& record, PacketCharset& charset);

  // Writes what is still held and closes the file; later calls do
  // nothing. Raises Failure when the write or the close fails.
  void Close();

 private:
  explicit MessageFile(LocalFile file) : file_(std::move(file)) {}
  std::optional<LocalFile> file_;
  // Messages not yet written: the file is written in large pieces, not a
  // system call per message. A run that ends before Close leaves a file
  // that is removed unsent anyway.
  std::string held_;
};

// What "control.dat" says. The texts are the board's without surrounding
// blanks; the encoder upper-cases the sysop's name and the packet id.
struct ControlDat {
  std::string boardName;
  std::string city;
  std::string phone;
  std::string sysop;
  std::string serial;
  std::string packetId;
  SYSTEMTIME madeAt;  // the local time of writing
  std::string userName;
  // Every conference by number, rising, with the name the user sees; one
  // without a name (missing, or closed to the user) is left out.
  std::vector<std::pair<int32_t, std::string>> conferences;
};

// The bytes of "control.dat": CR LF lines.
std::string EncodeControlDat(const ControlDat& control);

// The bytes of "door.id", naming the board's `systemVersion`.
std::string EncodeDoorId(int32_t systemVersion);

// Creates "messages.dat" (with its first block), "control.dat" and
// "door.id" in `directory` (ending with the separator), from the board's
// configuration and conferences, `clock`'s time and `userName`. True when
// all three were written; raises Failure otherwise.
// The texts of "control.dat" are converted by `charset`.
bool QwkOpen(Server& server, const Clock& clock, const std::string& directory,
             const std::string& userName, PacketCharset& charset);

// Writes the new-files list to `path` when the user's "IncludeNewFiles"
// setting asks for it, and logs "Collecting new files: " + count. The list
// is converted by `charset`.
void WriteNewFilesList(RunContext& context, const std::string& path, PacketCharset& charset);

// Copies the welcome screens into QwkPath + "hello" and the goodbye screen
// into QwkPath + "goodbye", replacing whatever was there before.
void AddBulletins(RunContext& context, const std::string& workDirectory);

// Copies a server file to a local file, in 8,073-byte transfers. With
// `append` the bytes go after what the local file holds; otherwise the
// local file is created afresh. A missing server file leaves the local
// file untouched. Returns true when something was copied.
bool CopyServerFile(Server& server, const std::string& serverPath, const std::string& localPath,
                    bool append);

// True when `path` names an existing file: a server path ("WC:\" prefix,
// any letter case) asks the server; a local file counts only when it is a
// non-empty plain file, and an empty one is deleted. Never raises.
bool FileExists(Server& server, std::string& path);

}  // namespace obrix
