// The caller's packet kind: his profile setting "PacketKind".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "qwk/packet_kind.h"
#include "run/run_context.h"
#include "server/packet_settings.h"

namespace obrix {

// The kind a setting names: "qwk", "qwke" or "utf8", letter case and
// blanks aside; nullopt for anything else.
std::optional<PacketKind> ParsePacketKind(std::string_view value);

// The kind the user `userId` asks for. A value that names no kind gives a
// plain QWK packet and the log line saying so.
PacketKind ReadPacketKind(RunContext& context, int32_t userId);

}  // namespace obrix
