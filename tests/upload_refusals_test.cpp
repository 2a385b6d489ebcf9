// What the upload refuses, and what becomes of the REP then: run as the
// real program against a real board. A refused reply is logged with its
// true reason and its REP is kept out of the pickup name (exit 5), so the
// next caller of the node never posts it as his own; the bounds on a
// reply's text and on a CONFIG message hold; a repeated reply is a
// duplicate only on the same date; a name cut short by the To field still
// finds its user; a REP the door cannot read is left where it is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "platform/staging.h"
#include "support/reliability_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kLongName = "CHRISTOPHER MONTGOMERY-SMITHERS";

unsigned Mode(const std::string& path) { return testing::FileMode(path); }

TestReply Reply(const std::string& subject, const std::string& text = "text") {
  TestReply reply;
  reply.subject = subject;
  reply.text = text;
  return reply;
}

class UploadRefusalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    obrix_ = InstallObrix(dir_.path());
    boardPath_ = CreateTestBoard(dir_.path(), 4);
    std::filesystem::create_directory(qwk_);
    board::BoardAdmin admin = board::BoardAdmin::Open(boardPath_);
    admin.AddConference(7, "Jane only", 3, {"JANE ROE"});
    john_ = admin.UserId("JOHN DOE");
    jane_ = admin.UserId("JANE ROE");
  }

  // The caller's reader writes the REP under `name` and the door runs.
  int Upload(const std::vector<TestReply>& replies, const std::string& name = "obrix.rep",
             const std::string& user = "John Doe", const std::string& password = "secret") {
    ZipMembers(qwk_ + "/" + name, {{"OBRIX.MSG", ReplyFile("OBRIX", replies)}});
    const ProcessResult run = RunProgram({obrix_, "/U", user, "/P", password, "/UPLOAD"},
                                         dir_.path(), {{"OBRIX_BOARD", boardPath_}});
    EXPECT_EQ(run.output, "");
    return run.status;
  }

  // The lines of the last run, after its "Starting" line.
  std::vector<std::string> RunLog() {
    const std::vector<std::string> all = LogMessages(dir_ / "obrix.log");
    const auto start = std::find(all.rbegin(), all.rend(), "Starting QWK Upload process...");
    return std::vector<std::string>(start.base(), all.end());
  }

  std::vector<board::MessageSummary> Messages() { return BoardMessages(boardPath_); }
  std::vector<std::string> Kept() { return FolderNames(qwk_ + "/kept"); }

  TempDir dir_;
  std::string obrix_;
  std::string boardPath_;
  std::string qwk_ = dir_ / "Qwk";
  int32_t john_ = 0;
  int32_t jane_ = 0;
};

TEST_F(UploadRefusalsTest, ARefusedRepIsKeptSoTheNextCallerPostsOnlyHisOwn) {
  TestReply forbidden = Reply("Not for John");
  forbidden.number = "7";
  EXPECT_EQ(Upload({Reply("From John"), forbidden}), 5);
  EXPECT_THAT(
      RunLog(),
      AllOf(Contains("Refused the reply to ALL in conference 7: not allowed to write there"),
            Contains("1 reply uploaded."), Contains("1 reply refused."),
            Contains(StartsWith("Reply packet kept as " + qwk_ + "/kept/OBRIX-" +
                                std::to_string(john_) + "-"))));
  ASSERT_EQ(Kept().size(), 1u);
  if (testing::Has(testing::Need::kFileModes)) {
    EXPECT_EQ(Mode(qwk_ + "/kept"), 0700u);
    EXPECT_EQ(Mode(qwk_ + "/kept/" + Kept()[0]), 0600u);
  }
  EXPECT_FALSE(Exists(qwk_ + "/obrix.rep"));

  // The next caller on the node, whose reader names the REP in capitals.
  EXPECT_EQ(Upload({Reply("From Jane")}, "OBRIX.REP", "Jane Roe", "letmein"), 0);
  std::vector<std::string> posted;
  for (const board::MessageSummary& message : Messages()) {
    posted.push_back(message.subject + " by " + std::to_string(message.fromId));
  }
  EXPECT_THAT(posted, ElementsAre("From John by " + std::to_string(john_),
                                  "From Jane by " + std::to_string(jane_)));
  EXPECT_EQ(Kept().size(), 1u);
}

TEST_F(UploadRefusalsTest, EveryRefusalSaysWhyAndNoReplyIsMovedElsewhere) {
  TestReply nowhere = Reply("Nowhere");
  nowhere.number = "0";
  nowhere.conference = 70000;
  const TestReply longest = Reply("Longest", std::string(512 * 128, 'l'));
  const TestReply tooLong = Reply("Too long", std::string(512 * 128 + 1, 'l'));
  TestReply forged = Reply("Forged");
  forged.number = "1\r\nX";
  EXPECT_EQ(Upload({nowhere, longest, tooLong, forged, Reply("Last")}), 5);
  const std::vector<std::string> log = RunLog();
  EXPECT_THAT(log, Contains("Refused the reply to ALL in conference 70000: no such conference"));
  EXPECT_THAT(log, Contains("Refused the reply to ALL in conference 1: too long (65537 bytes, "
                            "at most 65536)"));
  // Bytes from the packet pass the log's filter, in every line.
  EXPECT_THAT(log, Contains(AllOf(StartsWith("Skipping the reply at byte "),
                                  HasSubstr(": Type mismatch: \"1??X   \" is not a number"))));
  EXPECT_THAT(log, Contains("3 replies refused."));
  std::vector<std::string> subjects;
  for (const board::MessageSummary& message : Messages()) subjects.push_back(message.subject);
  EXPECT_THAT(subjects, ElementsAre("Longest", "Last"));

  // The bound is the board's setting.
  board::BoardAdmin::Open(boardPath_).SetConfig("max-message", "1000");
  EXPECT_EQ(Upload({Reply("Short"), Reply("Over 1000", std::string(1001, 'o'))}), 5);
  EXPECT_THAT(RunLog(), Contains(HasSubstr("too long (1001 bytes, at most 1000)")));
}

TEST_F(UploadRefusalsTest, AReplyIsADuplicateOnlyOnTheSameDate) {
  TestReply thanks = Reply("Thanks!", "Thank you.");
  thanks.to = "JANE ROE";
  EXPECT_EQ(Upload({thanks}), 0);
  EXPECT_EQ(Upload({thanks}), 0);  // the same packet again
  EXPECT_THAT(RunLog(), Contains("Duplicate message to JANE ROE"));
  thanks.date = "03-21-26";  // a week later
  EXPECT_EQ(Upload({thanks}), 0);
  EXPECT_THAT(RunLog(), Contains("1 reply uploaded."));
  EXPECT_EQ(Messages().size(), 2u);
}

TEST_F(UploadRefusalsTest, ANameCutShortByTheToFieldFindsItsUser) {
  board::BoardAdmin admin = board::BoardAdmin::Open(boardPath_);
  admin.SetHashCost(board::HashCost::kMinimum);
  // The tool refuses such names now; a board made before it may hold them.
  auto addLongNamed = [&](const std::string& name) {
    const int32_t id =
        admin.AddUser("LONG NAME " + std::to_string(name.size()) + name.back(), "pw", "");
    admin.database().Exec("UPDATE users SET name = '" + name +
                          "' WHERE id = " + std::to_string(id));
    return id;
  };
  const int32_t christopher = addLongNamed(kLongName);
  addLongNamed("ALEXANDRA CONSTANTINOPLE-1");
  addLongNamed("ALEXANDRA CONSTANTINOPLE-2");
  TestReply cut = Reply("Cut");
  cut.to = std::string(kLongName).substr(0, 25);
  TestReply ambiguous = Reply("Ambiguous");
  ambiguous.to = "ALEXANDRA CONSTANTINOPLE-";
  TestReply shorter = Reply("Shorter");
  shorter.to = "CHRISTOPHER";
  EXPECT_EQ(Upload({cut, ambiguous, shorter}), 0);
  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].toId, christopher);
  EXPECT_EQ(messages[0].to, kLongName);
  EXPECT_EQ(messages[1].toId, 0);
  EXPECT_EQ(messages[2].toId, 0);
}

TEST_F(UploadRefusalsTest, AConfigMessageIsBounded) {
  std::string lines;
  for (int n = 0; n < 30; ++n) lines += "ADD x" + std::to_string(n) + "\n";
  for (int n = 0; n < 1200; ++n) lines += "ADD 1\n";
  TestReply config = Reply("CONFIG", lines);
  config.to = "RIZIVI";
  EXPECT_EQ(Upload({config}), 0);
  const std::vector<std::string> log = RunLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Conference 1 - Conference 1 added."), 970);
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) {
                            return line.rfind("Ignoring CONFIG line: ADD x", 0) == 0;
                          }),
            20);
  EXPECT_THAT(log, Contains("10 more lines \"Ignoring CONFIG line: ...\" not logged."));
  EXPECT_THAT(log, Contains("Ignored 230 control lines after the first 1000 of this upload."));
}

TEST_F(UploadRefusalsTest, RepeatedLinesOfOneKindAreCountedAfterTheTwentieth) {
  EXPECT_EQ(Upload(std::vector<TestReply>(25, Reply("Same"))), 0);
  const std::vector<std::string> log = RunLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Duplicate message to ALL"), 20);
  EXPECT_THAT(log, Contains("4 more lines \"Duplicate message to ...\" not logged."));
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(UploadRefusalsTest, APrivateReplyToAPublicOnlyConferenceIsRefused) {
  board::BoardAdmin::Open(boardPath_).AddConference(8, "Public only", 3, {}, 1);
  TestReply secret = Reply("Secret");
  secret.number = "8";
  secret.to = "JANE ROE";
  secret.status = '*';
  TestReply open = Reply("Open");
  open.number = "8";
  EXPECT_EQ(Upload({secret, open}), 5);
  EXPECT_THAT(RunLog(), Contains("Refused the reply to JANE ROE in conference 8: private replies "
                                 "are not taken in conference 8"));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].subject, "Open");
  EXPECT_EQ(Kept().size(), 1u);
}

TEST_F(UploadRefusalsTest, ANameThePacketsSpellWithAQuestionMarkFindsItsUser) {
  board::BoardAdmin admin = board::BoardAdmin::Open(boardPath_);
  admin.SetHashCost(board::HashCost::kMinimum);
  const int32_t joao = admin.AddUser("JO\xC3O SILVA", "pw", "");  // no A-tilde in CP437
  admin.AddUser("MARIA L\xD5PEZ", "pw", "");                      // nor O-tilde
  admin.AddUser("MARIA L\xC3PEZ", "pw", "");
  TestReply toJoao = Reply("Ol\xA0");
  toJoao.to = "Jo?o Silva";
  TestReply ambiguous = Reply("Hola");
  ambiguous.to = "MARIA L?PEZ";
  EXPECT_EQ(Upload({toJoao, ambiguous}), 0);
  const std::vector<board::MessageSummary> messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].toId, joao);
  EXPECT_EQ(messages[0].to, "JO\xC3O SILVA");
  EXPECT_EQ(messages[1].toId, 0);

  // A board whose packets carry its bytes spells names as they are.
  board::BoardAdmin::Open(boardPath_).SetConfig("charset", "windows-1252");
  toJoao.subject = "Again";
  EXPECT_EQ(Upload({toJoao}), 0);
  EXPECT_EQ(Messages().back().toId, 0);
}

TEST_F(UploadRefusalsTest, ARepTheDoorCannotReadIsLeftWhereItIs) {
  OBRIX_SKIP_WITHOUT(testing::Need::kFileModes);
  ZipMembers(qwk_ + "/obrix.rep", {{"OBRIX.MSG", ReplyFile("OBRIX", {Reply("Unread")})}});
  std::filesystem::permissions(qwk_ + "/obrix.rep", std::filesystem::perms::none);
  RunOptions options;
  options.environment = {{"OBRIX_BOARD", boardPath_}};
  if (RunningAsSuperuser()) {  // root reads anything: run as nobody, with the node's files his
    constexpr unsigned kNobody = 65534;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
      ASSERT_TRUE(GiveToUser(entry.path().string(), kNobody));
    }
    ASSERT_TRUE(GiveToUser(dir_.path(), kNobody));
    options.user = kNobody;
  }
  Process run =
      StartProgram({obrix_, "/U", "John", "Doe", "/P", "secret", "/UPLOAD"}, dir_.path(), options);
  EXPECT_EQ(run.Wait(30), 1);
  EXPECT_THAT(RunLog(), ElementsAre("Cannot read " + qwk_ + "/obrix.rep: Permission denied",
                                    "Upload failed.", "Disconnected from Wildcat."));
  EXPECT_TRUE(Exists(qwk_ + "/obrix.rep"));
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace obrix::testing
