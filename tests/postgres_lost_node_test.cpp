// A node that goes silent while it holds the board's write lock (its
// machine frozen, its network cut) holds up the other nodes' writes only
// for the board's node-timeout: the server then ends its session, rolls
// its transaction back and frees the lock. The stopped node is an
// in-process connection left idle inside its batch; when it wakes, its
// commit is refused and nothing of its batch is on the board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "base/failure.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

TEST(PostgresLostNodeTest, AnotherNodeWritesWithinTheTimeoutAndTheStoppedNodesBatchIsUndone) {
  TestBoard board({.conferences = 2}, board::Backend::kPostgres);
  board.Admin().SetConfig("node-timeout", "1");
  const int32_t mail = board.Post({.to = kUser});

  auto stopped = board.LogIn(kUser);
  stopped->BeginBatch();  // the write lock, held from here
  ASSERT_TRUE(stopped->SetLastRead(1, mail));

  auto other = board.LogIn(kOther, kOtherPassword);
  const auto start = std::chrono::steady_clock::now();
  // Without the timeout this waits for the lock until its own lock
  // timeout (10 s) and fails.
  EXPECT_TRUE(other->SetLastRead(1, mail));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  EXPECT_THROW(stopped->CommitBatch(), Failure);  // it wakes: its session is gone
  stopped->RollbackBatch();
  EXPECT_EQ(board.Number("SELECT count(*) FROM last_read WHERE user_id = ?1 AND message_id > 0",
                         {board.UserId(kUser)}),
            0);
  EXPECT_EQ(
      board.Number("SELECT message_id FROM last_read WHERE user_id = ?1", {board.UserId(kOther)}),
      mail);
}

}  // namespace
}  // namespace obrix::testing
