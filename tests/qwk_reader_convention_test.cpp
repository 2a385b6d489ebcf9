// Packets and replies as offline readers write and read them: the reply
// parser on replies built byte by byte, the encoder's blocks read back by the
// kit's independent packet reader, and the packet files of a real board in
// both character sets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "support/qwk_packet_reader.h"
#include "support/qwk_test_board.h"
#include "support/upload_test_support.h"
#include "upload/reply_reader.h"
#include "upload/reply_rules.h"

namespace obrix {
namespace {

using ::testing::HasSubstr;
using testing::TestReply;
using namespace std::string_literals;

// A reply as a reader writes it: the kit's reply with a Status character
// and a Reference field.
std::string ReaderReply(const TestReply& reply, char status = ' ', const std::string& ref = "") {
  std::string bytes = testing::ReplyBytes(reply);
  bytes[0] = status;
  bytes.replace(108, 8, (ref + std::string(8, ' ')).substr(0, 8));
  return bytes;
}

// The kit's reply with these fields.
TestReply Reply(const std::string& text, const std::string& to = "ALL",
                const std::string& subject = "Hello") {
  TestReply reply;
  reply.text = text;
  reply.to = to;
  reply.subject = subject;
  return reply;
}

struct Parsed {
  MessageRecord record;
  std::string text;
};

// The reply in a file of its own, on a board of ten conferences.
Parsed Parse(const std::string& reply) {
  Parsed parsed;
  ParseReply(testing::PadToBlocks("OBRIX") + reply, 129, 10, parsed.record, parsed.text);
  return parsed;
}

TEST(ReaderReplyTest, StatusMarksPrivateReplies) {
  for (const char status : {'*', '+', '~', '`'}) {
    EXPECT_EQ(Parse(ReaderReply({}, status)).record.isPrivate, kTrue32) << status;
  }
  for (const char status : {' ', '-', 'x', '\0'}) {
    EXPECT_EQ(Parse(ReaderReply({}, status)).record.isPrivate, kFalse32) << status;
  }
}

TEST(ReaderReplyTest, ReferenceNumberAndTheSixteenBitConference) {
  const struct {
    const char* number;
    int32_t field;
    const char* reference;
    int32_t conference;
    int32_t referenceNumber;
  } cases[] = {
      {"12", 5 + (7 << 16), " 42", 5, 42},  // a message number in bytes 125-126
      {"0", 3 + (9 << 16), "", 3, 0},
      {"12", 4711, "abc", 4711, 0},  // neither form names a conference
      {"1", 0, "  17", 1, 17},
  };
  for (const auto& c : cases) {
    TestReply reply;
    reply.number = c.number;
    reply.conference = c.field;
    const Parsed parsed = Parse(ReaderReply(reply, ' ', c.reference));
    EXPECT_EQ(parsed.record.conference, c.conference) << c.number << " " << c.field;
    EXPECT_EQ(parsed.record.reference, c.referenceNumber) << c.reference;
  }
}

TEST(ReaderReplyTest, FillAndExtensionLinesAreNotText) {
  const std::string longName = "JANE ROE OF THE LONG NAME FAMILY";
  const std::string longSubject = "Hello to the whole long-named family";
  const struct {
    TestReply reply;
    std::string text;
    std::string to = "ALL";
    std::string subject = "Hello";
  } cases[] = {
      // Blanks and zero bytes after the last line end are fill; blanks
      // inside the text, and those of a block before the last, are not.
      {Reply("Hi  \n  there\n\0\0 \0"s), "Hi  \n  there\n"},
      {Reply("last line   "), "last line"},
      {Reply(std::string(120, 'a') + std::string(136, ' ')), std::string(120, 'a') + "        "},
      // Extension lines at the top only; QWKE lines give the longer names.
      {Reply("To: " + longName + "\nSubject: " + longSubject +
                 "\n@MSGID: 1:2/3 1234abcd\n@TZ: 0000\r\nHi\n@VIA: kept\n",
             longName, longSubject),
       "Hi\n@VIA: kept\n", longName, longSubject},
      {Reply("To: Somebody Else\nFrom: JOHN DOE\n"), "To: Somebody Else\nFrom: JOHN DOE\n"},
      {Reply("From: JOHN DOE\r\n@REPLY: 1:2/3 99\nHi"), "Hi"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(ReaderReply(c.reply));
    EXPECT_EQ(parsed.text, c.text);
    EXPECT_EQ(parsed.record.textLength, static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(parsed.record.to.name.Trimmed(), c.to);
    EXPECT_EQ(parsed.record.subject.Trimmed(), c.subject);
  }
}

TEST(ReaderPacketTest, AnEmptyMessageBetweenTwoOthersIsReadable) {
  std::string bytes = EncodeBannerBlock();
  const std::string texts[] = {"first\n", "", "third\n"};
  for (int32_t number = 1; number <= 3; ++number) {
    MessageRecord record;
    record.number = number;
    bytes += EncodeQwkMessage(record, texts[number - 1]);
  }
  testing::QwkPacket packet;
  testing::ParseMessages(bytes, packet);
  ASSERT_EQ(packet.messages.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(packet.messages[i].blocks, 2) << i;
    EXPECT_EQ(packet.messages[i].number, std::to_string(i + 1));
    EXPECT_EQ(packet.messages[i].text, texts[i]);
  }
}

TEST(ReaderCharsetTest, RepliesComeBackToTheBoardsCharacterSet) {
  const struct {
    const char* setting;
    std::string packet;
    std::string board;
  } cases[] = {
      {"cp437", "Caf\x82 cr\x8Ame, na\x8Bve \xC9\xCD", "Caf\xE9 cr\xE8me, na\xEFve ??"},
      {"windows-1252", "Caf\x82 \xC9", "Caf\x82 \xC9"},
  };
  for (const auto& c : cases) {
    PacketCharset charset = PacketCharset::ForSetting(c.setting);
    MessageRecord record;
    record.from.name.Set(c.packet);
    std::string text = c.packet + "\n";
    ReplyToBoard(charset, record, text);
    EXPECT_EQ(record.from.name.Trimmed(), c.board) << c.setting;
    EXPECT_EQ(text, c.board + "\n") << c.setting;
  }
}

// The packet files of a board whose texts are not ASCII.
class ReaderCharsetFilesTest : public testing::QwkBoardTest {};

TEST_F(ReaderCharsetFilesTest, ThePacketCarriesTheBoardsTextInItsCharacterSet) {
  auto admin = Admin();
  admin.SetConfig("name", "Le Caf\xE9");
  admin.AddConference(1, "Cr\xE8me \x80", 3, {});
  admin.AddArea(1, "Na\xEFve", false);
  admin.AddFile(1, "A.ZIP", 1, "D\xE9j\xE0 vu", FILETIME::FromTicks(0x01D0000000000000ULL));
  admin.SetVar(kUser, "IncludeNewFiles", "1");
  board::PostRequest post;
  post.conference = 1;
  post.from = "Ren\xE9";
  post.to = "ALL";
  post.subject = "Caf\xE9 cr\xE8me";
  post.text = "na\xEFve \x80\n";
  const int32_t id = admin.Post(post).id;
  LogInUser();
  MessageRecord record;
  ASSERT_TRUE(board_.vbGetMessageById(1, id, record));
  const struct {
    const char* setting;
    std::vector<std::string> control, messages, newFiles;
  } cases[] = {
      {"cp437",
       {"Le Caf\x82\r\n", "Cr\x8Ame ?\r\n"},
       {"Ren\x82", "Caf\x82 cr\x8Ame", "na\x8Bve ?\xE3"},
       {"Na\x8Bve", "D\x82j\x85 vu"}},
      {"windows-1252",
       {"Le Caf\xE9\r\n", "Cr\xE8me \x80\r\n"},
       {"Ren\xE9", "Caf\xE9 cr\xE8me", "na\xEFve \x80\xE3"},
       {"Na\xEFve", "D\xE9j\xE0 vu"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    PacketCharset charset = PacketCharset::ForSetting(c.setting);
    ASSERT_TRUE(QwkOpen(board_, context_.clock, state_.QwkPath, kUser, charset));
    WriteQwkMessage(board_, Work(kMessagesFile), record, charset);
    WriteNewFilesList(context_, Work(kNewFilesFile), charset);
    for (const auto& [file, parts] : {std::pair{kControlFile, c.control},
                                      {kMessagesFile, c.messages},
                                      {kNewFilesFile, c.newFiles}}) {
      for (const std::string& part : parts)
        EXPECT_THAT(testing::ReadFile(Work(file)), HasSubstr(part));
    }
  }
}

}  // namespace
}  // namespace obrix
