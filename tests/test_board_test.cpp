// The kit's board, of either kind: a user it adds carries a hash at the
// cheapest limits, and the board checks that as well as a hash made at
// full cost by the administration API; every board is a board of its own.
#include "support/test_board.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/failure.h"

namespace obrix::testing {
namespace {

using TestBoardTest = BoardTest;

TEST_P(TestBoardTest, PasswordsHashedAtEitherCostLogIn) {
  TestBoard board({}, backend());
  const int32_t cheap = board.AddUser({.name = "Cheap Hash", .password = "one"});
  board.Admin().SetHashCost(board::HashCost::kFull);
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

// Boards of one setup come from one template, and a copy from its model:
// what is written to one never reaches another, and a board is gone with
// its TestBoard.
TEST_P(TestBoardTest, EveryBoardIsABoardOfItsOwn) {
  std::string gone;
  {
    TestBoard first({.conferences = 2}, backend());
    TestBoard second({.conferences = 2}, backend());
    EXPECT_EQ(board::IsPostgresName(first.name()), backend() == board::Backend::kPostgres);
    EXPECT_NE(first.name(), second.name());
    first.Post({.subject = "Only on the first"});
    EXPECT_THAT(second.Subjects(), ::testing::IsEmpty());

    TestBoard copy(first);
    first.Post({.subject = "After the copy"});
    copy.Post({.subject = "Only on the copy"});
    EXPECT_THAT(copy.Subjects(), ::testing::ElementsAre("Only on the first", "Only on the copy"));
    EXPECT_THAT(first.Subjects(), ::testing::ElementsAre("Only on the first", "After the copy"));
    EXPECT_EQ(TestBoard({.conferences = 2}, backend()).Number("SELECT count(*) FROM messages"), 0);
    gone = copy.name();
  }
  EXPECT_THROW(board::OpenDatabase(gone, false), Failure);
}

INSTANTIATE_TEST_SUITE_P(, TestBoardTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
