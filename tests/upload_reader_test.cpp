// The reply reader over reply files built byte by byte, against a real
// board of ten conferences.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/failure.h"
#include "board/board.h"
#include "platform/file_time.h"
#include "support/upload_test_support.h"
#include "upload/reply_reader.h"

namespace obrix {
namespace {

using testing::TestReply;

class UploadReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boardPath_ = testing::CreateTestBoard(dir_.path(), 10);
    ASSERT_TRUE(board_.vbWildcatServerConnect(boardPath_.c_str()));
    ASSERT_TRUE(board_.WildcatServerCreateContext());
  }

  // Opens a reply file holding `bytes`.
  void Open(const std::string& bytes) {
    testing::WriteFile(replyPath_, bytes);
    ASSERT_TRUE(reader_.OpenReplyFile(replyPath_));
  }

  // Reads one reply, which must be there.
  MessageRecord Next(std::string& text) {
    MessageRecord record;
    EXPECT_TRUE(reader_.ReadReply(context_, record, text));
    return record;
  }

  bool AtEnd() {
    MessageRecord record;
    std::string text;
    return !reader_.ReadReply(context_, record, text);
  }

  int32_t FailureOf(const std::string& bytes) {
    Open(bytes);
    MessageRecord record;
    std::string text;
    try {
      reader_.ReadReply(context_, record, text);
    } catch (const Failure& failure) {
      return failure.number();
    }
    return 0;
  }

  int32_t ConferenceOf(const std::string& number, int32_t field) {
    TestReply reply;
    reply.number = number;
    reply.conference = field;
    Open(testing::ReplyFile("OBRIX", {reply}));
    std::string text;
    return Next(text).conference;
  }

  std::vector<std::string> Log() { return testing::LogMessages(dir_ / "obrix.log"); }

  testing::TempDir dir_;
  std::string boardPath_;
  std::string replyPath_ = dir_ / "OBRIX.MSG";
  board::Board board_;
  ActivityLog log_{dir_ / "obrix.log"};
  RunState state_;
  RunContext context_{board_, log_, state_};
  ReplyReader reader_;
};

SYSTEMTIME Calendar(const FILETIME& time) {
  SYSTEMTIME calendar;
  EXPECT_TRUE(FileTimeToSystemTime(time, calendar));
  return calendar;
}

TEST_F(UploadReaderTest, PacketIdBlockAloneHoldsNoReply) {
  Open(testing::PadToBlocks("OBRIX"));
  EXPECT_TRUE(AtEnd());
  EXPECT_EQ(reader_.ReplyPos(), 129);
  EXPECT_EQ(Log(), std::vector<std::string>{"Reply Packet ID [OBRIX]"});
}

TEST_F(UploadReaderTest, ShortOrEmptyFirstBlockIsLoggedAsFarAsItGoes) {
  Open("OBRIX");
  EXPECT_TRUE(AtEnd());
  Open("");
  EXPECT_TRUE(AtEnd());
  EXPECT_EQ(Log(), (std::vector<std::string>{"Reply Packet ID [OBRIX]", "Reply Packet ID []"}));
}

TEST_F(UploadReaderTest, RepliesFollowEachOtherBlockByBlock) {
  TestReply first;
  first.text = std::string(200, 'a');  // 2 text blocks: 3 in all
  TestReply second;
  second.text = "second reply";  // 1 text block: 2 in all
  TestReply third;               // header only
  Open(testing::ReplyFile("OBRIX", {first, second, third}));

  std::string text;
  Next(text);
  EXPECT_EQ(text, std::string(200, 'a') + std::string(56, ' '));
  EXPECT_EQ(reader_.ReplyPos(), 513);  // block 4: positions 513 to 640
  const MessageRecord record = Next(text);
  EXPECT_EQ(text, "second reply" + std::string(116, ' '));
  EXPECT_EQ(record.textLength, 128);
  EXPECT_EQ(reader_.ReplyPos(), 769);
  Next(text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(reader_.ReplyPos(), 897);
  EXPECT_TRUE(AtEnd());
}

TEST_F(UploadReaderTest, OneStrayByteAfterTheLastReplyEndsTheFile) {
  Open(testing::ReplyFile("OBRIX", {TestReply{}}) + "\x1a");
  std::string text;
  Next(text);
  EXPECT_TRUE(AtEnd());
}

TEST_F(UploadReaderTest, RepliesCutShortByTheEndOfTheFileRaise) {
  TestReply reply;
  reply.text = std::string(300, 'x');  // 3 text blocks
  const std::string whole = testing::ReplyFile("OBRIX", {reply});
  EXPECT_EQ(FailureOf(whole.substr(0, whole.size() - 128)), kFailureBadPacket);
  EXPECT_EQ(FailureOf(whole.substr(0, whole.size() - 1)), kFailureBadPacket);
  EXPECT_EQ(FailureOf(whole + "ab"), 0);  // the first reply is whole
  Open(whole + "ab");
  std::string text;
  Next(text);
  const int32_t before = reader_.ReplyPos();
  MessageRecord record;
  EXPECT_THROW(reader_.ReadReply(context_, record, text), Failure);
  EXPECT_EQ(reader_.ReplyPos(), before);
}

TEST_F(UploadReaderTest, LineTerminatorsBecomeLineFeeds) {
  TestReply reply;
  reply.text = "Hi\nthere\n";  // padded with 119 blanks
  Open(testing::ReplyFile("OBRIX", {reply}));
  std::string text;
  const MessageRecord record = Next(text);
  EXPECT_EQ(text, "Hi\nthere\n" + std::string(119, ' '));
  EXPECT_EQ(record.textLength, 128);
}

TEST_F(UploadReaderTest, NamesAndSubjectAreBlankFilled) {
  TestReply reply;
  reply.to = "Jane Roe";
  reply.from = "John Doe";
  reply.subject = "A subject of twenty-five!";
  Open(testing::ReplyFile("OBRIX", {reply}));
  std::string text;
  const MessageRecord record = Next(text);
  EXPECT_EQ(record.to.name.Str(), "Jane Roe" + std::string(64, ' '));
  EXPECT_EQ(record.from.name.Str(), "John Doe" + std::string(64, ' '));
  EXPECT_EQ(record.subject.Str(), "A subject of twenty-five!" + std::string(47, ' '));
  EXPECT_EQ(record.to.id, 0);
  EXPECT_EQ(record.from.id, 0);
}

TEST_F(UploadReaderTest, ConferenceResolution) {
  EXPECT_EQ(ConferenceOf("9", 4), 9);
  EXPECT_EQ(ConferenceOf("  3  ", 0), 3);
  EXPECT_EQ(ConferenceOf("2.5", 0), 2);  // halves to the even number
  EXPECT_EQ(ConferenceOf("12", 4711), 4711);
  EXPECT_EQ(ConferenceOf("12", -5), -5);
  EXPECT_EQ(ConferenceOf("0", 70000), 0);
  EXPECT_EQ(ConferenceOf("0", 10), 0);
  EXPECT_EQ(ConferenceOf("0", 7), 7);
  EXPECT_EQ(ConferenceOf("0", 0), 0);
  EXPECT_EQ(ConferenceOf("0", -3), -1);
}

TEST_F(UploadReaderTest, NumberAndBlocksMustBeNumbers) {
  TestReply blankNumber;
  blankNumber.number = "";
  EXPECT_EQ(FailureOf(testing::ReplyFile("OBRIX", {blankNumber})), kFailureTypeMismatch);
  TestReply letters;
  letters.blocks = "two";
  EXPECT_EQ(FailureOf(testing::ReplyFile("OBRIX", {letters})), kFailureTypeMismatch);
  TestReply zeroBytes;
  zeroBytes.number = std::string(7, '\0');
  EXPECT_EQ(FailureOf(testing::ReplyFile("OBRIX", {zeroBytes})), kFailureTypeMismatch);
}

TEST_F(UploadReaderTest, BlocksOfOneOrLessMeanNoText) {
  TestReply none;
  none.blocks = "0";
  TestReply negative;
  negative.blocks = "-4";
  TestReply fraction;
  fraction.blocks = "2.9";  // one text block
  fraction.text = "x";
  Open(testing::ReplyFile("OBRIX", {none, negative, fraction}));
  std::string text;
  Next(text);
  EXPECT_EQ(text, "");
  Next(text);
  EXPECT_EQ(text, "");
  Next(text);
  EXPECT_EQ(text, "x" + std::string(127, ' '));
  EXPECT_TRUE(AtEnd());
}

TEST_F(UploadReaderTest, BothTimeStampsComeFromDateAndTime) {
  TestReply reply;
  reply.date = "12-31-99";
  reply.time = "23:59";
  Open(testing::ReplyFile("OBRIX", {reply}));
  std::string text;
  const MessageRecord record = Next(text);
  EXPECT_EQ(record.entryTime, record.messageTime);
  const SYSTEMTIME calendar = Calendar(record.messageTime);
  EXPECT_EQ(calendar.wYear, 1999);
  EXPECT_EQ(calendar.wMonth, 12);
  EXPECT_EQ(calendar.wDay, 31);
  EXPECT_EQ(calendar.wHour, 23);
  EXPECT_EQ(calendar.wMinute, 59);
  EXPECT_EQ(calendar.wSecond, 0);
  EXPECT_TRUE(record.readTime.IsZero());
}

TEST(UploadReplyTime, TwoDigitYearsAndLenientParts) {
  struct Case {
    const char* date;
    const char* time;
    int year, month, day, hour, minute;
  };
  const Case cases[] = {
      {"01-15-02", "00:00", 2002, 1, 15, 0, 0},
      {"06-30-98", "12:05", 2098, 6, 30, 12, 5},
      {"02-29-00", "7: 3", 2000, 2, 29, 7, 3},
      {"3/ 4/ 5", "1: 2", 2005, 3, 4, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    const FILETIME when = ReplyTime(c.date, c.time);
    const SYSTEMTIME calendar = Calendar(when);
    EXPECT_EQ(calendar.wYear, c.year);
    EXPECT_EQ(calendar.wMonth, c.month);
    EXPECT_EQ(calendar.wDay, c.day);
    EXPECT_EQ(calendar.wHour, c.hour);
    EXPECT_EQ(calendar.wMinute, c.minute);
  }
  for (const auto& [date, time] :
       std::vector<std::pair<std::string, std::string>>{{"13-01-02", "10:00"},
                                                        {"02-00-02", "10:00"},
                                                        {"02-29-01", "10:00"},
                                                        {"01-01-02", "24:00"},
                                                        {"01-01-02", "10:60"},
                                                        {"-1-01-02", "10:00"},
                                                        {"        ", "     "}}) {
    EXPECT_TRUE(ReplyTime(date, time).IsZero()) << date << " " << time;
  }
}

TEST_F(UploadReaderTest, OnlyPlainFilesOpen) {
  EXPECT_FALSE(reader_.OpenReplyFile(dir_ / "missing.msg"));
  testing::WriteFile(replyPath_, testing::ReplyFile("OBRIX", {TestReply{}}));
  std::filesystem::create_symlink(replyPath_, dir_ / "link.msg");
  EXPECT_FALSE(reader_.OpenReplyFile(dir_ / "link.msg"));
  std::filesystem::create_directory(dir_ / "folder.msg");
  EXPECT_FALSE(reader_.OpenReplyFile(dir_ / "folder.msg"));
  EXPECT_TRUE(reader_.OpenReplyFile(replyPath_));
}

}  // namespace
}  // namespace obrix
