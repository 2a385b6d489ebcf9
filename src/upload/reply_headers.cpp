#include "upload/reply_headers.h"

#include <cctype>
#include <limits>

#include "base/text.h"

namespace obrix {

namespace {

// The widest part of a skipped line that its log line shows.
constexpr size_t kLoggedLineWidth = 60;

// The section name as an offset: lower- or upper-case hexadecimal digits,
// at most 15 of them; nullopt for anything else.
std::optional<int64_t> HexOffset(std::string_view name) {
  if (name.empty() || name.size() > 15) return std::nullopt;
  int64_t value = 0;
  for (const char c : name) {
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : c >= 'a' && c <= 'f'                      ? c - 'a' + 10
                      : c >= 'A' && c <= 'F'                      ? c - 'A' + 10
                                                                  : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

// A header value converted to the board's set; false (with `why`) when it
// cannot be.
bool ValueToBoard(PacketCharset& charset, Utf8Replies& utf8, bool isUtf8, const std::string& key,
                  const std::string& value, std::string& converted, std::string& why) {
  if (!isUtf8) {
    converted = charset.Converts() ? charset.ToBoard(value) : value;
    return true;
  }
  std::string reason;
  std::optional<std::string> board = utf8.ToBoard(value, reason);
  if (!board) {
    why = "its " + key + " in " + kReplyHeadersName + " " + reason;
    return false;
  }
  converted = std::move(*board);
  return true;
}

// The next line of `file`, its line end (LF or CR LF) taken off; the line
// and its end leave `file`.
std::string_view TakeLine(std::string_view& file) {
  const size_t end = file.find('\n');
  std::string_view line = file.substr(0, end);
  file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The offset a section line "[80]" names; nullopt for any other line.
std::optional<int64_t> SectionOffset(std::string_view trimmed) {
  if (trimmed.size() < 2 || trimmed.back() != ']') return std::nullopt;
  return HexOffset(trimmed.substr(1, trimmed.size() - 2));
}

// Takes one "key = value" line into its section; `key` is upper-cased.
// Keys the upload does not read are ignored.
void SetField(ReplyHeaderFields& section, const std::string& key, std::string value) {
  if (key == "UTF8") {
    section.utf8 = HeaderSaysYes(value);
  } else if (key == "SUBJECT") {
    section.subject = std::move(value);
  } else if (key == "TO") {
    section.to = std::move(value);
  } else if (key == "IN-REPLY-TO") {
    section.inReplyTo = std::move(value);
  }
}

}  // namespace

bool HeaderSaysYes(std::string_view value) {
  const std::string word = ToUpper(Trim(value));
  return word == "TRUE" || word == "YES" || word == "1";
}

std::optional<int32_t> MessageIdOf(std::string_view messageId) {
  const std::string trimmed = Trim(messageId);
  std::string_view rest = trimmed;
  if (rest.empty() || rest.front() != '<') return std::nullopt;
  rest.remove_prefix(1);
  int64_t id = 0;
  size_t digits = 0;
  while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
    id = id * 10 + (rest[digits] - '0');
    if (++digits > 10 || id > std::numeric_limits<int32_t>::max()) return std::nullopt;
  }
  if (digits == 0 || id == 0 || digits == rest.size()) return std::nullopt;
  if (rest[digits] != '.' && rest[digits] != '@') return std::nullopt;
  return static_cast<int32_t>(id);
}

ReplyHeaders ReplyHeaders::Parse(std::string_view file) {
  ReplyHeaders headers;
  if (file.substr(0, 3) == "\xEF\xBB\xBF") file.remove_prefix(3);
  ReplyHeaderFields* section = nullptr;
  int32_t lineNumber = 0;
  while (!file.empty()) {
    const std::string_view line = TakeLine(file);
    ++lineNumber;
    if (line.size() > kMostLineBytes) {
      headers.Skip(lineNumber, line);
      continue;
    }
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') continue;
    if (trimmed.front() == '[') {
      const std::optional<int64_t> offset = SectionOffset(trimmed);
      const bool room = headers.sections_.size() < kMostSections ||
                        (offset && headers.sections_.count(*offset) != 0);
      section = offset && room ? &headers.sections_[*offset] : nullptr;
      if (!section) headers.Skip(lineNumber, line);
      continue;
    }
    const size_t equals = trimmed.find('=');
    if (section == nullptr || equals == std::string::npos || equals == 0) {
      headers.Skip(lineNumber, line);
      continue;
    }
    SetField(*section, ToUpper(Trim(std::string_view(trimmed).substr(0, equals))),
             Trim(std::string_view(trimmed).substr(equals + 1)));
  }
  return headers;
}

void ReplyHeaders::Skip(int32_t lineNumber, std::string_view line) {
  if (skipped_++ > 0) return;
  firstSkippedLine_ = lineNumber;
  firstSkipped_ = std::string(line.substr(0, kLoggedLineWidth));
}

const ReplyHeaderFields* ReplyHeaders::Find(int64_t offset) const {
  const auto found = sections_.find(offset);
  return found == sections_.end() ? nullptr : &found->second;
}

void ReplyHeaders::LogSkipped(ActivityLog& log) const {
  if (skipped_ == 0) return;
  log.Line(std::string("Skipped ") + Decimal(skipped_) + " line" + (skipped_ == 1 ? "" : "s") +
           " of " + kReplyHeadersName + " that it does not take (the first, line " +
           Decimal(firstSkippedLine_) + ": " + LogSafe(firstSkipped_) + ")");
}

bool ApplyReplyHeaders(Server& server, PacketCharset& charset, Utf8Replies& utf8,
                       const ReplyHeaderFields& fields, MessageRecord& record, std::string& why) {
  std::string value;
  if (fields.subject && !fields.subject->empty()) {
    if (!ValueToBoard(charset, utf8, fields.utf8, "Subject", *fields.subject, value, why)) {
      return false;
    }
    record.subject.Set(value);
  }
  if (fields.to && !fields.to->empty()) {
    if (!ValueToBoard(charset, utf8, fields.utf8, "To", *fields.to, value, why)) return false;
    if (!IsControlName(record.to.name.Trimmed()) && !IsControlName(ToUpper(value))) {
      record.to.name.Set(value);
    }
  }
  if (fields.inReplyTo && record.conference >= 0) {
    MessageRecord answered;
    const std::optional<int32_t> id = MessageIdOf(*fields.inReplyTo);
    if (id && server.vbGetMessageById(record.conference, *id, answered)) {
      record.reference = answered.number;
    }
  }
  return true;
}

}  // namespace obrix
