// Control messages against a real board: the user's conference flags and
// the log lines.
#include <gtest/gtest.h>

#include <algorithm>

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
    HandleControlMessage(context_, bounds_, record, text);
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
  UploadBounds bounds_{log_};
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

TEST_F(UploadControlTest, ConferenceNumbersAre32BitAndUnknownOnesAreSkippedWithALine) {
  board::BoardAdmin::Open(boardPath_).AddConference(40000, "Forty thousand", 0, {});
  Control("ADD", 99);
  Control("DROP", -1);
  Control("ADD", 40000);
  Control("CONFIG", 0, "DROP 40000\nYOURS 2147483647\nADD 2147483648\n");
  EXPECT_EQ(Flags(40000), 0u);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "No conference 99: ADD skipped.",
                       "No conference -1: DROP skipped.",
                       "Conference 40000 - Forty thousand added.",
                       "Conference 40000 - Forty thousand dropped.",
                       "No conference 2147483647: YOURS skipped.",
                       "Ignoring CONFIG line: ADD 2147483648",
                   }));
}

TEST_F(UploadControlTest, OneUploadActsOnAThousandControlLinesInAll) {
  SetFlags(3, 0);
  std::string lines;
  for (int n = 0; n < 600; ++n) lines += "ADD 3\n";
  Control("CONFIG", 0, lines);
  Control("CONFIG", 0, lines);  // 400 of these are honoured
  Control("DROP", 3);           // none left
  bounds_.Summarise();
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Conference 3 - Conference 3 added."), 1000);
  EXPECT_EQ(Flags(3), 3u);
  EXPECT_EQ(log.back(), "Ignored 201 control lines after the first 1000 of this upload.");
}

TEST(UploadBoundsTest, LinesOfAKindPastTheTwentiethAreCountedInOneLineAtTheEnd) {
  testing::TempDir dir;
  ActivityLog log(dir / "obrix.log");
  UploadBounds bounds(log);
  for (int n = 1; n <= 23; ++n) {
    EXPECT_EQ(bounds.Line("Duplicate message to", "Duplicate message to " + std::to_string(n)),
              n <= 20);
  }
  bounds.Line("Refused the reply to", "Refused the reply to X");
  bounds.Summarise();
  const std::vector<std::string> lines = testing::LogMessages(dir / "obrix.log");
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[19], "Duplicate message to 20");
  EXPECT_EQ(lines[20], "Refused the reply to X");
  EXPECT_EQ(lines[21], "3 more lines \"Duplicate message to ...\" not logged.");

  // A second summary (an upload that fails after the first) tells only
  // what was left out since.
  bounds.Summarise();
  bounds.Line("Duplicate message to", "Duplicate message to 24");
  bounds.Summarise();
  std::vector<std::string> expected = lines;
  expected.push_back("1 more lines \"Duplicate message to ...\" not logged.");
  EXPECT_EQ(testing::LogMessages(dir / "obrix.log"), expected);
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
                       "No conference 77: ADD skipped.",
                   }));
}

TEST_F(UploadControlTest, ConfigLinesWithoutANumberAreIgnored) {
  SetFlags(3, 0);
  SetFlags(4, 3);
  SetFlags(5, 0);
  ApplyConfigLines(context_, bounds_, "ADD 3\n\nADD  9\nhello world\nADD 99999\nDROP 4\rADD 5\n");
  EXPECT_EQ(Flags(3), 3u);
  EXPECT_EQ(Flags(4), 3u);  // a carriage return ends a line only where no line feed is
  EXPECT_EQ(Flags(5), 0u);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "Conference 3 - Conference 3 added.",
                       "Ignoring CONFIG line: ", "Ignoring CONFIG line: ADD  9",
                       "Ignoring CONFIG line: hello world", "No conference 99999: ADD skipped.",
                       "Ignoring CONFIG line: DROP 4?ADD 5",  // control characters made safe
                   }));
}

TEST_F(UploadControlTest, PacketLinesSetThePacketKind) {
  const struct {
    const char* line;
    const char* kind;  // null: the variable is left as it was
  } cases[] = {
      {"PACKET UTF8", "utf8"}, {"packet qwke", "qwke"},      {"Packet Qwk", "qwk"},
      {"PACKET ZIP", nullptr}, {"PACKET UTF8 NOW", nullptr}, {"PACKET", nullptr},
  };
  for (const auto& c : cases) {
    board::BoardAdmin::Open(boardPath_).SetVar("JOHN DOE", kPacketKind, "none");
    Control("CONFIG", 0, std::string(c.line) + "\n");
    EXPECT_EQ(board::BoardAdmin::Open(boardPath_).GetVar("JOHN DOE", kPacketKind),
              c.kind != nullptr ? c.kind : "none")
        << c.line;
    EXPECT_EQ(Log().back(), c.kind != nullptr ? std::string("Packet kind set to ") + c.kind + "."
                                              : "Ignoring CONFIG line: " + std::string(c.line) +
                                                    " (the packet kinds are QWK, QWKE and UTF8)");
  }
}

TEST_F(UploadControlTest, CarriageReturnsEndLinesWhenThereIsNoLineFeed) {
  SetFlags(4, 3);
  SetFlags(5, 0);
  ApplyConfigLines(context_, bounds_, "DROP 4\rADD 5\rADD 6");
  EXPECT_EQ(Flags(4), 0u);
  EXPECT_EQ(Flags(5), 3u);
  EXPECT_EQ(Log().size(), 2u);  // the last piece has no line end
}

}  // namespace
}  // namespace obrix
