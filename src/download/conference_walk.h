// The conference walk: the download's way through the message base.
//
// The server decides which conferences a user is offered and in which
// order; the walk asks for the first one and then for the one after the
// current, forward only, each once. Its state is one `ConferenceCursor`,
// which the message selection shares: it reads the current conference from
// it and keeps its place in the conference's unread chain there.
#pragma once

#include <cstdint>

#include "server/records.h"
#include "server/server.h"

namespace obrix {

// How the walk enumerates conferences: the server's own enumeration.
inline constexpr int16_t kWalkServerOrder = 1;
// How messages are selected: afresh for each conference from its flags.
inline constexpr int16_t kSelectByFlags = 0;

struct ConferenceCursor {
  int16_t kind = -1;
  // The current conference as the server describes it; a negative number
  // means there is none.
  ConfDescRecord conference;
  int16_t mode = -1;
  int16_t forward = -1;  // 16-bit boolean, -1 true
  // The unread-chain links of the message last offered in that mode.
  int32_t nextUnread = 0;
  int32_t prevUnread = 0;
};

// Start values: kind, mode and forward -1, no current conference, unread
// links 0.
void ResetCursor(ConferenceCursor& cursor);

// Makes the server's first offered conference current. True only when the
// server names one and its description can be read.
bool FirstConference(Server& server, ConferenceCursor& cursor);

// Moves to the conference the server offers after the current one. True as
// soon as the server names one (its description is read but not checked).
bool NextConference(Server& server, ConferenceCursor& cursor);

}  // namespace obrix
