#include "download/user_defaults.h"

#include <string>

namespace obrix {

namespace {

constexpr const char* kSection = "profile";

struct PacketOption {
  const char* userKey;     // tested on the user
  const char* defaultKey;  // read on DEFAULT and written to the user
  const char* fallback;    // when DEFAULT has no value
};

// In the order they are handled. One option has always been tested under
// one key and copied under another ("EnhancedScriptPrompts" against
// "EnhanceScriptPrompts"); existing profiles depend on that, so it stays.
constexpr PacketOption kOptions[] = {
    {"IncludeNewFiles", "IncludeNewFiles", "0"},
    {"IncludeNewBulletins", "IncludeNewBulletins", "0"},
    {"MaxMsgPerConf", "MaxMsgPerConf", "1000"},
    {"MaxMsgPerPacket", "MaxMsgPerPacket", "200"},
    {"MaxAttachSize", "MaxAttachSize", "0"},
    {"DownloadYourMail", "DownloadYourMail", "0"},
    {"GoodbyeAfterUpload", "GoodbyeAfterUpload", "0"},
    {"EnhancedScriptPrompts", "EnhanceScriptPrompts", "0"},
    {"SmallControlDat", "SmallControlDat", "0"},
};

}  // namespace

void FillUserDefaults(Server& server, const UserRecord& user) {
  std::string defaultName = "DEFAULT";
  UserRecord defaults;
  int32_t position = 0;
  if (!server.vbGetUserByName(defaultName, defaults, position)) return;

  const int32_t userId = user.info.id;
  for (const PacketOption& option : kOptions) {
    // Any stored text counts as set, a single blank and "0" included.
    if (!server.vbGetUserVariable(userId, kSection, option.userKey, "").empty()) continue;
    const std::string value =
        server.vbGetUserVariable(defaults.info.id, kSection, option.defaultKey, option.fallback);
    server.SetUserVariable(userId, kSection, option.defaultKey, value);
  }
}

}  // namespace obrix
