// A round trip through the real program: a caller downloads his packet,
// answers its messages as an offline reader does, uploads the replies, and
// the people he answered find them in their next packet.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::Field;

// Downloads `call`'s packet and takes it out of the work directory.
QwkPacket Download(const Node& node, const Call& call) {
  const ProcessResult run = node.Run(call);
  EXPECT_EQ(run.status, 0) << ::testing::PrintToString(node.LastRun());
  QwkPacket packet = node.Packet();
  std::filesystem::remove(node.Work("OBRIX.qwk"));
  return packet;
}

using UploadRoundTripTest = BoardTest;

TEST_P(UploadRoundTripTest, RepliesReachThePeopleAnswered) {
  Site site({.conferences = 3}, backend());
  site.board.Post(
      {.to = kUser, .subject = "Lunch on Friday?", .text = "Are you free at noon?\r\n"});
  site.board.Post(
      {.conference = 2, .subject = "Club news", .text = "The club meets on Monday.\r\n"});

  const QwkPacket mine = Download(site.node, {});
  ASSERT_EQ(mine.messages.size(), 2u);

  // Answer every message in its own conference, as a reader writes it.
  std::vector<TestReply> replies;
  for (const PacketMessage& message : mine.messages) {
    TestReply reply;
    reply.number = std::to_string(message.conference);
    reply.conference = message.conference;
    reply.to = message.from;
    reply.from = kUser;
    reply.subject = "Re: " + message.subject;
    reply.text = "> " + message.text.substr(0, message.text.find_first_of("\r\n")) + "\nAgreed.\n";
    replies.push_back(reply);
  }
  site.node.WriteRep(replies);
  const ProcessResult upload = site.node.Run({.operation = kUpload});
  ASSERT_EQ(upload.status, 0) << ::testing::PrintToString(site.node.LastRun());

  const QwkPacket theirs = Download(site.node, {.user = kOther, .password = kOtherPassword});
  std::map<std::string, PacketMessage> bySubject;
  for (const PacketMessage& message : theirs.messages) {
    if (message.from == kUser) bySubject[message.subject] = message;
  }
  ASSERT_EQ(bySubject.size(), 2u);
  const auto reply = [](int32_t conference, const std::string& text) {
    return AllOf(Field(&PacketMessage::to, kOther), Field(&PacketMessage::conference, conference),
                 Field(&PacketMessage::text, text));
  };
  EXPECT_THAT(bySubject.at("Re: Lunch on Friday?"), reply(1, "> Are you free at noon?\nAgreed.\n"));
  EXPECT_THAT(bySubject.at("Re: Club news"), reply(2, "> The club meets on Monday.\nAgreed.\n"));
}

INSTANTIATE_TEST_SUITE_P(, UploadRoundTripTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
