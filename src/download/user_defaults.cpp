#include "download/user_defaults.h"

#include <string>

#include "server/packet_settings.h"

namespace obrix {

void FillUserDefaults(Server& server, const UserRecord& user) {
  std::string defaultName = kDefaultAccount;
  UserRecord defaults;
  int32_t position = 0;
  if (!server.vbGetUserByName(defaultName, defaults, position)) return;

  const int32_t userId = user.info.id;
  for (const PacketSetting& setting : PacketSettings()) {
    if (setting.testedKey.empty()) continue;
    // Any stored text counts as set, a single blank and "0" included.
    if (!server.vbGetUserVariable(userId, kProfileSection, setting.testedKey, "").empty()) {
      continue;
    }
    const std::string value = server.vbGetUserVariable(defaults.info.id, kProfileSection,
                                                       setting.key, setting.fallback.value_or(""));
    server.SetUserVariable(userId, kProfileSection, setting.key, value);
  }
}

}  // namespace obrix
