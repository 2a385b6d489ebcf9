// The reply parser on reply files built byte by byte, and the reader
// walking such files against a real board of ten conferences.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/failure.h"
#include "board/board.h"
#include "platform/file_time.h"
#include "support/upload_test_support.h"
#include "upload/reply_reader.h"

namespace obrix {
namespace {

using testing::ReplyFile;
using testing::TestReply;

SYSTEMTIME Calendar(const FILETIME& time) {
  SYSTEMTIME calendar;
  EXPECT_TRUE(FileTimeToSystemTime(time, calendar));
  return calendar;
}

struct Parsed {
  MessageRecord record;
  std::string text;
  int64_t next = 0;
};

// The reply at `position` of `file`, on a board of ten conferences.
Parsed Parse(const std::string& file, int64_t position = 129) {
  Parsed parsed;
  parsed.next = ParseReply(file, position, 10, parsed.record, parsed.text);
  return parsed;
}

// The first reply of a file holding `reply` alone.
Parsed ParseOne(const TestReply& reply) { return Parse(ReplyFile("OBRIX", {reply})); }

int32_t FailureOf(const std::string& file, int64_t position = 129) {
  try {
    Parse(file, position);
  } catch (const Failure& failure) {
    return failure.number();
  }
  return 0;
}

TEST(UploadReplyParserTest, PacketIdIsBlockZeroAsFarAsItGoes) {
  EXPECT_EQ(ReplyPacketId(testing::PadToBlocks("  OBRIX")), "OBRIX");
  EXPECT_EQ(ReplyPacketId(testing::PadToBlocks("OBRIX") + "NEXT BLOCK"), "OBRIX");
  EXPECT_EQ(ReplyPacketId("OBRIX"), "OBRIX");
  EXPECT_EQ(ReplyPacketId(""), "");
}

TEST(UploadReplyParserTest, RepliesFollowEachOtherBlockByBlock) {
  TestReply first;
  first.text = std::string(200, 'a');  // 2 text blocks: 3 in all
  TestReply second;
  second.text = "second reply";  // 1 text block: 2 in all
  TestReply third;               // header only
  const std::string file = ReplyFile("OBRIX", {first, second, third});
  const struct {
    int64_t position;
    std::string text;
    int64_t next;
  } cases[] = {
      // The blanks that fill the last block are not text.
      {129, std::string(200, 'a'), 513},  // block 4: 513 to 640
      {513, "second reply", 769},
      {769, "", 897},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(file, c.position);
    EXPECT_EQ(parsed.text, c.text);
    EXPECT_EQ(parsed.record.textLength, static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(parsed.next, c.next);
  }
}

TEST(UploadReplyParserTest, TextBlocksAndLineTerminators) {
  const struct {
    const char* blocks;  // empty: counted from the text
    std::string text;
    std::string parsed;
  } cases[] = {
      {"", "Hi\nthere\n", "Hi\nthere\n"},
      {"", "", ""},
      // A count of one or less means no text; a fraction is cut.
      {"0", "", ""},
      {"-4", "", ""},
      {"2.9", "x", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TestReply reply;
    reply.blocks = c.blocks;
    reply.text = c.text;
    const Parsed parsed = ParseOne(reply);
    EXPECT_EQ(parsed.text, c.parsed);
    EXPECT_EQ(parsed.record.textLength, static_cast<int32_t>(c.parsed.size()));
  }
}

TEST(UploadReplyParserTest, FaultyReplies) {
  TestReply long_;
  long_.text = std::string(300, 'x');  // 3 text blocks
  const std::string whole = ReplyFile("OBRIX", {long_});
  TestReply blankNumber;
  blankNumber.number = "";
  TestReply letters;
  letters.blocks = "two";
  TestReply zeroBytes;
  zeroBytes.number = std::string(7, '\0');
  const struct {
    std::string file;
    int32_t failure;
  } cases[] = {
      {whole, 0},
      {whole + "ab", 0},  // stray bytes after a whole reply
      {whole.substr(0, whole.size() - 128), kFailureBadPacket},
      {whole.substr(0, whole.size() - 1), kFailureBadPacket},
      {whole.substr(0, 128 + 127), kFailureBadPacket},  // the header itself is cut
      {ReplyFile("OBRIX", {blankNumber}), kFailureTypeMismatch},
      {ReplyFile("OBRIX", {letters}), kFailureTypeMismatch},
      {ReplyFile("OBRIX", {zeroBytes}), kFailureTypeMismatch},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(FailureOf(cases[i].file), cases[i].failure) << "case " << i;
  }
}

TEST(UploadReplyParserTest, NamesAndSubjectAreBlankFilled) {
  TestReply reply;
  reply.to = "Jane Roe";
  reply.from = "John Doe";
  reply.subject = "A subject of twenty-five!";
  const MessageRecord record = ParseOne(reply).record;
  EXPECT_EQ(record.to.name.Str(), "Jane Roe" + std::string(64, ' '));
  EXPECT_EQ(record.from.name.Str(), "John Doe" + std::string(64, ' '));
  EXPECT_EQ(record.subject.Str(), "A subject of twenty-five!" + std::string(47, ' '));
  EXPECT_EQ(record.to.id, 0);
  EXPECT_EQ(record.from.id, 0);
}

TEST(UploadReplyParserTest, ConferenceResolution) {
  const struct {
    const char* number;
    int32_t field;
    int32_t conference;
  } cases[] = {
      {"9", 4, 9},         {"  3  ", 0, 3}, {"2.5", 0, 2},  // halves to the even number
      {"12", 4711, 4711},  {"12", -5, -5},  {"12", 0, 12},
      {"0", 70000, 70000}, {"0", 10, 10},  // refused, not moved
      {"0", 7, 7},         {"0", 0, 0},     {"0", -3, -1},
  };
  for (const auto& c : cases) {
    TestReply reply;
    reply.number = c.number;
    reply.conference = c.field;
    EXPECT_EQ(ParseOne(reply).record.conference, c.conference) << c.number << " " << c.field;
  }
}

TEST(UploadReplyParserTest, BothTimeStampsComeFromDateAndTime) {
  TestReply reply;
  reply.date = "12-31-99";
  reply.time = "23:59";
  const MessageRecord record = ParseOne(reply).record;
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

// The reader over real files.
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
  std::string NextText() {
    MessageRecord record;
    std::string text;
    EXPECT_TRUE(reader_.ReadReply(context_, record, text));
    return text;
  }

  bool AtEnd() {
    MessageRecord record;
    std::string text;
    return !reader_.ReadReply(context_, record, text);
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

TEST_F(UploadReaderTest, FirstReadLogsThePacketIdEvenWithoutReplies) {
  Open(testing::PadToBlocks("OBRIX"));
  EXPECT_TRUE(AtEnd());
  EXPECT_EQ(reader_.ReplyPos(), 129);
  Open("OBR");
  EXPECT_TRUE(AtEnd());
  Open("");
  EXPECT_TRUE(AtEnd());
  EXPECT_EQ(Log(), (std::vector<std::string>{"Reply Packet ID [OBRIX]", "Reply Packet ID [OBR]",
                                             "Reply Packet ID []"}));
}

TEST_F(UploadReaderTest, WalksTheRepliesAndIgnoresStrayBytesAtTheEnd) {
  TestReply first;
  first.text = std::string(200, 'a');
  TestReply second;
  second.text = "second reply";
  const std::string file = ReplyFile("OBRIX", {first, second});
  Open(file + "\x1a");  // one stray byte after the last reply ends the file
  EXPECT_EQ(NextText(), std::string(200, 'a'));
  EXPECT_EQ(reader_.ReplyPos(), 513);
  EXPECT_EQ(NextText(), "second reply");
  EXPECT_EQ(reader_.ReplyPos(), 769);
  EXPECT_TRUE(AtEnd());

  Open(file + "ab");  // nor do two
  NextText();
  NextText();
  EXPECT_TRUE(AtEnd());
}

TEST_F(UploadReaderTest, OnlyPlainFilesOpen) {
  OBRIX_SKIP_WITHOUT(testing::Need::kSymlinks);
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
