// The digest that tells a packet the BBS never took away.
//
// A download notes the digest of the packet it built in the user's
// delivery record. The BBS removes a packet once it has sent it, so a
// packet with the same digest still in the work directory at the user's
// next download was never handed over, whatever became of the run that
// built it: its mail is offered again.
#pragma once

#include <string>

namespace obrix {

// The BLAKE2b-256 digest (32 bytes) of the plain file at `path`; empty when
// there is no such file or it cannot be read whole.
std::string PacketDigest(const std::string& path);

}  // namespace obrix
