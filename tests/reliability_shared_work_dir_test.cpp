// Two runs of one program at once share its work directory: the second
// waits for the first to end and then does its work, or gives up after its
// wait with a clear line and changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::Contains;

constexpr int kReplies = 30;

class ReliabilitySharedWorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OBRIX_SKIP_WITHOUT(Need::kStopAndContinue);
    std::vector<TestReply> replies;
    for (int n = 0; n < kReplies; ++n) {
      TestReply reply;
      reply.to = kOther;
      reply.subject = "Shared folder " + std::to_string(n);
      reply.text = "Reply " + std::to_string(n);
      replies.push_back(reply);
    }
    node_.WriteRep(replies);
  }

  Process StartDownload(const std::string& lockWait) {
    return node_.Start({.user = kOther,
                        .password = kOtherPassword,
                        .environment = {{"OBRIX_LOCK_WAIT", lockWait}}});
  }

  // The position of the n-th (from 0) line equal to `line`; -1 when none.
  long Position(const std::string& line, int n = 0) {
    const std::vector<std::string> log = node_.Log();
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == line && n-- == 0) return static_cast<long>(i);
    }
    return -1;
  }
  bool Logged(const std::string& line) { return Position(line) >= 0; }

  // Starts the upload and stops it while it holds the work directory.
  Process StartAndHoldUpload() {
    Process upload = node_.Start({.operation = kUpload});
    EXPECT_TRUE(PollUntil(
        30, [&] { return Logged("Starting QWK Upload process...") || !upload.Running(); }));
    upload.Stop();
    return upload;
  }

  TestBoard board_{{.conferences = 10}};
  Node node_{board_.name()};
};

TEST_F(ReliabilitySharedWorkDirTest, TheSecondRunWaitsForTheFirstAndThenSucceeds) {
  Process upload = StartAndHoldUpload();
  Process download = StartDownload("60");
  // The download is in (logged in) but cannot start while the upload holds
  // the work directory.
  EXPECT_TRUE(PollUntil(
      30, [&] { return Logged(std::string("Logged in as ") + kOther) || !download.Running(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(download.Running());
  EXPECT_FALSE(Logged("Starting QWK Download process..."));

  upload.Continue();
  EXPECT_EQ(upload.Wait(30), 0);
  EXPECT_EQ(download.Wait(30), 0);
  EXPECT_EQ(upload.Output() + download.Output(), "");

  // Started after the upload's log-in, the download's work began only once
  // the upload had ended.
  const long uploadStart = Position("Starting QWK Upload process...");
  const long downloadLogin = Position(std::string("Logged in as ") + kOther);
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
  const std::vector<std::string> subjects = Subjects(node_.Packet());
  for (int n = 0; n < kReplies; ++n) {
    EXPECT_THAT(subjects, Contains("Shared folder " + std::to_string(n)));
  }
}

TEST_F(ReliabilitySharedWorkDirTest, ASecondRunThatWaitsTooLongGivesUpAndChangesNothing) {
  Process upload = StartAndHoldUpload();
  Process download = StartDownload("1");
  EXPECT_EQ(download.Wait(30), 1);
  EXPECT_TRUE(Logged("Work directory in use by another run."));
  EXPECT_TRUE(Logged("Download Initialization Failed"));
  EXPECT_FALSE(Logged("Starting QWK Download process..."));
  EXPECT_FALSE(Exists(node_.Work("OBRIX.qwk")));
  EXPECT_EQ(board_.Admin().GetLastRead(kOther, 1), 0);

  upload.Continue();
  EXPECT_EQ(upload.Wait(30), 0);
  EXPECT_TRUE(Logged("30 replies uploaded."));
  EXPECT_FALSE(Exists(node_.Work("obrix.rep")));
  EXPECT_EQ(upload.Output() + download.Output(), "");
}

}  // namespace
}  // namespace obrix::testing
