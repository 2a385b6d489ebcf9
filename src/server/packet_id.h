// The board's packet id: the stem of every packet file's name (ID.qwk,
// ID.ptr, ID.rep, ID.msg), which goes to the archivers as part of their
// arguments. The sysop's tool refuses to store an id that breaks the rule,
// and the door refuses to work with one.
#pragma once

#include <string_view>

namespace obrix {

// The rule in words, for the messages that refuse an id.
inline constexpr const char* kPacketIdRule =
    "1 to 8 letters, digits, '_' or '-', not beginning with '-'";

// True when `id` keeps the rule: 1 to 8 ASCII letters, digits, "_" or "-",
// the first not a "-" (which an archiver would read as an option).
bool IsValidPacketId(std::string_view id);

}  // namespace obrix
