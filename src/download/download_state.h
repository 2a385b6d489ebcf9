// What one download keeps from the scan to the delivery: the user's mail
// it put in the packet and the new last-read pointers. Both reach the
// board only once the packet exists.
#pragma once

#include <cstdint>
#include <vector>

namespace obrix {

struct PacketMessage {
  int32_t conference = 0;
  int32_t id = 0;
};

struct DownloadState {
  // The taken messages addressed to the user, in the order taken.
  std::vector<PacketMessage> PacketMessages;
  // The new pointer per conference number, 0 to the conference count - 1;
  // 0 leaves the conference's pointer as it is.
  std::vector<int32_t> ConfLastRead;
};

}  // namespace obrix
