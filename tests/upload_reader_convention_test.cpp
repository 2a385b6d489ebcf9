// A reader's round trip in process: a caller downloads his packet, answers
// a message as an offline reader does, uploads, and the people concerned
// download again; and what a conference's mode and its object's flags
// decide about a reply.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "board/board.h"
#include "board/schema.h"
#include "board/tables.h"
#include "download/qwk_download.h"
#include "driver/work_directory.h"
#include "support/qwk_packet_reader.h"
#include "support/upload_test_support.h"
#include "tools/tool_commands.h"
#include "upload/qwk_upload.h"

namespace obrix {
namespace {

using testing::PacketMessage;
using testing::TestReply;

// A reply as a reader writes it, with a Status character and a Reference.
std::string ReaderReply(const TestReply& reply, char status, const std::string& reference) {
  std::string bytes = testing::ReplyBytes(reply);
  bytes[0] = status;
  bytes.replace(108, 8, (reference + std::string(8, ' ')).substr(0, 8));
  return bytes;
}

class ReaderRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boardPath_ = testing::CreateTestBoard(dir_.path(), 3);
    board::BoardAdmin admin = Admin();
    admin.SetHashCost(board::HashCost::kMinimum);
    admin.AddUser("CAROL ROW", "PW", "");
    std::filesystem::create_directory(dir_ / "Qwk");
  }

  board::BoardAdmin Admin() { return board::BoardAdmin::Open(boardPath_); }

  // Runs `operation` in process for `user`, as a run of the program does.
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

  std::vector<PacketMessage> Download(const std::string& user, const std::string& password) {
    EXPECT_TRUE(Run(user, password, true)) << testing::ReadFile(dir_ / "obrix.log");
    const std::string packet = dir_ / "Qwk/OBRIX.qwk";
    std::vector<PacketMessage> messages = testing::ReadQwkPacket(packet).messages;
    std::filesystem::remove(packet);
    return messages;
  }

  void Upload(const std::string& user, const std::string& password, const std::string& replies) {
    testing::ZipMembers(dir_ / "Qwk/OBRIX.rep",
                        {{"OBRIX.MSG", testing::PadToBlocks("OBRIX") + replies}});
    EXPECT_TRUE(Run(user, password, false)) << testing::ReadFile(dir_ / "obrix.log");
  }

  int32_t Post(int32_t conference, const std::string& from, const std::string& to,
               const std::string& subject, bool isPrivate, const std::string& text) {
    board::PostRequest post;
    post.conference = conference;
    post.from = from;
    post.to = to;
    post.subject = subject;
    post.isPrivate = isPrivate;
    post.text = text;
    return Admin().Post(post).id;
  }

  testing::TempDir dir_;
  std::string boardPath_;
};

const PacketMessage* Find(const std::vector<PacketMessage>& packet, const std::string& subject) {
  for (const PacketMessage& message : packet) {
    if (message.subject == subject) return &message;
  }
  return nullptr;
}

TEST_F(ReaderRoundTripTest, APrivateThreadSurvivesInTheReadersCharacterSet) {
  Post(0, "JANE ROE", "ALL", "Welcome", false, "Hello all\n");  // ids and numbers differ
  Post(0, "JANE ROE", "ALL", "Rules", false, "Be nice\n");
  Post(1, "JANE ROE", "JOHN DOE", "Caf\xE9 cr\xE8me", true, "Caf\xE9 cr\xE8me, na\xEFve?\n");

  const std::vector<PacketMessage> johns = Download("JOHN DOE", "SECRET");
  const PacketMessage* question = Find(johns, "Caf\x82 cr\x8Ame");
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->status, '+');
  EXPECT_EQ(question->number, "1");
  EXPECT_EQ(question->text, "Caf\x82 cr\x8Ame, na\x8Bve?\n");

  TestReply reply;
  reply.number = "1";
  reply.conference = 1;
  reply.to = "JANE ROE";
  reply.from = "JOHN DOE";
  reply.subject = "Re: Caf\x82 cr\x8Ame";
  reply.text = "Merci, caf\x82!\n";
  Upload("JOHN DOE", "SECRET", ReaderReply(reply, '*', " " + question->number));

  const board::MessageSummary stored = testing::BoardMessages(boardPath_).back();
  EXPECT_TRUE(stored.isPrivate);
  EXPECT_EQ(stored.reference, 3);  // the id of the message answered
  EXPECT_EQ(stored.subject, "Re: Caf\xE9 cr\xE8me");
  EXPECT_EQ(stored.text, "Merci, caf\xE9!\n");

  const PacketMessage* answer = Find(Download("JANE ROE", "LETMEIN"), "Re: Caf\x82 cr\x8Ame");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer->status, '+');
  EXPECT_EQ(answer->reference, question->number);
  EXPECT_EQ(answer->text, "Merci, caf\x82!\n");

  const std::vector<PacketMessage> carols = Download("CAROL ROW", "PW");
  EXPECT_EQ(carols.size(), 2u);  // the public ones only
  EXPECT_EQ(Find(carols, "Re: Caf\x82 cr\x8Ame"), nullptr);
}

TEST_F(ReaderRoundTripTest, TheConferencesModeAndObjectDecide) {
  EXPECT_EQ(
      tool::RunBoardTool({"--board", boardPath_, "conf", "add", "3", "Private", "--mode", "2"}), 0);
  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "conf", "add", "4", "Open", "--mode", "1"}),
            0);
  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "conf", "add", "5", "Bad", "--mode", "8"}),
            1);
  Admin().Grant("JOHN DOE", kConferenceObjectBase + 2, kConferenceSenderFlag);
  const struct {
    int32_t conference;
    char status;
    const char* reference;
    bool isPrivate;
    const char* from;
  } cases[] = {
      {3, ' ', "", true, "JOHN DOE"},    {4, '*', "", false, "JOHN DOE"},
      {1, '~', " 99", true, "JOHN DOE"},  // no message 99: no reference
      {1, '-', "", false, "JOHN DOE"},   {2, ' ', "", false, "JANE ROE"},
  };
  std::string replies;
  for (const auto& c : cases) {
    TestReply reply;
    reply.number = std::to_string(c.conference);
    reply.from = "JANE ROE";
    reply.subject = "To " + std::to_string(c.conference) + c.status;
    replies += ReaderReply(reply, c.status, c.reference);
  }
  Upload("JOHN DOE", "SECRET", replies);
  const std::vector<board::MessageSummary> stored = testing::BoardMessages(boardPath_);
  ASSERT_EQ(stored.size(), std::size(cases));
  for (size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(stored[i].conference, cases[i].conference) << i;
    EXPECT_EQ(stored[i].isPrivate, cases[i].isPrivate) << i;
    EXPECT_EQ(stored[i].from, cases[i].from) << i;
    EXPECT_EQ(stored[i].reference, 0) << i;
  }
}

TEST_F(ReaderRoundTripTest, ABoardOfVersionOneIsUpgradedAndKeepsItsBytes) {
  {
    board::Database db = board::Database::Open(boardPath_, false);
    db.Exec(
        "ALTER TABLE conferences DROP COLUMN mode; DELETE FROM meta WHERE key = 'charset';"
        "UPDATE meta SET value = '1' WHERE key = 'schema_version'; PRAGMA user_version=1;");
  }
  board::Board board;
  ASSERT_TRUE(board.vbWildcatServerConnect(boardPath_.c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  ASSERT_TRUE(board.LoginSystem());
  MakewildRecord config;
  board.vbGetMakewild(config);
  EXPECT_EQ(config.charset.Trimmed(), "windows-1252");
  ConfDescRecord conference;
  EXPECT_TRUE(board.vbGetConfDesc(2, conference));
  EXPECT_EQ(conference.mode, 0);
  EXPECT_EQ(conference.objectId, kConferenceObjectBase + 2);
  EXPECT_EQ(board::MetaValue(Admin().database(), board::kSchemaVersionKey), "2");

  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "config", "charset", " CP437"}), 0);
  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "config", "charset", "utf-8"}), 1);
  EXPECT_EQ(Admin().GetConfig("charset"), "cp437");
}

}  // namespace
}  // namespace obrix
