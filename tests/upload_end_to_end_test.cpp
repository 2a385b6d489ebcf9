// "/UPLOAD" end to end: REP packets built with the real zip, uploaded by
// the real obrix program against a real board.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "board/board.h"
#include "platform/file_time.h"
#include "server/server.h"
#include "support/upload_test_support.h"

namespace obrix {
namespace {

using testing::TestReply;

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

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

class UploadEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    obrix_ = testing::InstallObrix(dir_.path());
    boardPath_ = testing::CreateTestBoard(dir_.path(), 10);
    std::filesystem::create_directory(qwk_);
    board::BoardAdmin admin = board::BoardAdmin::Open(boardPath_);
    johnId_ = admin.UserId("JOHN DOE");
    janeId_ = admin.UserId("JANE ROE");
  }

  // Packs `replies` as a reader does: archive in lower case, member in
  // upper case.
  void WriteRep(const std::vector<TestReply>& replies) {
    testing::ZipMembers(qwk_ + "/obrix.rep", {{"OBRIX.MSG", testing::ReplyFile("OBRIX", replies)}});
  }

  testing::ProcessResult Upload() {
    return testing::RunProgram({obrix_, "/U", "John", "Doe", "/P", "secret", "/UPLOAD"},
                               dir_.path(), {{"OBRIX_BOARD", boardPath_}});
  }

  // The log lines of the last run: those after its "Starting" line.
  std::vector<std::string> RunLog() {
    const std::vector<std::string> all = testing::LogMessages(dir_ / "obrix.log");
    auto start = std::find(all.rbegin(), all.rend(), "Starting QWK Upload process...");
    EXPECT_NE(start, all.rend()) << "no upload started";
    std::vector<std::string> lines(start.base(), all.end());
    // The session's closing lines are the run sequence's; drop them.
    while (!lines.empty() && lines.back() != "Upload complete." &&
           lines.back() != "Upload failed.") {
      lines.pop_back();
    }
    return lines;
  }

  // What a folder holds besides the work directory's lock file.
  static std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name != "obrix.lock") names.insert(name);
    }
    return names;
  }
  std::set<std::string> WorkFiles() { return Names(qwk_); }
  // The REP packets the door kept: "OBRIX-<user id>-<date>-<time>.rep".
  std::set<std::string> KeptFiles() { return Names(qwk_ + "/kept"); }
  // The kept path of the last run's REP, from its log line.
  std::string KeptPath() {
    for (const std::string& line : RunLog()) {
      if (StartsWith(line, "Reply packet kept as ")) return line.substr(21);
    }
    return "";
  }

  std::vector<board::MessageSummary> Messages() { return testing::BoardMessages(boardPath_); }

  testing::TempDir dir_;
  std::string obrix_;
  std::string boardPath_;
  std::string qwk_ = dir_ / "Qwk";
  int32_t johnId_ = 0;
  int32_t janeId_ = 0;
};

TEST_F(UploadEndToEndTest, PostsEveryReplyAndRemovesThePacket) {
  TestReply toJane;
  toJane.number = "3";
  toJane.to = "Jane Roe";
  toJane.from = "SOMEBODY ELSE";  // an ordinary caller posts as himself
  toJane.subject = "Re: Meeting";
  toJane.date = "03-14-26";
  toJane.time = "15:09";
  toJane.text = "Hello Jane,\nsee you there.\n";
  TestReply toAll;
  toAll.number = "0";
  toAll.conference = 0;
  toAll.to = "All";
  toAll.subject = "A subject of 25 letters!!";
  toAll.date = "12-31-99";
  toAll.time = "23:59";
  toAll.text = std::string(300, 'z');
  WriteRep({toJane, toAll});

  const testing::ProcessResult run = Upload();
  EXPECT_EQ(run.status, 0) << run.output;
  const std::vector<std::string> log = RunLog();
  ASSERT_EQ(log.size(), 7u) << testing::ReadFile(dir_ / "obrix.log");
  EXPECT_EQ(log[0], "Reply Packet ID [OBRIX]");
  EXPECT_EQ(log[1], "Conf: 3 To: JANE ROE Subj: Re: Meeting");
  EXPECT_EQ(log[2], "Conf: 0 To: ALL Subj: A subject of 25 lette");
  EXPECT_EQ(log[3], "2 replies uploaded.");
  // The reply file is named where it really was: in the run's own folder.
  EXPECT_TRUE(StartsWith(log[4], "Removing " + qwk_ + "/unpack-")) << log[4];
  EXPECT_NE(log[4].find("/obrix.msg..."), std::string::npos) << log[4];
  // The packet was taken out of the pickup name before it was read.
  const std::string kept = "Removing " + qwk_ + "/kept/OBRIX-" + std::to_string(johnId_) + "-";
  EXPECT_TRUE(StartsWith(log[5], kept)) << log[5];
  EXPECT_EQ(log[5].substr(log[5].size() - 7), ".rep...");
  EXPECT_EQ(log[6], "Upload complete.");
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});
  EXPECT_TRUE(KeptFiles().empty());

  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  const board::MessageSummary& first = messages[0];
  EXPECT_EQ(first.conference, 3);
  EXPECT_EQ(first.from, "JOHN DOE");
  EXPECT_EQ(first.fromId, johnId_);
  EXPECT_EQ(first.to, "JANE ROE");
  EXPECT_EQ(first.toId, janeId_);
  EXPECT_EQ(first.subject, "Re: Meeting");
  EXPECT_EQ(first.messageTime, At(2026, 3, 14, 15, 9));
  EXPECT_EQ(first.text, "Hello Jane,\nsee you there.\n" + std::string(101, ' '));
  const board::MessageSummary& second = messages[1];
  EXPECT_EQ(second.conference, 0);
  EXPECT_EQ(second.to, "ALL");
  EXPECT_EQ(second.toId, 0);
  EXPECT_EQ(second.subject, "A subject of 25 letters!!");
  EXPECT_EQ(second.messageTime, At(1999, 12, 31, 23, 59));
  EXPECT_EQ(second.text, std::string(300, 'z') + std::string(84, ' '));

  // The board records the uploader as " <id>".
  board::Board board;
  ASSERT_TRUE(board.vbWildcatServerConnect(boardPath_.c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  ASSERT_TRUE(board.LoginSystem());
  MessageRecord stored;
  ASSERT_TRUE(board.vbGetMessageById(3, first.id, stored));
  EXPECT_EQ(stored.UploaderIdText.Str(), FixedText<12>(" " + std::to_string(johnId_)).Str());
}

TEST_F(UploadEndToEndTest, AnAllowedSenderNameStands) {
  board::BoardAdmin::Open(boardPath_).Grant("JOHN DOE", kSysopObject, 1);
  TestReply asJane;
  asJane.from = "jane roe";
  asJane.to = "John Doe";
  TestReply asStranger;
  asStranger.from = "Nobody Known";
  asStranger.to = "Jane Roe";
  WriteRep({asJane, asStranger});

  EXPECT_EQ(Upload().status, 0);
  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].from, "JANE ROE");
  EXPECT_EQ(messages[0].fromId, janeId_);
  EXPECT_EQ(messages[0].toId, johnId_);
  EXPECT_EQ(messages[1].from, "NOBODY KNOWN");
  EXPECT_EQ(messages[1].fromId, 0);
  EXPECT_EQ(messages[1].toId, janeId_);  // looked up afresh for every reply
}

TEST_F(UploadEndToEndTest, ASecondUploadOfThePacketPostsNothing) {
  TestReply toJane;
  toJane.to = "JANE ROE";
  toJane.text = "once";
  TestReply toAll;
  toAll.text = "only once";
  WriteRep({toJane, toAll});
  const std::string archive = testing::ReadFile(qwk_ + "/obrix.rep");
  ASSERT_EQ(Upload().status, 0);
  ASSERT_EQ(Messages().size(), 2u);

  testing::WriteFile(qwk_ + "/obrix.rep", archive);
  EXPECT_EQ(Upload().status, 0);
  const std::vector<std::string> log = RunLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[1], "Duplicate message to JANE ROE");
  EXPECT_EQ(log[2], "Duplicate message to ALL");
  EXPECT_EQ(log[3], "0 replies uploaded.");
  EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(UploadEndToEndTest, ARefusedReplyIsLoggedAndTheRunGoesOn) {
  TestReply good;
  good.text = "fine";
  TestReply single;
  WriteRep({good});
  EXPECT_EQ(Upload().status, 0);
  EXPECT_EQ(RunLog()[2], "1 reply uploaded.");

  // A conference number the board does not have.
  TestReply nowhere;
  nowhere.number = "12";
  nowhere.conference = 4711;
  nowhere.text = "lost";
  WriteRep({nowhere, single});
  EXPECT_EQ(Upload().status, 5);  // ran to its end, but a reply was refused
  const std::vector<std::string> log = RunLog();
  ASSERT_GE(log.size(), 8u);
  EXPECT_EQ(log[1], "Refused the reply to ALL in conference 4711: no such conference");
  EXPECT_EQ(log[2], "Error #" + std::to_string(static_cast<int32_t>(kServerNotFound)) +
                        " adding message to ALL");
  EXPECT_EQ(log[3], "Conf: 1 To: ALL Subj: Hello");
  EXPECT_EQ(log[4], "1 reply uploaded.");
  EXPECT_EQ(log[5], "1 reply refused.");
  EXPECT_EQ(log[7], "Reply packet kept as " + KeptPath());  // after the reply file went
  EXPECT_EQ(KeptFiles().size(), 1u);
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});
}

TEST_F(UploadEndToEndTest, ControlMessagesChangeTheConferenceSelection) {
  board::BoardAdmin admin = board::BoardAdmin::Open(boardPath_);
  for (int32_t conference = 1; conference <= 8; ++conference) {
    admin.SetFlags("JOHN DOE", conference, 0x80 | (conference == 4 ? 3 : 0));
  }
  auto control = [](const std::string& to, const std::string& number, const std::string& subject,
                    const std::string& text = "") {
    TestReply reply;
    reply.to = to;
    reply.number = number;
    reply.subject = subject;
    reply.text = text;
    return reply;
  };
  TestReply toQmailInLowerCase;
  toQmailInLowerCase.to = "qmail";
  toQmailInLowerCase.subject = "ADD";
  toQmailInLowerCase.number = "6";
  WriteRep({
      control("RIZIVI", "5", "add"),
      control("QMAIL", "6", "RESET"),
      control("TOMCAT", "7", "YOURS"),
      control("RIZIVI", "8", "DROP"),
      control("RIZIVI", "1", "CONFIG", "ADD 2\nDROP 4\nADD 77\n"),
      control("RIZIVI", "3", "REQUEST"),
      toQmailInLowerCase,
  });

  EXPECT_EQ(Upload().status, 0);
  std::vector<std::string> log = RunLog();
  ASSERT_EQ(log.size(), 13u) << testing::ReadFile(dir_ / "obrix.log");
  EXPECT_TRUE(StartsWith(log[10], "Removing " + qwk_ + "/unpack-")) << log[10];
  EXPECT_TRUE(StartsWith(log[11], "Removing " + qwk_ + "/kept/")) << log[11];
  log.erase(log.begin() + 10, log.begin() + 12);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "Reply Packet ID [OBRIX]",
                     "Conference 5 - Conference 5 added.",
                     "Conference 6 - Conference 6 added.",
                     "Conference 7 - Conference 7 added for your mail only.",
                     "Conference 8 - Conference 8 dropped.",
                     "Conference 2 - Conference 2 added.",
                     "Conference 4 - Conference 4 dropped.",
                     "REQUEST is not supported.",
                     "Conf: 6 To: QMAIL Subj: ADD",
                     "1 reply uploaded.",
                     "Upload complete.",
                 }));
  board::BoardAdmin after = board::BoardAdmin::Open(boardPath_);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 5), 0x83u);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 6), 0x83u);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 7), 0x81u);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 8), 0x80u);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 2), 0x83u);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 4), 0x80u);
  EXPECT_EQ(after.GetFlags("JOHN DOE", 3), 0x80u);
  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].to, "QMAIL");
}

TEST_F(UploadEndToEndTest, AConfigLineWithoutANumberIsSkipped) {
  board::BoardAdmin::Open(boardPath_).SetFlags("JOHN DOE", 4, 3);
  TestReply config;
  config.to = "RIZIVI";
  config.subject = "CONFIG";
  config.text = "ADD 2\n\nDROP 4\n";
  TestReply later;
  later.text = "posted after the control message";
  WriteRep({config, later});

  EXPECT_EQ(Upload().status, 0);
  const std::vector<std::string> log = RunLog();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[1], "Conference 2 - Conference 2 added.");
  EXPECT_EQ(log[2], "Ignoring CONFIG line: ");
  EXPECT_EQ(log[3], "Conference 4 - Conference 4 dropped.");
  EXPECT_EQ(log[4], "Conf: 1 To: ALL Subj: Hello");
  EXPECT_EQ(log[5], "1 reply uploaded.");
}

TEST_F(UploadEndToEndTest, PacketsThatCannotBeReadAreKept) {
  // Not a zip at all.
  testing::WriteFile(qwk_ + "/obrix.rep", "this is not a zip archive");
  EXPECT_EQ(Upload().status, 1);
  EXPECT_EQ(RunLog(),
            (std::vector<std::string>{"There was a problem unzipping the .REP archive.",
                                      "Reply packet kept as " + KeptPath(), "Upload failed."}));
  EXPECT_EQ(testing::ReadFile(KeptPath()), "this is not a zip archive");
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});

  // A zip without the reply file: nothing of it is unpacked.
  testing::ZipMembers(qwk_ + "/other.zip", {{"README.TXT", "hello"}, {"XOBRIX.MSG", "x"}});
  std::filesystem::rename(qwk_ + "/other.zip", qwk_ + "/obrix.rep");
  EXPECT_EQ(Upload().status, 1);
  EXPECT_EQ(RunLog(),
            (std::vector<std::string>{"Unable to open .REP file",
                                      "Reply packet kept as " + KeptPath(), "Upload failed."}));
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});
  EXPECT_EQ(KeptFiles().size(), 2u);
}

TEST_F(UploadEndToEndTest, AnEmptyOrMissingPacketIsNotFound) {
  EXPECT_EQ(Upload().status, 1);
  const std::vector<std::string> expected = {
      "Unable to locate BBS .REP packet [" + qwk_ + "/OBRIX.rep]", "Upload failed."};
  EXPECT_EQ(RunLog(), expected);
  testing::WriteFile(qwk_ + "/obrix.rep", "");
  EXPECT_EQ(Upload().status, 1);
  EXPECT_EQ(RunLog(), expected);
  EXPECT_TRUE(WorkFiles().empty());  // the empty packet was deleted
}

TEST_F(UploadEndToEndTest, ABadReplyIsSkippedAndTheUploadGoesOn) {
  TestReply first;
  first.text = "first";
  TestReply blankNumber;
  blankNumber.number = "       ";
  TestReply after;
  after.text = "posted after the bad one";
  WriteRep({first, blankNumber, after});

  EXPECT_EQ(Upload().status, 5);
  const std::vector<std::string> log = RunLog();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[1], "Conf: 1 To: ALL Subj: Hello");
  EXPECT_EQ(log[2], "Skipping the reply at byte 385: Type mismatch: \"       \" is not a number");
  EXPECT_EQ(log[3], "Conf: 1 To: ALL Subj: Hello");
  EXPECT_EQ(log[4], "2 replies uploaded.");
  EXPECT_EQ(log[5], "1 reply refused.");
  EXPECT_EQ(log[7], "Reply packet kept as " + KeptPath());
  EXPECT_EQ(log[8], "Upload complete.");
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});
  EXPECT_EQ(KeptFiles().size(), 1u);
}

TEST_F(UploadEndToEndTest, AReplyCutShortIsSkipped) {
  TestReply first;
  first.text = "complete";
  TestReply cut;
  cut.text = std::string(256, 'c');
  cut.blocks = "5";  // two text blocks are missing
  WriteRep({first, cut});

  EXPECT_EQ(Upload().status, 5);
  const std::vector<std::string> log = RunLog();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[2],
            "Skipping the reply at byte 385: The reply at byte 385 is cut short: its 5 blocks run "
            "past the end of the file");
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_EQ(KeptFiles().size(), 1u);
}

TEST_F(UploadEndToEndTest, OnlyThePlainReplyMemberIsRead) {
  // A reply file outside the work directory that a link in the archive
  // points at: it must not be posted.
  const std::string elsewhere = dir_ / "elsewhere.msg";
  TestReply secret;
  secret.text = "read through a link";
  testing::WriteFile(elsewhere, testing::ReplyFile("OBRIX", {secret}));
  testing::ZipMembers(qwk_ + "/obrix.rep", {{"OBRIX.MSG", "->" + elsewhere}});
  EXPECT_EQ(Upload().status, 1);
  EXPECT_EQ(RunLog(),
            (std::vector<std::string>{"Unable to open .REP file",
                                      "Reply packet kept as " + KeptPath(), "Upload failed."}));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});
}

TEST_F(UploadEndToEndTest, TheReplyMemberIsFoundInAnyCaseAndFolder) {
  TestReply first;
  first.text = "top level";
  TestReply further;
  further.text = "from a folder";
  // Members whose names differ only in letter case or folder are all the
  // reply file: the first in the archive is read, the others are ignored
  // with a line each.
  testing::ZipMembers(qwk_ + "/OBRIX.REP",
                      {{"Obrix.Msg", testing::ReplyFile("OBRIX", {first})},
                       {"XOBRIX.MSG", "not the reply file"},
                       {"NOTES.TXT", "unpacked by nobody"},
                       {"reader/OBRIX.MSG", testing::ReplyFile("OBRIX", {further})}});
  EXPECT_EQ(Upload().status, 0);
  const std::vector<std::string> log = RunLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0], "Ignoring reader/OBRIX.MSG: more than one reply file");
  EXPECT_EQ(log[2], "Conf: 1 To: ALL Subj: Hello");
  EXPECT_TRUE(StartsWith(log[5], "Removing " + qwk_ + "/kept/")) << log[5];
  EXPECT_EQ(WorkFiles(), std::set<std::string>{"kept"});
  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "top level" + std::string(119, ' '));
}

}  // namespace
}  // namespace obrix

namespace obrix {
namespace {

TEST_F(UploadEndToEndTest, ControlCharactersFromThePacketCannotForgeLogLines) {
  TestReply forged;
  forged.number = "3";
  forged.to = "Jane\rRoe";
  forged.subject = "Hi\r\n01/01/2026 00:00:00 X";
  forged.date = "03-14-26";
  forged.time = "15:09";
  forged.text = "text\n";
  WriteRep({forged});

  testing::ProcessResult run = Upload();
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<std::string> log = RunLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1], "Conf: 3 To: JANE?ROE Subj: Hi??01/01/2026 00:00:");
  // The posted message keeps its bytes; only the log line is made safe.
  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].subject, "Hi\r\n01/01/2026 00:00:00 X");

  // Block 0 with a line break of its own names no packet of this board.
  std::string file = testing::ReplyFile("OBRIX", {forged});
  file.replace(0, 7, "OB\r\nFAK");
  testing::ZipMembers(qwk_ + "/obrix.rep", {{"OBRIX.MSG", file}});
  run = Upload();
  EXPECT_EQ(run.status, 5) << run.output;
  log = RunLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "Reply Packet ID [OB??FAK]");
  EXPECT_EQ(log[1], "Refusing the reply packet: it names the packet id OB??FAK, not OBRIX.");
  EXPECT_EQ(Messages().size(), 1u);
}

}  // namespace
}  // namespace obrix
