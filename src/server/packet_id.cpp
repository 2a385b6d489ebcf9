#include "server/packet_id.h"

namespace obrix {

namespace {

// A packet file's name has at most eight characters before its extension.
constexpr size_t kPacketIdMost = 8;

bool IsPacketIdCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

}  // namespace

bool IsValidPacketId(std::string_view id) {
  if (id.empty() || id.size() > kPacketIdMost || id.front() == '-') return false;
  for (const char c : id) {
    if (!IsPacketIdCharacter(c)) return false;
  }
  return true;
}

}  // namespace obrix
