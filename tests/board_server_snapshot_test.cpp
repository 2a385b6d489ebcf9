// Snapshots: many reads against one state of the board, while other nodes
// go on writing.
#include <gtest/gtest.h>

#include "support/test_board.h"

namespace obrix::board {
namespace {

class BoardServerSnapshotTest : public testing::OnBoardTest {
 protected:
  BoardServerSnapshotTest() : OnBoardTest(testing::kSysopAlone) {}
};

TEST_P(BoardServerSnapshotTest, ReadsInsideASnapshotSeeOneStateOfTheBoard) {
  AddUser("Joe Reader");
  AddUser("Ann Writer");
  Admin().AddConference(1, "General", 3, {});
  const int32_t first = Post(1, "Ann Writer", "ALL", "First");

  auto reader = test_.LogIn("Joe Reader");
  auto writer = test_.LogIn("Ann Writer");
  reader->BeginSnapshot();
  EXPECT_EQ(reader->GetHighMessageNumber(1), 1);

  // Another node posts while the snapshot is open: it is not kept waiting.
  MessageRecord posted;
  posted.conference = 1;
  posted.from.id = Admin().UserId("Ann Writer");
  posted.from.name.Set("ANN WRITER");
  posted.to.name.Set("ALL");
  posted.subject.Set("Second");
  ASSERT_TRUE(writer->vbAddMessage(posted, "more text"));

  MessageRecord record;
  EXPECT_EQ(reader->GetHighMessageNumber(1), 1);
  EXPECT_FALSE(reader->vbSearchMessageById(1, first + 1, record));
  reader->EndSnapshot();

  EXPECT_EQ(reader->GetHighMessageNumber(1), 2);
  ASSERT_TRUE(reader->vbSearchMessageById(1, first + 1, record));
  EXPECT_EQ(record.subject.Trimmed(), "Second");
  reader->EndSnapshot();  // none open: nothing happens

  // A batch can follow a snapshot on the same connection.
  reader->BeginBatch();
  EXPECT_TRUE(reader->SetLastRead(1, record.id));
  reader->CommitBatch();
  EXPECT_EQ(reader->GetLastRead(1), record.id);
}

INSTANTIATE_TEST_SUITE_P(, BoardServerSnapshotTest, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix::board
