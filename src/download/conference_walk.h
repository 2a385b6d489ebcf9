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

struct ConferenceCursor {
  // The current conference as the server describes it; a negative number
  // means there is none.
  ConfDescRecord conference;
  // The next link of the unread chain after the message last offered from it.
  int32_t nextUnread = 0;
};

// Start values: no current conference, no unread link.
void ResetCursor(ConferenceCursor& cursor);

// Makes the server's first offered conference current. True only when the
// server names one and its description can be read.
bool FirstConference(Server& server, ConferenceCursor& cursor);

// Moves to the conference the server offers after the current one. True as
// soon as the server names one (its description is read but not checked).
bool NextConference(Server& server, ConferenceCursor& cursor);

}  // namespace obrix
