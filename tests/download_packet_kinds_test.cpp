// The packet kinds a caller may ask for, end to end: the real obrix
// program against a real board, its packets opened with the tests' own
// reader. One board serves every kind: long names and subjects with
// letters code page 437 lacks, a euro sign in a text, a reply, and
// conferences selected and moded every way the board knows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "base/text.h"
#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// "JOÃO ØSTERGAARD-ŒUVRE DE LA FONTAINE" in Windows-1252 and in UTF-8.
constexpr const char* kLongName = "JO\xC3O \xD8STERGAARD-\x8CUVRE DE LA FONTAINE";
constexpr const char* kLongNameUtf8 = "JO\xC3\x83O \xC3\x98STERGAARD-\xC5\x92UVRE DE LA FONTAINE";
constexpr const char* kLongSubject = "A subject of more than twenty-five characters";

class DownloadPacketKindsTest : public BoardTest {
 protected:
  void SetUp() override {
    board_.AddConferences({1});
    board::BoardAdmin& admin = board_.Admin();
    admin.AddConference(2, "Private talk", 3, {}, 2);  // every reply private
    admin.SetFlags(kUser, 2, 1);                       // his own mail only
    admin.AddConference(3, "Notices", 0, {}, 1);       // not selected; every reply public
    admin.AddConference(4, "Addressed", 2, {});        // mail to him and to all
    admin.AddConference(5, "Closed", 3, {kOther});     // not his to read
    first_ = board_.Post(
        {.from = kLongName, .subject = kLongSubject, .text = "Price: 5 \x80\nSecond line\n"});
    reply_ = board_.Post({.to = kLongName, .subject = "Re: short", .reference = first_});
  }

  // The caller's next packet with `kind` set (nothing set when empty), all
  // of conference 1's mail in it again.
  QwkPacket Download(const std::string& kind) {
    if (kind.empty()) {
      if (board_.Admin().GetVar(kUser, "PacketKind")) board_.Admin().UnsetVar(kUser, "PacketKind");
    } else {
      board_.Admin().SetVar(kUser, "PacketKind", kind);
    }
    board_.Admin().SetLastRead(kUser, 1, 0);
    std::filesystem::remove(node_.Work("OBRIX.qwk"));
    const ProcessResult result = node_.Run();
    EXPECT_EQ(result.status, 0) << result.output;
    return node_.Packet();
  }

  Site site_{{}, backend()};
  Node& node_ = site_.node;
  TestBoard& board_ = site_.board;
  int32_t first_ = 0;
  int32_t reply_ = 0;
};

// control.dat's lines but the one that dates the packet.
std::vector<std::string> UndatedControl(const QwkPacket& packet) {
  std::vector<std::string> lines = packet.control;
  if (lines.size() > 5) lines.erase(lines.begin() + 5);
  return lines;
}

TEST_P(DownloadPacketKindsTest, APlainPacketIsTheOneOfACallerWithoutTheSetting) {
  const QwkPacket unset = Download("");
  for (const std::string kind : {" QwK ", "qwk", "utf-8", "QWKE2"}) {
    SCOPED_TRACE("PacketKind \"" + kind + "\"");
    const QwkPacket packet = Download(kind);
    ASSERT_EQ(packet.files.size(), unset.files.size());
    for (const auto& [member, bytes] : unset.files) {
      if (member == "CONTROL.DAT") continue;
      ASSERT_TRUE(packet.Has(member)) << member;
      EXPECT_TRUE(packet.files.at(member) == bytes) << member << " differs";
    }
    EXPECT_EQ(UndatedControl(packet), UndatedControl(unset));
  }
  // An unknown value says so once in the log.
  EXPECT_THAT(node_.LastRun(),
              ::testing::Contains("Unknown PacketKind \"QWKE2\": making a plain QWK packet."));
}

TEST_P(DownloadPacketKindsTest, AQwkePacketCarriesTheWholeFieldsAndTheConferences) {
  const QwkPacket packet = Download("qwke");
  EXPECT_FALSE(packet.Has("HEADERS.DAT"));
  EXPECT_THAT(packet.areas, ElementsAre(Pair(1, "a"), Pair(2, "pP"), Pair(3, "O"), Pair(4, "g")));
  EXPECT_THAT(packet.files.at("DOOR.ID"), ::testing::HasSubstr("CONTROLTYPE = YOURS\r\n"));
  ASSERT_EQ(packet.messages.size(), 2u);
  const PacketMessage& first = packet.messages[0];
  // The header keeps its 25 characters; the lines carry the whole values
  // in the packet's character set.
  EXPECT_EQ(first.subject, std::string(kLongSubject).substr(0, 25));
  EXPECT_THAT(first.longFields, ElementsAre(Pair("From", "JO?O ?STERGAARD-OEUVRE DE LA FONTAINE"),
                                            Pair("Subject", kLongSubject)));
  EXPECT_EQ(first.from, std::string("JO?O ?STERGAARD-OEUVRE DE LA FONTAINE").substr(0, 25));
  EXPECT_EQ(first.text, "Price: 5 EUR\nSecond line\n");
  const PacketMessage& reply = packet.messages[1];
  EXPECT_THAT(reply.longFields, ElementsAre(Pair("To", "JO?O ?STERGAARD-OEUVRE DE LA FONTAINE")));
  EXPECT_EQ(reply.reference, first.number);
}

TEST_P(DownloadPacketKindsTest, AUtf8PacketDescribesEveryMessageInHeadersDat) {
  const QwkPacket packet = Download(" UTF8");
  EXPECT_THAT(packet.areas, ElementsAre(Pair(1, "a"), Pair(2, "pP"), Pair(3, "O"), Pair(4, "g")));
  ASSERT_EQ(packet.messages.size(), 2u);
  const PacketMessage& first = packet.messages[0];
  EXPECT_EQ(first.offset, 128u);
  // The header stays in code page 437; lines, text and headers are UTF-8.
  EXPECT_EQ(first.from, std::string("JO?O ?STERGAARD-OEUVRE DE LA FONTAINE").substr(0, 25));
  EXPECT_THAT(first.longFields,
              ElementsAre(Pair("From", kLongNameUtf8), Pair("Subject", kLongSubject)));
  EXPECT_EQ(first.text, "Price: 5 \xE2\x82\xAC\nSecond line\n");
  const std::string firstId = "<" + Decimal(first_) + ".1@obrix-demo-bbs>";
  EXPECT_THAT(first.headers, ElementsAre(Pair("Conference", "1"), Pair("Message-ID", firstId),
                                         Pair("Sender", kLongNameUtf8),
                                         Pair("Subject", kLongSubject), Pair("To", "ALL"),
                                         Pair("Utf8", "true"), Pair("WhenWritten", ::testing::_)));
  EXPECT_THAT(first.headers.at("WhenWritten"), MatchesPattern("\\d{14}[+-]\\d{4} [0-9a-f]{4}"));
  const PacketMessage& reply = packet.messages[1];
  EXPECT_EQ(reply.offset, 128u * static_cast<size_t>(1 + first.blocks));
  EXPECT_EQ(reply.headers.at("In-Reply-To"), firstId);
  EXPECT_EQ(reply.headers.at("To"), kLongNameUtf8);
  EXPECT_EQ(reply.headers.at("Message-ID"), "<" + Decimal(reply_) + ".1@obrix-demo-bbs>");
  EXPECT_THAT(reply.longFields, ElementsAre(Pair("To", kLongNameUtf8)));
}

INSTANTIATE_TEST_SUITE_P(, DownloadPacketKindsTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
