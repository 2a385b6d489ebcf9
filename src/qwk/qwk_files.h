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
#include "qwk/packet_kind.h"
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

// The whole values of a message's To, From and Subject that a QWKE packet
// writes at the top of its text; an empty one is held whole by the header.
struct LongFields {
  std::string to;
  std::string from;
  std::string subject;
};

// The lines "To: ", "From: " and "Subject: " + value, in that order, for
// the values of `fields` that are not empty, each ended by the QWK line end
// 0xE3.
std::string EncodeLongFieldLines(const LongFields& fields);

// The header block and text blocks as EncodeQwkMessage makes them, with
// `lead` (lines already ended by 0xE3) before the text; the blocks count
// them.
std::string EncodeQwkMessage(const MessageRecord& record, std::string_view text,
                             std::string_view lead);

// A conference as "toreader.ext" lists it: its number, the user's flags
// on it and its public/private mode.
struct ReaderArea {
  int32_t number = 0;
  uint32_t flags = 0;
  int32_t mode = 0;
};

// The flag letters of a conference in "toreader.ext": "a" selected for all
// mail, "g" for mail to the user and to everybody, "p" for the user's own
// mail, none of them when not selected; then "P" when every reply there is
// posted private, "O" when every reply is posted public.
std::string ReaderAreaFlags(uint32_t conferenceFlags, int32_t mode);

// The bytes of "toreader.ext": "AREA <number> <flags>" per conference, CR
// LF lines.
std::string EncodeToReaderExt(const std::vector<ReaderArea>& areas);

// One message's section of "headers.dat". Texts are UTF-8.
struct HeadersEntry {
  uint64_t offset = 0;  // of the message's header block in "messages.dat"
  std::string subject;
  std::string to;
  std::string sender;
  std::string whenWritten;  // empty: the message's time is not known
  std::string messageId;
  std::string inReplyTo;  // empty: it answers no message the user sees
  int32_t conference = 0;
};

// The section: "[<offset in lower-case hexadecimal>]", "Utf8 = true" and
// the entry's keys, CR LF lines, then an empty line.
std::string EncodeHeadersSection(const HeadersEntry& entry);

// A local time and its offset from universal time as "headers.dat" dates
// a message: "YYYYMMDDhhmmss+hhmm" (or "-hhmm"), a blank and the zone code,
// the offset in minutes as four hexadecimal digits of a 16-bit number.
std::string WhenWritten(const SYSTEMTIME& local, int32_t utcOffsetSeconds);

// The message id of the board's message `id` in `conference`:
// "<id.conference@domain>". The board keeps no message ids of its own; its
// message ids never change and are never used again, so this one is
// stable for as long as the board's name is.
std::string MessageId(int32_t id, int32_t conference, std::string_view domain);

// The domain part of the board's message ids: the letters and digits of
// `boardName` in lower case, each run of other characters a hyphen
// ("obrix" when none is left).
std::string MessageIdDomain(std::string_view boardName);

// The number of the message that `record` answers, in `record`'s own
// conference; 0 when it answers none, or one that is gone, invisible to
// the viewer or in another conference.
int32_t ReferenceNumber(Server& server, const MessageRecord& record);

// "messages.dat" held open while a packet's messages are added: opened
// once when the packet starts, each message appended through the same
// handle with one write, closed when the packet's files are finished.
// Move-only; a file still open at destruction is closed quietly (the
// failed download removes it anyway).
// What the message file of a packet of another kind than plain QWK needs.
struct MessageFileOptions {
  PacketKind kind = PacketKind::kQwk;
  // A UTF-8 packet's "headers.dat", which must exist.
  std::string headersPath;
  // The domain of the message ids (MessageIdDomain).
  std::string idDomain;
};

class MessageFile {
 public:
  using Options = MessageFileOptions;

  // Opens `path`, which must exist (it holds the banner block), for
  // appending, and for a UTF-8 packet the headers file too. Raises Failure
  // when it cannot.
  static MessageFile Open(const std::string& path, const Options& options = {});

  // Appends the message of the board's `record`, its text read from
  // `server`: its texts converted by `charset`, its reference shown as a
  // number. In a QWKE packet the whole To, From and Subject lead the text
  // where the header cannot hold them; in a UTF-8 packet those and the
  // text are UTF-8 and the message gets its section of "headers.dat".
  // Raises Failure when the file is closed or cannot be written, or the
  // text is too long (nothing of the message is written then).
  void WriteQwkMessage(Server& server, const MessageRecord& record, PacketCharset& charset);

  // Writes what is still held and closes the file; later calls do
  // nothing. Raises Failure when the write or the close fails.
  void Close();

 private:
  MessageFile(LocalFile file, const Options& options);
  // The long fields of `record` as the packet carries them.
  LongFields LongFieldsOf(const MessageRecord& record, PacketCharset& charset) const;
  HeadersEntry HeadersOf(const MessageRecord& record, int32_t referenceNumber,
                         PacketCharset& charset);
  std::string WhenWrittenOf(const FILETIME& time);
  void WriteHeld();

  std::optional<LocalFile> file_;
  PacketKind kind_ = PacketKind::kQwk;
  std::optional<LocalFile> headers_;
  std::string headersHeld_;
  std::string idDomain_;
  // Where the next message's header block starts in the file.
  uint64_t offset_ = 0;
  // The offset from universal time of the last hour asked for: messages
  // written close together share it.
  std::optional<std::pair<int64_t, std::optional<int32_t>>> lastUtcOffset_;
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

// The bytes of "door.id", naming the board's `systemVersion`. A packet
// with the QWKE extension names one control kind more, YOURS, which its
// "toreader.ext" flag "p" stands for.
std::string EncodeDoorId(int32_t systemVersion, PacketKind kind = PacketKind::kQwk);

// Creates "messages.dat" (with its first block), "control.dat" and
// "door.id" in `directory` (ending with the separator), from the board's
// configuration and conferences, `clock`'s time and `userName`. True when
// all three were written; raises Failure otherwise.
// The texts of "control.dat" are converted by `charset`. A packet with the
// QWKE extension also gets "toreader.ext", a UTF-8 packet an empty
// "headers.dat" for the message file to fill.
bool QwkOpen(Server& server, const Clock& clock, const std::string& directory,
             const std::string& userName, PacketCharset& charset,
             PacketKind kind = PacketKind::kQwk);

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
