// Reading the reply file of a REP packet, one reply at a time.
//
// The reply file has the layout of a QWK message file: 128-byte blocks,
// block 0 naming the packet, then for every reply a QWK header block
// followed by its text blocks. The reader walks it strictly forwards and
// turns each reply into the fields of a MessageRecord and a text; it posts
// nothing and recognises no control message (the upload driver does).
//
// Positions are 1-based byte positions, as ReplyPos: block j starts at
// 128 * j + 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"
#include "run/run_context.h"
#include "server/records.h"

namespace obrix {

class ReplyReader {
 public:
  // Opens `path` for reading from its start. False when it is missing, is
  // a link or anything but a plain file, or cannot be opened.
  bool OpenReplyFile(const std::string& path);

  // Reads the next reply into `record` (handed in cleared) and `text`. The
  // first call logs "Reply Packet ID [" + block 0 trimmed + "]"; a block 0
  // cut short by the end of the file is logged as far as it goes. Returns
  // false when the file holds no further reply.
  //
  // Sets the addressee, sender and subject names (blank-filled), the
  // conference (resolved against the board's conference count), the entry
  // and message times (0 when the date or time is not a valid one), the
  // text (the QWK line terminator 0xE3 turned into line feeds) and its
  // length.
  //
  // Raises Failure(kFailureTypeMismatch / kFailureOverflow) when Number or
  // Blocks is not a number, and Failure(kFailureBadPacket) when the reply's
  // blocks run past the end of the file; the reader stays where it was.
  bool ReadReply(RunContext& context, MessageRecord& record, std::string& text);

  // Ends the pass over the file.
  void CloseReplyFile();

  // Where the next block is read (1 right after opening).
  int32_t ReplyPos() const { return replyPos_; }

 private:
  // The bytes at 1-based `position`, up to `size` of them, fewer at the
  // end of the file.
  std::string ReadAt(int64_t position, size_t size);

  std::optional<LocalFile> replyFile_;
  int32_t replyPos_ = 1;
};

// The time stamp of a reply's Date (mm-dd-yy) and Time (hh:mm) fields,
// each part read leniently; two-digit years below 99 fall in 2000-2098, 99
// is 1999. 0 when the fields do not make a valid date and time.
FILETIME ReplyTime(const std::string& date, const std::string& time);

}  // namespace obrix
