#include "upload/reply_reader.h"

#include <cmath>
#include <limits>

#include "base/failure.h"
#include "base/text.h"
#include "qwk/qwk_header.h"

namespace obrix {

namespace {

constexpr int64_t kBlock = static_cast<int64_t>(kQwkBlockSize);

int32_t ToReplyPos(int64_t position) {
  if (position > std::numeric_limits<int32_t>::max()) throw Failure(kFailureOverflow, "Overflow");
  return static_cast<int32_t>(position);
}

// The conference a reply goes to. Number names it when it is one of the
// board's conferences; otherwise the binary Conference field decides: it
// stands as it is when Number lies beyond the last conference, and when
// Number is 0 it stands when it names a conference, while a value above
// the last conference gives 0. A negative field with a Number of 0 names
// no conference (-1), which the board refuses.
int32_t ResolveConference(Server& server, const QwkHeader& header) {
  const double number = StrictToDouble(header.Number);
  if (number != 0 && number <= server.GetConferenceCount() - 1) {
    return StrictToInt32(header.Number);
  }
  if (number != 0) return header.Conference;
  const int32_t field = header.Conference;
  const int32_t last = server.GetConferenceCount() - 1;
  if (field > last) return 0;
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

bool ReplyReader::OpenReplyFile(const std::string& path) {
  replyFile_ = LocalFile::OpenRead(path);
  replyPos_ = 1;
  return replyFile_.has_value();
}

void ReplyReader::CloseReplyFile() {
  if (!replyFile_) return;
  LocalFile file = std::move(*replyFile_);
  replyFile_.reset();
  file.Close();
}

std::string ReplyReader::ReadAt(int64_t position, size_t size) {
  std::string bytes(size, '\0');
  bytes.resize(replyFile_->ReadAt(bytes.data(), size, position - 1));
  return bytes;
}

bool ReplyReader::ReadReply(RunContext& context, MessageRecord& record, std::string& text) {
  text.clear();
  if (!replyFile_) throw Failure(kFailureFileIo, "The reply file is not open");
  const int64_t fileSize = replyFile_->Size();

  if (replyPos_ == 1) {
    context.log.Line("Reply Packet ID [" + LogSafe(Trim(ReadAt(1, kQwkBlockSize))) + "]");
    replyPos_ = ToReplyPos(replyPos_ + kBlock);
  }
  if (replyPos_ >= fileSize) return false;

  const int64_t headerPos = replyPos_;
  const std::string block = ReadAt(headerPos, kQwkBlockSize);
  if (block.size() < kQwkBlockSize) {
    throw Failure(kFailureBadPacket, "The reply at byte " + Decimal(headerPos) +
                                         " is cut short: its header runs past the end of the file");
  }
  const QwkHeader header = DecodeQwkHeader(block);

  record.to.name.Set(header.To);
  record.from.name.Set(header.From);
  record.conference = ResolveConference(context.server, header);
  record.subject.Set(header.Subject);

  const double blocks = StrictToDouble(header.Blocks);
  const int64_t textBlocks = blocks > 1 ? static_cast<int64_t>(std::floor(blocks - 1)) : 0;
  const int64_t nextPos = headerPos + kBlock * (textBlocks + 1);
  if (nextPos - 1 > fileSize) {
    throw Failure(kFailureBadPacket, "The reply at byte " + Decimal(headerPos) +
                                         " is cut short: its " + Decimal(textBlocks + 1) +
                                         " blocks run past the end of the file");
  }
  text = ReadAt(headerPos + kBlock, static_cast<size_t>(kBlock * textBlocks));
  for (char& c : text) {
    if (c == kQwkLineEnd) c = '\n';
  }
  record.textLength = static_cast<int32_t>(text.size());

  const FILETIME when = ReplyTime(header.Date, header.Time);
  record.entryTime = when;
  record.messageTime = when;

  replyPos_ = ToReplyPos(nextPos);
  return true;
}

}  // namespace obrix
