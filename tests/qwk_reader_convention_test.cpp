// Packets and replies as offline readers write and read them: the reply
// parser on replies built byte by byte, and a reader's round trip in
// process, its packets read by the kit's independent packet reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "admin/board_admin.h"
#include "board/board.h"
#include "download/qwk_download.h"
#include "driver/work_directory.h"
#include "support/qwk_packet_reader.h"
#include "support/upload_test_support.h"
#include "tools/tool_commands.h"
#include "upload/qwk_upload.h"
#include "upload/reply_conventions.h"
#include "upload/reply_reader.h"

namespace obrix {
namespace {

// Every message on the board, whole, in id order.
std::vector<board::MessageSummary> StoredMessages(const std::string& boardPath) {
  board::BoardAdmin admin = board::BoardAdmin::Open(boardPath);
  std::vector<board::MessageSummary> messages;
  for (const board::MessageSummary& listed : admin.ListMessages(std::nullopt, std::nullopt)) {
    messages.push_back(admin.Show(listed.id).value());
  }
  return messages;
}

using ::testing::HasSubstr;
using testing::PacketMessage;
using testing::TestReply;
using namespace std::string_literals;

// A reply as a reader writes it: the kit's reply with a Status character
// and a Reference field.
std::string ReaderReply(const TestReply& reply, char status, const std::string& reference = "") {
  std::string bytes = testing::ReplyBytes(reply);
  bytes[0] = status;
  bytes.replace(108, 8, (reference + std::string(8, ' ')).substr(0, 8));
  return bytes;
}

// The reply in a file of its own, on a board of ten conferences.
MessageRecord Parse(const TestReply& reply, char status, const char* reference, std::string& text) {
  MessageRecord record;
  ParseReply(testing::PadToBlocks("OBRIX") + ReaderReply(reply, status, reference), 129, 10, record,
             text);
  return record;
}

TEST(ReaderReplyTest, StatusReferenceAndConference) {
  const struct {
    char status;
    const char* number;
    int32_t field;
    const char* reference;
    Bool32 isPrivate;
    int32_t conference, referenceNumber;
  } cases[] = {
      {'*', "12", 5 + (7 << 16), " 42", kTrue32, 5, 42},  // a message number in bytes 125-126
      {'+', "0", 3 + (9 << 16), "", kTrue32, 3, 0},
      {'~', "12", 4711, "abc", kTrue32, 4711, 0},  // neither form names a conference
      {'`', "1", 0, "  17", kTrue32, 1, 17},
      {' ', "1", 0, "", kFalse32, 1, 0},
      {'-', "1", 0, "", kFalse32, 1, 0},
      {'x', "1", 0, "", kFalse32, 1, 0},
  };
  for (const auto& c : cases) {
    TestReply reply;
    reply.number = c.number;
    reply.conference = c.field;
    std::string text;
    const MessageRecord record = Parse(reply, c.status, c.reference, text);
    EXPECT_EQ(record.isPrivate, c.isPrivate) << c.status;
    EXPECT_EQ(record.conference, c.conference) << c.status;
    EXPECT_EQ(record.reference, c.referenceNumber) << c.status;
  }
}

TEST(ReaderReplyTest, FillIsNotText) {
  const struct {
    std::string text, expected;
  } cases[] = {
      // Blanks and zero bytes after the last line end are fill; blanks
      // inside the text, and those of a block before the last, are not.
      {"Hi  \n  there\n\0\0 \0"s, "Hi  \n  there\n"},
      {"last line   ", "last line"},
      {std::string(120, 'a') + std::string(136, ' '), std::string(120, 'a') + "        "},
      {"To: X\nHi", "To: X\nHi"},  // extension lines are the upload's to judge
  };
  for (const auto& c : cases) {
    TestReply reply;
    reply.text = c.text;
    std::string text;
    const MessageRecord record = Parse(reply, ' ', "", text);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(record.textLength, static_cast<int32_t>(c.expected.size()));
  }
}

TEST(ReaderReplyTest, ExtensionLinesCountOnlyWhereTheHeaderCutTheValueShort) {
  const std::string name = "JANE ROE OF THE LONG NAME FAMILY";  // a user
  const std::string subject = "Hello to the whole long-named family";
  const std::string cutName = name.substr(0, 25);
  const std::string cutSubject = subject.substr(0, 25);
  const struct {
    std::string text, expected;
    std::string to = "ALICE WALKER", subject = "Hello";
    std::string expectedTo = "ALICE WALKER", expectedSubject = "Hello";
  } cases[] = {
      {"To: " + name + "\nSubject: " + subject + "\n@MSGID: 1:2/3 12ab\n@TZ: 0000\r\nHi\n@VIA: x\n",
       "Hi\n@VIA: x\n", cutName, cutSubject, name, subject},
      // A header that is not full was not cut: the line is the text's.
      {"To: Alice Walker and Bob Martin\nHi", "To: Alice Walker and Bob Martin\nHi"},
      {"Subject: Hello, and more besides\n", "Subject: Hello, and more besides\n"},
      // A full header, but a To value that names nobody: the header stands.
      {"To: JANE ROE OF THE LONG NAME CLAN\nHi", "To: JANE ROE OF THE LONG NAME CLAN\nHi", cutName,
       "Hello", cutName},
      // A value that is not the header's, or no longer than it.
      {"Subject: Something else entirely, and long\n",
       "Subject: Something else entirely, and long\n", "ALICE WALKER", cutSubject, "ALICE WALKER",
       cutSubject},
      {"Subject: " + cutSubject + "\n", "Subject: " + cutSubject + "\n", "ALICE WALKER", cutSubject,
       "ALICE WALKER", cutSubject},
      {"From: JOHN DOE\r\n@REPLY: 1:2/3 99\nHi", "From: JOHN DOE\r\n@REPLY: 1:2/3 99\nHi"},
      {"@REPLY: 1:2/3 99\nHi", "Hi"},
  };
  for (const auto& c : cases) {
    MessageRecord record;
    record.to.name.Set(c.to);
    record.subject.Set(c.subject);
    std::string text = c.text;
    TakeExtensionLines(text, record, [&](const std::string& value) { return value == name; });
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(record.to.name.Trimmed(), c.expectedTo) << c.text;
    EXPECT_EQ(record.subject.Trimmed(), c.expectedSubject) << c.text;
  }
}

// Downloads and uploads in process, as runs of the program do, on a board
// with JOHN DOE, JANE ROE and CAROL ROW.
class ReaderRoundTripTest : public testing::BoardTest {
 protected:
  void SetUp() override {
    board::BoardAdmin admin = Admin();
    admin.SetHashCost(board::HashCost::kMinimum);
    admin.AddUser("CAROL ROW", "PW", "");
    std::filesystem::create_directory(dir_ / "Qwk");
  }

  board::BoardAdmin Admin() { return board::BoardAdmin::Open(boardPath_); }

  bool Run(const std::string& user, const std::string& password, bool download) {
    board::Board board;
    EXPECT_TRUE(board.vbWildcatServerConnect(boardPath_.c_str()));
    EXPECT_TRUE(board.WildcatServerCreateContext());
    RunState state;
    state.programDirectory = dir_.path();
    state.UserName = user;
    state.UserId = Admin().UserId(user);
    UserRecord record;
    EXPECT_TRUE(board.vbLoginUserEx(state.UserId, password, 1, "Obrix", record));
    ActivityLog log(dir_ / "obrix.log");
    RunContext context{board, log, state};
    if (download) return InitDownload(context) && QwkDownload(context);
    return InitUpload(context) && QwkUpload(context);
  }

  testing::QwkPacket Download(const std::string& user, const std::string& password) {
    EXPECT_TRUE(Run(user, password, true)) << testing::ReadFile(dir_ / "obrix.log");
    const std::string packet = dir_ / "Qwk/OBRIX.qwk";
    testing::QwkPacket read = testing::ReadQwkPacket(packet);
    std::filesystem::remove(packet);
    return read;
  }

  void Post(int32_t conference, const std::string& to, const std::string& subject,
            const std::string& text, bool isPrivate = false) {
    board::PostRequest post;
    post.conference = conference;
    post.from = "JANE ROE";
    post.to = to;
    post.subject = subject;
    post.text = text;
    post.isPrivate = isPrivate;
    Admin().Post(post);
  }

  void Upload(const std::string& replies) {
    testing::ZipMembers(dir_ / "Qwk/OBRIX.rep",
                        {{"OBRIX.MSG", testing::PadToBlocks("OBRIX") + replies}});
    EXPECT_TRUE(Run("JOHN DOE", "SECRET", false)) << testing::ReadFile(dir_ / "obrix.log");
  }

  testing::TempDir dir_;
  testing::TestBoard board_{testing::UploadBoardSetup(3), backend()};
  std::string boardPath_ = board_.name();
};

const PacketMessage* Find(const std::vector<PacketMessage>& packet, const std::string& subject) {
  for (const PacketMessage& message : packet) {
    if (message.subject == subject) return &message;
  }
  return nullptr;
}

TEST_P(ReaderRoundTripTest, APrivateThreadSurvivesInTheReadersCharacterSet) {
  Post(0, "ALL", "Welcome", "Hello\n");  // ids and numbers differ from here on
  Post(0, "ALL", "Empty", "");
  Post(1, "JOHN DOE", "Caf\xE9 cr\xE8me", "Caf\xE9 cr\xE8me, na\xEFve? 5\x80\n", true);

  board::BoardAdmin admin = Admin();
  admin.SetConfig("name", "Le Caf\xE9");
  admin.AddArea(1, "Na\xEFve", false);
  admin.AddFile(1, "A.ZIP", 1, "D\xE9j\xE0 vu", FILETIME::FromTicks(0x01D0000000000000ULL));
  admin.SetVar("JOHN DOE", "IncludeNewFiles", "1");

  const testing::QwkPacket packet = Download("JOHN DOE", "SECRET");
  EXPECT_EQ(packet.control.at(0), "Le Caf\x82");
  EXPECT_THAT(packet.files.at("NEWFILES.DAT"), HasSubstr("Na\x8Bve"));
  EXPECT_THAT(packet.files.at("NEWFILES.DAT"), HasSubstr("D\x82j\x85 vu"));
  const std::vector<PacketMessage>& johns = packet.messages;
  ASSERT_EQ(johns.size(), 3u);  // the empty message between two others
  EXPECT_EQ(johns[1].blocks, 2);
  EXPECT_EQ(johns[2].text, "Caf\x82 cr\x8Ame, na\x8Bve? 5EUR\n");  // the euro sign transliterated
  const PacketMessage* question = &johns[2];
  EXPECT_EQ(question->subject, "Caf\x82 cr\x8Ame");
  EXPECT_EQ(question->status, '+');
  EXPECT_EQ(question->number, "1");

  TestReply reply;
  reply.conference = 1;
  reply.to = "JANE ROE";
  reply.subject = "Re: Caf\x82 cr\x8Ame";
  reply.text = "Merci, caf\x82!\n";
  Upload(ReaderReply(reply, '*', " " + question->number));
  const board::MessageSummary stored = StoredMessages(boardPath_).back();
  EXPECT_TRUE(stored.isPrivate);
  EXPECT_EQ(stored.reference, 3);  // the id of the message answered
  EXPECT_EQ(stored.text, "Merci, caf\xE9!\n");

  const auto janes = Download("JANE ROE", "LETMEIN");  // kept: answer points into it
  const PacketMessage* answer = Find(janes.messages, "Re: Caf\x82 cr\x8Ame");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer->status, '+');
  EXPECT_EQ(answer->reference, question->number);
  EXPECT_EQ(answer->text, "Merci, caf\x82!\n");

  const std::vector<PacketMessage> carols = Download("CAROL ROW", "PW").messages;
  EXPECT_EQ(carols.size(), 2u);  // the public messages only
  EXPECT_EQ(Find(carols, "Re: Caf\x82 cr\x8Ame"), nullptr);
}

TEST_P(ReaderRoundTripTest, TheConferencesModeAndObjectDecide) {
  const auto tool = [this](const char* number, const char* mode) {
    return tool::RunBoardTool({"--board", boardPath_, "conf", "add", number, "C", "--mode", mode});
  };
  EXPECT_EQ(tool("3", "2"), 0);
  EXPECT_EQ(tool("4", "1"), 0);
  EXPECT_EQ(tool("5", "8"), 1);
  Admin().Grant("JOHN DOE", kConferenceObjectBase + 2, kConferenceSenderFlag);
  const struct {
    int32_t conference;
    char status;
    bool isPrivate;
    const char* from;
  } cases[] = {{3, ' ', true, "JOHN DOE"},
               {4, ' ', false, "JOHN DOE"},  // marked private it would be refused
               {1, '~', true, "JOHN DOE"},
               {2, '-', false, "JANE ROE"}};  // flag 8 on conference 2
  std::string replies;
  for (const auto& c : cases) {
    TestReply reply;
    reply.number = std::to_string(c.conference);
    reply.from = "JANE ROE";
    replies += ReaderReply(reply, c.status, " 99");  // no message 99: no reference
  }
  Upload(replies);
  const std::vector<board::MessageSummary> stored = StoredMessages(boardPath_);
  ASSERT_EQ(stored.size(), std::size(cases));
  for (size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(stored[i].conference, cases[i].conference);
    EXPECT_EQ(stored[i].isPrivate, cases[i].isPrivate) << i;
    EXPECT_EQ(stored[i].from, cases[i].from) << i;
    EXPECT_EQ(stored[i].reference, 0) << i;
  }
}

TEST_F(ReaderRoundTripTest, ABoardOfVersionOneIsUpgradedAndKeepsItsBytes) {
  Admin().database().Exec(
      "ALTER TABLE conferences DROP COLUMN mode; DELETE FROM meta WHERE key = 'charset';"
      "DROP TABLE delivery_messages; DROP TABLE delivery_pointers; DROP TABLE deliveries;"
      "UPDATE meta SET value = '1' WHERE key = 'schema_version'; PRAGMA user_version=1;");
  board::Board board;
  ASSERT_TRUE(board.vbWildcatServerConnect(boardPath_.c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  ASSERT_TRUE(board.LoginSystem());
  MakewildRecord config;
  board.vbGetMakewild(config);
  EXPECT_EQ(config.charset.Trimmed(), "windows-1252");
  ConfDescRecord conference;
  EXPECT_TRUE(board.vbGetConfDesc(2, conference));
  EXPECT_EQ(conference.objectId, kConferenceObjectBase + 2);
  // The bytes pass as stored, both ways.
  Post(1, "JOHN DOE", "Caf\xE9", "na\xEFve \x80\n");
  EXPECT_EQ(Download("JOHN DOE", "SECRET").messages.at(0).text, "na\xEFve \x80\n");
  TestReply reply;
  reply.text = "Caf\x82 \xC9\n";
  Upload(ReaderReply(reply, ' '));
  EXPECT_EQ(StoredMessages(boardPath_).back().text, "Caf\x82 \xC9\n");

  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "config", "charset", " CP437"}), 0);
  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "config", "charset", "utf-8"}), 1);
  EXPECT_EQ(Admin().GetConfig("charset"), "cp437");
}

INSTANTIATE_TEST_SUITE_P(, ReaderRoundTripTest, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix
