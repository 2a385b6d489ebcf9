// The board's messages behind the server interface: visibility, records,
// numbers and ids, the unread chain, marking read and posting.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/failure.h"
#include "support/test_board.h"

namespace obrix::board {
namespace {

std::string TextPath(int32_t conference, int32_t id) {
  return "wc:\\conf(" + std::to_string(conference) + ")\\message(" + std::to_string(id) + ")";
}

// The ids of the visible messages of a conference, walked as the
// sequential selection does: search from an id, then next after next.
std::vector<int32_t> Walk(Board& board, int32_t conference, int32_t from = 1) {
  std::vector<int32_t> ids;
  MessageRecord record;
  for (bool more = board.vbSearchMessageById(conference, from, record); more;
       more = board.vbGetNextMessage(record)) {
    ids.push_back(record.id);
  }
  return ids;
}

class BoardServerMessages : public testing::OnBoardTest {
 protected:
  BoardServerMessages() : OnBoardTest(testing::kSysopAlone) {
    ann_ = AddUser("Ann");
    bob_ = AddUser("Bob");
    cat_ = AddUser("Cat");
    Admin().AddConference(1, "General", 3, {});
    Admin().AddConference(2, "Bob's room", 3, {"Bob"});
  }
  int32_t ann_ = 0, bob_ = 0, cat_ = 0;
};

TEST_P(BoardServerMessages, PrivateMailOfOthersIsNeverReturned) {
  const int32_t toAll = Post(1, "Ann", "ALL", "Hello all");
  const int32_t bobToCat = Post(1, "Bob", "Cat", "Bob to Cat", true);
  const int32_t annToBob = Post(1, "Ann", "Bob", "Ann to Bob", true);
  const int32_t catToAnn = Post(1, "Cat", "Ann", "Cat to Ann", true);
  const int32_t publicToCat = Post(1, "Bob", "Cat", "Public to Cat");
  const int32_t lastPrivate = Post(1, "Bob", "Cat", "Again private", true);
  const int32_t inRoom = Post(2, "Bob", "ALL", "In Bob's room");
  Admin().Attach(bobToCat, "secret bytes");
  Admin().Attach(toAll, "open bytes");
  auto ann = test_.LogIn("Ann");

  EXPECT_EQ(Walk(*ann, 1), (std::vector<int32_t>{toAll, annToBob, catToAnn, publicToCat}));
  MessageRecord record;
  record.id = 4711;
  EXPECT_FALSE(ann->vbGetMessageById(1, bobToCat, record));
  EXPECT_EQ(ann->GetLastError(), kServerNotFound);
  EXPECT_EQ(record.id, 4711);  // untouched
  ASSERT_TRUE(ann->vbSearchMessageById(1, bobToCat, record));
  EXPECT_EQ(record.id, annToBob);
  EXPECT_EQ(ann->vbGetText(TextPath(1, bobToCat)), "");
  EXPECT_EQ(ann->vbGetText(TextPath(1, toAll)), testing::MessageText("Hello all", "Ann", "ALL"));
  EXPECT_EQ(ann->GetMsgIdFromNumber(1, 2), 0);
  EXPECT_EQ(ann->GetMsgNumberFromId(1, bobToCat), 1);
  EXPECT_EQ(ann->GetHighMessageNumber(1), 5);

  // Neighbours in Cat's chain, as Ann sees them: the private one is skipped.
  ASSERT_TRUE(ann->vbGetMessageById(1, publicToCat, record));
  EXPECT_EQ(record.prevUnread, 0);
  EXPECT_EQ(record.nextUnread, 0);
  ASSERT_TRUE(test_.LogIn("Cat")->vbGetMessageById(1, publicToCat, record));
  EXPECT_EQ(record.prevUnread, bobToCat);
  EXPECT_EQ(record.nextUnread, lastPrivate);

  std::string hidden = TextPath(1, bobToCat) + "\\attach";
  std::string shown = TextPath(1, toAll) + "\\ATTACH";
  EXPECT_FALSE(ann->WcExistFile(hidden));
  EXPECT_EQ(ann->WcCreateFile(hidden, kGenericRead, kFileShareRead, kOpenExisting), -1);
  EXPECT_EQ(ann->WcGetFileSize(hidden), -1);
  EXPECT_TRUE(ann->WcExistFile(shown));
  EXPECT_EQ(ann->WcGetFileSize(shown), 10);

  // A restricted conference is invisible to everyone but its readers.
  EXPECT_EQ(Walk(*ann, 2), std::vector<int32_t>{});
  EXPECT_EQ(ann->vbGetText(TextPath(2, inRoom)), "");
  EXPECT_EQ(Walk(*test_.LogIn("Bob"), 2), std::vector<int32_t>{inRoom});

  auto system = test_.System();
  EXPECT_EQ(Walk(*system, 1).size(), 6u);
  EXPECT_EQ(system->GetHighMessageNumber(1), 6);
  EXPECT_EQ(system->vbGetText(TextPath(1, bobToCat)),
            testing::MessageText("Bob to Cat", "Bob", "Cat"));
  EXPECT_EQ(system->WcGetFileSize(hidden), 12);
}

TEST_P(BoardServerMessages, RecordCarriesEveryField) {
  const FILETIME date = *ParseBoardDate("2024-03-05 14:07");
  PostRequest request;
  request.conference = 1;
  request.from = "Ann";
  request.to = "ALL";
  request.subject = "Meeting";
  request.receipt = true;
  request.reference = 4711;
  request.date = date;
  request.text = std::string("Line one\r\nline two\xE3") + '\0' + "end";
  const PostResult posted = Admin().Post(request);
  auto bob = test_.LogIn("Bob");

  MessageRecord record;
  ASSERT_TRUE(bob->vbGetMessageById(1, posted.id, record));
  EXPECT_EQ(record.conference, 1);
  EXPECT_EQ(record.id, posted.id);
  EXPECT_EQ(record.number, posted.number);
  EXPECT_EQ(record.from.id, ann_);
  EXPECT_EQ(record.from.name.Str(), FixedText<72>("ANN").Str());
  EXPECT_EQ(record.to.id, 0);
  EXPECT_EQ(record.to.name.Trimmed(), "ALL");
  EXPECT_EQ(record.subject.Str(), FixedText<72>("Meeting").Str());
  EXPECT_EQ(record.messageTime, date);
  EXPECT_FALSE(record.entryTime.IsZero());
  EXPECT_EQ(record.isPrivate, kFalse32);
  EXPECT_EQ(record.received, kFalse32);
  EXPECT_EQ(record.receiptRequested, kTrue32);
  EXPECT_EQ(record.reference, 4711);
  EXPECT_EQ(record.textLength, static_cast<int32_t>(request.text.size()));
  EXPECT_EQ(record.nextUnread, 0);

  EXPECT_EQ(bob->vbGetText(TextPath(1, posted.id)), request.text);
  EXPECT_EQ(bob->vbGetText("WC:\\CONF(1)\\MESSAGE(" + std::to_string(posted.id) + ")"),
            request.text);
  for (const std::string& malformed :
       {TextPath(1, posted.id) + " ", TextPath(1, posted.id) + "\\attach",
        " " + TextPath(1, posted.id),
        std::string("wc:\\conf(+1)\\message(") + std::to_string(posted.id) + ")",
        std::string("wc:\\conf(1)\\message()"), TextPath(2, posted.id)}) {
    EXPECT_EQ(bob->vbGetText(malformed), "") << malformed;
  }
}

TEST_P(BoardServerMessages, NumbersAndIdsAcrossGaps) {
  const int32_t first = Post(1, "Ann", "ALL", "one");
  Post(2, "Bob", "ALL", "elsewhere");
  const int32_t second = Post(1, "Ann", "ALL", "two");
  const int32_t between = Post(2, "Bob", "ALL", "elsewhere again");
  const int32_t third = Post(1, "Ann", "ALL", "three");
  auto ann = test_.LogIn("Ann");

  EXPECT_EQ(ann->GetHighMessageNumber(1), 3);
  EXPECT_EQ(ann->GetMsgIdFromNumber(1, 2), second);
  EXPECT_EQ(ann->GetMsgIdFromNumber(1, 4), 0);
  EXPECT_EQ(ann->GetLastError(), kServerNotFound);
  EXPECT_EQ(ann->GetMsgNumberFromId(1, between), 2);
  EXPECT_EQ(ann->GetMsgNumberFromId(1, third + 100), 3);
  EXPECT_EQ(ann->GetMsgNumberFromId(1, 0), 0);

  Admin().database().Exec("DELETE FROM messages WHERE id = " + std::to_string(second));
  EXPECT_EQ(ann->GetMsgIdFromNumber(1, 2), 0);
  EXPECT_EQ(ann->GetMsgNumberFromId(1, between), 1);
  EXPECT_EQ(Walk(*ann, 1), (std::vector<int32_t>{first, third}));
  EXPECT_EQ(Walk(*ann, 1, second), std::vector<int32_t>{third});

  EXPECT_EQ(ann->GetLastRead(1), 0);
  EXPECT_TRUE(ann->SetLastRead(1, second));
  EXPECT_EQ(ann->GetLastRead(1), second);
  EXPECT_EQ(Admin().GetLastRead("Ann", 1), second);
  EXPECT_EQ(test_.LogIn("Bob")->GetLastRead(1), 0);
  EXPECT_FALSE(ann->SetLastRead(2, first));
  EXPECT_EQ(ann->GetLastError(), kServerAccessDenied);
}

TEST_P(BoardServerMessages, UnreadChainRunsAcrossReceivedMessages) {
  const int32_t one = Post(1, "Ann", "Bob", "one");
  Post(1, "Ann", "ALL", "to all");
  const int32_t two = Post(1, "Cat", "Bob", "two", true);
  const int32_t three = Post(1, "Ann", "Bob", "three");
  Post(1, "Cat", "Ann", "not for Bob");
  const int32_t four = Post(1, "Cat", "Bob", "four", true);
  auto bob = test_.LogIn("Bob");

  EXPECT_EQ(bob->GetFirstUnread(1), one);
  MessageRecord record;
  ASSERT_TRUE(bob->vbGetMessageById(1, one, record));
  EXPECT_EQ(record.prevUnread, 0);
  EXPECT_EQ(record.nextUnread, two);
  EXPECT_TRUE(bob->vbMarkMessageRead(record));
  ASSERT_TRUE(bob->vbGetMessageById(1, two, record));
  EXPECT_TRUE(bob->vbMarkMessageRead(record));

  EXPECT_EQ(bob->GetFirstUnread(1), three);
  ASSERT_TRUE(bob->vbGetMessageById(1, three, record));
  EXPECT_EQ(record.prevUnread, two);  // received messages stay in the chain
  EXPECT_EQ(record.nextUnread, four);
  ASSERT_TRUE(bob->vbGetMessageById(1, four, record));
  EXPECT_EQ(record.nextUnread, 0);

  // Ann sees Bob's chain without Cat's private messages to him.
  auto ann = test_.LogIn("Ann");
  ASSERT_TRUE(ann->vbGetMessageById(1, three, record));
  EXPECT_EQ(record.prevUnread, one);
  EXPECT_EQ(record.nextUnread, 0);
  EXPECT_EQ(ann->GetFirstUnread(1), three + 1);  // "not for Bob", to Ann
}

TEST_P(BoardServerMessages, OnlyTheAddresseeMarksAMessageRead) {
  const int32_t id = Post(1, "Ann", "Bob", "for Bob");
  MessageRecord record;
  auto ann = test_.LogIn("Ann");
  ASSERT_TRUE(ann->vbGetMessageById(1, id, record));
  EXPECT_FALSE(ann->vbMarkMessageRead(record));
  EXPECT_EQ(ann->GetLastError(), kServerAccessDenied);
  EXPECT_FALSE(Admin().Show(id)->received);

  auto bob = test_.LogIn("Bob");
  ASSERT_TRUE(bob->vbMarkMessageRead(record));
  EXPECT_EQ(record.received, kTrue32);
  EXPECT_FALSE(record.readTime.IsZero());
  EXPECT_TRUE(Admin().Show(id)->received);
  EXPECT_EQ(bob->GetFirstUnread(1), 0);
  const FILETIME firstRead = record.readTime;
  ASSERT_TRUE(bob->vbMarkMessageRead(record));
  EXPECT_EQ(record.readTime, firstRead);
}

class BoardServerPosting : public BoardServerMessages {
 protected:
  // A reply as the door posts it: Bob's UserInfo as sender, to ALL.
  MessageRecord Reply(int32_t conference, const std::string& subject) {
    MessageRecord record;
    record.conference = conference;
    record.from.id = bob_;
    record.from.name.Set("BOB");
    record.to.name.Set("ALL");
    record.subject.Set(subject);
    record.UploaderIdText.Set(" " + std::to_string(bob_));
    return record;
  }
};

TEST_P(BoardServerPosting, StoresTheRecordAndRefusesDuplicates) {
  auto bob = test_.LogIn("Bob");
  const std::string text = std::string("Hi\nthere\xE3\r\n") + '\0' + "!";
  MessageRecord record = Reply(1, "Hello");
  ASSERT_TRUE(bob->vbAddMessage(record, text));
  EXPECT_EQ(bob->GetLastError(), kServerOk);
  EXPECT_GT(record.id, 0);
  EXPECT_EQ(record.number, 1);
  MessageRecord stored;
  ASSERT_TRUE(bob->vbGetMessageById(1, record.id, stored));
  EXPECT_EQ(stored.from.name, record.from.name);
  EXPECT_EQ(stored.UploaderIdText, record.UploaderIdText);
  EXPECT_FALSE(stored.entryTime.IsZero());
  EXPECT_EQ(stored.messageTime, stored.entryTime);
  EXPECT_EQ(bob->vbGetText(TextPath(1, record.id)), text);

  MessageRecord again = Reply(1, "Hello");
  EXPECT_FALSE(bob->vbAddMessage(again, text));
  EXPECT_EQ(bob->GetLastError(), 0x2000001Du);
  EXPECT_EQ(Admin().ListMessages(1, std::nullopt).size(), 1u);
  // Another subject with the same text and ids is no duplicate, though
  // the insert's own check takes it for one; the numbers follow on.
  again = Reply(1, "Hello again");
  EXPECT_TRUE(bob->vbAddMessage(again, text));
  EXPECT_EQ(again.number, 2);
  again = Reply(1, "Hello");
  EXPECT_TRUE(bob->vbAddMessage(again, text + " "));
  EXPECT_EQ(again.number, 3);
  Admin().AddConference(3, "Other", 3, {});
  again = Reply(3, "Hello");
  EXPECT_TRUE(bob->vbAddMessage(again, text));
  EXPECT_EQ(again.number, 1);

  // The message time: the second stamp, or the first when it is zero.
  const FILETIME first = *ParseBoardDate("2024-01-02 03:04");
  const FILETIME second = *ParseBoardDate("2024-05-06 07:08");
  again = Reply(1, "Dated");
  again.entryTime = first;
  again.messageTime = second;
  ASSERT_TRUE(bob->vbAddMessage(again, "dated"));
  ASSERT_TRUE(bob->vbGetMessageById(1, again.id, stored));
  EXPECT_EQ(stored.entryTime, first);
  EXPECT_EQ(stored.messageTime, second);
  again = Reply(1, "Dated once");
  again.entryTime = first;
  ASSERT_TRUE(bob->vbAddMessage(again, "dated"));
  ASSERT_TRUE(bob->vbGetMessageById(1, again.id, stored));
  EXPECT_EQ(stored.messageTime, first);
}

TEST_P(BoardServerPosting, StoresAReceiptAsTheRecordGivesIt) {
  auto bob = test_.LogIn("Bob");
  MessageRecord receipt;
  receipt.conference = 1;
  receipt.from.name.Set("Wildcat! Mail Room");
  receipt.to.id = ann_;
  receipt.to.name.Set("ANN");
  receipt.subject.Set("Return Receipt");
  receipt.isPrivate = kTrue32;
  receipt.reference = 12;
  ASSERT_TRUE(bob->vbAddMessage(receipt, "Your message to BOB"));

  MessageRecord stored;
  auto ann = test_.LogIn("Ann");
  EXPECT_EQ(ann->GetFirstUnread(1), receipt.id);
  ASSERT_TRUE(ann->vbGetMessageById(1, receipt.id, stored));
  EXPECT_EQ(stored.from.id, 0);
  EXPECT_EQ(stored.from.name.Trimmed(), "Wildcat! Mail Room");
  EXPECT_EQ(stored.isPrivate, kTrue32);
  EXPECT_EQ(stored.reference, 12);
  EXPECT_FALSE(test_.LogIn("Cat")->vbGetMessageById(1, receipt.id, stored));
}

TEST_P(BoardServerPosting, RefusesMissingForbiddenAndMalformed) {
  auto ann = test_.LogIn("Ann");
  MessageRecord record = Reply(4, "No such conference");
  record.from.id = ann_;
  EXPECT_FALSE(ann->vbAddMessage(record, "x"));
  EXPECT_EQ(ann->GetLastError(), kServerNotFound);
  record.conference = 2;
  EXPECT_FALSE(ann->vbAddMessage(record, "x"));
  EXPECT_EQ(ann->GetLastError(), kServerAccessDenied);
  record.conference = -1;
  EXPECT_FALSE(ann->vbAddMessage(record, "x"));
  EXPECT_EQ(ann->GetLastError(), kServerBadRecord);
  record.conference = 1;
  record.from.id = 9999;
  EXPECT_FALSE(ann->vbAddMessage(record, "x"));
  EXPECT_EQ(ann->GetLastError(), kServerBadRecord);
  record.from.id = ann_;
  record.to.id = -3;
  EXPECT_FALSE(ann->vbAddMessage(record, "x"));
  EXPECT_EQ(ann->GetLastError(), kServerBadRecord);
  EXPECT_TRUE(Admin().ListMessages(std::nullopt, std::nullopt).empty());
  record.to.id = 0;
  EXPECT_TRUE(ann->vbAddMessage(record, "x"));
}

TEST_P(BoardServerPosting, TwoNodesPostAtOnce) {
  constexpr int kEach = 40;
  std::atomic<int> stored{0};
  // Each node has its own connection, made and used on its own thread.
  auto node = [&](int32_t userId, const std::string& who) {
    Board board;
    UserRecord user;
    if (!board.vbWildcatServerConnect(test_.name().c_str()) ||
        !board.WildcatServerCreateContext() ||
        !board.vbLoginUserEx(userId, testing::kUserPassword, 1, "Obrix", user)) {
      return;
    }
    for (int i = 0; i < kEach; ++i) {
      MessageRecord record = Reply(1, who + " " + std::to_string(i));
      if (board.vbAddMessage(record, "from " + who)) ++stored;
    }
  };
  std::thread first(node, bob_, "Bob");
  std::thread second(node, cat_, "Cat");
  first.join();
  second.join();

  EXPECT_EQ(stored.load(), 2 * kEach);
  std::set<int32_t> numbers;
  for (const auto& message : Admin().ListMessages(1, std::nullopt)) numbers.insert(message.number);
  EXPECT_EQ(numbers.size(), size_t{2 * kEach});
  EXPECT_EQ(*numbers.rbegin(), 2 * kEach);
}

INSTANTIATE_TEST_SUITE_P(, BoardServerMessages, testing::kBothBackends, testing::BackendName);
INSTANTIATE_TEST_SUITE_P(, BoardServerPosting, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix::board
