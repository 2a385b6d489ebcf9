// The kit's board: a user it adds carries a hash at the cheapest limits,
// and the board checks that as well as a hash made at full cost by the
// administration API.
#include "support/test_board.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace obrix::testing {
namespace {

TEST(TestBoardTest, PasswordsHashedAtEitherCostLogIn) {
  TestBoard board;
  const int32_t cheap = board.AddUser({.name = "Cheap Hash", .password = "one"});
  const int32_t full = board.Admin().AddUser("Full Hash", "two", "");
  UserRecord record;
  EXPECT_FALSE(board.Connect()->vbLoginUserEx(cheap, "TWO", 1, "Obrix", record));
  EXPECT_TRUE(board.Connect()->vbLoginUserEx(cheap, "ONE", 1, "Obrix", record));
  EXPECT_TRUE(board.Connect()->vbLoginUserEx(full, "TWO", 1, "Obrix", record));

  auto hash = board.Admin().database().Prepare("SELECT password_hash FROM users WHERE id = ?1");
  hash->Bind(1, int64_t{cheap});
  ASSERT_TRUE(hash->Step());
  EXPECT_THAT(hash->Text(0), ::testing::StartsWith("$argon2id$v=19$m=8,t=1,p=1$"));
}

}  // namespace
}  // namespace obrix::testing
