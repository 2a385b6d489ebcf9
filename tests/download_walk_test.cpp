// The conference walk and the three ways of selecting messages, against a
// real board.
#include <limits>
#include <vector>

#include "base/failure.h"
#include "download/conference_walk.h"
#include "download/message_selection.h"
#include "support/forwarding_server.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

class DownloadWalkTest : public OnBoardTest {
 protected:
  // The conference numbers the walk visits, in order.
  std::vector<int32_t> Walk(Server& server) {
    ConferenceCursor cursor;
    ResetCursor(cursor);
    std::vector<int32_t> visited;
    for (bool current = FirstConference(server, cursor); current;
         current = NextConference(server, cursor)) {
      visited.push_back(cursor.conference.number);
    }
    return visited;
  }
};

// Descriptions of one conference cannot be read.
class UndescribedConference : public ForwardingServer {
 public:
  UndescribedConference(Server& inner, int32_t conference)
      : ForwardingServer(inner), conference_(conference) {}
  bool vbGetConfDesc(int32_t conference, ConfDescRecord& record) override {
    if (conference == conference_) return false;
    return inner_.vbGetConfDesc(conference, record);
  }

 private:
  int32_t conference_;
};

TEST_F(DownloadWalkTest, BoardWithoutOfferedConferenceGivesNone) {
  LogIn();
  EXPECT_TRUE(Walk(board_).empty());

  Admin().AddConference(4, "Dropped", 0, {});
  Admin().AddConference(5, "Restricted", 3, {kOther});
  ConferenceCursor cursor;
  ResetCursor(cursor);
  EXPECT_FALSE(FirstConference(board_, cursor));
  EXPECT_LT(cursor.conference.number, 0);
}

TEST_F(DownloadWalkTest, VisitsEveryOfferedConferenceOnceInOrderFromZero) {
  Admin().AddConference(0, "Main Board", 3, {});
  Admin().AddConference(2, "Mail Only", 1, {});
  Admin().AddConference(5, "Dropped Later", 3, {});
  Admin().AddConference(7, "Addressed", 2, {});
  Admin().SetFlags(kUser, 5, 0x80);  // no selection bit: not offered
  LogIn();
  EXPECT_EQ(Walk(board_), (std::vector<int32_t>{0, 2, 7}));

  ConferenceCursor cursor;
  ResetCursor(cursor);
  ASSERT_TRUE(FirstConference(board_, cursor));
  EXPECT_EQ(cursor.conference.number, 0);
  EXPECT_EQ(cursor.conference.name.Trimmed(), "Main Board");
  ASSERT_TRUE(NextConference(board_, cursor));
  EXPECT_EQ(cursor.conference.name.Trimmed(), "Mail Only");
}

TEST_F(DownloadWalkTest, OnlyTheFirstConferenceNeedsItsDescription) {
  Admin().AddConference(1, "One", 3, {});
  Admin().AddConference(3, "Three", 3, {});
  Admin().AddConference(6, "Six", 3, {});
  LogIn();
  UndescribedConference firstUnreadable(board_, 1);
  EXPECT_TRUE(Walk(firstUnreadable).empty());
  UndescribedConference laterUnreadable(board_, 3);
  EXPECT_EQ(Walk(laterUnreadable), (std::vector<int32_t>{1, 3, 6}));
}

class DownloadSelectionTest : public OnBoardTest {
 protected:
  static constexpr int32_t kConference = 1;
  const int32_t userId_ = test_.UserId(kUser);

  void SetUp() override { Admin().AddConference(kConference, "General", 3, {}); }

  ConferenceCursor Cursor() {
    ConferenceCursor cursor;
    ResetCursor(cursor);
    cursor.conference.number = kConference;
    return cursor;
  }

  // The ids the selection offers in the conference, in order.
  std::vector<int32_t> Offered() {
    ConferenceCursor cursor = Cursor();
    MessageRecord record;
    std::vector<int32_t> ids;
    for (bool current = FirstMessage(board_, userId_, cursor, record); current;
         current = NextMessage(board_, userId_, cursor, record)) {
      ids.push_back(record.id);
    }
    return ids;
  }

  void MarkReceived(int32_t id) {
    MessageRecord record;
    ASSERT_TRUE(board_.vbGetMessageById(kConference, id, record));
    ASSERT_TRUE(board_.vbMarkMessageRead(record));
  }
};

TEST_F(DownloadSelectionTest, SequentialOffersEveryVisibleMessageAfterThePointer) {
  const int32_t before = Post(kConference, kOther, "ALL");
  const int32_t pointer = Post(kConference, kOther, kUser);
  const int32_t toOther = Post(kConference, kUser, kOther);
  Post(kConference, kOther, "SYSOP", "Secret", /*isPrivate=*/true);
  const int32_t privateToUser = Post(kConference, kOther, kUser, "Mine", /*isPrivate=*/true);
  const int32_t toAll = Post(kConference, kOther, "all");
  (void)before;
  Admin().SetLastRead(kUser, kConference, pointer);
  LogIn();

  const std::vector<int32_t> expected = {toOther, privateToUser, toAll};
  for (const uint32_t flags : {3u, 0u, 0x83u, 0x0Fu}) {
    Admin().SetFlags(kUser, kConference, flags);
    EXPECT_EQ(Offered(), expected) << "flags " << flags;
  }

  Admin().SetLastRead(kUser, kConference, toAll);
  EXPECT_TRUE(Offered().empty());
}

TEST_F(DownloadSelectionTest, AddressedOffersMailToAllAndToTheUserOnly) {
  const int32_t oldToAll = Post(kConference, kOther, "ALL");
  Admin().SetLastRead(kUser, kConference, oldToAll);
  Post(kConference, kUser, kOther);  // the first one after the pointer does not qualify
  const int32_t toAll = Post(kConference, kOther, "ALL");
  Post(kConference, kOther, "all");
  Post(kConference, kOther, "All");
  const int32_t toUser = Post(kConference, kOther, kUser);
  Post(kConference, kUser, "SYSOP");
  Admin().SetFlags(kUser, kConference, 2);
  LogIn();
  EXPECT_EQ(Offered(), (std::vector<int32_t>{toAll, toUser}));

  Admin().SetFlags(kUser, kConference, 0x82);  // the bits above the low four do not count
  EXPECT_EQ(Offered(), (std::vector<int32_t>{toAll, toUser}));
}

TEST_F(DownloadSelectionTest, UnreadChainOffersTheUsersUnreceivedMailWhateverThePointer) {
  const int32_t first = Post(kConference, kOther, kUser, "First");
  Post(kConference, kOther, "ALL");
  const int32_t second = Post(kConference, kOther, kUser, "Second");
  const int32_t third = Post(kConference, kOther, kUser, "Third");
  Post(kConference, kUser, kOther);
  const int32_t fourth = Post(kConference, kOther, kUser, "Fourth");
  Admin().SetFlags(kUser, kConference, 1);
  Admin().SetLastRead(kUser, kConference, fourth);
  LogIn();
  EXPECT_EQ(Offered(), (std::vector<int32_t>{first, second, third, fourth}));

  MarkReceived(second);  // in the middle of the chain: stepped over
  MarkReceived(first);   // the chain's start is now the next unreceived one
  EXPECT_EQ(Offered(), (std::vector<int32_t>{third, fourth}));

  MarkReceived(fourth);
  EXPECT_EQ(Offered(), (std::vector<int32_t>{third}));
  MarkReceived(third);
  EXPECT_TRUE(Offered().empty());
}

TEST_F(DownloadSelectionTest, UnreadChainOffersItsMessagesWithTheirLinks) {
  const int32_t first = Post(kConference, kOther, kUser, "First");
  const int32_t second = Post(kConference, kOther, kUser, "Second");
  Admin().SetFlags(kUser, kConference, 1);
  LogIn();
  ConferenceCursor cursor = Cursor();
  MessageRecord record;
  ASSERT_TRUE(FirstMessage(board_, userId_, cursor, record));
  EXPECT_EQ(record.id, first);
  EXPECT_EQ(record.nextUnread, second);
  EXPECT_EQ(record.prevUnread, 0);
  ASSERT_TRUE(NextMessage(board_, userId_, cursor, record));
  EXPECT_EQ(record.id, second);
  EXPECT_EQ(record.prevUnread, first);
  EXPECT_FALSE(NextMessage(board_, userId_, cursor, record));
}

TEST_F(DownloadSelectionTest, FlagsAreReadAgainOnEveryCall) {
  Post(kConference, kOther, "ALL");
  const int32_t toOther = Post(kConference, kOther, "SYSOP");
  const int32_t toUser = Post(kConference, kOther, kUser);
  Admin().SetFlags(kUser, kConference, 2);
  LogIn();
  ConferenceCursor cursor = Cursor();
  MessageRecord record;
  ASSERT_TRUE(FirstMessage(board_, userId_, cursor, record));
  // Switched to sequential mid-way: the next call offers the very next one.
  Admin().SetFlags(kUser, kConference, 3);
  ASSERT_TRUE(NextMessage(board_, userId_, cursor, record));
  EXPECT_EQ(record.id, toOther);
  Admin().SetFlags(kUser, kConference, 2);
  ASSERT_TRUE(NextMessage(board_, userId_, cursor, record));
  EXPECT_EQ(record.id, toUser);
}

TEST_F(DownloadSelectionTest, PointerOnTheLargestIdCannotMoveOn) {
  Post(kConference, kOther, kUser);
  Admin().SetLastRead(kUser, kConference, std::numeric_limits<int32_t>::max());
  LogIn();
  for (const uint32_t flags : {3u, 2u}) {
    Admin().SetFlags(kUser, kConference, flags);
    ConferenceCursor cursor = Cursor();
    MessageRecord record;
    try {
      FirstMessage(board_, userId_, cursor, record);
      ADD_FAILURE() << "no failure for flags " << flags;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), kFailureOverflow);
    }
  }
}

}  // namespace
}  // namespace obrix::testing
