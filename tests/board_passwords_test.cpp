// Password hashes at the programs' cost and at the cheap cost that test
// boards use, and a board whose accounts were made cheaply.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "board/board.h"
#include "board/passwords.h"
#include "support/test_support.h"

namespace obrix::board {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(PasswordsTest, EachCostChecksInAnyLetterCase) {
  struct Case {
    HashCost cost;
    const char* limits;  // as the hash records them
  };
  for (const Case& c :
       {Case{HashCost::kFull, "$m=65536,t=2,"}, Case{HashCost::kMinimum, "$m=8,t=1,"}}) {
    const std::string hash = HashPassword("Sesame", c.cost);
    EXPECT_THAT(hash, StartsWith("$argon2id$"));
    EXPECT_THAT(hash, HasSubstr(c.limits));
    EXPECT_TRUE(CheckPassword(hash, "sESAME")) << c.limits;
    EXPECT_FALSE(CheckPassword(hash, "Sesame ")) << c.limits;
  }
}

TEST(PasswordsTest, BoardMadeAtTheMinimumCostLogsIn) {
  obrix::testing::TempDir dir;
  const std::string path = dir / "board.db";
  BoardConfig config;
  config.sysop = "Sara Sysop";
  BoardAdmin::Create(path, config, "Root", HashCost::kMinimum);
  BoardAdmin admin = BoardAdmin::Open(path);
  admin.SetHashCost(HashCost::kMinimum);
  const int32_t bob = admin.AddUser("Bob", "Secret", "");
  admin.SetPassword("Bob", "Other");

  Board board;
  ASSERT_TRUE(board.vbWildcatServerConnect(path.c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  UserRecord user;
  EXPECT_TRUE(board.vbLoginUserEx(admin.UserId("Sara Sysop"), "root", 1, "Obrix", user));
  EXPECT_FALSE(board.vbLoginUserEx(bob, "Secret", 1, "Obrix", user));
  EXPECT_EQ(board.GetLastError(), kServerBadPassword);
  EXPECT_TRUE(board.vbLoginUserEx(bob, "other", 1, "Obrix", user));

  std::vector<std::string> hashes;  // the sysop's and Bob's
  auto stored =
      admin.database().Prepare("SELECT password_hash FROM users WHERE password_hash IS NOT NULL");
  while (stored->Step()) hashes.push_back(stored->Text(0));
  EXPECT_THAT(hashes, ElementsAre(HasSubstr("$m=8,t=1,"), HasSubstr("$m=8,t=1,")));
}

}  // namespace
}  // namespace obrix::board
