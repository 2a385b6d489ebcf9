// Reads inside a snapshot: a walk of a conference sees the same messages,
// links and texts as the same walk outside one, whatever page of the
// messages read ahead each falls on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board_impl.h"
#include "server/server_path.h"
#include "support/test_board.h"

namespace obrix::board {
namespace {

// Every field of a record as the walk saw it, and its text.
std::string Seen(Board& board, const MessageRecord& r) {
  const std::string text = board.vbGetText(ConferenceMessagePath(r.conference, r.id));
  return std::to_string(r.id) + " #" + std::to_string(r.number) + " " + std::to_string(r.from.id) +
         ":" + r.from.name.Trimmed() + "/" + r.from.title.Trimmed() + " > " +
         std::to_string(r.to.id) + ":" + r.to.name.Trimmed() + "/" + r.to.title.Trimmed() + " '" +
         r.subject.Trimmed() + "' p" + std::to_string(r.isPrivate) + " r" +
         std::to_string(r.received) + " q" + std::to_string(r.receiptRequested) + " ref" +
         std::to_string(r.reference) + " t" + std::to_string(r.entryTime.Ticks()) + "," +
         std::to_string(r.messageTime.Ticks()) + "," + std::to_string(r.readTime.Ticks()) + " len" +
         std::to_string(r.textLength) + " u" + std::to_string(r.nextUnread) + "," +
         std::to_string(r.prevUnread) + " [" + text + "]";
}

// The walk of a download: the first message at or after `from`, then
// each next one.
std::vector<std::string> Walk(Board& board, int32_t conference, int32_t from = 1) {
  std::vector<std::string> seen;
  MessageRecord record;
  for (bool found = board.vbSearchMessageById(conference, from, record); found;
       found = board.vbGetNextMessage(record)) {
    seen.push_back(Seen(board, record));
  }
  return seen;
}

// Each id from `first` to `last` looked up alone: its record, or "-", and
// its text.
std::vector<std::string> LookUp(Board& board, int32_t conference, int32_t first, int32_t last) {
  std::vector<std::string> seen;
  for (int32_t id = first; id <= last; ++id) {
    MessageRecord record;
    seen.push_back(board.vbGetMessageById(conference, id, record) ? Seen(board, record) : "-");
    seen.back() += "|" + board.vbGetText(ConferenceMessagePath(conference, id));
  }
  return seen;
}

struct PageCase {
  const char* name;
  int32_t conference;  // which of the conferences SetUp filled
  int from;            // the walk starts at the id of this message (0-based); past the end: none
};

// Conference N holds kSizes[N - 1] messages.
constexpr int kSizes[] = {0, 1, kReadAheadPage, kReadAheadPage + 1, 2 * kReadAheadPage + 10};

const PageCase kPageCases[] = {
    {"Empty", 1, 0},
    {"OneMessage", 2, 0},
    {"ExactlyOnePage", 3, 0},
    {"OnePageAndOne", 4, 0},
    {"TwoPagesAndMore", 5, 0},
    {"StartInsideThePage", 4, 100},
    {"StartOnTheLast", 4, kReadAheadPage},
    {"StartPastTheEnd", 2, 1},
};

class BoardReadAheadTest : public testing::OnBoardTest {
 protected:
  BoardReadAheadTest() : OnBoardTest(testing::kSysopAlone) {}

  // Public messages to everybody and to Joe, and private ones between
  // Ann and Joe and between Ann and Sara, which Joe may not see.
  std::vector<int32_t> PostMany(int32_t conference, int count) {
    std::vector<int32_t> ids;
    for (int n = 0; n < count; ++n) {
      const bool toJoe = n % 3 == 1;
      const bool hidden = n % 7 == 5;
      ids.push_back(test_.Post({.conference = conference,
                                .from = "Ann Writer",
                                .to = hidden  ? "Sara Sysop"
                                      : toJoe ? "Joe Reader"
                                              : "ALL",
                                .subject = "Message " + std::to_string(n),
                                .isPrivate = hidden || n % 5 == 4,
                                .text = "Text of " + std::to_string(n) + "\r\n\xE9\x80\r\n"}));
    }
    return ids;
  }

  void SetUp() override {
    AddUser("Joe Reader");
    AddUser("Ann Writer");
    for (int32_t conference = 1; conference <= 5; ++conference) {
      Admin().AddConference(conference, "Conference " + std::to_string(conference), 3, {});
    }
  }
};

TEST_P(BoardReadAheadTest, AWalkInASnapshotSeesWhatTheWalkOutsideOneSees) {
  std::vector<std::vector<int32_t>> ids;
  for (int32_t conference = 1; conference <= 5; ++conference) {
    ids.push_back(PostMany(conference, kSizes[conference - 1]));
  }
  for (const PageCase& page : kPageCases) {
    const std::vector<int32_t>& posted = ids[static_cast<size_t>(page.conference - 1)];
    const int32_t from = page.from < static_cast<int>(posted.size())
                             ? posted[static_cast<size_t>(page.from)]
                             : 1000000;
    for (const char* viewer : {"Joe Reader", "Sara Sysop"}) {
      SCOPED_TRACE(std::string(page.name) + " as " + viewer);
      auto board = test_.LogIn(viewer);
      const std::vector<std::string> walked = Walk(*board, page.conference, from);
      const int32_t first = posted.empty() ? 1 : posted.front() - 1;
      const int32_t last = posted.empty() ? 2 : posted.back() + 1;
      const std::vector<std::string> looked = LookUp(*board, page.conference, first, last);
      board->BeginSnapshot();
      EXPECT_EQ(Walk(*board, page.conference, from), walked);
      // Single look-ups after the walk, and the walk again after them.
      EXPECT_EQ(LookUp(*board, page.conference, first, last), looked);
      EXPECT_EQ(Walk(*board, page.conference, from), walked);
      board->EndSnapshot();
    }
  }
}

// A message deleted by another node while a snapshot's walk is on its
// first page is still read, header and text, on the next page, and a
// page is never answered from after its snapshot ended.
TEST_P(BoardReadAheadTest, AMessageDeletedBetweenPagesStaysInTheSnapshot) {
  const std::vector<int32_t> ids = PostMany(4, kReadAheadPage + 20);
  auto board = test_.LogIn("Sara Sysop");
  const std::vector<std::string> before = Walk(*board, 4);

  board->BeginSnapshot();
  MessageRecord record;
  ASSERT_TRUE(board->vbSearchMessageById(4, ids.front(), record));
  std::vector<std::string> walked = {Seen(*board, record)};
  Admin().DeleteMessages({ids[3], ids[kReadAheadPage + 5]});
  while (board->vbGetNextMessage(record)) walked.push_back(Seen(*board, record));
  EXPECT_EQ(walked, before);
  board->EndSnapshot();

  std::vector<std::string> after = before;
  for (const int32_t gone : {ids[3], ids[kReadAheadPage + 5]}) {
    std::erase_if(after, [&](const std::string& seen) {
      return seen.starts_with(std::to_string(gone) + " ");
    });
  }
  ASSERT_EQ(after.size(), before.size() - 2);
  EXPECT_EQ(Walk(*board, 4), after);
  EXPECT_FALSE(board->vbGetMessageById(4, ids[3], record));
  EXPECT_EQ(board->vbGetText(ConferenceMessagePath(4, ids[3])), "");
}

// What a download asks of every conference number (a missing one, one
// closed to the viewer among them), answered inside a snapshot from the
// conferences read ahead, must be what each question outside one gets.
TEST_P(BoardReadAheadTest, TheConferencesInASnapshotAnswerAsEachQuestionDoes) {
  PostMany(1, 6);  // its highest message is hidden from Joe
  PostMany(3, 3);
  Admin().AddConference(6, "Closed", 3, {"Ann Writer"}, 2);
  PostMany(6, 2);
  Admin().AddConference(8, "Unread", 1, {}, 4);
  Admin().SetFlags("Joe Reader", 3, 2);
  auto board = test_.LogIn("Joe Reader");
  ASSERT_TRUE(board->SetLastRead(3, board->GetMsgIdFromNumber(3, 2)));
  auto answers = [&] {
    std::vector<std::string> seen;
    for (int32_t number = 0; number <= 9; ++number) {
      ConfDescRecord desc;
      const bool described = board->vbGetConfDesc(number, desc);
      std::string line = std::to_string(number) + ": " + std::to_string(described) + " " +
                         desc.name.Trimmed() + " m" + std::to_string(desc.mode) + " e" +
                         std::to_string(board->GetLastError());
      const int32_t high = board->GetHighMessageNumber(number);
      line += " f" + std::to_string(board->GetConfFlags(number)) + " p" +
              std::to_string(board->GetLastRead(number)) + " h" + std::to_string(high) + " i" +
              std::to_string(board->GetMsgIdFromNumber(number, high)) + " e" +
              std::to_string(board->GetLastError());
      MessageRecord record;
      line += " after" + std::to_string(board->vbSearchMessageById(number, 1, record));
      seen.push_back(line);
    }
    for (const uint32_t mask : {1u, 2u, 3u}) {
      std::string walk = "walk " + std::to_string(mask) + ":";
      for (int32_t c = board->GetFirstConference(0, mask); c >= 0;
           c = board->GetNextConference(0, mask, c)) {
        walk += " " + std::to_string(c);
      }
      seen.push_back(walk);
    }
    return seen;
  };
  const std::vector<std::string> outside = answers();
  board->BeginSnapshot();
  EXPECT_EQ(answers(), outside);
  board->EndSnapshot();
}

INSTANTIATE_TEST_SUITE_P(, BoardReadAheadTest, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix::board
