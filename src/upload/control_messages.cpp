#include "upload/control_messages.h"

#include <limits>
#include <vector>

#include "base/failure.h"
#include "base/text.h"

namespace obrix {

namespace {

// The most lines of one CONFIG message that are looked at, and the most
// "Ignoring CONFIG line" lines written for one before they are counted.
constexpr int32_t kMostConfigLines = 1000;
constexpr int32_t kMostIgnoredLinesLogged = 20;

// Clears the bits `clear` and sets the bits `set` of the user's flags on
// `conference`, then logs the change; nothing when the board does not
// describe the conference.
void SetSelection(RunContext& context, int16_t conference, uint32_t clear, uint32_t set,
                  const char* ending) {
  ConfDescRecord descriptor;
  if (!context.server.vbGetConfDesc(conference, descriptor)) return;
  const uint32_t flags = context.server.GetConfFlags(conference);
  context.server.SetConfFlags(conference, (flags & ~clear) | set);
  context.log.Line("Conference " + Decimal(descriptor.number) + " - " + descriptor.name.Trimmed() +
                   ending);
}

int16_t ConferenceNumber16(int32_t conference) {
  if (conference < std::numeric_limits<int16_t>::min() ||
      conference > std::numeric_limits<int16_t>::max()) {
    throw Failure(kFailureOverflow, "Overflow");
  }
  return static_cast<int16_t>(conference);
}

}  // namespace

void AddConference(RunContext& context, int16_t conference) {
  SetSelection(context, conference, 12, 3, " added.");
}

void AddConferenceYours(RunContext& context, int16_t conference) {
  SetSelection(context, conference, 14, 1, " added for your mail only.");
}

void DropConference(RunContext& context, int16_t conference) {
  SetSelection(context, conference, 15, 0, " dropped.");
}

void HandleControlMessage(RunContext& context, const MessageRecord& record,
                          const std::string& text) {
  const std::string subject = Trim(ToUpper(record.subject.View()));
  const std::string command = GetWord(subject, 1);
  if (command == "ADD" || command == "RESET") {
    AddConference(context, ConferenceNumber16(record.conference));
  } else if (command == "YOURS") {
    AddConferenceYours(context, ConferenceNumber16(record.conference));
  } else if (command == "DROP") {
    DropConference(context, ConferenceNumber16(record.conference));
  } else if (command == "CONFIG") {
    ApplyConfigLines(context, text);
  } else if (command == "REQUEST") {
    context.log.Line("REQUEST is not supported.");
  }
}

namespace {

// Acts on one CONFIG line; false when its second word is no 16-bit number.
bool ApplyConfigLine(RunContext& context, std::string_view line) {
  const std::string command = GetWord(line, 1);
  int16_t number = 0;
  try {
    number = StrictToInt16(GetWord(line, 2));
  } catch (const Failure&) {
    return false;
  }
  if (command == "ADD" || command == "RESET") {
    AddConference(context, number);
  } else if (command == "YOURS") {
    AddConferenceYours(context, number);
  } else if (command == "DROP") {
    DropConference(context, number);
  }
  return true;
}

}  // namespace

void ApplyConfigLines(RunContext& context, const std::string& text) {
  std::string_view rest = text;
  int32_t lines = 0;
  int32_t ignored = 0;
  for (;;) {
    size_t end = rest.find('\n');
    if (end == std::string_view::npos) end = rest.find('\r');
    if (end == std::string_view::npos) break;
    if (lines == kMostConfigLines) {
      context.log.Line("Ignoring the CONFIG lines after the first " + Decimal(kMostConfigLines) +
                       ".");
      break;
    }
    ++lines;
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (ApplyConfigLine(context, line)) continue;
    if (++ignored <= kMostIgnoredLinesLogged) {
      context.log.Line("Ignoring CONFIG line: " + LogSafe(line));
    }
  }
  if (ignored > kMostIgnoredLinesLogged) {
    context.log.Line("Ignoring " + Decimal(ignored - kMostIgnoredLinesLogged) +
                     " more CONFIG lines.");
  }
}

std::string GetWord(std::string_view text, int32_t n) {
  if (n <= 0) return {};
  std::vector<size_t> blanks;
  for (size_t i = 0; i < text.size() && blanks.size() < static_cast<size_t>(n); ++i) {
    if (text[i] == ' ') blanks.push_back(i);
  }
  const size_t wanted = static_cast<size_t>(n);
  if (blanks.size() >= wanted) {
    const size_t start = wanted == 1 ? 0 : blanks[wanted - 2];
    const size_t end = blanks[wanted - 1];
    return Trim(text.substr(start, end - start + 1));
  }
  const size_t start = blanks.empty() ? 0 : blanks.back();
  return Trim(text.substr(start));
}

}  // namespace obrix
