// "messages.dat": the banner block and one header block plus text blocks
// per message. The header layout itself lives in qwk_header.cpp.
#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/text.h"
#include "base/version.h"
#include "platform/clock.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "qwk/qwk_files.h"
#include "qwk/qwk_header.h"
#include "server/server_path.h"

namespace obrix {

namespace {

// The 16-bit block counter of a header cannot count more text blocks.
constexpr size_t kMaxTextBlocks = 32767;
constexpr size_t kNameWidth = 25;

// Line ends become the QWK terminator 0xE3. A line is cut at the first line
// feed; only a text without any line feed is cut at carriage returns, so
// CR LF lines keep their CR before the terminator. What follows the last
// line end is copied unchanged, without a terminator.
std::string ConvertLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t cut = text.find('\n', start);
    if (cut == std::string_view::npos) cut = text.find('\r', start);
    if (cut == std::string_view::npos) break;
    out.append(text.substr(start, cut - start));
    out.push_back(kQwkLineEnd);
    start = cut + 1;
  }
  out.append(text.substr(start));
  return out;
}

std::string HeaderDate(const SYSTEMTIME& time) {
  const std::string year = Decimal(time.wYear);
  const std::string lastTwo = year.size() > 2 ? year.substr(year.size() - 2) : year;
  return TwoDigits(time.wMonth) + "-" + TwoDigits(time.wDay) + "-" + PadText(lastTwo, 1, 2, '0');
}

std::string HeaderTime(const SYSTEMTIME& time) {
  return TwoDigits(time.wHour) + ":" + TwoDigits(time.wMinute);
}

// The status characters of offline readers: "+" and "*" private, " " and
// "-" public, each pair unread and read.
char StatusCharacter(const MessageRecord& record) {
  const bool isPrivate = record.isPrivate != kFalse32;
  const bool received = record.received != kFalse32;
  if (isPrivate) return received ? '*' : '+';
  return received ? '-' : ' ';
}

std::string ReferenceField(int32_t reference) {
  if (reference == 0) return std::string(kQwkReference.width, ' ');
  return PadText(" " + Decimal(reference), 0, static_cast<int32_t>(kQwkReference.width), ' ')
      .substr(0, kQwkReference.width);
}

QwkHeader MessageHeader(const MessageRecord& record, size_t textBlocks) {
  SYSTEMTIME time;  // all fields 0 when the time stamp does not convert
  FileTimeToSystemTime(record.messageTime, time);
  QwkHeader header;
  header.Status = StatusCharacter(record);
  header.Number = Decimal(record.number).substr(0, kQwkNumber.width);
  header.Date = HeaderDate(time);
  header.Time = HeaderTime(time);
  header.To = record.to.name.Str().substr(0, kNameWidth);
  header.From = record.from.name.Str().substr(0, kNameWidth);
  header.Subject = record.subject.Str().substr(0, kNameWidth);
  header.Password = std::string(kQwkPassword.width, ' ');
  header.Reference = ReferenceField(record.reference);
  header.Blocks = Decimal(static_cast<int64_t>(textBlocks) + 1);
  header.Active = kQwkActive;
  header.Conference = record.conference;
  header.Tag = ' ';
  return header;
}

}  // namespace

std::string MessageTextPath(int32_t conference, int32_t id) {
  return ConferenceMessagePath(conference, id);
}

std::string PacketBannerText() {
  return "Produced by Obrix " + Decimal(version::kMajor) + "." + Decimal(version::kMinor) + "." +
         Decimal(version::kRevision) + " - " + version::kLegalNotice + " " + version::kCompany;
}

std::string EncodeBannerBlock() {
  return PadText(PacketBannerText(), 0, static_cast<int32_t>(kQwkBlockSize), ' ');
}

std::string EncodeQwkMessage(const MessageRecord& record, std::string_view text) {
  return EncodeQwkMessage(record, text, {});
}

std::string EncodeQwkMessage(const MessageRecord& record, std::string_view text,
                             std::string_view lead) {
  std::string blocks(lead);
  blocks += ConvertLineEnds(text);
  // Readers count a message as at least a header and one text block.
  if (blocks.empty()) blocks.assign(kQwkBlockSize, ' ');
  const size_t textBlocks = (blocks.size() + kQwkBlockSize - 1) / kQwkBlockSize;
  if (textBlocks > kMaxTextBlocks) {
    throw Failure(kFailureOverflow, "Overflow: message " + Decimal(record.id) + " of conference " +
                                        Decimal(record.conference) + " needs " +
                                        Decimal(static_cast<int64_t>(textBlocks)) + " text blocks");
  }
  blocks += PadText("", 0, static_cast<int32_t>(textBlocks * kQwkBlockSize - blocks.size()), '\0');
  return EncodeQwkHeader(MessageHeader(record, textBlocks)) + blocks;
}

int32_t ReferenceNumber(Server& server, const MessageRecord& record) {
  if (record.reference <= 0) return 0;
  MessageRecord answered;
  if (!server.vbGetMessageById(record.conference, record.reference, answered)) return 0;
  return answered.number;
}

MessageFile::MessageFile(LocalFile file, const Options& options)
    : file_(std::move(file)), kind_(options.kind), idDomain_(options.idDomain) {
  offset_ = static_cast<uint64_t>(file_->Size());
  if (kind_ == PacketKind::kUtf8) headers_.emplace(LocalFile::OpenAppend(options.headersPath));
}

MessageFile MessageFile::Open(const std::string& path, const Options& options) {
  return MessageFile(LocalFile::OpenAppend(path), options);
}

void MessageFile::WriteQwkMessage(Server& server, const MessageRecord& record,
                                  PacketCharset& charset) {
  if (!file_) throw Failure(kFailureFileIo, "The message file is closed");
  MessageRecord shown = record;
  shown.reference = ReferenceNumber(server, record);
  charset.FieldToPacket(shown.from.name);
  charset.FieldToPacket(shown.to.name);
  charset.FieldToPacket(shown.subject);
  const std::string text = server.vbGetText(MessageTextPath(record.conference, record.id));
  std::string bytes;
  if (kind_ == PacketKind::kQwk) {
    bytes = EncodeQwkMessage(shown, charset.ToPacket(text));
  } else {
    // UTF-8 never holds the line end 0xE3 as a character's first byte but
    // for the characters U+3000 to U+3FFF, and Windows-1252 has none of
    // those (its highest is U+2122), so the converted text cannot break a
    // line where it has none; and 0xE3 is never a following byte.
    const std::string body =
        kind_ == PacketKind::kUtf8 ? charset.ToUtf8(text) : charset.ToPacket(text);
    bytes = EncodeQwkMessage(shown, body, EncodeLongFieldLines(LongFieldsOf(record, charset)));
    if (kind_ == PacketKind::kUtf8) {
      headersHeld_ += EncodeHeadersSection(HeadersOf(record, shown.reference, charset));
    }
  }
  offset_ += bytes.size();
  held_ += bytes;
  constexpr size_t kWriteAt = 256 * 1024;
  if (held_.size() >= kWriteAt) WriteHeld();
}

// A field is written whole where the header, which shows its first 25
// characters in the packet's character set, cannot hold all of it.
LongFields MessageFile::LongFieldsOf(const MessageRecord& record, PacketCharset& charset) const {
  const auto whole = [&](std::string_view field) -> std::string {
    const std::string value = Trim(field);
    std::string inPacket = charset.ToPacket(value);
    if (inPacket.size() <= kNameWidth) return {};
    return kind_ == PacketKind::kUtf8 ? charset.ToUtf8(value) : inPacket;
  };
  return LongFields{whole(record.to.name.View()), whole(record.from.name.View()),
                    whole(record.subject.View())};
}

HeadersEntry MessageFile::HeadersOf(const MessageRecord& record, int32_t referenceNumber,
                                    PacketCharset& charset) {
  HeadersEntry entry;
  entry.offset = offset_;
  entry.subject = charset.ToUtf8(record.subject.Trimmed());
  entry.to = charset.ToUtf8(record.to.name.Trimmed());
  entry.sender = charset.ToUtf8(record.from.name.Trimmed());
  entry.whenWritten = WhenWrittenOf(record.messageTime);
  entry.messageId = MessageId(record.id, record.conference, idDomain_);
  // Only a message the header refers to: one the user sees, in the same
  // conference.
  if (referenceNumber != 0) {
    entry.inReplyTo = MessageId(record.reference, record.conference, idDomain_);
  }
  entry.conference = record.conference;
  return entry;
}

// The board keeps message times as its local wall clock shows them; their
// offset from universal time is the one the local time zone had then.
std::string MessageFile::WhenWrittenOf(const FILETIME& time) {
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(time, local)) return {};
  const int64_t hour =
      ((int64_t{local.wYear} * 13 + local.wMonth) * 32 + local.wDay) * 24 + local.wHour;
  if (!lastUtcOffset_ || lastUtcOffset_->first != hour) {
    lastUtcOffset_.emplace(hour, LocalUtcOffsetSeconds(local));
  }
  if (!lastUtcOffset_->second) return {};
  return WhenWritten(local, *lastUtcOffset_->second);
}

void MessageFile::WriteHeld() {
  file_->Write(held_);
  held_.clear();
  if (headers_) {
    headers_->Write(headersHeld_);
    headersHeld_.clear();
  }
}

void MessageFile::Close() {
  if (!file_) return;
  LocalFile file = std::move(*file_);
  file_.reset();
  std::optional<LocalFile> headers = std::move(headers_);
  headers_.reset();
  const std::string held = std::move(held_);
  held_.clear();
  const std::string headersHeld = std::move(headersHeld_);
  headersHeld_.clear();
  if (!held.empty()) file.Write(held);
  file.Close();
  if (headers) {
    if (!headersHeld.empty()) headers->Write(headersHeld);
    headers->Close();
  }
}

}  // namespace obrix
