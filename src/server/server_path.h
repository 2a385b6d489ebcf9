// The server's paths of its own files ("wc:\..."), built and read in one
// place: a message's text, its attachment, and the display screens.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace obrix {

// "wc:\conf(N)\message(ID)": the text of message ID of conference N
// (vbGetText).
std::string ConferenceMessagePath(int32_t conference, int32_t id);

// "wc:\conf(N)\message(ID)\attach": the attachment of that message.
std::string AttachmentPath(int32_t conference, int32_t id);

// "wc:\disp\NAME": a display screen, such as "hello1.bbs".
std::string DisplayPath(std::string_view name);

struct MessagePath {
  int32_t conference = 0;
  int32_t id = 0;
  bool operator==(const MessagePath&) const = default;
};

// The conference and id named by a ConferenceMessagePath: any letter case,
// nothing before or after, both numbers plain decimal digits that fit 32
// bits. nullopt for anything else.
std::optional<MessagePath> ParseMessagePath(std::string_view path);

}  // namespace obrix
