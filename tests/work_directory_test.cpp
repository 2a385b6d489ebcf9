// The work directory a sysop chooses with OBRIX_WORK: the real obrix run as
// a process against a real board, with the folder set, unset and unusable.
#include "driver/work_directory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "board/board.h"
#include "driver/run_sequence.h"
#include "platform/files.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

constexpr fs::perms kOwnerOnly = fs::perms::owner_all;

class WorkDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    obrix_ = InstallObrix(dir_.path());
    board_ = CreateTestBoard(dir_.path(), 2);
    board::PostRequest mail;  // something to download
    mail.conference = 1;
    mail.from = "JANE ROE";
    mail.to = "JOHN DOE";
    mail.subject = "Waiting mail";
    mail.text = "text";
    board::BoardAdmin::Open(board_).Post(mail);
  }

  ProcessResult Run(const std::string& operation, const char* work) {
    std::map<std::string, std::string> env = {{"OBRIX_BOARD", board_}};
    if (work) env[kWorkVariable] = work;
    return RunProgram({obrix_, "/U", "John", "Doe", "/P", "secret", operation}, dir_.path(), env);
  }

  std::vector<std::string> Log() const {
    std::vector<std::string> log = LogMessages(dir_ / "obrix.log");
    return {log.begin() + 3, log.end()};  // without the banner
  }

  TempDir dir_;
  TempDir elsewhere_;
  std::string obrix_;
  std::string board_;
};

TEST_F(WorkDirectoryTest, AChosenFolderHoldsThePacketTheReplyAndTheLock) {
  const std::string work = elsewhere_ / "node1";
  ProcessResult result = Run("/DOWNLOAD", work.c_str());
  EXPECT_EQ(result.status, kExitOk) << result.output;
  if (Has(Need::kFileModes)) {
    EXPECT_EQ(fs::status(work).permissions(), kOwnerOnly);
  }
  EXPECT_TRUE(Exists(work + "/OBRIX.qwk"));
  EXPECT_TRUE(Exists(work + "/obrix.lock"));
  EXPECT_FALSE(Exists(dir_ / "Qwk"));

  TestReply reply;
  reply.subject = "From node one";
  reply.text = "Hello";
  ZipMembers(work + "/OBRIX.rep", {{"OBRIX.MSG", ReplyFile("OBRIX", {reply})}});
  result = Run("/UPLOAD", (work + "/").c_str());  // a trailing separator is welcome
  EXPECT_EQ(result.status, kExitOk) << result.output;
  EXPECT_THAT(Log(), Contains("Upload complete."));
  EXPECT_FALSE(Exists(dir_ / "Qwk"));
}

TEST_F(WorkDirectoryTest, UnsetOrEmptyMeansQwkBesideTheProgram) {
  for (const char* work : {static_cast<const char*>(nullptr), ""}) {
    fs::remove_all(dir_ / "Qwk");
    board::BoardAdmin::Open(board_).SetLastRead("JOHN DOE", 1, 0);
    EXPECT_EQ(Run("/DOWNLOAD", work).status, kExitOk);
    EXPECT_TRUE(Exists(dir_ / "Qwk/OBRIX.qwk"));
    if (Has(Need::kFileModes)) {
      EXPECT_EQ(fs::status(dir_ / "Qwk").permissions(), kOwnerOnly);
    }
  }
}

// A Windows sysop writes the folder with its drive letter and backslashes,
// in any letter case; the packet and the lock land in it all the same.
TEST_F(WorkDirectoryTest, ADriveLetterPathWithBackslashesServes) {
  if (PathSeparator() != '\\') GTEST_SKIP() << "drive letters and backslashes are Windows'";
  std::string work = elsewhere_ / "Node 1";
  std::replace(work.begin(), work.end(), '/', '\\');
  ASSERT_EQ(work[1], ':');
  work[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(work[0])));
  EXPECT_EQ(Run("/DOWNLOAD", work.c_str()).status, kExitOk);
  EXPECT_TRUE(Exists(elsewhere_ / "Node 1/OBRIX.qwk"));
  EXPECT_THAT(Log(), Contains("Download complete."));
}

TEST_F(WorkDirectoryTest, AFolderThatCannotServeIsReportedWithItsReason) {
  WriteFile(elsewhere_ / "plain", "not a folder");
  const struct {
    std::string work;
    const char* operation;
    std::string reason;
  } cases[] = {
      {"node1", "/DOWNLOAD", "OBRIX_WORK must be an absolute path, not \"node1\""},
      {"node1", "/UPLOAD", "OBRIX_WORK must be an absolute path, not \"node1\""},
      {elsewhere_ / "plain", "/DOWNLOAD", elsewhere_ / "plain is not a folder"},
      {elsewhere_ / "plain", "/UPLOAD", elsewhere_ / "plain is not a folder"},
      {elsewhere_ / "missing", "/UPLOAD", elsewhere_ / "missing does not exist"},
      {elsewhere_ / "no/node1", "/DOWNLOAD",
       "cannot create " + elsewhere_ / "no/node1: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.work + " " + c.operation);
    fs::remove(dir_ / "obrix.log");
    const ProcessResult result = Run(c.operation, c.work.c_str());
    EXPECT_EQ(result.status, kExitOperationFailed);
    const std::string summary = std::string(c.operation) == "/UPLOAD"
                                    ? "Upload Initialization Failed"
                                    : "Download Initialization Failed";
    EXPECT_THAT(Log(), ElementsAre("Connecting to Wildcat...", "Logged in as JOHN DOE",
                                   "Cannot use the work directory: " + c.reason, summary,
                                   "Disconnected from Wildcat."));
  }
  EXPECT_FALSE(Exists(dir_ / "node1"));
  EXPECT_FALSE(Exists(elsewhere_ / "missing"));
  EXPECT_FALSE(Exists(dir_ / "Qwk"));
}

// An installed program (under /usr, or in a folder the run may not write)
// keeps no files beside itself: without OBRIX_WORK the run refuses at once,
// naming the variable, and creates nothing.
TEST_F(WorkDirectoryTest, AnInstalledProgramNeedsItsWorkDirectoryNamed) {
  EXPECT_TRUE(IsInstalledProgramFolder("/usr/lib/obrix"));
  EXPECT_FALSE(IsInstalledProgramFolder(dir_.path()));
  board::Board server;
  ActivityLog log(dir_ / "obrix.log");
  RunState state;
  state.programDirectory = "/usr/lib/obrix";
  RunContext context{server, log, state};
  EXPECT_FALSE(InitDownload(context));
  EXPECT_THAT(LogMessages(dir_ / "obrix.log"),
              ElementsAre("Cannot use the work directory: set OBRIX_WORK to the node's work "
                          "directory (an installed program keeps no files in its own folder, "
                          "/usr/lib/obrix)"));
}

TEST_F(WorkDirectoryTest, AFolderOthersMayWriteIsRefused) {
  OBRIX_SKIP_WITHOUT(Need::kFileModes);
  const std::string chosen = elsewhere_ / "node1";
  const std::string beside = dir_ / "Qwk";
  const struct {
    const char* work;  // nullptr: Qwk beside the program
    fs::perms mode;
  } cases[] = {
      {chosen.c_str(), kOwnerOnly | fs::perms::group_write | fs::perms::group_exec},
      {chosen.c_str(), kOwnerOnly | fs::perms::others_write | fs::perms::others_exec},
      {chosen.c_str(), fs::perms::all | fs::perms::sticky_bit},
      {nullptr, fs::perms::all},
  };
  for (const auto& c : cases) {
    const std::string folder = c.work ? c.work : beside;
    for (const char* operation : {"/DOWNLOAD", "/UPLOAD"}) {
      SCOPED_TRACE(folder + " " + operation);
      fs::create_directory(folder);
      fs::permissions(folder, c.mode);
      ZipMembers(folder + "/OBRIX.rep", {{"OBRIX.MSG", ReplyFile("OBRIX", {TestReply{}})}});
      fs::remove(dir_ / "obrix.log");
      EXPECT_EQ(Run(operation, c.work).status, kExitOperationFailed);
      EXPECT_THAT(Log(), Contains("Cannot use the work directory: writable by others"));
      // Nothing in it was read or moved.
      EXPECT_THAT(FolderNames(folder), ElementsAre("OBRIX.rep"));
      fs::remove_all(folder);
    }
  }
  EXPECT_EQ(board::BoardAdmin::Open(board_).GetLastRead("JOHN DOE", 1), 0);  // nothing sent
}

}  // namespace
}  // namespace obrix::testing
