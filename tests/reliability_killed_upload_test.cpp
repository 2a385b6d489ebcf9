// An upload killed while it posts, at many points, and then run again until
// it succeeds: every reply ends up on the board exactly once, only the run
// that read the archive to its end removes it, and a run that took the
// archive before it was killed leaves it kept, out of the pickup name, so
// that the caller sends it again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/reliability_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

constexpr int kReplies = 40;

std::string SubjectOf(int n) { return "Killed upload reply " + std::to_string(n); }

// Forty distinct replies over several conferences, to all and to a user.
std::vector<TestReply> Replies() {
  std::vector<TestReply> replies;
  for (int n = 1; n <= kReplies; ++n) {
    TestReply reply;
    reply.number = std::to_string(1 + n % 5);
    reply.to = n % 3 == 0 ? "JANE ROE" : "ALL";
    reply.subject = SubjectOf(n);
    reply.text = "Reply number " + std::to_string(n) + "\n" + std::string(80 + 37 * n, 'x') + "\n";
    replies.push_back(reply);
  }
  return replies;
}

class ReliabilityKilledUploadTest : public ::testing::Test {
 protected:
  // One node: a program folder with its work directory, and a board.
  struct Node {
    TempDir dir;
    std::string obrix;
    std::string board;
    std::string qwk;
    std::string archive;
    std::string archiveBytes;
  };

  static void Prepare(Node& node) {
    node.obrix = InstallObrix(node.dir.path());
    node.board = CreateTestBoard(node.dir.path(), 10);
    node.qwk = node.dir / "Qwk";
    node.archive = node.qwk + "/obrix.rep";
    std::filesystem::create_directory(node.qwk);
    ZipMembers(node.archive, {{"OBRIX.MSG", ReplyFile("OBRIX", Replies())}});
    node.archiveBytes = ReadFile(node.archive);
  }

  static BackgroundRun StartUpload(const Node& node) {
    BackgroundRun::Options options;
    options.environment = {{"OBRIX_BOARD", node.board}};
    options.outputPath = node.dir / "output.txt";
    options.lowPriority = true;
    return BackgroundRun({node.obrix, "/U", "John Doe", "/P", "secret", "/UPLOAD"}, node.dir.path(),
                         options);
  }

  // How often each reply's subject is on the board.
  static std::map<std::string, int> PostedSubjects(const Node& node) {
    std::map<std::string, int> subjects;
    for (const board::MessageSummary& message : BoardMessages(node.board)) {
      ++subjects[message.subject];
    }
    return subjects;
  }

  // The count lines ("N replies uploaded.") of the log, in order.
  static std::vector<std::string> CountLines(const Node& node) {
    std::vector<std::string> lines;
    for (const std::string& line : LogMessages(node.dir / "obrix.log")) {
      if (line.find("uploaded.") != std::string::npos) lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(ReliabilityKilledUploadTest, EveryReplyIsPostedOnceWhereverTheRunIsKilled) {
  std::set<int64_t> interruptedAt;  // the numbers of replies stored when a kill hit mid-way
  for (int target = 0; target <= kReplies; target += 4) {
    SCOPED_TRACE("killed once " + std::to_string(target) + " replies were stored");
    Node node;
    Prepare(node);
    BoardProbe probe(node.board);
    {
      BackgroundRun run = StartUpload(node);
      if (target > 0) {
        PollUntil(20, [&] {
          return !run.Running() || probe.Number("SELECT count(*) FROM messages") >= target;
        });
      }
      run.Kill();
    }
    const int64_t stored = probe.Number("SELECT count(*) FROM messages");
    const bool kept = !FolderNames(node.qwk + "/kept").empty();  // taken, then killed
    const bool archiveLeft = Exists(node.archive) || kept;
    EXPECT_FALSE(Exists(node.archive) && kept);
    std::map<std::string, int> posted = PostedSubjects(node);
    for (const auto& [subject, times] : posted) EXPECT_EQ(times, 1) << subject;
    if (archiveLeft) {
      if (stored > 0 && stored < kReplies) interruptedAt.insert(stored);
    } else {
      // Only a run that read every reply removes the archive.
      EXPECT_EQ(stored, kReplies);
      EXPECT_EQ(CountLines(node), std::vector<std::string>{"40 replies uploaded."});
    }
    // The caller sends the packet the killed run took once more.
    if (kept) WriteFile(node.archive, node.archiveBytes);

    // Run again until a run succeeds: it posts what is missing and removes
    // the archive.
    int attempts = 0;
    while (Exists(node.archive) && attempts < 3) {
      ++attempts;
      BackgroundRun again = StartUpload(node);
      EXPECT_EQ(again.Wait(30), 0);
    }
    EXPECT_FALSE(Exists(node.archive));
    if (archiveLeft) {
      EXPECT_EQ(attempts, 1);
      ASSERT_FALSE(CountLines(node).empty());
      EXPECT_EQ(CountLines(node).back(), std::to_string(kReplies - stored) +
                                             (kReplies - stored == 1 ? " reply" : " replies") +
                                             " uploaded.");
    }
    posted = PostedSubjects(node);
    ASSERT_EQ(posted.size(), static_cast<size_t>(kReplies));
    for (int n = 1; n <= kReplies; ++n) EXPECT_EQ(posted[SubjectOf(n)], 1) << SubjectOf(n);
    EXPECT_EQ(ReadFile(node.dir / "output.txt"), "");
    // Nothing of the packet stays in the shared work directory, but the
    // packet a killed run kept.
    EXPECT_EQ(FolderNames(node.qwk), (std::vector<std::string>{"kept", "obrix.lock"}));
    EXPECT_EQ(FolderNames(node.qwk + "/kept").size(), kept ? 1u : 0u);
  }
  // The kills hit the posting itself, not only its ends.
  EXPECT_FALSE(interruptedAt.empty());
}

}  // namespace
}  // namespace obrix::testing
