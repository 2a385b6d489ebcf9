// Reading the reply file of a REP packet, one reply at a time.
//
// The reply file has the layout of a QWK message file: 128-byte blocks,
// block 0 naming the packet, then for every reply a QWK header block
// followed by its text blocks. The parser turns the reply at one position
// of the file's bytes into the fields of a MessageRecord and a text; the
// reader walks the file strictly forwards with it. Neither posts anything
// nor recognises a control message (the upload driver does).
//
// Positions are 1-based byte positions, as ReplyPos: block j starts at
// 128 * j + 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "run/run_context.h"
#include "server/records.h"
#include "upload/upload_bounds.h"

namespace obrix {

// The packet id that block 0 of the reply file `file` names, without the
// blanks around it; a block 0 cut short by the end of the file counts as
// far as it goes.
std::string ReplyPacketId(std::string_view file);

// Parses the reply whose header block starts at 1-based `position` of the
// reply file's bytes `file` (a position below the file's size) into
// `record` (handed in cleared) and `text`, and returns the position of the
// block after the reply.
//
// Sets the addressee, sender and subject names (blank-filled), the
// conference (resolved against the board's `conferenceCount`), the private
// flag (from the Status character), the reference (the message *number*
// that the Reference field names, which the upload turns into an id), the
// entry and message times (0 when the date or time is not a valid one), the
// text (the QWK line terminator 0xE3 turned into line feeds, without the
// fill of its last block; see reply_conventions.h) and its length. Texts
// stay in the packet's character set, and the extension lines at the top
// of the text stay for the upload to judge (TakeReplyExtensions).
//
// Raises Failure(kFailureTypeMismatch / kFailureOverflow) when Number or
// Blocks is not a number, and Failure(kFailureBadPacket) when the reply's
// blocks run past the end of the file.
int64_t ParseReply(std::string_view file, int64_t position, int32_t conferenceCount,
                   MessageRecord& record, std::string& text);

// The reply file read one reply at a time.
class ReplyReader {
 public:
  // The "Skipping the reply" lines go through `bounds` when it is given.
  explicit ReplyReader(UploadBounds* bounds = nullptr) : bounds_(bounds) {}

  // Opens `path` for reading from its start. False when it is missing, is
  // a link or anything but a plain file, or cannot be opened.
  bool OpenReplyFile(const std::string& path);

  // The packet id that block 0 names (ReplyPacketId). The first call (or
  // the first ReadReply) reads the whole file and logs "Reply Packet ID [" +
  // that id + "]". Raises Failure(kFailureFileIo) when the file cannot be
  // read.
  const std::string& ReadPacketId(RunContext& context);

  // Reads the next reply into `record` (handed in cleared) and `text`, as
  // ParseReply does. Returns false when the file holds no further reply;
  // bytes after the last whole block are ignored. A reply that cannot be
  // read (ParseReply raises a type mismatch, an overflow or a bad packet)
  // is skipped with the log line "Skipping the reply at byte " + its
  // position + ": " + why, and reading goes on at the next block boundary
  // that reads as a reply. Raises Failure(kFailureFileIo) when the file
  // cannot be read.
  bool ReadReply(RunContext& context, MessageRecord& record, std::string& text);

  // How many replies ReadReply skipped because they could not be read.
  int32_t SkippedReplies() const { return skippedReplies_; }

  // Ends the pass over the file.
  void CloseReplyFile();

  // Where the next block is read (1 right after opening).
  int32_t ReplyPos() const { return replyPos_; }

  // Where the header block of the reply that ReadReply read last starts
  // (0 before the first): the position that names the reply in the
  // packet's other files (HEADERS.DAT), as a 0-based offset + 1.
  int32_t LastReplyPos() const { return lastReplyPos_; }

 private:
  // Logs the reply at ReplyPos as skipped for `reason` and moves on to the
  // next position that reads as a reply.
  void SkipUnreadableReply(RunContext& context, const std::string& reason, int32_t conferenceCount);

  UploadBounds* bounds_;
  std::optional<LocalFile> replyFile_;
  std::optional<std::string> bytes_;  // the file's bytes, read on the first call
  std::string packetId_;
  // The board's conference count, asked once per reply file.
  std::optional<int32_t> conferences_;
  int32_t replyPos_ = 1;
  int32_t lastReplyPos_ = 0;
  int32_t skippedReplies_ = 0;
};

// The first block boundary at or after 1-based `from` where ParseReply
// reads a reply of `file`; the file's size + 1 when there is none.
int64_t NextReplyPosition(std::string_view file, int64_t from, int32_t conferenceCount);

// The time stamp of a reply's Date (mm-dd-yy) and Time (hh:mm) fields,
// each part read leniently; two-digit years below 99 fall in 2000-2098, 99
// is 1999. 0 when the fields do not make a valid date and time.
FILETIME ReplyTime(const std::string& date, const std::string& time);

}  // namespace obrix
