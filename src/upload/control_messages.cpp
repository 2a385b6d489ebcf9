#include "upload/control_messages.h"

#include <utility>
#include <vector>

#include "base/failure.h"
#include "base/text.h"

namespace obrix {

namespace {

// Clears the bits `clear` and sets the bits `set` of the user's flags on
// `conference`, then logs the change; when the board does not describe
// the conference, logs that `command` was skipped.
void SetSelection(RunContext& context, UploadBounds& bounds, int32_t conference, uint32_t clear,
                  uint32_t set, const char* command, const char* ending) {
  ConfDescRecord descriptor;
  if (!context.server.vbGetConfDesc(conference, descriptor)) {
    if (context.server.GetLastError() == kServerAccessDenied) {
      bounds.Line("Conference not open", "Conference " + Decimal(conference) +
                                             " is not open to you: " + command + " skipped.");
    } else {
      bounds.Line("No conference",
                  "No conference " + Decimal(conference) + ": " + command + " skipped.");
    }
    return;
  }
  const uint32_t flags = context.server.GetConfFlags(conference);
  context.server.SetConfFlags(conference, (flags & ~clear) | set);
  context.log.Line("Conference " + Decimal(descriptor.number) + " - " + descriptor.name.Trimmed() +
                   ending);
}

// Acts on `command` for `conference` when it is one of the commands that
// change a selection; false when it is none of them.
bool ApplyCommand(RunContext& context, UploadBounds& bounds, const std::string& command,
                  int32_t conference) {
  if (command == "ADD" || command == "RESET") {
    AddConference(context, bounds, conference);
  } else if (command == "YOURS") {
    AddConferenceYours(context, bounds, conference);
  } else if (command == "DROP") {
    DropConference(context, bounds, conference);
  } else {
    return false;
  }
  return true;
}

// The words of `line`, separated by runs of blanks and tabs.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t start = 0;
  while (start < line.size()) {
    if (line[start] == ' ' || line[start] == '\t') {
      ++start;
      continue;
    }
    size_t end = start;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    words.push_back(line.substr(start, end - start));
    start = end;
  }
  return words;
}

// The most bytes of a caller's line that a log line shows.
constexpr size_t kLoggedLineWidth = 80;

std::string LoggedLine(std::string_view line) { return LogSafe(line.substr(0, kLoggedLineWidth)); }

// Acts on "PACKET <kind>" (any letter case) of a CONFIG text.
void SetPacketKind(RunContext& context, UploadBounds& bounds, std::string_view line) {
  static constexpr std::pair<std::string_view, const char*> kKinds[] = {
      {"QWK", kPacketKindQwk}, {"QWKE", kPacketKindQwke}, {"UTF8", kPacketKindUtf8}};
  std::string word = ToUpper(GetWord(line, 2));
  if (!word.empty() && word.back() == '\r') word.pop_back();
  for (const auto& [name, kind] : kKinds) {
    if (word != name || GetWord(line, 3) != GetWord(line, 2)) continue;
    if (context.server.SetUserVariable(context.state.UserId, kProfileSection, kPacketKind, kind)) {
      context.log.Line(std::string("Packet kind set to ") + kind + ".");
    } else {
      context.log.Line(std::string("The board did not take the packet kind ") + kind + ".");
    }
    return;
  }
  bounds.Line("Ignoring CONFIG line:", "Ignoring CONFIG line: " + LoggedLine(line) +
                                           " (the packet kinds are QWK, QWKE and UTF8)");
}

// Acts on one "AREA <conference> <mode>" line; false when it is no such
// line.
bool ApplyAreaLine(RunContext& context, UploadBounds& bounds, std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.size() != 3 || ToUpper(words[0]) != "AREA") return false;
  int32_t conference = 0;
  try {
    conference = StrictToInt32(words[1]);
  } catch (const Failure&) {
    return false;
  }
  if (words[2] == "a") {
    AddConference(context, bounds, conference);
  } else if (words[2] == "p") {
    AddConferenceYours(context, bounds, conference);
  } else if (words[2] == "g") {
    AddConferenceAddressed(context, bounds, conference);
  } else if (words[2] == "D") {
    DropConference(context, bounds, conference);
  } else {
    return false;
  }
  return true;
}

}  // namespace

void AddConferenceAddressed(RunContext& context, UploadBounds& bounds, int32_t conference) {
  SetSelection(context, bounds, conference, 13, 2, "ADD", " added for your mail and mail to all.");
}

void ApplyAreaLines(RunContext& context, UploadBounds& bounds, std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty() || !bounds.TakeControlLine()) continue;
    if (!ApplyAreaLine(context, bounds, line)) {
      bounds.Line("Ignoring TODOOR.EXT line:", "Ignoring TODOOR.EXT line: " + LoggedLine(line));
    }
  }
}

void AddConference(RunContext& context, UploadBounds& bounds, int32_t conference) {
  SetSelection(context, bounds, conference, 12, 3, "ADD", " added.");
}

void AddConferenceYours(RunContext& context, UploadBounds& bounds, int32_t conference) {
  SetSelection(context, bounds, conference, 14, 1, "YOURS", " added for your mail only.");
}

void DropConference(RunContext& context, UploadBounds& bounds, int32_t conference) {
  SetSelection(context, bounds, conference, 15, 0, "DROP", " dropped.");
}

void HandleControlMessage(RunContext& context, UploadBounds& bounds, const MessageRecord& record,
                          const std::string& text) {
  const std::string subject = Trim(ToUpper(record.subject.View()));
  const std::string command = GetWord(subject, 1);
  if (command == "ADD" || command == "RESET" || command == "YOURS" || command == "DROP") {
    if (bounds.TakeControlLine()) ApplyCommand(context, bounds, command, record.conference);
  } else if (command == "CONFIG") {
    ApplyConfigLines(context, bounds, text);
  } else if (command == "REQUEST") {
    bounds.Line("REQUEST is not supported.", "REQUEST is not supported.");
  }
}

void ApplyConfigLines(RunContext& context, UploadBounds& bounds, const std::string& text) {
  std::string_view rest = text;
  for (;;) {
    size_t end = rest.find('\n');
    if (end == std::string_view::npos) end = rest.find('\r');
    if (end == std::string_view::npos) break;
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (!bounds.TakeControlLine()) continue;
    if (ToUpper(GetWord(line, 1)) == "PACKET") {
      SetPacketKind(context, bounds, line);
      continue;
    }
    int32_t number = 0;
    try {
      number = StrictToInt32(GetWord(line, 2));
    } catch (const Failure&) {
      bounds.Line("Ignoring CONFIG line:", "Ignoring CONFIG line: " + LogSafe(line));
      continue;
    }
    ApplyCommand(context, bounds, GetWord(line, 1), number);
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
