// An upload killed while it posts, at many points, and then run again until
// it succeeds: every reply ends up on the board exactly once, only the run
// that read the archive to its end removes it, and a run that took the
// archive before it was killed leaves it kept, out of the pickup name, so
// that the caller sends it again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::ElementsAre;

constexpr int kReplies = 120;  // more than one batch of replies

std::string SubjectOf(int n) { return "Killed upload reply " + std::to_string(n); }

// Distinct replies over several conferences, to all and to a user.
std::vector<TestReply> Replies() {
  std::vector<TestReply> replies;
  for (int n = 1; n <= kReplies; ++n) {
    TestReply reply;
    reply.number = std::to_string(1 + n % 5);
    reply.to = n % 3 == 0 ? kOther : "ALL";
    reply.subject = SubjectOf(n);
    reply.text = "Reply number " + std::to_string(n) + "\n" + std::string(80 + 13 * n, 'x') + "\n";
    replies.push_back(reply);
  }
  return replies;
}

// One node with its own board, and the packet to upload in its work
// directory.
struct UploadSite : Site {
  explicit UploadSite(board::Backend backend) : Site({.conferences = 10}, backend) {
    node.WriteRep(Replies());
    archiveBytes = ReadFile(archive);
  }

  Process StartUpload() const { return node.Start({.operation = kUpload, .lowPriority = true}); }

  // How often each reply's subject is on the board.
  std::map<std::string, int> PostedSubjects() {
    std::map<std::string, int> subjects;
    for (const std::string& subject : board.Subjects()) ++subjects[subject];
    return subjects;
  }

  // The count lines ("N replies uploaded.") of the log, in order.
  std::vector<std::string> CountLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : node.Log()) {
      if (line.find("uploaded.") != std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  int64_t Stored() { return board.Number("SELECT count(*) FROM messages"); }

  std::string archive = node.Work("obrix.rep");
  std::string archiveBytes;  // the packet as the caller sent it
};

using ReliabilityKilledUploadTest = BoardTest;

TEST_P(ReliabilityKilledUploadTest, EveryReplyIsPostedOnceWhereverTheRunIsKilled) {
  std::set<int64_t> interruptedAt;  // the numbers of replies stored when a kill hit mid-way
  for (int target = 0; target <= kReplies; target += 12) {
    SCOPED_TRACE("killed once " + std::to_string(target) + " replies were stored");
    UploadSite site(backend());
    {
      Process run = site.StartUpload();
      if (target > 0) PollUntil(20, [&] { return !run.Running() || site.Stored() >= target; });
      run.Kill();
      site.board.AwaitOtherSessionsGone();
      EXPECT_EQ(run.Output(), "");
    }
    const int64_t stored = site.Stored();
    const bool kept = !FolderNames(site.node.Work("kept")).empty();  // taken, then killed
    const bool archiveLeft = Exists(site.archive) || kept;
    EXPECT_FALSE(Exists(site.archive) && kept);
    std::map<std::string, int> posted = site.PostedSubjects();
    for (const auto& [subject, times] : posted) EXPECT_EQ(times, 1) << subject;
    if (archiveLeft) {
      if (stored > 0 && stored < kReplies) interruptedAt.insert(stored);
    } else {
      // Only a run that read every reply removes the archive.
      EXPECT_EQ(stored, kReplies);
      EXPECT_THAT(site.CountLines(), ElementsAre(std::to_string(kReplies) + " replies uploaded."));
    }
    // The caller sends the packet the killed run took once more.
    if (kept) WriteFile(site.archive, site.archiveBytes);

    // Run again until a run succeeds: it posts what is missing and removes
    // the archive.
    int attempts = 0;
    while (Exists(site.archive) && attempts < 3) {
      ++attempts;
      Process again = site.StartUpload();
      EXPECT_EQ(again.Wait(30), 0);
      EXPECT_EQ(again.Output(), "");
    }
    EXPECT_FALSE(Exists(site.archive));
    if (archiveLeft) {
      EXPECT_EQ(attempts, 1);
      ASSERT_FALSE(site.CountLines().empty());
      EXPECT_EQ(site.CountLines().back(), std::to_string(kReplies - stored) +
                                              (kReplies - stored == 1 ? " reply" : " replies") +
                                              " uploaded.");
    }
    posted = site.PostedSubjects();
    ASSERT_EQ(posted.size(), static_cast<size_t>(kReplies));
    for (int n = 1; n <= kReplies; ++n) EXPECT_EQ(posted[SubjectOf(n)], 1) << SubjectOf(n);
    // Nothing of the packet stays in the shared work directory, but the
    // packet a killed run kept.
    EXPECT_THAT(FolderNames(site.node.Work()), ElementsAre("kept", "obrix.lock"));
    EXPECT_THAT(FolderNames(site.node.Work("kept")), ::testing::SizeIs(kept ? 1 : 0));
  }
  // The kills hit the posting itself, not only its ends.
  EXPECT_FALSE(interruptedAt.empty());
}

INSTANTIATE_TEST_SUITE_P(, ReliabilityKilledUploadTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
