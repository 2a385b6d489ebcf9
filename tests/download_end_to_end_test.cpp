// "/DOWNLOAD" end to end: the real obrix program against a real board and
// the real zip, its packet opened with the tests' own QWK reader.
#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "server/server.h"
#include "support/download_test_fixture.h"
#include "support/qwk_packet_reader.h"

namespace obrix::testing {
namespace {

class DownloadEndToEndTest : public DownloadBoardTest {
 protected:
  void SetUp() override {
    DownloadBoardTest::SetUp();
    obrix_ = InstallObrix(dir_.path());
  }

  ProcessResult Download(std::map<std::string, std::string> environment = {}) {
    environment["OBRIX_BOARD"] = boardPath_;
    const ProcessResult result =
        RunProgram({obrix_, "/U", kUser, "/P", kPassword, "/DOWNLOAD"}, dir_.path(), environment);
    return result;
  }

  // The lines of the last run from its download on, up to its summary.
  std::vector<std::string> RunLines() {
    const std::vector<std::string> all = LogMessages(dir_ / "obrix.log");
    const auto start =
        std::find(all.rbegin(), all.rend(), "Starting QWK Download process...").base();
    const auto end = std::find(start, all.end(), "Disconnected from Wildcat.");
    return std::vector<std::string>(start, end);
  }

  std::string Work(const std::string& name) const { return dir_ / ("Qwk/" + name); }

  // The work directory's files, the run lock aside.
  std::vector<std::string> WorkFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "Qwk")) {
      const std::string name = entry.path().filename().string();
      if (name != "obrix.lock") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  QwkPacket Packet() { return ReadQwkPacket(Work("OBRIX.qwk")); }

  static std::vector<std::string> Subjects(const QwkPacket& packet) {
    std::vector<std::string> subjects;
    for (const PacketMessage& message : packet.messages) subjects.push_back(message.subject);
    return subjects;
  }

  int32_t LastRead(int32_t conference) { return Admin().GetLastRead(kUser, conference); }

  std::vector<board::MessageSummary> Receipts(int32_t conference) {
    std::vector<board::MessageSummary> receipts;
    for (const auto& message : Admin().ListMessages(conference, std::nullopt)) {
      if (message.subject == "Return Receipt") receipts.push_back(*Admin().Show(message.id));
    }
    return receipts;
  }

  std::string obrix_;
};

// "mm/dd/yyyy hh:mm:ss" as "yyyymmddhhmmss", for ordering.
std::string SortableStamp(const std::string& stamp) {
  return stamp.substr(6, 4) + stamp.substr(0, 2) + stamp.substr(3, 2) + stamp.substr(11, 2) +
         stamp.substr(14, 2) + stamp.substr(17, 2);
}

TEST_F(DownloadEndToEndTest, SevenNewMessagesOneToTheUser) {
  Admin().AddConference(1, "General", 3, {});
  std::vector<int32_t> ids;
  for (int n = 1; n <= 57; ++n) {
    ids.push_back(Post(1, kOther, n == 54 ? kUser : "ALL", "Message " + std::to_string(n)));
  }
  Admin().SetLastRead(kUser, 1, ids[49]);  // on message number 50

  const ProcessResult result = Download();
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Preparing mail packet...",
                            "Total message limit: 200",
                            "Conference message limit: 1000",
                            "Conf: 1, HighMsg: 57, Start: 50, Count: 7, Yours: 1",
                            "Total messages found: 7 (1 to you)",
                            "Updating last read pointers...",
                            "Download complete.",
                        }));

  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"OBRIX.qwk"}));
  const QwkPacket packet = Packet();
  ASSERT_EQ(packet.messages.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    const PacketMessage& message = packet.messages[static_cast<size_t>(i)];
    const int n = 51 + i;
    EXPECT_EQ(message.number, std::to_string(n));
    EXPECT_EQ(message.conference, 1);
    EXPECT_EQ(message.subject, "Message " + std::to_string(n));
    EXPECT_EQ(message.from, kOther);
    EXPECT_EQ(message.to, n == 54 ? kUser : "ALL");
    EXPECT_EQ(message.text, MessageText(message.subject, kOther, n == 54 ? kUser : "ALL"));
  }
  // The pointer file keeps the pointer as it was before the download.
  EXPECT_EQ(packet.files.at("OBRIX.PTR"), "1," + Decimal(ids[49]) + "\r\n");
  EXPECT_TRUE(packet.Has("CONTROL.DAT"));
  EXPECT_TRUE(packet.Has("DOOR.ID"));
  EXPECT_FALSE(packet.Has("NEWFILES.DAT"));

  EXPECT_EQ(LastRead(1), ids[56]);
  EXPECT_TRUE(Admin().Show(ids[53])->received);
  EXPECT_FALSE(Admin().Show(ids[52])->received);
}

TEST_F(DownloadEndToEndTest, ConferenceLimitLeavesTheRestForTheNextPacket) {
  Admin().AddConference(1, "General", 3, {});
  Admin().AddConference(2, "Second", 3, {});
  Admin().SetVar(kUser, "MaxMsgPerConf", "5");
  std::vector<int32_t> first;
  std::vector<int32_t> second;
  for (int n = 1; n <= 8; ++n) first.push_back(Post(1, kOther, "ALL", "One " + std::to_string(n)));
  for (int n = 1; n <= 2; ++n) second.push_back(Post(2, kOther, "ALL", "Two " + std::to_string(n)));

  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Preparing mail packet...",
                            "Total message limit: 200",
                            "Conference message limit: 5",
                            "Conf: 1, HighMsg: 8, Start: 0, Count: 5, Yours: 0",
                            "Conf: 2, HighMsg: 2, Start: 0, Count: 2, Yours: 0",
                            "Total messages found: 7",
                            "Updating last read pointers...",
                            "Download complete.",
                        }));
  EXPECT_EQ(Subjects(Packet()), (std::vector<std::string>{"One 1", "One 2", "One 3", "One 4",
                                                          "One 5", "Two 1", "Two 2"}));
  EXPECT_EQ(LastRead(1), first[4]);
  EXPECT_EQ(LastRead(2), second[1]);

  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines()[3], "Conf: 1, HighMsg: 8, Start: 5, Count: 3, Yours: 0");
  EXPECT_EQ(RunLines()[4], "Total messages found: 3");
  EXPECT_EQ(Subjects(Packet()), (std::vector<std::string>{"One 6", "One 7", "One 8"}));
  EXPECT_EQ(LastRead(1), first[7]);
}

TEST_F(DownloadEndToEndTest, PacketLimitMidConferenceSkipsTheLaterConferences) {
  for (int32_t c = 1; c <= 3; ++c) Admin().AddConference(c, "Conference " + Decimal(c), 3, {});
  Admin().SetVar(kUser, "MaxMsgPerPacket", "4");
  std::map<int32_t, std::vector<int32_t>> ids;
  for (int32_t c = 1; c <= 3; ++c) {
    for (int n = 1; n <= (c == 3 ? 2 : 3); ++n) {
      ids[c].push_back(Post(c, kOther, "ALL", Decimal(c) + "." + Decimal(n)));
    }
  }
  Admin().SetLastRead(kUser, 3, ids[3][0]);

  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Preparing mail packet...",
                            "Total message limit: 4",
                            "Conference message limit: 1000",
                            "Conf: 1, HighMsg: 3, Start: 0, Count: 3, Yours: 0",
                            "Conf: 2, HighMsg: 3, Start: 0, Count: 1, Yours: 0",
                            "Scan terminated due to total message count limit.",
                            "Total messages found: 4",
                            "Updating last read pointers...",
                            "Download complete.",
                        }));
  const QwkPacket packet = Packet();
  EXPECT_EQ(Subjects(packet), (std::vector<std::string>{"1.1", "1.2", "1.3", "2.1"}));
  EXPECT_EQ(packet.files.at("OBRIX.PTR"), "1,0\r\n2,0\r\n");
  EXPECT_EQ(LastRead(1), ids[1][2]);
  EXPECT_EQ(LastRead(2), ids[2][0]);
  EXPECT_EQ(LastRead(3), ids[3][0]);  // never reached: untouched
}

TEST_F(DownloadEndToEndTest, OwnMailFollowsDownloadYourMailUnlessTheSysopFlagIsSet) {
  Admin().AddConference(1, "General", 3, {});
  Post(1, kUser, "ALL", "Mine first");
  const int32_t theirs = Post(1, kOther, "ALL", "Theirs");
  const int32_t last = Post(1, kUser, kOther, "Mine last");

  struct Case {
    std::string setting;
    bool sysop;
    std::vector<std::string> subjects;
    int32_t pointer;
  };
  const std::vector<Case> cases = {
      {"1", false, {"Theirs"}, theirs},
      {"0", false, {"Mine first", "Theirs", "Mine last"}, last},
      {"yes", false, {"Mine first", "Theirs", "Mine last"}, last},  // no number: 0
      {"1", true, {"Mine first", "Theirs", "Mine last"}, last},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("DownloadYourMail " + c.setting + (c.sysop ? " with the sysop flag" : ""));
    Admin().SetVar(kUser, "DownloadYourMail", c.setting);
    Admin().Grant(kUser, kSysopObject, c.sysop ? 1 : 0);
    Admin().SetLastRead(kUser, 1, 0);
    ASSERT_EQ(Download().status, 0);
    EXPECT_EQ(Subjects(Packet()), c.subjects);
    EXPECT_EQ(RunLines()[3], "Conf: 1, HighMsg: 3, Start: 0, Count: " +
                                 Decimal(static_cast<int64_t>(c.subjects.size())) + ", Yours: 0");
    EXPECT_EQ(LastRead(1), c.pointer);
  }
}

TEST_F(DownloadEndToEndTest, EachSelectionModeOffersItsOwnMessages) {
  Admin().AddConference(1, "Dropped", 3, {});
  Admin().AddConference(2, "Yours", 3, {});
  Admin().AddConference(3, "Addressed", 3, {});
  Admin().SetFlags(kUser, 1, 0);
  Admin().SetFlags(kUser, 2, 1);
  Admin().SetFlags(kUser, 3, 2);
  Post(1, kOther, "ALL", "Dropped");
  const int32_t received = Post(2, kOther, kUser, "Yours received");
  Post(2, kOther, "ALL", "Yours to all");
  Post(2, kOther, kUser, "Yours unread");
  Post(2, kUser, kOther, "Yours written");
  const int32_t lastYours = Post(2, kOther, kUser, "Yours private", /*isPrivate=*/true);
  Post(3, kOther, "ALL", "Addressed to ALL");
  Post(3, kOther, "all", "Addressed to all");
  const int32_t toUser = Post(3, kOther, kUser, "Addressed to user");
  Post(3, kOther, "SYSOP", "Addressed to sysop");
  LogIn();
  MessageRecord record;
  ASSERT_TRUE(board_.vbGetMessageById(2, received, record));
  ASSERT_TRUE(board_.vbMarkMessageRead(record));

  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Preparing mail packet...",
                            "Total message limit: 200",
                            "Conference message limit: 1000",
                            "Conf: 2, HighMsg: 5, Start: 0, Count: 2, Yours: 2",
                            "Conf: 3, HighMsg: 4, Start: 0, Count: 2, Yours: 1",
                            "Total messages found: 4 (3 to you)",
                            "Updating last read pointers...",
                            "Download complete.",
                        }));
  const QwkPacket packet = Packet();
  EXPECT_EQ(Subjects(packet), (std::vector<std::string>{"Yours unread", "Yours private",
                                                        "Addressed to ALL", "Addressed to user"}));
  EXPECT_EQ(packet.messages[1].conference, 2);
  EXPECT_EQ(packet.messages[3].conference, 3);
  EXPECT_EQ(packet.files.at("OBRIX.PTR"), "2,0\r\n3,0\r\n");
  EXPECT_EQ(LastRead(1), 0);
  EXPECT_EQ(LastRead(2), lastYours);
  EXPECT_EQ(LastRead(3), toUser);
}

TEST_F(DownloadEndToEndTest, ReceiptOnceForTheUsersMailWithTheTimeOfReading) {
  Admin().AddConference(1, "General", 3, {});
  const int32_t lunch = Post(1, kOther, kUser, "Lunch", false, /*receipt=*/true);
  Post(1, kOther, "ALL", "Party", false, /*receipt=*/true);
  const int32_t plans = Post(1, kOther, kUser, "Plans", /*isPrivate=*/true);

  ASSERT_EQ(Download().status, 0);
  const std::vector<board::MessageSummary> receipts = Receipts(1);
  ASSERT_EQ(receipts.size(), 1u);
  const board::MessageSummary& receipt = receipts[0];
  EXPECT_EQ(receipt.from, "Wildcat! Mail Room");
  EXPECT_EQ(receipt.fromId, 0);
  EXPECT_EQ(receipt.toId, otherId_);
  EXPECT_EQ(receipt.to, kOther);
  EXPECT_TRUE(receipt.isPrivate);
  EXPECT_EQ(receipt.reference, lunch);
  const std::string head = "Your message to ALICE CALLER, regarding Lunch\nwas read on ";
  ASSERT_EQ(receipt.text.size(), head.size() + 22) << receipt.text;
  EXPECT_EQ(receipt.text.substr(0, head.size()), head);
  const std::string date = receipt.text.substr(head.size(), 10);
  EXPECT_EQ(receipt.text.substr(head.size() + 10, 4), " at ");
  const std::string stamp = date + " " + receipt.text.substr(head.size() + 14);
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)"))) << stamp;
  // Read between the log's "Updating" line and the run's end.
  const std::vector<std::string> raw = SplitCrLf(ReadFile(dir_ / "obrix.log"));
  std::string updating;
  std::string complete;
  for (const std::string& line : raw) {
    if (line.size() > 20 && line.substr(20) == "Updating last read pointers...") updating = line;
    if (line.size() > 20 && line.substr(20) == "Download complete.") complete = line;
  }
  ASSERT_FALSE(updating.empty());
  EXPECT_LE(SortableStamp(updating.substr(0, 19)), SortableStamp(stamp));
  EXPECT_LE(SortableStamp(stamp), SortableStamp(complete.substr(0, 19)));
  EXPECT_TRUE(Admin().Show(lunch)->received);
  EXPECT_TRUE(Admin().Show(plans)->received);

  // Delivered again after a pointer reset: in the packet, not receipted again.
  Admin().SetLastRead(kUser, 1, 0);
  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(Subjects(Packet()), (std::vector<std::string>{"Lunch", "Party", "Plans"}));
  EXPECT_EQ(RunLines()[4], "Total messages found: 3 (2 to you)");
  EXPECT_EQ(Receipts(1).size(), 1u);
}

TEST_F(DownloadEndToEndTest, EveryDeliveredMessageToTheUserIsMarkedRead) {
  Admin().AddConference(1, "General", 3, {});
  std::vector<int32_t> mail;
  for (int n = 1; n <= 23; ++n) {
    mail.push_back(Post(1, kOther, kUser, "Mail " + std::to_string(n), false, /*receipt=*/n == 23));
  }
  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines()[4], "Total messages found: 23 (23 to you)");
  for (const int32_t id : mail) EXPECT_TRUE(Admin().Show(id)->received) << id;
  ASSERT_EQ(Receipts(1).size(), 1u);
  EXPECT_EQ(Receipts(1)[0].reference, mail.back());
}

TEST_F(DownloadEndToEndTest, NegativePacketLimitVisitsNoConference) {
  Admin().AddConference(1, "General", 3, {});
  Post(1, kOther, "ALL", "Waiting");
  Admin().SetVar(kUser, "MaxMsgPerPacket", "-1");
  Admin().SetVar(kUser, "MaxMsgPerConf", " 2.5 ");  // a half goes to the even neighbour
  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Preparing mail packet...",
                            "Total message limit: -1",
                            "Conference message limit: 2",
                            "No messages found - removing temporary files [NO QWK CREATED].",
                            "Download complete.",
                        }));
  EXPECT_TRUE(WorkFiles().empty());
  EXPECT_EQ(LastRead(1), 0);
}

TEST_F(DownloadEndToEndTest, AttachmentsThatFitAreTotalledInKilobytes) {
  Admin().AddConference(1, "Mail", 3, {});
  Admin().AddConference(2, "Files", 3, {});
  Admin().AddConference(3, "Plain", 3, {});
  Admin().SetFlags(kUser, 2, 0x83);  // probe every message taken there
  Admin().SetVar(kUser, "MaxAttachSize", "10");
  Admin().Attach(Post(1, kOther, kUser, "About 3K"), std::string(3000, 'a'));
  Admin().Attach(Post(1, kOther, kUser, "Half a K"), std::string(512, 'b'));         // rounds to 0
  Admin().Attach(Post(1, kOther, kUser, "One and a half"), std::string(1536, 'c'));  // to 2
  Admin().Attach(Post(1, kOther, kUser, "Too big"), std::string(20480, 'd'));
  Admin().Attach(Post(1, kOther, "ALL", "Not probed"), std::string(4096, 'e'));
  Admin().Attach(Post(2, kOther, "ALL", "Probed"), std::string(4096, 'f'));
  Post(3, kOther, kUser, "No attachment");

  ASSERT_EQ(Download().status, 0);
  const std::vector<std::string> lines = RunLines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[3], "Conf: 1, HighMsg: 5, Start: 0, Count: 5, Yours: 4, AttachSize: 5K");
  EXPECT_EQ(lines[4], "Conf: 2, HighMsg: 1, Start: 0, Count: 1, Yours: 0, AttachSize: 4K");
  EXPECT_EQ(lines[5], "Conf: 3, HighMsg: 1, Start: 0, Count: 1, Yours: 1");
  EXPECT_EQ(Packet().messages.size(), 7u);
}

TEST_F(DownloadEndToEndTest, NonNumericPacketLimitFailsBeforeAnyPacketFile) {
  Admin().AddConference(1, "General", 3, {});
  Post(1, kOther, "ALL", "Waiting");
  Admin().SetVar(kUser, "MaxMsgPerPacket", "lots");
  std::string expected;
  try {
    StrictToInt32("lots");
  } catch (const Failure& failure) {
    expected = "(QwkDownload) Error # " + Decimal(failure.number()) + ": " + failure.description();
  }
  ASSERT_FALSE(expected.empty());

  EXPECT_EQ(Download().status, 1);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{expected, "Download failed."}));
  EXPECT_EQ(expected.substr(0, 25), "(QwkDownload) Error # 13:");
  EXPECT_TRUE(WorkFiles().empty());
  EXPECT_EQ(LastRead(1), 0);
}

// A stored message with more text than a QWK header can count is passed
// over with a log line: it never stops the packets of the caller, nor
// those of anyone else.
TEST_F(DownloadEndToEndTest, AMessageNoPacketCanCarryIsSkipped) {
  Admin().AddConference(1, "General", 3, {});
  Admin().AddConference(2, "Later", 3, {});
  Post(1, kOther, "ALL", "Small");
  board::PostRequest huge;  // more 128-byte blocks than a message may have
  huge.conference = 1;
  huge.from = kOther;
  huge.to = "ALL";
  huge.subject = "Huge";
  huge.text = std::string(32768 * 128, 'x');
  const int32_t hugeId = Admin().Post(huge).id;
  Post(2, kOther, "ALL", "Later");

  EXPECT_EQ(Download().status, 0);
  const std::vector<std::string> lines = RunLines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[3], "Conf: 1, HighMsg: 2, Start: 0, Count: 1, Yours: 0");
  const std::string skipped = "Skipping message " + Decimal(hugeId) +
                              " of conference 1: a packet cannot carry it (Overflow: ";
  EXPECT_EQ(lines[4].substr(0, skipped.size()), skipped);
  EXPECT_EQ(lines[5], "Conf: 2, HighMsg: 1, Start: 0, Count: 1, Yours: 0");
  EXPECT_EQ(Subjects(Packet()), (std::vector<std::string>{"Small", "Later"}));
  EXPECT_EQ(LastRead(1), hugeId);  // passed over for good
}

TEST_F(DownloadEndToEndTest, NothingToSendLeavesNoFiles) {
  Admin().AddConference(1, "General", 3, {});
  Post(1, kOther, "ALL", "Old");
  const int32_t last = Post(1, kOther, "ALL", "Read already");
  Admin().SetLastRead(kUser, 1, last);
  Admin().SetConfig("packet-limit", "150");  // below the user's 200: logged
  Admin().SetConfig("conf-limit", "1000");   // equal to the user's: left alone
  ASSERT_TRUE(std::filesystem::create_directory(dir_ / "Qwk"));
  // An old packet and parts that a former run or an upload left behind.
  for (const char* name : {"OBRIX.qwk", "hello", "goodbye", "newfiles.dat", "ziAb12Z9"}) {
    WriteFile(Work(name), std::string("left over: ") + name);
  }
  // Not the archiver's: kept.
  WriteFile(Work("zi-notes"), "x");

  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Reset user MaxMsgPerPacket to Baud Setting [150]",
                            "Preparing mail packet...",
                            "Total message limit: 150",
                            "Conference message limit: 1000",
                            "No messages found - removing temporary files [NO QWK CREATED].",
                            "Download complete.",
                        }));
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"zi-notes"}));
  EXPECT_EQ(LastRead(1), last);
}

TEST_F(DownloadEndToEndTest, FailingArchiverMovesNoPointerAndLosesNoMail) {
  Admin().AddConference(1, "General", 3, {});
  Admin().AddConference(2, "Other", 3, {});
  const int32_t mail = Post(1, kOther, kUser, "For you", false, /*receipt=*/true);
  Post(2, kOther, "ALL", "For all");
  const std::string bin = dir_ / "failing-bin";
  std::filesystem::create_directory(bin);
  WriteFile(bin + "/zip", "#!/bin/sh\nexit 1\n");
  std::filesystem::permissions(bin + "/zip", std::filesystem::perms::owner_all);
  const char* path = std::getenv("PATH");

  EXPECT_EQ(Download({{"PATH", bin + ":" + (path ? path : "/usr/bin:/bin")}}).status, 1);
  EXPECT_EQ(RunLines(), (std::vector<std::string>{
                            "Preparing mail packet...",
                            "Total message limit: 200",
                            "Conference message limit: 1000",
                            "Conf: 1, HighMsg: 1, Start: 0, Count: 1, Yours: 1",
                            "Conf: 2, HighMsg: 1, Start: 0, Count: 1, Yours: 0",
                            "Total messages found: 2 (1 to you)",
                            "There was a problem creating the QWK packet.",
                            "Download failed.",
                        }));
  EXPECT_FALSE(Exists(Work("OBRIX.qwk")));
  EXPECT_EQ(LastRead(1), 0);
  EXPECT_EQ(LastRead(2), 0);
  EXPECT_FALSE(Admin().Show(mail)->received);
  EXPECT_TRUE(Receipts(1).empty());

  // The next download, with a working archiver, delivers the same mail.
  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(Subjects(Packet()), (std::vector<std::string>{"For you", "For all"}));
  EXPECT_TRUE(Admin().Show(mail)->received);
  EXPECT_EQ(Receipts(1).size(), 1u);
}

TEST_F(DownloadEndToEndTest, PrivateMailBetweenOthersNeverTravels) {
  Admin().AddConference(1, "General", 3, {});
  Admin().AddConference(2, "Mail", 1, {});
  Post(1, kOther, "SYSOP", "Secret one", /*isPrivate=*/true);
  Post(1, kOther, "ALL", "Public");
  Post(1, "SYSOP", kOther, "Secret two", /*isPrivate=*/true);
  Post(2, kOther, "SYSOP", "Secret three", /*isPrivate=*/true);
  Post(2, kOther, kUser, "Private to me", /*isPrivate=*/true);
  Admin().Grant(kUser, kSysopObject, 0xFFFFFFFFu);  // takes everything he may see

  ASSERT_EQ(Download().status, 0);
  EXPECT_EQ(Subjects(Packet()), (std::vector<std::string>{"Public", "Private to me"}));
}

}  // namespace
}  // namespace obrix::testing
