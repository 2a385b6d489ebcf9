// A user's packet options, filled from the board's "DEFAULT" account.
//
// The options live on the server as user variables in the section
// "profile". The sysop keeps board-wide defaults on an account named
// "DEFAULT"; before a download reads any option, every option the user has
// left empty gets the DEFAULT account's value written into his own profile,
// so that it reads from then on like one he set himself.
#pragma once

#include "server/server.h"

namespace obrix {

// Copies the DEFAULT account's value of every packet option whose value is
// the empty text for `user` (only its id is used), in the order and under
// the keys of PacketSettings() (server/packet_settings.h), the table's
// fallback where DEFAULT has none. Writes nothing when the board has no
// DEFAULT account. A server failure passes up.
void FillUserDefaults(Server& server, const UserRecord& user);

}  // namespace obrix
