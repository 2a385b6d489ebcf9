// Message selection: the messages of the current conference that the
// download considers, one at a time, in ascending id order.
//
// How the user has the conference selected (the low four bits of his
// conference flags) chooses the way, read afresh on every call:
//   1        the unread chain: the server's chain of the user's unread
//            mail, skipping messages already received;
//   2        addressed: messages after the last-read pointer to "ALL" or
//            to the user;
//   others   sequential: every message after the last-read pointer.
// The selection never moves the last-read pointer.
#pragma once

#include <cstdint>

#include "download/conference_walk.h"
#include "server/records.h"
#include "server/server.h"

namespace obrix {

// Low four bits of the conference flags: the user's selection.
inline constexpr uint32_t kSelectionBits = 0x0F;
inline constexpr uint32_t kSelectionUnread = 1;
inline constexpr uint32_t kSelectionAddressed = 2;

// Puts the first message of the cursor's conference into `record`; false
// when there is none. `userId` is the logged-in user's. Raises
// Failure(kFailureOverflow) when the last-read id is the largest id.
bool FirstMessage(Server& server, int32_t userId, ConferenceCursor& cursor, MessageRecord& record);

// Replaces the message in `record` by the next one; false when there is
// none.
bool NextMessage(Server& server, int32_t userId, ConferenceCursor& cursor, MessageRecord& record);

}  // namespace obrix
