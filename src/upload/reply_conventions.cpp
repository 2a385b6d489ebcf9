#include "upload/reply_conventions.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/text.h"
#include "qwk/qwk_header.h"

namespace obrix {

namespace {

// The width of a name or subject in the QWK header.
constexpr size_t kHeaderFieldWidth = 25;

bool InRange(int64_t conference, int32_t conferenceCount) {
  return conference >= 0 && conference < conferenceCount;
}

// The value of the extension line `line` when it starts with `key`.
bool ValueAfter(std::string_view line, std::string_view key, std::string& value) {
  if (line.substr(0, key.size()) != key) return false;
  value = Trim(line.substr(key.size()));
  return true;
}

// A QWKE line's value replaces the field only when the field holds it cut
// short: a reader cuts a longer value to the header's 25 characters.
bool Lengthens(std::string_view value, const FixedText<72>& field) {
  if (value.size() <= kHeaderFieldWidth) return false;
  const std::string shown = Trim(field.View().substr(0, kHeaderFieldWidth));
  return ToUpper(Trim(value.substr(0, kHeaderFieldWidth))) == ToUpper(shown);
}

// Acts on one line at the top of the text; false when it is an ordinary
// line, which ends the extension lines.
bool TakeExtensionLine(std::string_view line, MessageRecord& record,
                       const std::function<bool(const std::string&)>& isAddressee) {
  static constexpr std::string_view kDropped[] = {"@MSGID:", "@REPLY:", "@TZ:", "@VIA:"};
  for (const std::string_view key : kDropped) {
    if (line.substr(0, key.size()) == key) return true;
  }
  struct Longer {
    std::string_view key;
    FixedText<72>& field;
    bool addressee;
  };
  const Longer longer[] = {{"To:", record.to.name, true},
                           {"From:", record.from.name, false},
                           {"Subject:", record.subject, false}};
  for (const Longer& kind : longer) {
    std::string value;
    if (!ValueAfter(line, kind.key, value) || !Lengthens(value, kind.field)) continue;
    if (kind.addressee && !isAddressee(value)) return false;
    kind.field.Set(value);
    return true;
  }
  return false;
}

}  // namespace

bool StatusIsPrivate(char status) {
  return status == '*' || status == '+' || status == '~' || status == '`';
}

int32_t ReferenceFieldNumber(std::string_view field) {
  const double number = LeadingNumber(field);
  if (!(number >= 1 && number <= std::numeric_limits<int32_t>::max())) return 0;
  return static_cast<int32_t>(std::floor(number));
}

int32_t BinaryConference(int32_t field, int32_t conferenceCount) {
  if (InRange(field, conferenceCount)) return field;
  const auto low = static_cast<int32_t>(static_cast<uint32_t>(field) & 0xFFFF);
  return InRange(low, conferenceCount) ? low : field;
}

void TrimReplyFill(std::string& text) {
  if (text.empty()) return;
  const size_t lastBlock = text.size() - std::min(text.size(), kQwkBlockSize);
  const size_t lineEnd = text.rfind('\n');
  const size_t keep = lineEnd == std::string::npos ? lastBlock : std::max(lastBlock, lineEnd + 1);
  size_t end = text.size();
  while (end > keep && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
  text.resize(end);
}

void TakeExtensionLines(std::string& text, MessageRecord& record,
                        const std::function<bool(const std::string&)>& isAddressee) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!TakeExtensionLine(line, record, isAddressee)) break;
    start = next;
  }
  text.erase(0, start);
}

}  // namespace obrix
