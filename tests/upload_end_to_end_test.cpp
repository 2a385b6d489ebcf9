// "/UPLOAD" end to end: REP packets built with the real zip, uploaded by
// the real obrix program against a real board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "board/board.h"
#include "platform/file_time.h"
#include "server/server.h"
#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

FILETIME At(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute) {
  SYSTEMTIME calendar;
  calendar.wYear = year;
  calendar.wMonth = month;
  calendar.wDay = day;
  calendar.wHour = hour;
  calendar.wMinute = minute;
  FILETIME time;
  EXPECT_TRUE(SystemTimeToFileTime(calendar, time));
  return time;
}

TestReply Reply(const std::string& text, const std::string& to = "ALL") {
  TestReply reply;
  reply.to = to;
  reply.text = text;
  return reply;
}

class UploadEndToEndTest : public BoardTest {
 protected:
  void SetUp() override { std::filesystem::create_directory(Work()); }

  ProcessResult Upload() { return site_.node.Run({.operation = kUpload}); }
  std::string Work(const std::string& name = "") const { return site_.node.Work(name); }
  // The line that names the removal of the unpacked reply file.
  ::testing::Matcher<std::string> RemovingReplyFile() const {
    return AllOf(StartsWith("Removing " + Work("unpack-")), EndsWith("/obrix.msg..."));
  }

  // The line that names the removal of the REP, which the run took out of
  // the pickup name into "kept" ("OBRIX-<user id>-<date>-<time>.rep")
  // before it read it.
  ::testing::Matcher<std::string> RemovingKept() const {
    return AllOf(StartsWith("Removing " + Work("kept/OBRIX-" + std::to_string(user_) + "-")),
                 EndsWith(".rep..."));
  }
  // The line that says where the run kept the REP.
  ::testing::Matcher<std::string> KeptAs() const {
    return AllOf(
        StartsWith("Reply packet kept as " + Work("kept/OBRIX-" + std::to_string(user_) + "-")),
        EndsWith(".rep"));
  }
  // The kept path of the last run's REP, from its log line.
  std::string KeptPath() const {
    const std::string prefix = "Reply packet kept as ";
    for (const std::string& line : node_.LastRun()) {
      if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    }
    return "";
  }
  std::vector<std::string> KeptFiles() const { return FolderNames(Work("kept")); }

  Site site_{{.conferences = 10}, backend()};
  Node& node_ = site_.node;
  TestBoard& board_ = site_.board;
  const int32_t user_ = board_.UserId(kUser);
  const int32_t other_ = board_.UserId(kOther);
};

TEST_P(UploadEndToEndTest, PostsEveryReplyAndRemovesThePacket) {
  TestReply toOther = Reply("Hello Bob,\nsee you there.\n", "Bob Writer");
  toOther.number = "3";
  toOther.from = "SOMEBODY ELSE";  // an ordinary caller posts as himself
  toOther.subject = "Re: Meeting";
  TestReply toAll = Reply(std::string(300, 'z'), "All");
  toAll.number = "0";
  toAll.subject = "A subject of 25 letters!!";
  toAll.date = "12-31-99";
  toAll.time = "23:59";
  node_.WriteRep({toOther, toAll});

  const ProcessResult run = Upload();
  EXPECT_EQ(run.status, 0) << run.output;
  // The reply file is named where it really was: in the run's own folder.
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OBRIX]", "Conf: 3 To: BOB WRITER Subj: Re: Meeting",
                        "Conf: 0 To: ALL Subj: A subject of 25 lette", "2 replies uploaded.",
                        RemovingReplyFile(), RemovingKept()}));
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));
  EXPECT_THAT(KeptFiles(), IsEmpty());

  const std::vector<board::MessageSummary> messages = board_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  const board::MessageSummary& first = messages[0];
  EXPECT_EQ(first.conference, 3);
  EXPECT_EQ(first.from, kUser);
  EXPECT_EQ(first.fromId, user_);
  EXPECT_EQ(first.to, kOther);
  EXPECT_EQ(first.toId, other_);
  EXPECT_EQ(first.subject, "Re: Meeting");
  EXPECT_EQ(first.messageTime, At(2026, 3, 14, 15, 9));
  EXPECT_EQ(first.text, "Hello Bob,\nsee you there.\n");  // the fill is not stored
  const board::MessageSummary& second = messages[1];
  EXPECT_EQ(second.conference, 0);
  EXPECT_EQ(second.to, "ALL");
  EXPECT_EQ(second.toId, 0);
  EXPECT_EQ(second.subject, "A subject of 25 letters!!");
  EXPECT_EQ(second.messageTime, At(1999, 12, 31, 23, 59));
  EXPECT_EQ(second.text, std::string(300, 'z'));

  // The board records the uploader as " <id>".
  MessageRecord stored;
  ASSERT_TRUE(board_.System()->vbGetMessageById(3, first.id, stored));
  EXPECT_EQ(stored.UploaderIdText.Str(), FixedText<12>(" " + std::to_string(user_)).Str());
}

TEST_P(UploadEndToEndTest, AnAllowedSenderNameStands) {
  board_.Admin().Grant(kUser, kSysopObject, 1);
  TestReply asOther = Reply("", "Alice Caller");
  asOther.from = "bob writer";
  TestReply asStranger = Reply("", "Bob Writer");
  asStranger.from = "Nobody Known";
  node_.WriteRep({asOther, asStranger});

  EXPECT_EQ(Upload().status, 0);
  const std::vector<board::MessageSummary> messages = board_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].from, kOther);
  EXPECT_EQ(messages[0].fromId, other_);
  EXPECT_EQ(messages[0].toId, user_);
  EXPECT_EQ(messages[1].from, "NOBODY KNOWN");
  EXPECT_EQ(messages[1].fromId, 0);
  EXPECT_EQ(messages[1].toId, other_);  // looked up afresh for every reply
}

TEST_P(UploadEndToEndTest, ASecondUploadOfThePacketPostsNothing) {
  node_.WriteRep({Reply("once", kOther), Reply("only once")});
  const std::string archive = ReadFile(Work("obrix.rep"));
  ASSERT_EQ(Upload().status, 0);
  ASSERT_EQ(board_.Subjects().size(), 2u);

  WriteFile(Work("obrix.rep"), archive);
  EXPECT_EQ(Upload().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OBRIX]", std::string("Duplicate message to ") + kOther,
                        "Duplicate message to ALL", "0 replies uploaded.", RemovingReplyFile(),
                        RemovingKept()}));
  EXPECT_EQ(board_.Subjects().size(), 2u);
}

TEST_P(UploadEndToEndTest, ARefusedReplyIsLoggedAndTheRunGoesOn) {
  node_.WriteRep({Reply("fine")});
  EXPECT_EQ(Upload().status, 0);
  EXPECT_THAT(node_.LastRun(), Contains("1 reply uploaded."));

  // A conference number the board does not have.
  TestReply nowhere = Reply("lost");
  nowhere.number = "12";
  nowhere.conference = 4711;
  node_.WriteRep({nowhere, TestReply{}});
  EXPECT_EQ(Upload().status, 5);  // ran to its end, but a reply was refused
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OBRIX]",
                        "Refused the reply to ALL in conference 4711: no such conference",
                        "Conf: 1 To: ALL Subj: Hello", "1 reply uploaded.", "1 reply refused.",
                        RemovingReplyFile(), KeptAs()}));  // after the reply file went
  EXPECT_THAT(KeptFiles(), SizeIs(1));
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));
}

TEST_P(UploadEndToEndTest, ControlMessagesChangeTheConferenceSelection) {
  for (int32_t conference = 1; conference <= 8; ++conference) {
    board_.Admin().SetFlags(kUser, conference, 0x80 | (conference == 4 ? 3 : 0));
  }
  auto control = [](const std::string& to, const std::string& number, const std::string& subject,
                    const std::string& text = "") {
    TestReply reply = Reply(text, to);
    reply.number = number;
    reply.subject = subject;
    return reply;
  };
  node_.WriteRep({
      control("RIZIVI", "5", "add"), control("QMAIL", "6", "RESET"),
      control("TOMCAT", "7", "YOURS"), control("RIZIVI", "8", "DROP"),
      control("RIZIVI", "1", "CONFIG", "ADD 2\nDROP 4\nADD 77\n"),
      control("RIZIVI", "3", "REQUEST"),
      control("qmail", "6", "ADD"),  // in lower case: posted as a reply
  });

  EXPECT_EQ(Upload().status, 0);
  EXPECT_THAT(
      node_.LastRun(),
      IsUpload({"Reply Packet ID [OBRIX]", "Conference 5 - Conference 5 added.",
                "Conference 6 - Conference 6 added.",
                "Conference 7 - Conference 7 added for your mail only.",
                "Conference 8 - Conference 8 dropped.", "Conference 2 - Conference 2 added.",
                "Conference 4 - Conference 4 dropped.", "No conference 77: ADD skipped.",
                "REQUEST is not supported.", "Conf: 6 To: QMAIL Subj: ADD", "1 reply uploaded.",
                RemovingReplyFile(), RemovingKept()}));
  const std::map<int32_t, uint32_t> flags = {{5, 0x83}, {6, 0x83}, {7, 0x81}, {8, 0x80},
                                             {2, 0x83}, {4, 0x80}, {3, 0x80}};
  for (const auto& [conference, expected] : flags) {
    EXPECT_EQ(board_.Admin().GetFlags(kUser, conference), expected) << conference;
  }
  EXPECT_THAT(board_.Messages(), ElementsAre(Field(&board::MessageSummary::to, "QMAIL")));
}

TEST_P(UploadEndToEndTest, AConfigLineWithoutANumberIsSkipped) {
  board_.Admin().SetFlags(kUser, 4, 3);
  TestReply config = Reply("ADD 2\n\nDROP 4\n", "RIZIVI");
  config.subject = "CONFIG";
  node_.WriteRep({config, Reply("posted after the control message")});

  EXPECT_EQ(Upload().status, 0);
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OBRIX]", "Conference 2 - Conference 2 added.",
                        "Ignoring CONFIG line: ", "Conference 4 - Conference 4 dropped.",
                        "Conf: 1 To: ALL Subj: Hello", "1 reply uploaded.", RemovingReplyFile(),
                        RemovingKept()}));
}

TEST_P(UploadEndToEndTest, PacketsThatCannotBeReadAreKept) {
  // Not a zip at all.
  WriteFile(Work("obrix.rep"), "this is not a zip archive");
  EXPECT_EQ(Upload().status, 1);
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"There was a problem unzipping the .REP archive.", KeptAs()}, false));
  EXPECT_EQ(ReadFile(KeptPath()), "this is not a zip archive");
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));

  // A zip without the reply file (another board's packet, say): nothing
  // of it is unpacked, and it is kept as a refused packet.
  ZipMembers(Work("other.zip"), {{"README.TXT", "hello"}, {"XOBRIX.MSG", "x"}});
  std::filesystem::rename(Work("other.zip"), Work("obrix.rep"));
  EXPECT_EQ(Upload().status, 5);
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"No OBRIX.msg in the reply packet (it holds README.TXT, XOBRIX.MSG)",
                        "0 replies uploaded.", "1 reply refused.", KeptAs()}));
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));
  EXPECT_THAT(KeptFiles(), SizeIs(2));
}

TEST_P(UploadEndToEndTest, AnEmptyOrMissingPacketIsNotFound) {
  const auto notFound =
      IsUpload({"Unable to locate BBS .REP packet [" + Work("OBRIX.rep") + "]"}, false);
  EXPECT_EQ(Upload().status, 1);
  EXPECT_THAT(node_.LastRun(), notFound);
  WriteFile(Work("obrix.rep"), "");
  EXPECT_EQ(Upload().status, 1);
  EXPECT_THAT(node_.LastRun(), notFound);
  EXPECT_THAT(node_.WorkFiles(), IsEmpty());  // the empty packet was deleted
}

TEST_P(UploadEndToEndTest, ABadReplyIsSkippedAndTheUploadGoesOn) {
  TestReply blankNumber;
  blankNumber.number = "       ";
  node_.WriteRep({Reply("first"), blankNumber, Reply("posted after the bad one")});

  EXPECT_EQ(Upload().status, 5);
  EXPECT_THAT(
      node_.LastRun(),
      // A reply is logged as posted once its batch is committed.
      IsUpload({"Reply Packet ID [OBRIX]",
                "Skipping the reply at byte 385: Type mismatch: \"       \" is not a number",
                "Conf: 1 To: ALL Subj: Hello", "Conf: 1 To: ALL Subj: Hello", "2 replies uploaded.",
                "1 reply refused.", RemovingReplyFile(), KeptAs()}));
  EXPECT_EQ(board_.Subjects().size(), 2u);
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));
  EXPECT_THAT(KeptFiles(), SizeIs(1));
}

TEST_P(UploadEndToEndTest, AReplyCutShortIsSkipped) {
  TestReply cut = Reply(std::string(256, 'c'));
  cut.blocks = "5";  // two text blocks are missing
  node_.WriteRep({Reply("complete"), cut});

  EXPECT_EQ(Upload().status, 5);
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OBRIX]",
                        "Skipping the reply at byte 385: The reply at byte 385 is cut short: its "
                        "5 blocks run past the end of the file",
                        "Conf: 1 To: ALL Subj: Hello", "1 reply uploaded.", "1 reply refused.",
                        RemovingReplyFile(), KeptAs()}));
  EXPECT_EQ(board_.Subjects().size(), 1u);
  EXPECT_THAT(KeptFiles(), SizeIs(1));
}

TEST_P(UploadEndToEndTest, OnlyThePlainReplyMemberIsRead) {
  OBRIX_SKIP_WITHOUT(Need::kSymlinks);
  // A reply file outside the work directory that a link in the archive
  // points at: it must not be posted.
  const std::string elsewhere = site_.dir / "elsewhere.msg";
  WriteFile(elsewhere, ReplyFile("OBRIX", {Reply("read through a link")}));
  ZipMembers(Work("obrix.rep"), {{"OBRIX.MSG", "->" + elsewhere}});
  EXPECT_EQ(Upload().status, 1);
  EXPECT_THAT(node_.LastRun(), IsUpload({"Unable to open .REP file", KeptAs()}, false));
  EXPECT_THAT(board_.Subjects(), IsEmpty());
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));
}

TEST_P(UploadEndToEndTest, TheReplyMemberIsFoundInAnyCaseAndFolder) {
  // Members whose names differ only in letter case or folder are all the
  // reply file: the first in the archive is read, the others are ignored
  // with a line each.
  ZipMembers(Work("OBRIX.REP"),
             {{"Obrix.Msg", ReplyFile("OBRIX", {Reply("top level")})},
              {"XOBRIX.MSG", "not the reply file"},
              {"NOTES.TXT", "unpacked by nobody"},
              {"reader/OBRIX.MSG", ReplyFile("OBRIX", {Reply("from a folder")})}});
  EXPECT_EQ(Upload().status, 0);
  EXPECT_THAT(
      node_.LastRun(),
      IsUpload({"Ignoring reader/OBRIX.MSG: more than one reply file", "Reply Packet ID [OBRIX]",
                "Conf: 1 To: ALL Subj: Hello", "1 reply uploaded.",
                StartsWith("Removing " + Work("unpack-")), RemovingKept()}));
  EXPECT_THAT(node_.WorkFiles(), ElementsAre("kept"));
  EXPECT_THAT(board_.Messages(), ElementsAre(Field(&board::MessageSummary::text, "top level")));
}

TEST_P(UploadEndToEndTest, ControlCharactersFromThePacketCannotForgeLogLines) {
  TestReply forged = Reply("text\n", "Bob\rWriter");
  forged.number = "3";
  forged.subject = "Hi\r\n01/01/2026 00:00:00 X";
  node_.WriteRep({forged});

  ProcessResult run = Upload();
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OBRIX]",
                        "Conf: 3 To: BOB?WRITER Subj: Hi??01/01/2026 00:00:", "1 reply uploaded.",
                        RemovingReplyFile(), RemovingKept()}));
  // The posted message keeps its bytes; only the log line is made safe.
  EXPECT_THAT(board_.Messages(),
              ElementsAre(Field(&board::MessageSummary::subject, "Hi\r\n01/01/2026 00:00:00 X")));

  // Block 0 with a line break of its own names no packet of this board.
  std::string file = ReplyFile("OBRIX", {forged});
  file.replace(0, 7, "OB\r\nFAK");
  node_.WriteRep(file);
  run = Upload();
  EXPECT_EQ(run.status, 5) << run.output;
  EXPECT_THAT(node_.LastRun(),
              IsUpload({"Reply Packet ID [OB??FAK]",
                        "Refusing the reply packet: it names the packet id OB??FAK, not OBRIX.",
                        "0 replies uploaded.", "1 reply refused.", RemovingReplyFile(), KeptAs()}));
  EXPECT_THAT(board_.Messages(), SizeIs(1));
}

INSTANTIATE_TEST_SUITE_P(, UploadEndToEndTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
