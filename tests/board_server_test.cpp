// The board behind the server interface: connection, log-in, users, user
// variables, configuration and conferences, against a real board file.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "board/schema.h"
#include "board/sqlite/sqlite.h"
#include "support/test_board.h"

namespace obrix::board {
namespace {

// The number of the Failure that `call` raises, 0 when it raises none.
int32_t FailureNumber(const std::function<void()>& call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure.number();
  }
  return 0;
}

class BoardServerTest : public testing::OnBoardTest {
 protected:
  BoardServerTest() : OnBoardTest(testing::kSysopAlone) {}
};
using BoardServerConnection = BoardServerTest;

TEST_F(BoardServerConnection, RefusesWhatIsNotAKnownBoardAndNeverCreatesOne) {
  Board board;
  const std::string missing = test_.name() + ".missing";
  EXPECT_FALSE(board.vbWildcatServerConnect(missing.c_str()));
  EXPECT_EQ(board.GetLastError(), kServerNoConnection);
  EXPECT_FALSE(obrix::testing::Exists(missing));

  const std::string text = test_.name() + ".txt";
  obrix::testing::WriteFile(text, "not a database at all, just some words\n");
  EXPECT_FALSE(board.vbWildcatServerConnect(text.c_str()));

  // A database of someone else's: refused and left as it was (no WAL).
  const std::string other = test_.name() + ".other";
  {
    const auto db = SqliteDatabase::Open(other, true);
    db->Exec("CREATE TABLE notes (line TEXT)");
  }
  EXPECT_FALSE(board.vbWildcatServerConnect(other.c_str()));
  {
    const auto db = SqliteDatabase::Open(other, false);
    auto mode = db->Prepare("PRAGMA journal_mode");
    ASSERT_TRUE(mode->Step());
    EXPECT_EQ(mode->Text(0), "delete");
  }

  EXPECT_TRUE(board.vbWildcatServerConnect(test_.name().c_str()));
  Admin().database().Exec("UPDATE meta SET value = '" + std::to_string(kSchemaVersion + 1) +
                          "' WHERE key = 'schema_version'");
  EXPECT_FALSE(board.vbWildcatServerConnect(test_.name().c_str()));
  EXPECT_FALSE(board.WildcatServerCreateContext());
  EXPECT_EQ(board.GetLastError(), kServerNoConnection);
}

TEST_P(BoardServerConnection, OperationsNeedAContextAndALogIn) {
  Board board;
  EXPECT_FALSE(board.WildcatServerCreateContext());
  EXPECT_FALSE(board.LoginSystem());
  EXPECT_FALSE(board.WildcatServerDeleteContext());  // safe before any connection
  EXPECT_EQ(FailureNumber([&] { board.GetConferenceCount(); }), kFailureServer);
  EXPECT_EQ(board.GetLastError(), kServerNoConnection);

  ASSERT_TRUE(board.vbWildcatServerConnect(test_.name().c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  EXPECT_EQ(board.GetConferenceCount(), 0);  // board-wide: no log-in needed
  std::string name = "DEFAULT";
  UserRecord user;
  int32_t position = 0;
  EXPECT_EQ(FailureNumber([&] { board.vbGetUserByName(name, user, position); }),
            kFailureNotLoggedIn);
  EXPECT_EQ(board.GetLastError(), kServerNotLoggedIn);

  // SYSTEM is not a user: per-user operations need a user's log-in.
  ASSERT_TRUE(board.LoginSystem());
  EXPECT_TRUE(board.vbGetUserByName(name, user, position));
  EXPECT_EQ(FailureNumber([&] { board.GetLastRead(0); }), kFailureNotLoggedIn);
  EXPECT_EQ(board.GetObjectFlags(kSysopObject), 0xFFFFFFFFu);

  EXPECT_TRUE(board.WildcatServerDeleteContext());
  EXPECT_FALSE(board.WildcatServerDeleteContext());
  EXPECT_FALSE(board.LogoutUser());
  EXPECT_EQ(FailureNumber([&] { board.vbGetUserByName(name, user, position); }), kFailureServer);
}

// A board of version 3 (before the packets' digests), of either kind, is
// upgraded when it is connected to.
TEST_P(BoardServerConnection, UpgradesABoardOfVersionThree) {
  Admin().database().Exec(
      "ALTER TABLE deliveries DROP COLUMN packet_digest;"
      "UPDATE meta SET value = '3' WHERE key = 'schema_version'");
  {
    Board board;
    ASSERT_TRUE(board.vbWildcatServerConnect(test_.name().c_str()));
  }
  auto version = Admin().database().Prepare("SELECT value FROM meta WHERE key = 'schema_version'");
  ASSERT_TRUE(version->Step());
  EXPECT_EQ(version->Text(0), std::to_string(kSchemaVersion));
  Admin().database().Exec("SELECT packet_digest FROM deliveries");  // raises when missing
}

using BoardServerLogin = BoardServerTest;

TEST_P(BoardServerLogin, ChecksTheUpperCasedPassword) {
  const int32_t bob = AddUser("Bob Smith");
  auto board = test_.Connect();
  UserRecord user;
  EXPECT_FALSE(board->vbLoginUserEx(bob, "wrong", 1, "Obrix", user));
  EXPECT_EQ(board->GetLastError(), kServerBadPassword);
  EXPECT_FALSE(board->vbLoginUserEx(bob + 100, testing::kUserPassword, 1, "Obrix", user));
  EXPECT_EQ(board->GetLastError(), kServerNotFound);
  EXPECT_FALSE(board->vbLoginUserEx(Admin().UserId("DEFAULT"), "", 1, "Obrix", user));
  EXPECT_EQ(board->GetLastError(), kServerAccessDenied);
  // A failed attempt leaves nobody logged in.
  EXPECT_EQ(FailureNumber([&] { board->GetObjectFlags(kSysopObject); }), kFailureNotLoggedIn);

  EXPECT_TRUE(board->vbLoginUserEx(bob, "sEcReT", 1, "Obrix", user));
  EXPECT_EQ(board->GetLastError(), kServerOk);
  EXPECT_EQ(user.info.id, bob);
  EXPECT_EQ(user.info.name.Trimmed(), "BOB SMITH");
  EXPECT_EQ(board->GetObjectFlags(kSysopObject), 0u);
  EXPECT_TRUE(board->LogoutUser());
  EXPECT_FALSE(board->LogoutUser());
}

using BoardServerUsers = BoardServerTest;

TEST_P(BoardServerUsers, LookUpNamesInAnyLetterCase) {
  const int32_t bob = Admin().AddUser("Bob Smith", testing::kUserPassword, "Poet");
  Admin().SetNewFilesDate("bob smith", *ParseBoardDate("2024-03-05 14:07"));
  auto board = test_.System();

  std::string name = "  bob smith ";
  UserRecord user;
  int32_t position = 0;
  ASSERT_TRUE(board->vbGetUserByName(name, user, position));
  EXPECT_EQ(name, "BOB SMITH");
  EXPECT_EQ(user.info.id, bob);
  EXPECT_EQ(user.info.title.Str(), "Poet        ");
  EXPECT_EQ(user.newFilesDate, *ParseBoardDate("2024-03-05 14:07"));

  UserRecord byId;
  ASSERT_TRUE(board->vbGetUserById(bob, byId, position));
  EXPECT_EQ(byId.info.name, user.info.name);

  std::string field = FixedText<72>("Bob Smith").Str();
  UserInfo info;
  ASSERT_TRUE(board->vbLookupName(field, info));
  EXPECT_EQ(field, FixedText<72>("BOB SMITH").Str());
  EXPECT_EQ(info.id, bob);

  std::string unknown = "Nobody Here";
  EXPECT_FALSE(board->vbGetUserByName(unknown, user, position));
  EXPECT_EQ(board->GetLastError(), kServerNotFound);
  EXPECT_EQ(unknown, "Nobody Here");
  EXPECT_FALSE(board->vbLookupName(unknown, info));
  EXPECT_EQ(info.id, bob);  // untouched
}

TEST_P(BoardServerUsers, VariablesBelongToTheirUserAndDefaultsAreReadable) {
  const int32_t bob = AddUser("Bob");
  const int32_t eve = AddUser("Eve");
  const int32_t defaults = Admin().UserId("DEFAULT");
  Admin().SetVar("DEFAULT", "MaxMsgPerConf", "1000");
  Admin().SetVar("Eve", "Hidden", "eve's");

  auto board = test_.LogIn("Bob");
  const std::string bytes = std::string(" caf\xE9 \x01 ") + '\0' + "end ";
  EXPECT_TRUE(board->SetUserVariable(bob, "profile", "Motto", bytes));
  EXPECT_EQ(board->vbGetUserVariable(bob, "profile", "Motto", "x"), bytes);
  EXPECT_EQ(board->vbGetUserVariable(bob, "profile", "Unset", "fallback"), "fallback");
  EXPECT_EQ(board->vbGetUserVariable(defaults, "profile", "MaxMsgPerConf", "0"), "1000");

  EXPECT_FALSE(board->SetUserVariable(defaults, "profile", "MaxMsgPerConf", "5"));
  EXPECT_EQ(board->GetLastError(), kServerAccessDenied);
  EXPECT_EQ(board->vbGetUserVariable(eve, "profile", "Hidden", "refused"), "refused");
  EXPECT_EQ(board->GetLastError(), kServerAccessDenied);
  EXPECT_FALSE(board->SetUserVariable(eve, "profile", "Hidden", "bob's"));

  auto system = test_.System();
  EXPECT_EQ(system->vbGetUserVariable(eve, "profile", "Hidden", ""), "eve's");
  EXPECT_TRUE(system->SetUserVariable(defaults, "profile", "MaxMsgPerConf", "5"));
  EXPECT_EQ(Admin().GetVar("DEFAULT", "MaxMsgPerConf"), "5");
  EXPECT_FALSE(system->SetUserVariable(9999, "profile", "Any", "x"));
  EXPECT_EQ(system->GetLastError(), kServerNotFound);
}

using BoardServerConfig = BoardServerTest;

TEST_P(BoardServerConfig, ReadsTheConfigurationAndRecordsActivity) {
  AddUser("Bob");
  auto board = test_.LogIn("Bob");
  MakewildRecord makewild;
  ASSERT_TRUE(board->vbGetMakewild(makewild));
  EXPECT_EQ(makewild.boardName.Trimmed(), BoardConfig().name);
  EXPECT_EQ(makewild.sysopName.Trimmed(), "Sara Sysop");
  EXPECT_EQ(makewild.packetId.Str(), "OBRIX       ");

  int32_t packet = 0;
  int32_t conference = 0;
  ASSERT_TRUE(board->GetQwkBaudLimits(packet, conference));
  EXPECT_EQ(packet, 10000);
  EXPECT_EQ(conference, 10000);
  Admin().SetConfig("packet-limit", "250");
  Admin().SetConfig("conf-limit", "40");
  Admin().SetConfig("version", "612");
  ASSERT_TRUE(board->GetQwkBaudLimits(packet, conference));
  EXPECT_EQ(packet, 250);
  EXPECT_EQ(conference, 40);
  EXPECT_EQ(board->GetWildcatVersion(), 612);

  EXPECT_EQ(board->GetObjectFlags(kSysopObject), 0u);
  Admin().Grant("Bob", kSysopObject, 8);
  EXPECT_EQ(board->GetObjectFlags(kSysopObject), 8u);
  EXPECT_EQ(test_.LogIn("Sara Sysop")->GetObjectFlags(kSysopObject), 0xFFFFFFFFu);

  EXPECT_TRUE(board->SetNodeActivity("QWK Download"));
  const auto who = Admin().Who();
  ASSERT_EQ(who.size(), 1u);
  EXPECT_EQ(who[0].user, "BOB");
  EXPECT_EQ(who[0].text, "QWK Download");
}

using BoardServerConferences = BoardServerTest;

TEST_P(BoardServerConferences, WalkOffersReadableConferencesWithMaskBits) {
  AddUser("Bob");
  AddUser("Eve");
  Admin().AddConference(0, "Main", 3, {});
  Admin().AddConference(2, "Eve's room", 3, {"Eve"});
  Admin().AddConference(5, "Dropped later", 3, {});
  Admin().AddConference(7, "High bits only", 0x90, {});
  Admin().AddConference(9, "Yours only", 1, {});
  auto bob = test_.LogIn("Bob");
  EXPECT_EQ(bob->GetConferenceCount(), 10);

  auto walk = [](Board& board) {
    std::vector<int32_t> offered;
    for (int32_t c = board.GetFirstConference(0, 15); c >= 0;
         c = board.GetNextConference(0, 15, c)) {
      offered.push_back(c);
    }
    return offered;
  };
  EXPECT_EQ(walk(*bob), (std::vector<int32_t>{0, 5, 9}));
  EXPECT_EQ(walk(*test_.LogIn("Eve")), (std::vector<int32_t>{0, 2, 5, 9}));

  EXPECT_EQ(bob->GetConfFlags(7), 0x90u);
  EXPECT_TRUE(bob->SetConfFlags(5, 0x80));  // dropped: low four bits clear
  EXPECT_TRUE(bob->SetConfFlags(7, 0x93));
  EXPECT_EQ(bob->GetConfFlags(5), 0x80u);
  EXPECT_EQ(walk(*bob), (std::vector<int32_t>{0, 7, 9}));
  EXPECT_EQ(bob->GetNextConference(0, 15, 9), -1);
  EXPECT_EQ(Admin().GetFlags("Eve", 5), 3u);  // flags are per user

  EXPECT_EQ(bob->GetConfFlags(2), 0u);
  EXPECT_EQ(bob->GetLastError(), kServerAccessDenied);
  EXPECT_FALSE(bob->SetConfFlags(2, 3));
  EXPECT_FALSE(bob->SetConfFlags(4, 3));
  EXPECT_EQ(bob->GetLastError(), kServerNotFound);
}

TEST_P(BoardServerConferences, DescriptionOfAnUnreadableConferenceHasNoName) {
  AddUser("Bob");
  AddUser("Eve");
  Admin().AddConference(1, "General", 3, {});
  Admin().AddConference(2, "Eve's room", 3, {"Eve"});
  auto bob = test_.LogIn("Bob");

  ConfDescRecord record;
  ASSERT_TRUE(bob->vbGetConfDesc(1, record));
  EXPECT_EQ(record.number, 1);
  EXPECT_EQ(record.name.Trimmed(), "General");
  EXPECT_FALSE(bob->vbGetConfDesc(2, record));
  EXPECT_EQ(bob->GetLastError(), kServerAccessDenied);
  EXPECT_EQ(record.number, 2);
  EXPECT_TRUE(record.name.IsBlank());
  EXPECT_FALSE(bob->vbGetConfDesc(3, record));
  EXPECT_EQ(bob->GetLastError(), kServerNotFound);
  EXPECT_EQ(record.number, 3);

  ASSERT_TRUE(test_.System()->vbGetConfDesc(2, record));
  EXPECT_EQ(record.name.Trimmed(), "Eve's room");
}

INSTANTIATE_TEST_SUITE_P(, BoardServerConnection, testing::kBothBackends, testing::BackendName);
INSTANTIATE_TEST_SUITE_P(, BoardServerLogin, testing::kBothBackends, testing::BackendName);
INSTANTIATE_TEST_SUITE_P(, BoardServerUsers, testing::kBothBackends, testing::BackendName);
INSTANTIATE_TEST_SUITE_P(, BoardServerConfig, testing::kBothBackends, testing::BackendName);
INSTANTIATE_TEST_SUITE_P(, BoardServerConferences, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix::board
