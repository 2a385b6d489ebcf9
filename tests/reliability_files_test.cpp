// The door's files, run as the real program: the callers' mail is its
// owner's alone, a FIFO under the log's or the lock's name never holds a
// run, and a program folder whose path has blanks works like any other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "platform/staging.h"
#include "support/qwk_packet_reader.h"
#include "support/reliability_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

unsigned Mode(const std::string& path) { return FileMode(path); }

// A node installed in `folder`, with a board holding mail for JANE ROE.
struct Node {
  explicit Node(const std::string& folder) : dir(folder) {
    std::filesystem::create_directories(dir);
    obrix = InstallObrix(dir);
    board = CreateTestBoard(dir, 2);
    board::PostRequest post;
    post.conference = 1;
    post.from = "JOHN DOE";
    post.to = "JANE ROE";
    post.isPrivate = true;
    post.subject = "Private";
    post.text = "for Jane's eyes only";
    board::BoardAdmin::Open(board).Post(post);
  }

  Process Start(const std::string& operation) {
    RunOptions options;
    options.environment = {{"OBRIX_BOARD", board}, {"OBRIX_LOCK_WAIT", "2"}};
    return StartProgram({obrix, "/U", "Jane", "Roe", "/P", "letmein", operation}, dir, options);
  }

  std::string dir;
  std::string obrix;
  std::string board;
  std::string qwk = dir + "/Qwk";
};

TEST(ReliabilityFiles, ThePacketTheLogAndTheWorkDirectoryAreTheOwnersAlone) {
  OBRIX_SKIP_WITHOUT(Need::kFileModes);
  TempDir temp;
  Node node(temp.path());
  EXPECT_EQ(node.Start("/DOWNLOAD").Wait(30), 0);
  EXPECT_EQ(Mode(node.qwk), 0700u);
  EXPECT_EQ(Mode(node.qwk + "/OBRIX.qwk"), 0600u);
  EXPECT_EQ(Mode(node.dir + "/obrix.log"), 0600u);
  EXPECT_EQ(Mode(node.qwk + "/obrix.lock"), 0600u);
}

TEST(ReliabilityFiles, AFifoUnderTheLogsOrTheLocksNameHoldsNoRun) {
  TempDir temp;
  Node node(temp.path());
  OBRIX_SKIP_WITHOUT(Need::kFifos);
  ASSERT_TRUE(MakeFifo(node.dir + "/obrix.log"));
  const ProcessResult refused = node.Start("/DOWNLOAD").Finish(20);
  EXPECT_EQ(refused.status, 4);
  EXPECT_THAT(refused.output, HasSubstr("Not a plain file"));

  std::filesystem::remove(node.dir + "/obrix.log");
  std::filesystem::create_directory(node.qwk);
  ASSERT_TRUE(MakeFifo(node.qwk + "/obrix.lock"));
  for (const char* operation : {"/DOWNLOAD", "/UPLOAD"}) {
    EXPECT_EQ(node.Start(operation).Wait(20), 1) << operation;
    EXPECT_THAT(
        LogMessages(node.dir + "/obrix.log"),
        Contains("Cannot use the work directory: not a regular file: " + node.qwk + "/obrix.lock"));
  }
}

TEST(ReliabilityFiles, AProgramFolderWithBlanksInItsPathWorks) {
  TempDir temp;
  Node node(temp / "BBS door/node 1");
  ASSERT_EQ(node.Start("/DOWNLOAD").Wait(30), 0);
  const QwkPacket packet = ReadQwkPacket(node.qwk + "/OBRIX.qwk");
  ASSERT_EQ(packet.messages.size(), 1u);
  EXPECT_EQ(packet.messages[0].subject, "Private");
  EXPECT_EQ(FolderNames(node.qwk), (std::vector<std::string>{"OBRIX.qwk", "obrix.lock"}));

  TestReply reply;
  reply.to = "JOHN DOE";
  reply.subject = "Re: Private";
  ZipMembers(node.qwk + "/obrix.rep", {{"OBRIX.MSG", ReplyFile("OBRIX", {reply})}});
  const ProcessResult upload = node.Start("/UPLOAD").Finish(30);
  ASSERT_EQ(upload.status, 0);
  EXPECT_EQ(BoardMessages(node.board).back().subject, "Re: Private");
  EXPECT_EQ(upload.output, "");
}

}  // namespace
}  // namespace obrix::testing
