// Filling a user's empty packet options from the DEFAULT account.
#include <map>
#include <string>

#include "download/user_defaults.h"
#include "support/forwarding_server.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

class DownloadDefaultsTest : public OnBoardTest {
 protected:
  const int32_t userId_ = test_.UserId(kUser);
  UserRecord Record(int32_t id) {
    UserRecord user;
    user.info.id = id;
    return user;
  }
  std::optional<std::string> Var(const std::string& user, const std::string& key) {
    return Admin().GetVar(user, key);
  }
};

// A board without a DEFAULT account, as far as the look-up by name goes.
class NoDefaultAccount : public ForwardingServer {
 public:
  using ForwardingServer::ForwardingServer;
  bool vbGetUserByName(std::string& name, UserRecord& user, int32_t& position) override {
    if (ToUpper(Trim(name)) == "DEFAULT") return false;
    return inner_.vbGetUserByName(name, user, position);
  }
};

TEST_F(DownloadDefaultsTest, NewUserGetsTheFallbacksUnderTheKeysTheyAreCopiedTo) {
  LogIn();
  FillUserDefaults(board_, Record(userId_));

  const std::map<std::string, std::string> expected = {
      {"IncludeNewFiles", "0"},    {"IncludeNewBulletins", "0"},  {"MaxMsgPerConf", "1000"},
      {"MaxMsgPerPacket", "200"},  {"MaxAttachSize", "0"},        {"DownloadYourMail", "0"},
      {"GoodbyeAfterUpload", "0"}, {"EnhanceScriptPrompts", "0"}, {"SmallControlDat", "0"},
      {"PacketKind", "qwk"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(Var(kUser, key), value) << key;
  EXPECT_FALSE(Var(kUser, "EnhancedScriptPrompts").has_value());
  // Nothing is written to the DEFAULT account or to anybody else.
  EXPECT_FALSE(Var("DEFAULT", "MaxMsgPerPacket").has_value());
  EXPECT_FALSE(Var(kOther, "MaxMsgPerPacket").has_value());
}

TEST_F(DownloadDefaultsTest, DefaultValueGoesOnlyToUsersWithoutOne) {
  Admin().SetVar("DEFAULT", "MaxMsgPerPacket", "50");
  Admin().SetVar("DEFAULT", "MaxMsgPerConf", "60");
  Admin().SetVar("DEFAULT", "IncludeNewFiles", " 1 ");
  Admin().SetVar(kOther, "MaxMsgPerPacket", "7");
  Admin().SetVar(kUser, "MaxMsgPerConf", " ");  // one blank counts as set
  Admin().SetVar(kUser, "IncludeNewFiles", "0");

  LogIn();
  FillUserDefaults(board_, Record(userId_));
  EXPECT_EQ(Var(kUser, "MaxMsgPerPacket"), "50");
  EXPECT_EQ(Var(kUser, "MaxMsgPerConf"), " ");
  EXPECT_EQ(Var(kUser, "IncludeNewFiles"), "0");

  LogIn(kOther, kOtherPassword);
  FillUserDefaults(board_, Record(test_.UserId(kOther)));
  EXPECT_EQ(Var(kOther, "MaxMsgPerPacket"), "7");
  EXPECT_EQ(Var(kOther, "MaxMsgPerConf"), "60");
  EXPECT_EQ(Var(kOther, "IncludeNewFiles"), " 1 ");  // copied unchanged
}

TEST_F(DownloadDefaultsTest, ScriptPromptsAreTestedUnderOneKeyAndCopiedUnderTheOther) {
  Admin().SetVar("DEFAULT", "EnhanceScriptPrompts", "2");
  Admin().SetVar(kUser, "EnhanceScriptPrompts", "1");
  LogIn();
  FillUserDefaults(board_, Record(userId_));
  EXPECT_EQ(Var(kUser, "EnhanceScriptPrompts"), "2");
  EXPECT_FALSE(Var(kUser, "EnhancedScriptPrompts").has_value());

  // Overwritten on every download while the tested key stays empty ...
  Admin().SetVar("DEFAULT", "EnhanceScriptPrompts", "3");
  FillUserDefaults(board_, Record(userId_));
  EXPECT_EQ(Var(kUser, "EnhanceScriptPrompts"), "3");

  // ... and left alone once it is set.
  Admin().SetVar(kUser, "EnhancedScriptPrompts", "0");
  Admin().SetVar("DEFAULT", "EnhanceScriptPrompts", "4");
  FillUserDefaults(board_, Record(userId_));
  EXPECT_EQ(Var(kUser, "EnhanceScriptPrompts"), "3");
}

TEST_F(DownloadDefaultsTest, WithoutDefaultAccountNothingIsWritten) {
  Admin().SetVar("DEFAULT", "MaxMsgPerPacket", "50");
  LogIn();
  NoDefaultAccount server(board_);
  FillUserDefaults(server, Record(userId_));
  for (const char* key : {"IncludeNewFiles", "MaxMsgPerPacket", "MaxMsgPerConf",
                          "EnhanceScriptPrompts", "SmallControlDat"}) {
    EXPECT_FALSE(Var(kUser, key).has_value()) << key;
  }
}

}  // namespace
}  // namespace obrix::testing
