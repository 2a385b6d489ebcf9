// "/DOWNLOAD" end to end: the real obrix program against a real board and
// the real zip, its packet opened with the tests' own QWK reader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "server/server.h"
#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

class DownloadEndToEndTest : public BoardTest {
 protected:
  // A download after the BBS sent the last packet and removed it.
  ProcessResult Download(const std::map<std::string, std::string>& environment = {}) {
    std::filesystem::remove(node_.Work("OBRIX.qwk"));
    return node_.Run({.environment = environment});
  }

  int32_t LastRead(int32_t conference) { return board_.Admin().GetLastRead(kUser, conference); }
  void SetVar(const std::string& key, const std::string& value) {
    board_.Admin().SetVar(kUser, key, value);
  }

  std::vector<board::MessageSummary> Receipts(int32_t conference) {
    std::vector<board::MessageSummary> receipts;
    for (const auto& message : board_.Admin().ListMessages(conference, std::nullopt)) {
      if (message.subject == "Return Receipt") receipts.push_back(*board_.Admin().Show(message.id));
    }
    return receipts;
  }

  bool Received(int32_t id) { return board_.Admin().Show(id)->received; }

  Site site_{{}, backend()};
  Node& node_ = site_.node;
  TestBoard& board_ = site_.board;
};

// "Total messages found: N" with the count to the caller when there is one.
std::string Total(int found, int toYou = 0) {
  return "Total messages found: " + std::to_string(found) +
         (toYou ? " (" + std::to_string(toYou) + " to you)" : "");
}

TEST_P(DownloadEndToEndTest, SevenNewMessagesOneToTheUser) {
  board_.AddConferences({1});
  std::vector<int32_t> ids;
  for (int n = 1; n <= 57; ++n) {
    ids.push_back(board_.Post({.to = n == 54 ? kUser : "ALL", .subject = "Message " + Decimal(n)}));
  }
  board_.Admin().SetLastRead(kUser, 1, ids[49]);  // on message number 50

  const ProcessResult result = Download();
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_THAT(
      node_.LastRun(),
      IsDownload(Scan({.conferences = {"Conf: 1, HighMsg: 57, Start: 50, Count: 7, Yours: 1"},
                       .total = Total(7, 1)})));

  EXPECT_THAT(node_.WorkFiles(), ElementsAre("OBRIX.qwk"));
  const QwkPacket packet = node_.Packet();
  ASSERT_EQ(packet.messages.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    const int n = 51 + i;
    const std::string to = n == 54 ? kUser : "ALL";
    const std::string subject = "Message " + Decimal(n);
    EXPECT_THAT(packet.messages[static_cast<size_t>(i)],
                AllOf(Field(&PacketMessage::number, Decimal(n)),
                      Field(&PacketMessage::conference, 1), Field(&PacketMessage::subject, subject),
                      Field(&PacketMessage::from, kOther), Field(&PacketMessage::to, to),
                      Field(&PacketMessage::text, MessageText(subject, kOther, to))));
  }
  // The pointer file keeps the pointer as it was before the download.
  EXPECT_EQ(packet.files.at("OBRIX.PTR"), "1," + Decimal(ids[49]) + "\r\n");
  EXPECT_TRUE(packet.Has("CONTROL.DAT"));
  EXPECT_TRUE(packet.Has("DOOR.ID"));
  EXPECT_FALSE(packet.Has("NEWFILES.DAT"));

  EXPECT_EQ(LastRead(1), ids[56]);
  EXPECT_TRUE(Received(ids[53]));
  EXPECT_FALSE(Received(ids[52]));
}

TEST_P(DownloadEndToEndTest, ConferenceLimitLeavesTheRestForTheNextPacket) {
  board_.AddConferences({1, 2});
  SetVar("MaxMsgPerConf", "5");
  std::vector<int32_t> first;
  std::vector<int32_t> second;
  for (int n = 1; n <= 8; ++n) first.push_back(board_.Post({.subject = "One " + Decimal(n)}));
  for (int n = 1; n <= 2; ++n) {
    second.push_back(board_.Post({.conference = 2, .subject = "Two " + Decimal(n)}));
  }

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsDownload(Scan({.conferences = {"Conf: 1, HighMsg: 8, Start: 0, Count: 5, Yours: 0",
                                               "Conf: 2, HighMsg: 2, Start: 0, Count: 2, Yours: 0"},
                               .total = Total(7),
                               .conferenceLimit = 5})));
  EXPECT_THAT(Subjects(node_.Packet()),
              ElementsAre("One 1", "One 2", "One 3", "One 4", "One 5", "Two 1", "Two 2"));
  EXPECT_EQ(LastRead(1), first[4]);
  EXPECT_EQ(LastRead(2), second[1]);

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsDownload(Scan({.conferences = {"Conf: 1, HighMsg: 8, Start: 5, Count: 3, Yours: 0"},
                               .total = Total(3),
                               .conferenceLimit = 5})));
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("One 6", "One 7", "One 8"));
  EXPECT_EQ(LastRead(1), first[7]);
}

TEST_P(DownloadEndToEndTest, PacketLimitMidConferenceSkipsTheLaterConferences) {
  board_.AddConferences({1, 2, 3});
  SetVar("MaxMsgPerPacket", "4");
  std::map<int32_t, std::vector<int32_t>> ids;
  for (int32_t c = 1; c <= 3; ++c) {
    for (int n = 1; n <= (c == 3 ? 2 : 3); ++n) {
      ids[c].push_back(board_.Post({.conference = c, .subject = Decimal(c) + "." + Decimal(n)}));
    }
  }
  board_.Admin().SetLastRead(kUser, 3, ids[3][0]);

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsDownload(Scan({.conferences = {"Conf: 1, HighMsg: 3, Start: 0, Count: 3, Yours: 0",
                                               "Conf: 2, HighMsg: 3, Start: 0, Count: 1, Yours: 0",
                                               "Scan terminated due to total message count limit."},
                               .total = Total(4),
                               .packetLimit = 4})));
  const QwkPacket packet = node_.Packet();
  EXPECT_THAT(Subjects(packet), ElementsAre("1.1", "1.2", "1.3", "2.1"));
  EXPECT_EQ(packet.files.at("OBRIX.PTR"), "1,0\r\n2,0\r\n");
  EXPECT_EQ(LastRead(1), ids[1][2]);
  EXPECT_EQ(LastRead(2), ids[2][0]);
  EXPECT_EQ(LastRead(3), ids[3][0]);  // never reached: untouched
}

TEST_P(DownloadEndToEndTest, OwnMailFollowsDownloadYourMailUnlessTheSysopFlagIsSet) {
  board_.AddConferences({1});
  board_.Post({.from = kUser, .subject = "Mine first"});
  const int32_t theirs = board_.Post({.subject = "Theirs"});
  const int32_t last = board_.Post({.from = kUser, .to = kOther, .subject = "Mine last"});

  const struct {
    std::string setting;
    bool sysop;
    std::vector<std::string> subjects;
    int32_t pointer;
  } cases[] = {
      {"1", false, {"Theirs"}, theirs},
      {"0", false, {"Mine first", "Theirs", "Mine last"}, last},
      {"yes", false, {"Mine first", "Theirs", "Mine last"}, last},  // no number: 0
      {"1", true, {"Mine first", "Theirs", "Mine last"}, last},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("DownloadYourMail " + c.setting + (c.sysop ? " with the sysop flag" : ""));
    SetVar("DownloadYourMail", c.setting);
    board_.Admin().Grant(kUser, kSysopObject, c.sysop ? 1 : 0);
    board_.Admin().SetLastRead(kUser, 1, 0);
    ASSERT_EQ(Download().status, 0);
    EXPECT_EQ(Subjects(node_.Packet()), c.subjects);
    const std::string count = Decimal(static_cast<int64_t>(c.subjects.size()));
    EXPECT_THAT(node_.LastRun(),
                IsDownload(Scan({.conferences = {"Conf: 1, HighMsg: 3, Start: 0, Count: " + count +
                                                 ", Yours: 0"},
                                 .total = "Total messages found: " + count})));
    EXPECT_EQ(LastRead(1), c.pointer);
  }
}

TEST_P(DownloadEndToEndTest, EachSelectionModeOffersItsOwnMessages) {
  board_.AddConferences({1, 2, 3});
  board_.Admin().SetFlags(kUser, 1, 0);
  board_.Admin().SetFlags(kUser, 2, 1);
  board_.Admin().SetFlags(kUser, 3, 2);
  board_.Post({.subject = "Dropped"});
  const int32_t received = board_.Post({.conference = 2, .to = kUser, .subject = "Yours received"});
  board_.Post({.conference = 2, .subject = "Yours to all"});
  board_.Post({.conference = 2, .to = kUser, .subject = "Yours unread"});
  board_.Post({.conference = 2, .from = kUser, .to = kOther, .subject = "Yours written"});
  const int32_t lastYours =
      board_.Post({.conference = 2, .to = kUser, .subject = "Yours private", .isPrivate = true});
  board_.Post({.conference = 3, .subject = "Addressed to ALL"});
  board_.Post({.conference = 3, .to = "all", .subject = "Addressed to all"});
  const int32_t toUser =
      board_.Post({.conference = 3, .to = kUser, .subject = "Addressed to user"});
  board_.Post({.conference = 3, .to = "SYSOP", .subject = "Addressed to sysop"});
  {
    MessageRecord record;
    auto board = board_.LogIn();
    ASSERT_TRUE(board->vbGetMessageById(2, received, record));
    ASSERT_TRUE(board->vbMarkMessageRead(record));
  }

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsDownload(Scan({.conferences = {"Conf: 2, HighMsg: 5, Start: 0, Count: 2, Yours: 2",
                                               "Conf: 3, HighMsg: 4, Start: 0, Count: 2, Yours: 1"},
                               .total = Total(4, 3)})));
  const QwkPacket packet = node_.Packet();
  EXPECT_THAT(Subjects(packet), ElementsAre("Yours unread", "Yours private", "Addressed to ALL",
                                            "Addressed to user"));
  EXPECT_EQ(packet.messages[1].conference, 2);
  EXPECT_EQ(packet.messages[3].conference, 3);
  EXPECT_EQ(packet.files.at("OBRIX.PTR"), "2,0\r\n3,0\r\n");
  EXPECT_EQ(LastRead(1), 0);
  EXPECT_EQ(LastRead(2), lastYours);
  EXPECT_EQ(LastRead(3), toUser);
}

// "mm/dd/yyyy hh:mm:ss" as "yyyymmddhhmmss", for ordering.
std::string SortableStamp(const std::string& stamp) {
  return stamp.substr(6, 4) + stamp.substr(0, 2) + stamp.substr(3, 2) + stamp.substr(11, 2) +
         stamp.substr(14, 2) + stamp.substr(17, 2);
}

TEST_P(DownloadEndToEndTest, ReceiptOnceForTheUsersMailWithTheTimeOfReading) {
  board_.AddConferences({1});
  const int32_t lunch = board_.Post({.to = kUser, .subject = "Lunch", .receipt = true});
  board_.Post({.subject = "Party", .receipt = true});
  const int32_t plans = board_.Post({.to = kUser, .subject = "Plans", .isPrivate = true});

  ASSERT_EQ(Download().status, 0);
  const std::vector<board::MessageSummary> receipts = Receipts(1);
  ASSERT_EQ(receipts.size(), 1u);
  const board::MessageSummary& receipt = receipts[0];
  EXPECT_EQ(receipt.from, "Wildcat! Mail Room");
  EXPECT_EQ(receipt.fromId, 0);
  EXPECT_EQ(receipt.toId, board_.UserId(kOther));
  EXPECT_EQ(receipt.to, kOther);
  EXPECT_TRUE(receipt.isPrivate);
  EXPECT_EQ(receipt.reference, lunch);
  const std::string head = "Your message to ALICE CALLER, regarding Lunch\nwas read on ";
  ASSERT_THAT(receipt.text,
              MatchesPattern(head + "[0-9]{2}/[0-9]{2}/[0-9]{4} at [0-9]{2}:[0-9]{2}:[0-9]{2}"));
  const std::string rest = receipt.text.substr(head.size());
  const std::string stamp = rest.substr(0, 10) + " " + rest.substr(14);
  // Read between the log's "Updating" line and the run's end.
  std::string updating;
  std::string complete;
  for (const std::string& line : SplitCrLf(ReadFile(node_.dir() + "/obrix.log"))) {
    if (line.size() > 20 && line.substr(20) == "Updating last read pointers...") updating = line;
    if (line.size() > 20 && line.substr(20) == "Download complete.") complete = line;
  }
  ASSERT_FALSE(updating.empty());
  EXPECT_LE(SortableStamp(updating.substr(0, 19)), SortableStamp(stamp));
  EXPECT_LE(SortableStamp(stamp), SortableStamp(complete.substr(0, 19)));
  EXPECT_TRUE(Received(lunch));
  EXPECT_TRUE(Received(plans));

  // Once the sender has read the receipt, neither the sysop's undo nor the
  // mail offered again sends a second one.
  std::filesystem::remove(node_.Work("OBRIX.qwk"));
  ASSERT_EQ(node_.Run({.user = kOther, .password = kOtherPassword}).status, 0);
  ASSERT_TRUE(board_.Admin().UndoLastDownload(kUser));
  // A receipt of the same second would be refused as a duplicate anyway.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Lunch", "Party", "Plans"));
  EXPECT_THAT(Receipts(1), SizeIs(1));

  // Delivered again after a pointer reset: in the packet, not receipted again.
  board_.Admin().SetLastRead(kUser, 1, 0);
  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Lunch", "Party", "Plans"));
  EXPECT_THAT(node_.LastRun(), Contains(Total(3, 2)));
  EXPECT_THAT(Receipts(1), SizeIs(1));
}

// A packet still in the work directory was never sent, whoever's it is:
// the next download there, by anyone, gives its mail back to its caller.
TEST_P(DownloadEndToEndTest, APacketLeftUnsentIsOfferedAgainToItsCaller) {
  board_.AddConferences({1});
  board_.Post({.subject = "Lunch"});
  board_.Post({.from = "SYSOP", .to = kUser, .subject = "Plans", .isPrivate = true});
  ASSERT_EQ(node_.Run().status, 0);
  ASSERT_EQ(node_.Run().status, 0);  // the caller's own packet, left there
  EXPECT_THAT(node_.LastRun(),
              Contains("The last packet was never sent: its mail is offered again."));
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Lunch", "Plans"));

  ASSERT_EQ(node_.Run({.user = kOther, .password = kOtherPassword}).status, 0);
  EXPECT_THAT(node_.LastRun(), Contains("The packet left in the work directory was never sent: "
                                        "its caller's mail is offered at his next download."));
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Lunch"));
  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Lunch", "Plans"));
}

TEST_P(DownloadEndToEndTest, EveryDeliveredMessageToTheUserIsMarkedRead) {
  board_.AddConferences({1});
  std::vector<int32_t> mail;
  for (int n = 1; n <= 23; ++n) {
    mail.push_back(board_.Post({.to = kUser, .subject = "Mail " + Decimal(n), .receipt = n == 23}));
  }
  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(), Contains(Total(23, 23)));
  for (const int32_t id : mail) EXPECT_TRUE(Received(id)) << id;
  EXPECT_THAT(Receipts(1), ElementsAre(Field(&board::MessageSummary::reference, mail.back())));
}

TEST_P(DownloadEndToEndTest, NegativePacketLimitVisitsNoConference) {
  board_.AddConferences({1});
  board_.Post({.subject = "Waiting"});
  SetVar("MaxMsgPerPacket", "-1");
  SetVar("MaxMsgPerConf", " 2.5 ");  // a half goes to the even neighbour
  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsDownload(Scan({.total = "No messages found - removing temporary files [NO QWK "
                                        "CREATED].",
                               .after = {},
                               .packetLimit = -1,
                               .conferenceLimit = 2})));
  EXPECT_THAT(node_.WorkFiles(), IsEmpty());
  EXPECT_EQ(LastRead(1), 0);
}

TEST_P(DownloadEndToEndTest, AttachmentsThatFitAreTotalledInKilobytes) {
  board_.AddConferences({1, 2, 3});
  board_.Admin().SetFlags(kUser, 2, 0x83);  // probe every message taken there
  SetVar("MaxAttachSize", "10");
  board_.Post({.to = kUser, .subject = "About 3K", .attachment = std::string(3000, 'a')});
  board_.Post({.to = kUser, .subject = "Half a K", .attachment = std::string(512, 'b')});  // 0
  board_.Post({.to = kUser, .subject = "One and a half", .attachment = std::string(1536, 'c')});
  board_.Post({.to = kUser, .subject = "Too big", .attachment = std::string(20480, 'd')});
  board_.Post({.subject = "Not probed", .attachment = std::string(4096, 'e')});
  board_.Post({.conference = 2, .subject = "Probed", .attachment = std::string(4096, 'f')});
  board_.Post({.conference = 3, .to = kUser, .subject = "No attachment"});

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(
      node_.LastRun(),
      IsDownload(
          Scan({.conferences = {"Conf: 1, HighMsg: 5, Start: 0, Count: 5, Yours: 4, AttachSize: 5K",
                                "Conf: 2, HighMsg: 1, Start: 0, Count: 1, Yours: 0, AttachSize: 4K",
                                "Conf: 3, HighMsg: 1, Start: 0, Count: 1, Yours: 1"},
                .total = Total(7, 5)})));
  EXPECT_THAT(node_.Packet().messages, SizeIs(7));
}

TEST_P(DownloadEndToEndTest, NonNumericPacketLimitFailsBeforeAnyPacketFile) {
  board_.AddConferences({1});
  board_.Post({.subject = "Waiting"});
  SetVar("MaxMsgPerPacket", "lots");
  std::string expected;
  try {
    StrictToInt32("lots");
  } catch (const Failure& failure) {
    expected = "(QwkDownload) Error # " + Decimal(failure.number()) + ": " + failure.description();
  }
  ASSERT_THAT(expected, StartsWith("(QwkDownload) Error # 13:"));

  EXPECT_EQ(Download().status, 1);
  EXPECT_THAT(node_.LastRun(), IsDownload({expected}, false));
  EXPECT_THAT(node_.WorkFiles(), IsEmpty());
  EXPECT_EQ(LastRead(1), 0);
}

// A stored message with more text than a QWK header can count is passed
// over with a log line: it never stops the packets of the caller, nor
// those of anyone else.
TEST_P(DownloadEndToEndTest, AMessageNoPacketCanCarryIsSkipped) {
  board_.AddConferences({1, 2});
  board_.Post({.subject = "Small"});
  // More 128-byte blocks than a message may have.
  const int32_t hugeId = board_.Post({.subject = "Huge", .text = std::string(32768 * 128, 'x')});
  board_.Post({.conference = 2, .subject = "Later"});

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsDownload({"Preparing mail packet...", "Total message limit: 200",
                          "Conference message limit: 1000",
                          "Conf: 1, HighMsg: 2, Start: 0, Count: 1, Yours: 0",
                          StartsWith("Skipping message " + Decimal(hugeId) +
                                     " of conference 1: a packet cannot carry it (Overflow: "),
                          "Conf: 2, HighMsg: 1, Start: 0, Count: 1, Yours: 0", Total(2),
                          "Updating last read pointers..."}));
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Small", "Later"));
  EXPECT_EQ(LastRead(1), hugeId);  // passed over for good
}

TEST_P(DownloadEndToEndTest, NothingToSendLeavesNoFiles) {
  board_.AddConferences({1});
  board_.Post({.subject = "Old"});
  const int32_t last = board_.Post({.subject = "Read already"});
  board_.Admin().SetLastRead(kUser, 1, last);
  board_.Admin().SetConfig("packet-limit", "150");  // below the user's 200: logged
  board_.Admin().SetConfig("conf-limit", "1000");   // equal to the user's: left alone
  ASSERT_TRUE(std::filesystem::create_directory(node_.Work()));
  // An old packet and parts that a former run or an upload left behind.
  for (const char* name : {"OBRIX.qwk", "hello", "goodbye", "newfiles.dat", "ziAb12Z9"}) {
    WriteFile(node_.Work(name), std::string("left over: ") + name);
  }
  // Not the archiver's: kept.
  WriteFile(node_.Work("zi-notes"), "x");

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(
      node_.LastRun(),
      IsDownload({"Reset user MaxMsgPerPacket to Baud Setting [150]", "Preparing mail packet...",
                  "Total message limit: 150", "Conference message limit: 1000",
                  "No messages found - removing temporary files [NO QWK CREATED]."}));
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("zi-notes"));
  EXPECT_EQ(LastRead(1), last);
}

TEST_P(DownloadEndToEndTest, FailingArchiverMovesNoPointerAndLosesNoMail) {
  board_.AddConferences({1, 2});
  const int32_t mail = board_.Post({.to = kUser, .subject = "For you", .receipt = true});
  board_.Post({.conference = 2, .subject = "For all"});
  const std::string bin = site_.dir / "failing-bin";
  std::filesystem::create_directory(bin);
  WriteFile(bin + "/zip", "#!/bin/sh\nexit 1\n");
  std::filesystem::permissions(bin + "/zip", std::filesystem::perms::owner_all);
  const char* path = std::getenv("PATH");

  EXPECT_EQ(Download({{"PATH", bin + ":" + (path ? path : "/usr/bin:/bin")}}).status, 1);
  EXPECT_THAT(node_.LastRun(),
              IsDownload(Scan({.conferences = {"Conf: 1, HighMsg: 1, Start: 0, Count: 1, Yours: 1",
                                               "Conf: 2, HighMsg: 1, Start: 0, Count: 1, Yours: 0"},
                               .total = Total(2, 1),
                               .after = {"There was a problem creating the QWK packet."}}),
                         false));
  EXPECT_FALSE(Exists(node_.Work("OBRIX.qwk")));
  EXPECT_EQ(LastRead(1), 0);
  EXPECT_EQ(LastRead(2), 0);
  EXPECT_FALSE(Received(mail));
  EXPECT_THAT(Receipts(1), IsEmpty());

  // The next download, with a working archiver, delivers the same mail.
  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("For you", "For all"));
  EXPECT_TRUE(Received(mail));
  EXPECT_THAT(Receipts(1), SizeIs(1));
}

TEST_P(DownloadEndToEndTest, PrivateMailBetweenOthersNeverTravels) {
  board_.AddConferences({1});
  board_.Admin().AddConference(2, "Mail", 1, {});
  board_.Post({.to = "SYSOP", .subject = "Secret one", .isPrivate = true});
  board_.Post({.subject = "Public"});
  board_.Post({.from = "SYSOP", .to = kOther, .subject = "Secret two", .isPrivate = true});
  board_.Post({.conference = 2, .to = "SYSOP", .subject = "Secret three", .isPrivate = true});
  board_.Post({.conference = 2, .to = kUser, .subject = "Private to me", .isPrivate = true});
  board_.Admin().Grant(kUser, kSysopObject, 0xFFFFFFFFu);  // takes everything he may see

  ASSERT_EQ(Download().status, 0);
  EXPECT_THAT(Subjects(node_.Packet()), ElementsAre("Public", "Private to me"));
}

INSTANTIATE_TEST_SUITE_P(, DownloadEndToEndTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
