#include "server/packet_settings.h"

#include <limits>
#include <utility>

#include "base/text.h"

namespace obrix {

namespace {

constexpr int32_t kMost = std::numeric_limits<int32_t>::max();

PacketSetting Switch(const char* key, const char* meaning) {
  return {key, key, 0, 1, {}, "0", meaning};
}

PacketSetting Count(const char* key, const char* fallback, std::string meaning) {
  return {key, key, 0, kMost, {}, fallback, std::move(meaning)};
}

}  // namespace

const std::vector<PacketSetting>& PacketSettings() {
  static const std::vector<PacketSetting> settings = {
      Switch(kIncludeNewFiles,
             "1: the packet holds the list of files new since his new-files date (newfiles.dat)"),
      Switch(kIncludeNewBulletins,
             "1: asks for news bulletins; only logged, the welcome and goodbye screens come "
             "either way"),
      Count(kMaxMsgPerConf, "1000",
            "most messages from one conference in a packet; 0 means " +
                Decimal(kConferenceLimitForZero) + "; the board's conf-limit caps it"),
      Count(kMaxMsgPerPacket, "200",
            "most messages in one packet; 0 means " + Decimal(kPacketLimitForZero) +
                "; the board's packet-limit caps it"),
      Count(kMaxAttachSize, "0",
            "the largest attachment, in KB, whose size the packet counts (for his own mail, and "
            "with flag 0x80 for all)"),
      Switch(kDownloadYourMail, "1: the messages he wrote himself stay out of his packets"),
      Switch("GoodbyeAfterUpload", "kept for his reader; the door does not use it"),
      {"EnhanceScriptPrompts",
       "EnhancedScriptPrompts",
       0,
       1,
       {},
       "0",
       "kept for his reader; the door does not use it"},
      {"EnhancedScriptPrompts",
       "",
       0,
       1,
       {},
       std::nullopt,
       "while it is empty, EnhanceScriptPrompts is copied from DEFAULT at every download"},
      Switch(kSmallControlDat, "read by the door, which writes the same control file either way"),
      {kPacketKind,
       kPacketKind,
       0,
       0,
       {kPacketKindQwk, kPacketKindQwke, kPacketKindUtf8},
       kPacketKindQwk,
       "the packet's kind: qwk (plain QWK), qwke (QWKE: long fields, TOREADER.EXT), utf8 (QWKE "
       "with HEADERS.DAT and UTF-8 text)"},
  };
  return settings;
}

const PacketSetting* FindPacketSetting(std::string_view key) {
  for (const PacketSetting& setting : PacketSettings()) {
    if (key == setting.key) return &setting;
  }
  return nullptr;
}

std::string AllowedValues(const PacketSetting& setting) {
  if (setting.words.empty()) return Decimal(setting.lowest) + " to " + Decimal(setting.highest);
  std::string out;
  for (size_t i = 0; i < setting.words.size(); ++i) {
    if (i > 0) out += i + 1 == setting.words.size() ? " or " : ", ";
    out += setting.words[i];
  }
  return out;
}

}  // namespace obrix
