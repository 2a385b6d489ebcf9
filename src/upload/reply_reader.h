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
// fill of its last block and the extension lines at its top; see
// reply_conventions.h) and its length. Texts stay in the packet's
// character set.
//
// Raises Failure(kFailureTypeMismatch / kFailureOverflow) when Number or
// Blocks is not a number, and Failure(kFailureBadPacket) when the reply's
// blocks run past the end of the file.
int64_t ParseReply(std::string_view file, int64_t position, int32_t conferenceCount,
                   MessageRecord& record, std::string& text);

// The reply file read one reply at a time.
class ReplyReader {
 public:
  // Opens `path` for reading from its start. False when it is missing, is
  // a link or anything but a plain file, or cannot be opened.
  bool OpenReplyFile(const std::string& path);

  // Reads the next reply into `record` (handed in cleared) and `text`, as
  // ParseReply does. The first call reads the whole file and logs
  // "Reply Packet ID [" + ReplyPacketId + "]". Returns false when the file
  // holds no further reply. Raises what ParseReply raises, and
  // Failure(kFailureFileIo) when the file cannot be read; the reader stays
  // where it was.
  bool ReadReply(RunContext& context, MessageRecord& record, std::string& text);

  // Ends the pass over the file.
  void CloseReplyFile();

  // Where the next block is read (1 right after opening).
  int32_t ReplyPos() const { return replyPos_; }

 private:
  std::optional<LocalFile> replyFile_;
  std::optional<std::string> bytes_;  // the file's bytes, read on the first call
  int32_t replyPos_ = 1;
};

// The time stamp of a reply's Date (mm-dd-yy) and Time (hh:mm) fields,
// each part read leniently; two-digit years below 99 fall in 2000-2098, 99
// is 1999. 0 when the fields do not make a valid date and time.
FILETIME ReplyTime(const std::string& date, const std::string& time);

}  // namespace obrix
