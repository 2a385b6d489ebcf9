// Two runs of one program at once share its work directory: the second
// waits for the first to end and then does its work, or gives up after its
// wait with a clear line and changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "admin/board_admin.h"
#include "support/qwk_packet_reader.h"
#include "support/reliability_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

constexpr int kReplies = 30;

class ReliabilitySharedWorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    obrix_ = InstallObrix(dir_.path());
    board_ = CreateTestBoard(dir_.path(), 10);
    qwk_ = dir_ / "Qwk";
    std::filesystem::create_directory(qwk_);
    std::vector<TestReply> replies;
    for (int n = 0; n < kReplies; ++n) {
      TestReply reply;
      reply.to = "JANE ROE";
      reply.subject = "Shared folder " + std::to_string(n);
      reply.text = "Reply " + std::to_string(n);
      replies.push_back(reply);
    }
    ZipMembers(qwk_ + "/obrix.rep", {{"OBRIX.MSG", ReplyFile("OBRIX", replies)}});
  }

  BackgroundRun Start(const std::vector<std::string>& arguments, const std::string& lockWait) {
    BackgroundRun::Options options;
    options.environment = {{"OBRIX_BOARD", board_}, {"OBRIX_LOCK_WAIT", lockWait}};
    options.outputPath = dir_ / "output.txt";
    std::vector<std::string> argv = {obrix_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return BackgroundRun(argv, dir_.path(), options);
  }

  BackgroundRun StartUpload() {
    return Start({"/U", "John", "Doe", "/P", "secret", "/UPLOAD"}, "30");
  }
  BackgroundRun StartDownload(const std::string& lockWait) {
    return Start({"/U", "Jane", "Roe", "/P", "letmein", "/DOWNLOAD"}, lockWait);
  }

  std::vector<std::string> Log() {
    return Exists(dir_ / "obrix.log") ? LogMessages(dir_ / "obrix.log")
                                      : std::vector<std::string>{};
  }
  bool Logged(const std::string& line) {
    const std::vector<std::string> log = Log();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  // The position of the n-th (from 0) line equal to `line`; -1 when none.
  long Position(const std::string& line, int n = 0) {
    const std::vector<std::string> log = Log();
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == line && n-- == 0) return static_cast<long>(i);
    }
    return -1;
  }

  // Starts the upload and stops it while it holds the work directory.
  BackgroundRun StartAndHoldUpload() {
    BackgroundRun upload = StartUpload();
    EXPECT_TRUE(PollUntil(
        30, [&] { return Logged("Starting QWK Upload process...") || !upload.Running(); }));
    upload.Stop();
    return upload;
  }

  TempDir dir_;
  std::string obrix_;
  std::string board_;
  std::string qwk_;
};

TEST_F(ReliabilitySharedWorkDirTest, TheSecondRunWaitsForTheFirstAndThenSucceeds) {
  BackgroundRun upload = StartAndHoldUpload();
  BackgroundRun download = StartDownload("60");
  // The download is in (logged in) but cannot start while the upload holds
  // the work directory.
  EXPECT_TRUE(
      PollUntil(30, [&] { return Logged("Logged in as JANE ROE") || !download.Running(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(download.Running());
  EXPECT_FALSE(Logged("Starting QWK Download process..."));

  upload.Continue();
  EXPECT_EQ(upload.Wait(30), 0);
  EXPECT_EQ(download.Wait(30), 0);
  EXPECT_EQ(ReadFile(dir_ / "output.txt"), "");

  // Started after the upload's log-in, the download's work began only once
  // the upload had ended.
  const long uploadStart = Position("Starting QWK Upload process...");
  const long downloadLogin = Position("Logged in as JANE ROE");
  const long uploadEnd = Position("Disconnected from Wildcat.", 0);
  const long downloadStart = Position("Starting QWK Download process...");
  const long downloadEnd = Position("Disconnected from Wildcat.", 1);
  ASSERT_GE(uploadStart, 0);
  EXPECT_LT(uploadStart, downloadLogin);
  EXPECT_LT(downloadLogin, uploadEnd);
  EXPECT_LT(uploadEnd, downloadStart);
  EXPECT_LT(downloadStart, downloadEnd);
  EXPECT_TRUE(Logged("Upload complete."));
  EXPECT_TRUE(Logged("Download complete."));

  // So the packet holds every reply the upload posted.
  const QwkPacket packet = ReadQwkPacket(qwk_ + "/OBRIX.qwk");
  std::set<std::string> subjects;
  for (const PacketMessage& message : packet.messages) subjects.insert(message.subject);
  for (int n = 0; n < kReplies; ++n) {
    EXPECT_TRUE(subjects.count("Shared folder " + std::to_string(n))) << n;
  }
}

TEST_F(ReliabilitySharedWorkDirTest, ASecondRunThatWaitsTooLongGivesUpAndChangesNothing) {
  BackgroundRun upload = StartAndHoldUpload();
  BackgroundRun download = StartDownload("1");
  EXPECT_EQ(download.Wait(30), 1);
  EXPECT_TRUE(Logged("Work directory in use by another run."));
  EXPECT_TRUE(Logged("Download Initialization Failed"));
  EXPECT_FALSE(Logged("Starting QWK Download process..."));
  EXPECT_FALSE(Exists(qwk_ + "/OBRIX.qwk"));
  EXPECT_EQ(board::BoardAdmin::Open(board_).GetLastRead("JANE ROE", 1), 0);

  upload.Continue();
  EXPECT_EQ(upload.Wait(30), 0);
  EXPECT_TRUE(Logged("30 replies uploaded."));
  EXPECT_FALSE(Exists(qwk_ + "/obrix.rep"));
  EXPECT_EQ(ReadFile(dir_ / "output.txt"), "");
}

}  // namespace
}  // namespace obrix::testing
