// A round trip through the real program: a caller downloads his packet,
// answers its messages as an offline reader does, uploads the replies, and
// the people he answered find them in their next packet.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/qwk_packet_reader.h"
#include "support/upload_test_support.h"

namespace obrix {
namespace {

using testing::TestReply;

class UploadRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    obrix_ = testing::InstallObrix(dir_.path());
    boardPath_ = testing::CreateTestBoard(dir_.path(), 3);
  }

  testing::ProcessResult Run(const std::string& user, const std::string& password,
                             const std::string& operation) {
    return testing::RunProgram({obrix_, "/U", user, "/P", password, operation}, dir_.path(),
                               {{"OBRIX_BOARD", boardPath_}});
  }

  // Downloads `user`'s packet and takes it out of the work directory.
  testing::QwkPacket Download(const std::string& user, const std::string& password) {
    const testing::ProcessResult run = Run(user, password, "/DOWNLOAD");
    EXPECT_EQ(run.status, 0) << testing::ReadFile(dir_ / "obrix.log");
    const std::string packet = dir_ / "Qwk/OBRIX.qwk";
    testing::QwkPacket read = testing::ReadQwkPacket(packet);
    std::filesystem::remove(packet);
    return read;
  }

  void Post(int32_t conference, const std::string& from, const std::string& to,
            const std::string& subject, const std::string& text) {
    board::PostRequest request;
    request.conference = conference;
    request.from = from;
    request.to = to;
    request.subject = subject;
    request.text = text;
    board::BoardAdmin::Open(boardPath_).Post(request);
  }

  testing::TempDir dir_;
  std::string obrix_;
  std::string boardPath_;
};

TEST_F(UploadRoundTripTest, RepliesReachThePeopleAnswered) {
  Post(1, "JANE ROE", "JOHN DOE", "Lunch on Friday?", "Are you free at noon?\r\n");
  Post(2, "JANE ROE", "ALL", "Club news", "The club meets on Monday.\r\n");

  const testing::QwkPacket johns = Download("JOHN DOE", "secret");
  ASSERT_EQ(johns.messages.size(), 2u);

  // Answer every message in its own conference, as a reader writes it.
  std::vector<TestReply> replies;
  for (const testing::PacketMessage& message : johns.messages) {
    TestReply reply;
    reply.number = std::to_string(message.conference);
    reply.conference = message.conference;
    reply.to = message.from;
    reply.from = "JOHN DOE";
    reply.subject = "Re: " + message.subject;
    reply.text = "> " + message.text.substr(0, message.text.find_first_of("\r\n")) + "\nAgreed.\n";
    replies.push_back(reply);
  }
  testing::ZipMembers(dir_ / "Qwk/obrix.rep",
                      {{"OBRIX.MSG", testing::ReplyFile("OBRIX", replies)}});
  const testing::ProcessResult upload = Run("JOHN DOE", "secret", "/UPLOAD");
  ASSERT_EQ(upload.status, 0) << testing::ReadFile(dir_ / "obrix.log");

  const testing::QwkPacket janes = Download("JANE ROE", "letmein");
  std::map<std::string, testing::PacketMessage> bySubject;
  for (const testing::PacketMessage& message : janes.messages) {
    if (message.from == "JOHN DOE") bySubject[message.subject] = message;
  }
  ASSERT_EQ(bySubject.size(), 2u);
  const testing::PacketMessage& lunch = bySubject.at("Re: Lunch on Friday?");
  EXPECT_EQ(lunch.to, "JANE ROE");
  EXPECT_EQ(lunch.conference, 1);
  EXPECT_EQ(lunch.text, "> Are you free at noon?\nAgreed.\n");
  const testing::PacketMessage& club = bySubject.at("Re: Club news");
  EXPECT_EQ(club.to, "JANE ROE");
  EXPECT_EQ(club.conference, 2);
  EXPECT_EQ(club.text, "> The club meets on Monday.\nAgreed.\n");
}

}  // namespace
}  // namespace obrix
