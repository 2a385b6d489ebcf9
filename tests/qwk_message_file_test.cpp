// "messages.dat" byte for byte: the message encoder's blocks compared with
// blocks built here by hand, and the writer appending a message of a real
// board to the file.
#include <gtest/gtest.h>

#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "support/test_board.h"

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
  char status = ' ';
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

constexpr const char* kFrom = "Some Poster";
constexpr const char* kTo = "All";
constexpr const char* kSubject = "Test";

// A public, unreceived message of conference 3 without a reference, as the
// board hands it over.
MessageRecord Record() {
  MessageRecord record;
  record.conference = 3;
  record.id = 17;
  record.number = 5;
  record.from.name.Set(kFrom);
  record.to.name.Set(kTo);
  record.subject.Set(kSubject);
  record.messageTime = At(2001, 3, 5, 9, 7);
  return record;
}

// The header of Record() with a text of one block.
ExpectedHeader HeaderOf(const MessageRecord& record) {
  ExpectedHeader header;
  header.status = ' ';
  header.number = Decimal(record.number);
  header.date = "03-05-01";
  header.time = "09:07";
  header.to = kTo;
  header.from = kFrom;
  header.subject = kSubject;
  header.reference = std::string(8, ' ');
  header.blocks = "2";
  header.conference = record.conference;
  return header;
}

TEST(QwkMessageEncoderTest, StatusFollowsThePrivateAndReceivedFlags) {
  const struct {
    Bool32 isPrivate;
    Bool32 received;
    char status;
  } cases[] = {{kFalse32, kFalse32, ' '},
               {kTrue32, kFalse32, '+'},
               {kFalse32, kTrue32, '-'},
               {kTrue32, kTrue32, '*'}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    MessageRecord record = Record();
    record.isPrivate = c.isPrivate;
    record.received = c.received;
    ExpectedHeader header = HeaderOf(record);
    header.status = c.status;
    EXPECT_EQ(EncodeQwkMessage(record, "x"), header.Bytes() + TextBlocks("x"));
  }
}

TEST(QwkMessageEncoderTest, NumberAndReferenceFields) {
  const struct {
    int32_t number;
    int32_t reference;
    std::string numberField;
    std::string referenceField;
  } cases[] = {
      {5, 0, "5", std::string(8, ' ')},  // no reference: all blanks
      {4711, 4, "4711", " 4      "},
      {1234567, 1234567, "1234567", " 1234567"},
      // Eight digits keep their first seven; the reference its blank and
      // first seven.
      {12345678, 87654321, "1234567", " 8765432"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    MessageRecord record = Record();
    record.number = c.number;
    record.reference = c.reference;
    ExpectedHeader header = HeaderOf(record);
    header.number = c.numberField;
    header.reference = c.referenceField;
    EXPECT_EQ(EncodeQwkMessage(record, "x"), header.Bytes() + TextBlocks("x"));
  }
}

TEST(QwkMessageEncoderTest, NamesAndSubjectAreCutToTwentyFiveCharacters) {
  MessageRecord record = Record();
  record.from.name.Set(std::string(30, 'S'));
  record.to.name.Set("ALICE CALLER");
  record.subject.Set("A subject of thirty letters");
  ExpectedHeader header = HeaderOf(record);
  header.from = std::string(25, 'S');
  header.to = "ALICE CALLER" + std::string(13, ' ');
  header.subject = "A subject of thirty lette";
  EXPECT_EQ(EncodeQwkMessage(record, "Hello"), header.Bytes() + TextBlocks("Hello"));
}

TEST(QwkMessageEncoderTest, DateAndTimeOfTheMessage) {
  const struct {
    FILETIME messageTime;
    const char* date;
    const char* time;
  } cases[] = {
      {At(2001, 3, 5, 9, 7), "03-05-01", "09:07"},
      {At(1999, 12, 31, 23, 59), "12-31-99", "23:59"},
      {At(2100, 1, 1, 0, 0), "01-01-00", "00:00"},
      // A time stamp that does not convert gives zeros.
      {FILETIME::FromTicks(0x8000000000000000ULL), "00-00-00", "00:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    MessageRecord record = Record();
    record.messageTime = c.messageTime;
    ExpectedHeader header = HeaderOf(record);
    header.date = c.date;
    header.time = c.time;
    EXPECT_EQ(EncodeQwkMessage(record, "x"), header.Bytes() + TextBlocks("x"));
  }
}

TEST(QwkMessageEncoderTest, ConferenceNumberIsLittleEndianOverFourBytes) {
  const struct {
    int32_t conference;
    std::string bytes;
  } cases[] = {{3, std::string("\x03\x00\x00\x00", 4)},
               {70000, std::string("\x70\x11\x01\x00", 4)}};
  for (const auto& c : cases) {
    MessageRecord record = Record();
    record.conference = c.conference;
    const std::string encoded = EncodeQwkMessage(record, "far");
    EXPECT_EQ(encoded, HeaderOf(record).Bytes() + TextBlocks("far"));
    EXPECT_EQ(encoded.substr(123, 4), c.bytes);
  }
}

TEST(QwkMessageEncoderTest, TextBlocksAndLineEnds) {
  const std::string e3 = "\xE3";
  const struct {
    std::string text;
    std::string converted;
    const char* blocks;
  } cases[] = {
      // Whole blocks, filled with zero bytes; an empty text is one block
      // of blanks, since readers count at least two blocks a message.
      {"", std::string(128, ' '), "2"},
      {std::string(128, 'q'), std::string(128, 'q'), "2"},
      {std::string(129, 'q'), std::string(129, 'q'), "3"},
      {std::string(192, 'q'), std::string(192, 'q'), "3"},
      // Line ends become the QWK terminator: a text with line feeds keeps
      // its carriage returns, one without them is cut at carriage returns.
      {"A\r\nB\r\n", "A\r" + e3 + "B\r" + e3, "2"},
      {"A\rB", "A" + e3 + "B", "2"},
      {"A\rB\nC", "A\rB" + e3 + "C", "2"},
      {"one\n\ntwo\n", "one" + e3 + e3 + "two" + e3, "2"},
      {std::string(127, 'q') + "\n", std::string(127, 'q') + e3, "2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const MessageRecord record = Record();
    ExpectedHeader header = HeaderOf(record);
    header.blocks = c.blocks;
    EXPECT_EQ(EncodeQwkMessage(record, c.text), header.Bytes() + TextBlocks(c.converted));
  }
}

TEST(QwkMessageEncoderTest, TextBeyondTheBlockCounterIsRefused) {
  const size_t largest = 32767 * 128;
  try {
    EncodeQwkMessage(Record(), std::string(largest + 1, 'z'));
    FAIL() << "a text of 32,768 blocks was encoded";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), kFailureOverflow);
  }
  const std::string longest = EncodeQwkMessage(Record(), std::string(largest, 'z'));
  ASSERT_EQ(longest.size(), 128 + largest);
  EXPECT_EQ(longest.substr(116, 6), "32768 ");
}

// The writer: the message's text comes from the board, and the blocks go
// after what the file holds.
class QwkMessageFileTest : public testing::RunOnBoardTest {
 protected:
  static constexpr const char* kBanner = "banner block for the tests";

  void SetUp() override {
    Admin().AddConference(3, "Three", 3, {});
    banner_ = std::string(kBanner) + std::string(128 - std::string(kBanner).size(), ' ');
    WriteFile(Work(kMessagesFile), banner_);
    LogInSystem();
  }

  // Posts `text` and returns the board's record of it.
  MessageRecord Posted(const std::string& text) {
    board::PostRequest request;
    request.conference = 3;
    request.from = kFrom;
    request.to = kTo;
    request.subject = kSubject;
    request.date = At(2001, 3, 5, 9, 7);
    request.text = text;
    const auto posted = Admin().Post(request);
    MessageRecord record;
    EXPECT_TRUE(board_.vbGetMessageById(3, posted.id, record));
    return record;
  }

  std::string banner_;
  PacketCharset charset_;  // bytes as stored
};

TEST_F(QwkMessageFileTest, AppendsTheBoardsMessagesThroughOneHandle) {
  const MessageRecord first = Posted("Hi all\r\nsecond line");
  const MessageRecord second = Posted("x");
  MessageFile file = MessageFile::Open(Work(kMessagesFile));
  file.WriteQwkMessage(board_, first, charset_);
  file.WriteQwkMessage(board_, second, charset_);
  file.Close();
  ExpectedHeader firstHeader = HeaderOf(first);
  const std::string converted = "Hi all\r\xE3second line";
  EXPECT_EQ(ReadFile(Work(kMessagesFile)), banner_ + firstHeader.Bytes() + TextBlocks(converted) +
                                               HeaderOf(second).Bytes() + TextBlocks("x"));
}

// The download passes over a message too long for a packet and goes on
// writing through the same handle.
TEST_F(QwkMessageFileTest, TextBeyondTheBlockCounterIsRefusedBeforeWriting) {
  const MessageRecord tooLong = Posted(std::string(32767 * 128 + 1, 'z'));
  const MessageRecord next = Posted("x");
  MessageFile file = MessageFile::Open(Work(kMessagesFile));
  EXPECT_THROW(file.WriteQwkMessage(board_, tooLong, charset_), Failure);
  file.WriteQwkMessage(board_, next, charset_);
  file.Close();
  EXPECT_EQ(ReadFile(Work(kMessagesFile)), banner_ + HeaderOf(next).Bytes() + TextBlocks("x"));
}

// A transliteration carries more bytes than the board keeps: the header
// counts the blocks of the text the packet carries.
TEST_F(QwkMessageFileTest, ATransliteratedTextIsCountedInThePacketsBlocks) {
  const MessageRecord record = Posted(std::string(43, '\x80'));  // 43 euro signs
  PacketCharset cp437 = PacketCharset::ForSetting("cp437");
  MessageFile file = MessageFile::Open(Work(kMessagesFile));
  file.WriteQwkMessage(board_, record, cp437);
  file.Close();
  std::string carried;
  for (int i = 0; i < 43; ++i) carried += "EUR";  // 129 bytes: two text blocks
  ExpectedHeader header = HeaderOf(record);
  header.blocks = "3";
  EXPECT_EQ(ReadFile(Work(kMessagesFile)), banner_ + header.Bytes() + TextBlocks(carried));
}

TEST_F(QwkMessageFileTest, AMissingMessageFileIsAFailure) {
  ASSERT_TRUE(RemoveFile(Work(kMessagesFile)));
  EXPECT_THROW(MessageFile::Open(Work(kMessagesFile)), Failure);
  EXPECT_FALSE(testing::Exists(Work(kMessagesFile)));
}

TEST_F(QwkMessageFileTest, AClosedFileTakesNoMoreMessages) {
  const MessageRecord record = Posted("x");
  MessageFile file = MessageFile::Open(Work(kMessagesFile));
  file.Close();
  EXPECT_THROW(file.WriteQwkMessage(board_, record, charset_), Failure);
  EXPECT_EQ(ReadFile(Work(kMessagesFile)), banner_);
}

}  // namespace
}  // namespace obrix
