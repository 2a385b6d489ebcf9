// "messages.dat" byte for byte: messages posted on a real board, written
// by the message writer, and compared with blocks built here by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "qwk/qwk_files.h"
#include "support/qwk_test_board.h"

namespace obrix {
namespace {

using testing::ReadFile;
using testing::WriteFile;

TEST(QwkPadTextTest, PadsCutsAndCountsWithoutSurroundingBlanks) {
  EXPECT_EQ(PadText("ab", 0, 5, '.'), "ab...");
  EXPECT_EQ(PadText("ab", 1, 5, '0'), "000ab");
  EXPECT_EQ(PadText("ab", 7, 5, '.'), "ab");  // any other mode: no padding
  EXPECT_EQ(PadText("abcdef", 0, 4, '.'), "abcd");
  EXPECT_EQ(PadText("abcdef", 1, 4, '.'), "abcd");
  EXPECT_EQ(PadText("abcdef", 2, 4, '.'), "abcd");
  EXPECT_EQ(PadText("abcd", 0, 4, '.'), "abcd");
  // The pad count comes from the trimmed length, the untrimmed text is kept.
  EXPECT_EQ(PadText(" 4711", 0, 8, ' '), " 4711    ");
  EXPECT_EQ(PadText("  ab  ", 1, 5, '-'), "---  ab  ");
  // Cutting looks at the trimmed length but counts on the untrimmed text.
  EXPECT_EQ(PadText("   abcdef", 0, 5, '.'), "   ab");
  EXPECT_EQ(PadText(" ab ", 0, 3, '.'), " ab .");
  EXPECT_EQ(PadText("", 0, 3, '\0'), std::string(3, '\0'));
  EXPECT_EQ(PadText("", 0, 0, '\0'), "");
}

// A header block as an offline reader sees it, laid out here field by field.
struct ExpectedHeader {
  char status = '-';
  std::string number;
  std::string date;
  std::string time;
  std::string to;
  std::string from;
  std::string subject;
  std::string reference;
  std::string blocks;
  int32_t conference = 0;

  std::string Bytes() const {
    std::string block(128, ' ');
    auto put = [&](size_t offset, size_t width, const std::string& value) {
      for (size_t i = 0; i < width; ++i) block[offset + i] = i < value.size() ? value[i] : ' ';
    };
    block[0] = status;
    put(1, 7, number);
    put(8, 8, date);
    put(16, 5, time);
    put(21, 25, to);
    put(46, 25, from);
    put(71, 25, subject);
    put(96, 12, "");
    put(108, 8, reference);
    put(116, 6, blocks);
    block[122] = static_cast<char>(0xE1);
    const auto value = static_cast<uint32_t>(conference);
    for (int i = 0; i < 4; ++i) block[123 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    block[127] = ' ';
    return block;
  }
};

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

FILETIME At(int year, int month, int day, int hour, int minute) {
  SYSTEMTIME time;
  time.wYear = static_cast<uint16_t>(year);
  time.wMonth = static_cast<uint16_t>(month);
  time.wDay = static_cast<uint16_t>(day);
  time.wHour = static_cast<uint16_t>(hour);
  time.wMinute = static_cast<uint16_t>(minute);
  FILETIME stamp;
  EXPECT_TRUE(SystemTimeToFileTime(time, stamp));
  return stamp;
}

// The text blocks of a converted text: the bytes and 0x00 up to a block end.
std::string TextBlocks(const std::string& converted) {
  const size_t fill = (128 - converted.size() % 128) % 128;
  return converted + std::string(fill, '\0');
}

std::string Blocks(size_t textBytes) { return Decimal(1 + (textBytes + 127) / 128); }

class QwkMessageFileTest : public testing::QwkBoardTest {
 protected:
  static constexpr const char* kBanner = "banner block for the tests";

  void SetUp() override {
    QwkBoardTest::SetUp();
    auto admin = Admin();
    admin.AddConference(3, "Three", 3, {});
    admin.AddConference(70000, "Far away", 3, {});
    banner_ = std::string(kBanner) + std::string(128 - std::string(kBanner).size(), ' ');
    WriteFile(Work("messages.dat"), banner_);
  }

  // Posts `request` and returns the board's record of it.
  MessageRecord PostAndRead(board::PostRequest request) {
    const auto posted = Admin().Post(request);
    MessageRecord record;
    EXPECT_TRUE(board_.vbGetMessageById(request.conference, posted.id, record));
    return record;
  }

  board::PostRequest Request(const std::string& text) {
    board::PostRequest request;
    request.conference = 3;
    request.from = kFrom;
    request.to = kTo;
    request.subject = kSubject;
    request.date = At(2001, 3, 5, 9, 7);
    request.text = text;
    return request;
  }

  // Writes one message and returns what it appended after the banner.
  std::string Written(const MessageRecord& record) {
    WriteQwkMessage(context_, record, false);
    const std::string file = ReadFile(Work("messages.dat"));
    EXPECT_EQ(file.substr(0, 128), banner_);
    return file.substr(128);
  }

  // The header of a message posted with Request(): only the number is the
  // board's choice.
  static ExpectedHeader HeaderOf(const MessageRecord& record) {
    ExpectedHeader header;
    header.number = Decimal(record.number);
    header.date = "03-05-01";
    header.time = "09:07";
    header.to = kTo;
    header.from = kFrom;
    header.subject = kSubject;
    header.reference = std::string(8, ' ');
    header.conference = record.conference;
    return header;
  }

  static constexpr const char* kFrom = "Some Poster";
  static constexpr const char* kTo = "All";
  static constexpr const char* kSubject = "Test";

  std::string banner_;
};

TEST_F(QwkMessageFileTest, PrivateReceivedMessageWithReference) {
  const std::string sender(30, 'S');  // 30 characters, cut to 25
  const std::string subject = "A subject of thirty letters";
  auto admin = Admin();
  const auto answered = admin.Post(Request("first"));
  auto request = Request("Hello");
  request.from = sender;
  request.to = kUser;
  request.subject = subject;
  request.isPrivate = true;
  request.reference = answered.id;
  const auto posted = admin.Post(request);

  LogInUser();
  MessageRecord record;
  ASSERT_TRUE(board_.vbGetMessageById(3, posted.id, record));
  ASSERT_TRUE(board_.vbMarkMessageRead(record));
  ASSERT_TRUE(board_.vbGetMessageById(3, posted.id, record));
  ASSERT_NE(record.received, kFalse32);
  ASSERT_NE(record.isPrivate, kFalse32);

  ExpectedHeader header;
  header.status = '`';
  header.number = Decimal(posted.number);
  header.date = TwoDigits(3) + "-" + TwoDigits(5) + "-" + TwoDigits(2001 % 100);
  header.time = TwoDigits(9) + ":" + TwoDigits(7);
  header.to = std::string(kUser) + std::string(25 - std::string(kUser).size(), ' ');
  header.from = sender.substr(0, 25);
  header.subject = subject.substr(0, 25);
  header.reference = " " + Decimal(answered.id);
  header.blocks = "2";
  header.conference = 3;
  EXPECT_EQ(Written(record), header.Bytes() + TextBlocks("Hello"));
}

TEST_F(QwkMessageFileTest, StatusFollowsThePrivateAndReceivedFlags) {
  LogInSystem();
  MessageRecord record = PostAndRead(Request("x"));
  const struct {
    Bool32 isPrivate;
    Bool32 received;
    char status;
  } cases[] = {{kFalse32, kFalse32, '-'},
               {kTrue32, kFalse32, '~'},
               {kFalse32, kTrue32, ' '},
               {kTrue32, kTrue32, '`'}};
  std::string expected;
  for (const auto& c : cases) {
    record.isPrivate = c.isPrivate;
    record.received = c.received;
    ExpectedHeader header = HeaderOf(record);
    header.status = c.status;
    header.blocks = "2";
    expected += header.Bytes() + TextBlocks("x");
    WriteQwkMessage(context_, record, true);
  }
  EXPECT_EQ(ReadFile(Work("messages.dat")), banner_ + expected);
}

TEST_F(QwkMessageFileTest, PublicUnreceivedMessageWithoutReference) {
  LogInSystem();
  const MessageRecord record = PostAndRead(Request("Hi all"));
  ExpectedHeader header = HeaderOf(record);
  header.status = '-';
  header.blocks = Blocks(6);
  EXPECT_EQ(header.reference, "        ");
  EXPECT_EQ(Written(record), header.Bytes() + TextBlocks("Hi all"));
}

TEST_F(QwkMessageFileTest, EightDigitNumbersKeepTheirFirstSevenDigits) {
  LogInSystem();
  MessageRecord record = PostAndRead(Request("x"));
  // The board numbers from 1; the record is given numbers of eight digits.
  record.number = 12345678;
  record.reference = 87654321;
  ExpectedHeader header = HeaderOf(record);
  header.number = Decimal(record.number).substr(0, 7);
  header.reference = (" " + Decimal(record.reference)).substr(0, 8);
  header.blocks = "2";
  EXPECT_EQ(header.number, "1234567");
  EXPECT_EQ(header.reference, " 8765432");
  EXPECT_EQ(Written(record), header.Bytes() + TextBlocks("x"));
}

TEST_F(QwkMessageFileTest, ConferenceNumberIsLittleEndianOverFourBytes) {
  LogInSystem();
  auto request = Request("far");
  request.conference = 70000;
  const MessageRecord record = PostAndRead(request);
  ExpectedHeader header = HeaderOf(record);
  header.blocks = "2";
  const std::string written = Written(record);
  EXPECT_EQ(written, header.Bytes() + TextBlocks("far"));
  EXPECT_EQ(written.substr(123, 4), std::string("\x70\x11\x01\x00", 4));

  const MessageRecord near = PostAndRead(Request("near"));
  WriteQwkMessage(context_, near, false);
  EXPECT_EQ(ReadFile(Work("messages.dat")).substr(128 + 256 + 123, 4),
            std::string("\x03\x00\x00\x00", 4));
}

TEST_F(QwkMessageFileTest, TextFillsWholeBlocksWithZeroBytes) {
  LogInSystem();
  for (const size_t size : {0, 128, 129, 192}) {
    SCOPED_TRACE(size);
    WriteFile(Work("messages.dat"), banner_);
    const std::string text(size, 'q');
    const MessageRecord record = PostAndRead(Request(text));
    ExpectedHeader header = HeaderOf(record);
    header.blocks = Decimal(1 + (size + 127) / 128);
    EXPECT_EQ(Written(record), header.Bytes() + TextBlocks(text));
  }
  // The counts the layout promises for those sizes.
  EXPECT_EQ(Blocks(0), "1");
  EXPECT_EQ(Blocks(128), "2");
  EXPECT_EQ(Blocks(129), "3");
  EXPECT_EQ(Blocks(192), "3");
}

TEST_F(QwkMessageFileTest, LineEndsBecomeTheQwkTerminator) {
  LogInSystem();
  const std::string e3 = "\xE3";
  const struct {
    std::string text;
    std::string converted;
  } cases[] = {
      {"A\r\nB\r\n", "A\r" + e3 + "B\r" + e3},
      {"A\rB", "A" + e3 + "B"},
      {"A\rB\nC", "A\rB" + e3 + "C"},
      {"one\n\ntwo\n", "one" + e3 + e3 + "two" + e3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(Work("messages.dat"), banner_);
    const MessageRecord record = PostAndRead(Request(c.text));
    ExpectedHeader header = HeaderOf(record);
    header.blocks = Blocks(c.converted.size());
    EXPECT_EQ(Written(record), header.Bytes() + TextBlocks(c.converted));
  }
}

TEST_F(QwkMessageFileTest, UnconvertibleTimeStampGivesZeroDateAndTime) {
  LogInSystem();
  MessageRecord record = PostAndRead(Request("x"));
  record.messageTime = FILETIME::FromTicks(0x8000000000000000ULL);
  ExpectedHeader header = HeaderOf(record);
  header.date = "00-00-00";
  header.time = "00:00";
  header.blocks = "2";
  EXPECT_EQ(Written(record), header.Bytes() + TextBlocks("x"));
}

TEST_F(QwkMessageFileTest, TextBeyondTheBlockCounterIsRefusedBeforeWriting) {
  LogInSystem();
  const size_t largest = 32767 * 128;
  const MessageRecord tooLong = PostAndRead(Request(std::string(largest + 1, 'z')));
  try {
    WriteQwkMessage(context_, tooLong, false);
    FAIL() << "a text of 32,768 blocks was written";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), kFailureOverflow);
  }
  EXPECT_EQ(ReadFile(Work("messages.dat")), banner_);

  const MessageRecord longest = PostAndRead(Request(std::string(largest, 'z')));
  WriteQwkMessage(context_, longest, false);
  const std::string file = ReadFile(Work("messages.dat"));
  ASSERT_EQ(file.size(), 128 + 128 + largest);
  EXPECT_EQ(file.substr(128 + 116, 6), "32768 ");
}

TEST_F(QwkMessageFileTest, AMissingMessageFileIsAFailure) {
  LogInSystem();
  const MessageRecord record = PostAndRead(Request("x"));
  ASSERT_TRUE(RemoveFile(Work("messages.dat")));
  EXPECT_THROW(WriteQwkMessage(context_, record, false), Failure);
  EXPECT_FALSE(testing::Exists(Work("messages.dat")));
}

}  // namespace
}  // namespace obrix
