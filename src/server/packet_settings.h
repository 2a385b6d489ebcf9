// The users' packet settings: the variables of the "profile" section that
// the door reads, with the values each may hold and the value a user gets
// when neither he nor the DEFAULT account has one. The door fills a user's
// empty settings from this table; obrix-board checks, lists and describes
// them by it, and its documents are compared with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obrix {

// The keys the door reads a value of.
inline constexpr const char* kIncludeNewFiles = "IncludeNewFiles";
inline constexpr const char* kIncludeNewBulletins = "IncludeNewBulletins";
inline constexpr const char* kMaxMsgPerConf = "MaxMsgPerConf";
inline constexpr const char* kMaxMsgPerPacket = "MaxMsgPerPacket";
inline constexpr const char* kMaxAttachSize = "MaxAttachSize";
inline constexpr const char* kDownloadYourMail = "DownloadYourMail";
inline constexpr const char* kSmallControlDat = "SmallControlDat";
inline constexpr const char* kPacketKind = "PacketKind";

// PacketKind's words: a plain QWK packet (what a user gets when neither he
// nor DEFAULT has one), a QWKE packet, a QWKE packet with HEADERS.DAT and
// UTF-8 texts.
inline constexpr const char* kPacketKindQwk = "qwk";
inline constexpr const char* kPacketKindQwke = "qwke";
inline constexpr const char* kPacketKindUtf8 = "utf8";

// The limits that a MaxMsgPerPacket or MaxMsgPerConf of 0 stands for. They
// pair the other way round from the values a new user gets when DEFAULT
// has none (MaxMsgPerPacket 200, MaxMsgPerConf 1000); that is deliberate.
inline constexpr int32_t kPacketLimitForZero = 1000;
inline constexpr int32_t kConferenceLimitForZero = 200;

struct PacketSetting {
  std::string key;  // what the sysop sets and the door reads
  // The user's key whose empty value has the door copy DEFAULT's value of
  // `key` to him. It is `key` itself but for one pair kept for existing
  // profiles (EnhanceScriptPrompts is copied while EnhancedScriptPrompts is
  // empty); empty when the door never copies the setting.
  std::string testedKey;
  // A whole number from `lowest` to `highest`, or, when `words` is not
  // empty, one of those (lower-case) words.
  int32_t lowest = 0;
  int32_t highest = 0;
  std::vector<std::string> words;
  // What the door copies when DEFAULT has no value; none when not copied.
  std::optional<std::string> fallback;
  std::string meaning;
};

// Every setting, in the order in which the door fills them.
const std::vector<PacketSetting>& PacketSettings();

// The setting of exactly that key (letter case counts), if any.
const PacketSetting* FindPacketSetting(std::string_view key);

// The values a setting takes, in words: "0 to 1", "qwk, qwke or utf8".
std::string AllowedValues(const PacketSetting& setting);

}  // namespace obrix
