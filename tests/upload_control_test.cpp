// Control messages against a real board: the user's conference flags and
// the log lines.
#include <gtest/gtest.h>

#include "base/failure.h"
#include "board/board.h"
#include "support/upload_test_support.h"
#include "upload/control_messages.h"

namespace obrix {
namespace {

TEST(UploadGetWord, WordsBetweenSingleBlanks) {
  EXPECT_EQ(GetWord("ADD 12", 1), "ADD");
  EXPECT_EQ(GetWord("ADD 12", 2), "12");
  EXPECT_EQ(GetWord("ADD 12", 3), "12");  // beyond the last word: the last word
  EXPECT_EQ(GetWord("DROP", 1), "DROP");
  EXPECT_EQ(GetWord("DROP", 2), "DROP");
  EXPECT_EQ(GetWord("ADD  3", 2), "");  // two blanks make an empty word
  EXPECT_EQ(GetWord("ADD  3", 3), "3");
  EXPECT_EQ(GetWord(" ADD", 1), "");
  EXPECT_EQ(GetWord("A B C D", 3), "C");
  EXPECT_EQ(GetWord("A B C D", 4), "D");
  EXPECT_EQ(GetWord("ADD 3 ", 3), "");
  EXPECT_EQ(GetWord("", 1), "");
  EXPECT_EQ(GetWord("ADD 3", 0), "");
  EXPECT_EQ(GetWord("ADD 3", -1), "");
  EXPECT_EQ(GetWord("ADD\t3", 2), "ADD\t3");  // only blanks separate words
}

class UploadControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boardPath_ = testing::CreateTestBoard(dir_.path(), 13);
    ASSERT_TRUE(board_.vbWildcatServerConnect(boardPath_.c_str()));
    ASSERT_TRUE(board_.WildcatServerCreateContext());
    state_.UserId = board::BoardAdmin::Open(boardPath_).UserId("JOHN DOE");
    UserRecord loggedIn;
    ASSERT_TRUE(board_.vbLoginUserEx(state_.UserId, "SECRET", 1, "Obrix", loggedIn));
  }

  uint32_t Flags(int32_t conference) {
    return board::BoardAdmin::Open(boardPath_).GetFlags("JOHN DOE", conference);
  }
  void SetFlags(int32_t conference, uint32_t flags) {
    board::BoardAdmin::Open(boardPath_).SetFlags("JOHN DOE", conference, flags);
  }

  void Control(const std::string& subject, int32_t conference, const std::string& text = "") {
    MessageRecord record;
    record.to.name.Set("RIZIVI");
    record.subject.Set(subject);
    record.conference = conference;
    HandleControlMessage(context_, record, text);
  }

  std::vector<std::string> Log() {
    if (!testing::Exists(dir_ / "obrix.log")) return {};
    return testing::LogMessages(dir_ / "obrix.log");
  }

  testing::TempDir dir_;
  std::string boardPath_;
  board::Board board_;
  ActivityLog log_{dir_ / "obrix.log"};
  RunState state_;
  RunContext context_{board_, log_, state_};
};

TEST_F(UploadControlTest, SubjectCommandsSetTheLowFourBitsOnly) {
  for (int32_t conference : {5, 6, 7, 8}) SetFlags(conference, 0x80 | 0x40 | 0x4);
  Control("add", 5);
  Control("RESET 1234", 6);
  Control("Yours", 7);
  Control("DROP", 8);
  EXPECT_EQ(Flags(5), 0xC3u);
  EXPECT_EQ(Flags(6), 0xC3u);
  EXPECT_EQ(Flags(7), 0xC1u);
  EXPECT_EQ(Flags(8), 0xC0u);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Conference 5 - Conference 5 added.",
                       "Conference 6 - Conference 6 added.",
                       "Conference 7 - Conference 7 added for your mail only.",
                       "Conference 8 - Conference 8 dropped.",
                   }));
}

TEST_F(UploadControlTest, OnlyTheFirstWordCountsAndOtherWordsDoNothing) {
  SetFlags(4, 0x10);
  Control("  add yours  ", 4);
  EXPECT_EQ(Flags(4), 0x13u);
  SetFlags(4, 0x10);
  for (const char* subject : {"REQUEST", "ADDED", "", "HELLO THERE"}) Control(subject, 4);
  EXPECT_EQ(Flags(4), 0x10u);
  ASSERT_EQ(Log().size(), 2u);
  EXPECT_EQ(Log()[1], "REQUEST is not supported.");
}

TEST_F(UploadControlTest, UnknownConferencesAreSkippedSilently) {
  Control("ADD", 99);
  Control("DROP", -1);
  EXPECT_TRUE(Log().empty());
  EXPECT_THROW(Control("ADD", 40000), Failure);  // beyond 16 bits
}

TEST_F(UploadControlTest, ConfigLinesApplyInOrder) {
  SetFlags(3, 0x100);
  SetFlags(12, 0x103);
  SetFlags(2, 0);
  Control("config", 0, "ADD 3\nDROP 12\nYOURS 2\nRESET 77\nadd 4\n" + std::string(60, ' '));
  EXPECT_EQ(Flags(3), 0x103u);
  EXPECT_EQ(Flags(12), 0x100u);
  EXPECT_EQ(Flags(2), 0x1u);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Conference 3 - Conference 3 added.",
                       "Conference 12 - Conference 12 dropped.",
                       "Conference 2 - Conference 2 added for your mail only.",
                   }));
}

TEST_F(UploadControlTest, ConfigLinesWithoutANumberAreIgnored) {
  SetFlags(3, 0);
  SetFlags(4, 3);
  SetFlags(5, 0);
  ApplyConfigLines(context_, "ADD 3\n\nADD  9\nhello world\nADD 99999\nDROP 4\rADD 5\n");
  EXPECT_EQ(Flags(3), 3u);
  EXPECT_EQ(Flags(4), 3u);  // a carriage return ends a line only where no line feed is
  EXPECT_EQ(Flags(5), 0u);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Conference 3 - Conference 3 added.",
                       "Ignoring CONFIG line: ", "Ignoring CONFIG line: ADD  9",
                       "Ignoring CONFIG line: hello world", "Ignoring CONFIG line: ADD 99999",
                       "Ignoring CONFIG line: DROP 4?ADD 5",  // control characters made safe
                   }));
}

TEST_F(UploadControlTest, CarriageReturnsEndLinesWhenThereIsNoLineFeed) {
  SetFlags(4, 3);
  SetFlags(5, 0);
  ApplyConfigLines(context_, "DROP 4\rADD 5\rADD 6");
  EXPECT_EQ(Flags(4), 0u);
  EXPECT_EQ(Flags(5), 3u);
  EXPECT_EQ(Log().size(), 2u);  // the last piece has no line end
}

}  // namespace
}  // namespace obrix
