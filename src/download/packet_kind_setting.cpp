#include "download/packet_kind_setting.h"

#include <string>

#include "base/text.h"

namespace obrix {

std::optional<PacketKind> ParsePacketKind(std::string_view value) {
  std::string word;
  for (const char c : value) {
    if (c != ' ' && c != '\t') word += ToUpper(c);
  }
  if (word == ToUpper(kPacketKindQwk)) return PacketKind::kQwk;
  if (word == ToUpper(kPacketKindQwke)) return PacketKind::kQwke;
  if (word == ToUpper(kPacketKindUtf8)) return PacketKind::kUtf8;
  return std::nullopt;
}

PacketKind ReadPacketKind(RunContext& context, int32_t userId) {
  const std::string value =
      context.server.vbGetUserVariable(userId, kProfileSection, kPacketKind, kPacketKindQwk);
  const std::optional<PacketKind> kind = ParsePacketKind(value);
  if (kind) return *kind;
  context.log.Line("Unknown PacketKind \"" + LogSafe(value) + "\": making a plain QWK packet.");
  return PacketKind::kQwk;
}

}  // namespace obrix
