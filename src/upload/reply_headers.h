// HEADERS.DAT in a REP packet: what a reader says about each reply beyond
// its 128-byte header.
//
// The file is INI text. Each section is named by the byte offset of one
// reply's header block in the reply file, in hexadecimal ("[80]" for the
// first reply), and holds "key = value" lines. The upload reads four keys
// (in any letter case): Utf8 (the reply's text, its extension lines and
// the values below are UTF-8: "true", "yes" or "1" in any letter case),
// Subject and To (the whole subject and addressee, which the header holds
// cut to 25 characters), and In-Reply-To (the Message-ID of the message
// answered). Other keys are ignored.
//
// The file comes from the caller: it is read strictly and within bounds.
// A line that is not a section, a "key = value" line, a comment (";" or
// "#") or blank is skipped, and so is a line longer than kMostLineBytes;
// the upload logs one line for them all.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "qwk/packet_charset.h"
#include "run/activity_log.h"
#include "server/server.h"
#include "upload/reply_utf8.h"

namespace obrix {

// The file's name in the REP (any letter case).
inline constexpr const char* kReplyHeadersName = "HEADERS.DAT";

// What one section says about its reply. Values are the caller's bytes,
// blanks around them removed.
struct ReplyHeaderFields {
  bool utf8 = false;
  std::optional<std::string> subject;
  std::optional<std::string> to;
  std::optional<std::string> inReplyTo;
};

class ReplyHeaders {
 public:
  // The largest file read; a larger one refuses the packet (the upload
  // cannot tell how its replies are meant to be read).
  static constexpr int64_t kMostFileBytes = 4 * 1024 * 1024;
  // The longest line taken, line end aside.
  static constexpr size_t kMostLineBytes = 1024;
  // The most sections kept; later ones are skipped as malformed lines are.
  static constexpr size_t kMostSections = 65536;

  // Parses the file's bytes. Lines end with LF or CR LF; a UTF-8 byte
  // order mark at the start is skipped. A section named twice gathers the
  // keys of both, later values winning.
  static ReplyHeaders Parse(std::string_view file);

  // The section of the reply whose header block starts at byte `offset`
  // (0-based) of the reply file; null when there is none.
  const ReplyHeaderFields* Find(int64_t offset) const;

  // The lines skipped, and the first of them (its number and its bytes).
  int32_t SkippedLines() const { return skipped_; }
  int32_t FirstSkippedLine() const { return firstSkippedLine_; }
  const std::string& FirstSkipped() const { return firstSkipped_; }

  // Logs one line when lines were skipped: how many, and the first one
  // (made safe for the log, at most 60 bytes of it).
  void LogSkipped(ActivityLog& log) const;

 private:
  void Skip(int32_t lineNumber, std::string_view line);

  std::map<int64_t, ReplyHeaderFields> sections_;
  int32_t skipped_ = 0;
  int32_t firstSkippedLine_ = 0;
  std::string firstSkipped_;
};

// True for the values of Utf8 that mean yes.
bool HeaderSaysYes(std::string_view value);

// The board's message id that a Message-ID of the door's own packets
// carries ("<" then the id's digits before a "." or "@"); nullopt for any
// other value.
std::optional<int32_t> MessageIdOf(std::string_view messageId);

// Applies a reply's section to `record`, whose fields and text are already
// in the board's set: Subject and To replace the header's subject and
// addressee (up to the record's 72 characters) whenever they are given and
// not blank, except that a To never turns a reply into a control message
// nor a control message into a reply; In-Reply-To makes the reply refer
// to the message it names, when that is one of the reply's conference that
// the caller can see. The values are converted from UTF-8 when the section
// says Utf8, else from the packet's set. False when a value cannot be
// converted, with `why` naming the key ("its Subject in HEADERS.DAT holds
// U+0141, ...").
bool ApplyReplyHeaders(Server& server, PacketCharset& charset, Utf8Replies& utf8,
                       const ReplyHeaderFields& fields, MessageRecord& record, std::string& why);

}  // namespace obrix
