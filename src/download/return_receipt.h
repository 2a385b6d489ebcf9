// Return receipts: a sender who asked for one learns when his message
// reached its addressee.
#pragma once

#include "platform/clock.h"
#include "server/records.h"
#include "server/server.h"

namespace obrix {

// The name the receipts are sent under (sender id 0: no user).
inline constexpr const char* kReceiptSender = "Wildcat! Mail Room";

// Posts a private receipt for the just-delivered `delivered` back to its
// sender, in its conference, saying when it was read by `clock`. Returns
// whether the server added it; a failure of the server passes up.
bool SendReturnReceipt(Server& server, const Clock& clock, const MessageRecord& delivered);

}  // namespace obrix
