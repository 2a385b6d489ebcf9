// What QWKE and UTF-8 packets carry beside a plain packet: the whole To,
// From and Subject at the top of a message's text, "toreader.ext" (the
// caller's conferences) and the sections of "headers.dat".
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "qwk/qwk_files.h"
#include "qwk/qwk_header.h"

namespace obrix {

namespace {

constexpr const char* kCrLf = "\r\n";

// The low four bits of a user's conference flags say how he has the
// conference selected: 0 not at all, 1 his own mail only (the chain of
// mail to him), 2 mail to him and to everybody, anything else all mail.
constexpr uint32_t kSelectionBits = 0x0F;
constexpr uint32_t kSelectionOwn = 1;
constexpr uint32_t kSelectionAddressed = 2;

// A value on one line of its own: line ends inside it become blanks.
std::string OneLine(std::string_view value) {
  std::string line(value);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

void AddKey(std::string& section, const char* key, std::string_view value) {
  section += key;
  section += " = ";
  section += OneLine(value);
  section += kCrLf;
}

}  // namespace

std::string EncodeLongFieldLines(const LongFields& fields) {
  std::string lines;
  const auto add = [&](const char* keyword, const std::string& value) {
    if (value.empty()) return;
    lines += keyword;
    lines += value;
    lines += kQwkLineEnd;
  };
  add("To: ", fields.to);
  add("From: ", fields.from);
  add("Subject: ", fields.subject);
  return lines;
}

// The board keeps no read-only or echo conferences and no aliases, so no
// "R" or "E" flag and no ALIAS line is ever written.
std::string ReaderAreaFlags(uint32_t conferenceFlags, int32_t mode) {
  std::string flags;
  const uint32_t selection = conferenceFlags & kSelectionBits;
  if (selection == kSelectionOwn) {
    flags += 'p';
  } else if (selection == kSelectionAddressed) {
    flags += 'g';
  } else if (selection != 0) {
    flags += 'a';
  }
  // The conference's mode decides whether replies are posted private or
  // public, whatever the reply asks for.
  if (IsPrivateOnlyMode(mode)) flags += 'P';
  if (IsPublicOnlyMode(mode)) flags += 'O';
  return flags;
}

std::string EncodeToReaderExt(const std::vector<ReaderArea>& areas) {
  std::string text;
  for (const ReaderArea& area : areas) {
    text += "AREA " + Decimal(area.number) + " " + ReaderAreaFlags(area.flags, area.mode) + kCrLf;
  }
  return text;
}

std::string WhenWritten(const SYSTEMTIME& local, int32_t utcOffsetSeconds) {
  const int32_t minutes = utcOffsetSeconds / 60;
  const int32_t magnitude = std::abs(minutes);
  // The zone code of the convention that readers decode: the offset in
  // minutes as a 16-bit two's complement number, hexadecimal.
  const auto code = static_cast<uint16_t>(static_cast<int16_t>(minutes));
  std::string zone = "0000";
  constexpr const char* kHex = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) zone[static_cast<size_t>(3 - i)] = kHex[(code >> (4 * i)) & 0xF];
  return PadText(Decimal(local.wYear), 1, 4, '0') + TwoDigits(local.wMonth) +
         TwoDigits(local.wDay) + TwoDigits(local.wHour) + TwoDigits(local.wMinute) +
         TwoDigits(local.wSecond) + (minutes < 0 ? "-" : "+") + TwoDigits(magnitude / 60) +
         TwoDigits(magnitude % 60) + " " + zone;
}

std::string MessageIdDomain(std::string_view boardName) {
  std::string domain;
  bool gap = false;
  for (const char c : boardName) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    const bool upper = c >= 'A' && c <= 'Z';
    if (letter || upper) {
      if (gap && !domain.empty()) domain += '-';
      domain += upper ? static_cast<char>(c - 'A' + 'a') : c;
      gap = false;
    } else {
      gap = true;
    }
  }
  return domain.empty() ? "obrix" : domain;
}

std::string MessageId(int32_t id, int32_t conference, std::string_view domain) {
  return "<" + Decimal(id) + "." + Decimal(conference) + "@" + std::string(domain) + ">";
}

std::string EncodeHeadersSection(const HeadersEntry& entry) {
  std::string section;
  constexpr const char* kHex = "0123456789abcdef";
  std::string offset;
  uint64_t rest = entry.offset;
  do {
    offset.insert(offset.begin(), kHex[rest & 0xF]);
    rest >>= 4;
  } while (rest != 0);
  section += "[" + offset + "]" + kCrLf;
  AddKey(section, "Utf8", "true");
  AddKey(section, "Subject", entry.subject);
  AddKey(section, "To", entry.to);
  AddKey(section, "Sender", entry.sender);
  if (!entry.whenWritten.empty()) AddKey(section, "WhenWritten", entry.whenWritten);
  AddKey(section, "Message-ID", entry.messageId);
  if (!entry.inReplyTo.empty()) AddKey(section, "In-Reply-To", entry.inReplyTo);
  AddKey(section, "Conference", Decimal(entry.conference));
  section += kCrLf;
  return section;
}

}  // namespace obrix
