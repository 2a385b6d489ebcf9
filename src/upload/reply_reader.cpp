#include "upload/reply_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/failure.h"
#include "base/text.h"
#include "qwk/qwk_header.h"
#include "upload/reply_conventions.h"

namespace obrix {

namespace {

constexpr int64_t kBlock = static_cast<int64_t>(kQwkBlockSize);

int32_t ToReplyPos(int64_t position) {
  if (position > std::numeric_limits<int32_t>::max()) throw Failure(kFailureOverflow, "Overflow");
  return static_cast<int32_t>(position);
}

// The conference a reply goes to. Number names it when it is one of the
// board's conferences; otherwise the binary Conference field decides, as
// it stands (read as readers fill it: BinaryConference), unless it is 0
// beside a Number of another conference (a field the reader left empty): a
// reply to a conference the board does not have is refused by the board,
// never moved to another. A negative field with a Number of 0 names no
// conference (-1), which the board refuses.
int32_t ResolveConference(const QwkHeader& header, int32_t conferenceCount) {
  const double number = StrictToDouble(header.Number);
  const int32_t last = conferenceCount - 1;
  const int32_t field = BinaryConference(header.Conference, conferenceCount);
  if (number != 0 && number <= last) return StrictToInt32(header.Number);
  if (number != 0) return field != 0 ? field : StrictToInt32(header.Number);
  if (field >= 0) return field;
  return -1;  // no conference: the board refuses the reply
}

// A calendar field from the lenient reading of two characters; false when
// the value cannot stand in the field.
bool CalendarField(double value, uint16_t& field) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= 0 && rounded <= std::numeric_limits<uint16_t>::max())) return false;
  field = static_cast<uint16_t>(rounded);
  return true;
}

double TwoCharacters(const std::string& text, size_t offset) {
  if (offset >= text.size()) return 0;
  return LeadingNumber(std::string_view(text).substr(offset, 2));
}

// Up to `size` bytes of `file` from 1-based `position`, fewer at its end.
std::string_view BytesAt(std::string_view file, int64_t position, size_t size) {
  const auto offset = static_cast<size_t>(position - 1);
  if (offset >= file.size()) return {};
  return file.substr(offset, size);
}

// The number of text blocks that a Blocks field counts after the header.
int64_t TextBlocks(const std::string& blocksField) {
  const double blocks = StrictToDouble(blocksField);
  return blocks > 1 ? static_cast<int64_t>(std::floor(blocks - 1)) : 0;
}

// True when a whole block starts at 1-based `position` of `file`.
bool HasBlockAt(std::string_view file, int64_t position) {
  return position >= 1 && position - 1 + kBlock <= static_cast<int64_t>(file.size());
}

// The failures of ParseReply that say a reply cannot be read (a header
// field that is no number, a count out of range, blocks past the end),
// as against a failure of the reader or the board.
bool IsUnreadableReply(const Failure& failure) {
  return failure.number() == kFailureTypeMismatch || failure.number() == kFailureOverflow ||
         failure.number() == kFailureBadPacket;
}

std::string CutShort(int64_t position, const std::string& what) {
  return "The reply at byte " + Decimal(position) + " is cut short: " + what +
         " past the end of the file";
}

}  // namespace

FILETIME ReplyTime(const std::string& date, const std::string& time) {
  const double yy = TwoCharacters(date, 6);
  SYSTEMTIME calendar;
  FILETIME result;
  if (CalendarField(TwoCharacters(date, 0), calendar.wMonth) &&
      CalendarField(TwoCharacters(date, 3), calendar.wDay) &&
      CalendarField(yy < 99 ? 2000 + yy : 1999, calendar.wYear) &&
      CalendarField(TwoCharacters(time, 0), calendar.wHour) &&
      CalendarField(TwoCharacters(time, 3), calendar.wMinute) &&
      SystemTimeToFileTime(calendar, result)) {
    return result;
  }
  return FILETIME{};
}

std::string ReplyPacketId(std::string_view file) {
  return Trim(file.substr(0, std::min(file.size(), kQwkBlockSize)));
}

int64_t ParseReply(std::string_view file, int64_t position, int32_t conferenceCount,
                   MessageRecord& record, std::string& text) {
  const std::string_view block = BytesAt(file, position, kQwkBlockSize);
  if (block.size() < kQwkBlockSize)
    throw Failure(kFailureBadPacket, CutShort(position, "its header runs"));
  const QwkHeader header = DecodeQwkHeader(block);

  record.to.name.Set(header.To);
  record.from.name.Set(header.From);
  record.conference = ResolveConference(header, conferenceCount);
  record.subject.Set(header.Subject);
  record.isPrivate = StatusIsPrivate(header.Status) ? kTrue32 : kFalse32;
  record.reference = ReferenceFieldNumber(header.Reference);

  const int64_t textBlocks = TextBlocks(header.Blocks);
  const int64_t next = position + kBlock * (textBlocks + 1);
  if (next - 1 > static_cast<int64_t>(file.size())) {
    throw Failure(kFailureBadPacket,
                  CutShort(position, "its " + Decimal(textBlocks + 1) + " blocks run"));
  }
  text = BytesAt(file, position + kBlock, static_cast<size_t>(kBlock * textBlocks));
  for (char& c : text) {
    if (c == kQwkLineEnd) c = '\n';
  }
  TrimReplyFill(text);
  record.textLength = static_cast<int32_t>(text.size());

  const FILETIME when = ReplyTime(header.Date, header.Time);
  record.entryTime = when;
  record.messageTime = when;
  return next;
}

bool ReplyReader::OpenReplyFile(const std::string& path) {
  replyFile_ = LocalFile::OpenRead(path);
  bytes_.reset();
  conferences_.reset();
  packetId_.clear();
  replyPos_ = 1;
  lastReplyPos_ = 0;
  skippedReplies_ = 0;
  return replyFile_.has_value();
}

void ReplyReader::CloseReplyFile() {
  if (!replyFile_) return;
  LocalFile file = std::move(*replyFile_);
  replyFile_.reset();
  bytes_.reset();
  file.Close();
}

const std::string& ReplyReader::ReadPacketId(RunContext& context) {
  if (!replyFile_) throw Failure(kFailureFileIo, "The reply file is not open");
  if (!bytes_) {
    std::string bytes(static_cast<size_t>(replyFile_->Size()), '\0');
    bytes.resize(replyFile_->ReadAt(bytes.data(), bytes.size(), 0));
    bytes_ = std::move(bytes);
  }
  if (replyPos_ == 1) {
    packetId_ = ReplyPacketId(*bytes_);
    context.log.Line("Reply Packet ID [" + LogSafe(packetId_) + "]");
    replyPos_ = ToReplyPos(replyPos_ + kBlock);
  }
  return packetId_;
}

bool ReplyReader::ReadReply(RunContext& context, MessageRecord& record, std::string& text) {
  text.clear();
  ReadPacketId(context);
  const std::string& bytes = *bytes_;
  if (!conferences_) conferences_ = context.server.GetConferenceCount();
  const int32_t conferences = *conferences_;
  // Bytes after the last whole block are no reply.
  while (HasBlockAt(bytes, replyPos_)) {
    try {
      const int32_t at = replyPos_;
      replyPos_ = ToReplyPos(ParseReply(bytes, replyPos_, conferences, record, text));
      lastReplyPos_ = at;
      return true;
    } catch (const Failure& failure) {
      if (!IsUnreadableReply(failure)) throw;
      SkipUnreadableReply(context, failure.description(), conferences);
      record = MessageRecord{};
      text.clear();
    }
  }
  return false;
}

void ReplyReader::SkipUnreadableReply(RunContext& context, const std::string& reason,
                                      int32_t conferenceCount) {
  const std::string line =
      "Skipping the reply at byte " + Decimal(replyPos_) + ": " + LogSafe(reason);
  if (bounds_ != nullptr) {
    bounds_->Line("Skipping the reply at byte", line);
  } else {
    context.log.Line(line);
  }
  ++skippedReplies_;
  replyPos_ = ToReplyPos(NextReplyPosition(*bytes_, replyPos_ + kBlock, conferenceCount));
}

int64_t NextReplyPosition(std::string_view file, int64_t from, int32_t conferenceCount) {
  for (int64_t position = from; HasBlockAt(file, position); position += kBlock) {
    MessageRecord record;
    std::string text;
    try {
      ParseReply(file, position, conferenceCount, record, text);
      return position;
    } catch (const Failure& failure) {
      if (!IsUnreadableReply(failure)) throw;
    }
  }
  return static_cast<int64_t>(file.size()) + 1;
}

}  // namespace obrix
