// The crash test: the door killed at each write, sync, rename and unlink it
// makes, one point per run, for every point of a download and of an upload
// on a small board of either kind. After each kill the caller simply runs
// again, as a caller would. Whatever the point, the mail of a killed
// download comes in the next packet, no packet holds another caller's
// mail, every reply is on the board exactly once, and no run reports
// success with anything lost.
//
// The kills come from strace's fault injection: the door is traced alone
// (not the archivers it runs), and the n-th call of one kind is answered
// with SIGKILL before it is made.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::UnorderedElementsAreArray;

// The calls a kill lands on: every way the door writes, syncs, renames or
// removes a file. Its statements to a database server are left out: the
// server commits a statement it was sent or not, whatever becomes of the
// door, and the door's own files bracket each commit with kill points.
constexpr const char* kKillCalls[] = {"write",     "pwrite64", "writev",   "fsync",
                                      "fdatasync", "rename",   "renameat", "renameat2",
                                      "unlink",    "unlinkat", "ftruncate"};

constexpr const char* kThird = "CAROL THIRD";

// The caller has public mail and mail of her own in two conferences; a
// third user has private mail there that must never travel to her.
TestBoard& Model(board::Backend backend) {
  static std::map<board::Backend, TestBoard> boards;
  auto [it, added] = boards.try_emplace(backend,
                                        BoardSetup{.users = {{kUser, kUserPassword, "Caller"},
                                                             {kOther, kOtherPassword, "Writer"},
                                                             {kThird, "third-pw", "Reader"}},
                                                   .conferences = 3},
                                        backend);
  TestBoard& model = it->second;
  if (added) {
    model.Post({.conference = 1, .subject = "Public one"});
    model.Post(
        {.conference = 1, .to = kUser, .subject = "For Alice", .isPrivate = true, .receipt = true});
    model.Post({.conference = 1, .to = kThird, .subject = "For Carol", .isPrivate = true});
    model.Post({.conference = 2, .subject = "Public two"});
    model.Post({.conference = 2, .to = kUser, .subject = "Alice too", .receipt = true});
    model.Close();
  }
  return model;
}

const std::vector<std::string> kAlicesMail = {"Public one", "For Alice", "Public two", "Alice too"};
constexpr int64_t kReceipts = 2;

// What the caller's reader writes: two replies and a control message.
const std::vector<TestReply> kReplies = {
    {.number = "1", .to = "ALL", .from = kUser, .subject = "Reply one", .text = "First\n"},
    {.number = "2", .to = kOther, .from = kUser, .subject = "Reply two", .text = "Second\n"},
    {.number = "2", .to = "RIZIVI", .from = kUser, .subject = "ADD", .text = "\n"},
};

// strace's words for tracing the door's calls of `calls`, into `output`.
std::vector<std::string> Tracer(const std::string& calls, const std::string& output) {
  return {"strace", "-qq", "-o", output, "-e", "trace=" + calls};
}

std::string AllKillCalls() {
  std::string joined;
  for (const char* call : kKillCalls) joined += (joined.empty() ? "" : ",") + std::string(call);
  return joined;
}

// The door killed at the `nth` call of kind `call`.
std::vector<std::string> KilledAt(const std::string& call, int nth) {
  std::vector<std::string> words = Tracer(call, "/dev/null");
  words.insert(words.end(), {"-e", "inject=" + call + ":signal=KILL:when=" + std::to_string(nth)});
  return words;
}

// The environment of a traced run. LeakSanitizer stops the program with
// ptrace to look for leaks at its end, which a program already traced
// cannot do: a sanitized build keeps its other checks.
std::map<std::string, std::string> TracedEnvironment() {
  const char* options = std::getenv("ASAN_OPTIONS");
  return {{"ASAN_OPTIONS", std::string(options ? options : "") + ":detect_leaks=0"}};
}

struct KillPoint {
  std::string call;
  int nth = 0;
};

// Every kill point of one run: the calls of each kind that a traced run
// of `operation` on a fresh copy of the board makes.
template <typename Prepare>
std::vector<KillPoint> KillPoints(board::Backend backend, const std::string& operation,
                                  Prepare prepare) {
  Site site(Model(backend));
  prepare(site);
  const std::string trace = site.dir / "calls.txt";
  const ProcessResult traced = site.node.Run({.operation = operation,
                                              .environment = TracedEnvironment(),
                                              .wrapper = Tracer(AllKillCalls(), trace)});
  EXPECT_EQ(traced.status, 0) << traced.output;
  std::map<std::string, int> counts;
  std::istringstream lines(ReadFile(trace));
  for (std::string line; std::getline(lines, line);) {
    const size_t paren = line.find('(');
    if (paren != std::string::npos) ++counts[line.substr(0, paren)];
  }
  std::vector<KillPoint> points;
  for (const auto& [call, count] : counts) {
    for (int nth = 1; nth <= count; ++nth) points.push_back({call, nth});
  }
  return points;
}

class ReliabilityCrashTest : public BoardTest {
 protected:
  static void Report(const std::string& what, size_t points, int killed) {
    std::cout << "crash test: " << what << " on " << BackendName({GetParam(), 0}) << ": " << points
              << " kill points, " << killed << " runs killed\n";
  }
};

TEST_P(ReliabilityCrashTest, AKilledDownloadLosesNoMailAndLeaksNone) {
  OBRIX_SKIP_WITHOUT(Need::kStrace);
  const std::vector<KillPoint> points = KillPoints(backend(), kDownload, [](Site&) {});
  ASSERT_GT(points.size(), 20u);
  int killed = 0;
  for (const KillPoint& point : points) {
    SCOPED_TRACE("killed at " + point.call + " #" + std::to_string(point.nth));
    Site site(Model(backend()));
    const ProcessResult first = site.node.Run(
        {.environment = TracedEnvironment(), .wrapper = KilledAt(point.call, point.nth)});
    if (first.status == -1) {
      ++killed;
      site.board.AwaitOtherSessionsGone();
    } else {
      // The call came no more: the run went to its end.
      EXPECT_EQ(first.status, 0);
    }

    // The caller calls again and gets all his mail, and only his.
    const ProcessResult again = site.node.Run();
    ASSERT_EQ(again.status, 0) << again.output;
    ASSERT_TRUE(Exists(site.node.Work("OBRIX.qwk"))) << "the killed run's mail is lost";
    EXPECT_THAT(Subjects(site.node.Packet()), UnorderedElementsAreArray(kAlicesMail));
    EXPECT_EQ(site.board.Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'"),
              kReceipts);

    // The BBS sends the packet and removes it: the mail is not offered
    // a third time.
    std::filesystem::remove(site.node.Work("OBRIX.qwk"));
    const ProcessResult after = site.node.Run();
    ASSERT_EQ(after.status, 0) << after.output;
    EXPECT_FALSE(Exists(site.node.Work("OBRIX.qwk")));
    EXPECT_EQ(site.board.Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'"),
              kReceipts);
  }
  EXPECT_GT(killed, 0);
  Report("download", points.size(), killed);
}

TEST_P(ReliabilityCrashTest, AKilledUploadPostsEveryReplyOnce) {
  OBRIX_SKIP_WITHOUT(Need::kStrace);
  const auto sendRep = [](Site& site) { site.node.WriteRep(kReplies); };
  const std::vector<KillPoint> points = KillPoints(backend(), kUpload, sendRep);
  ASSERT_GT(points.size(), 10u);
  int killed = 0;
  for (const KillPoint& point : points) {
    SCOPED_TRACE("killed at " + point.call + " #" + std::to_string(point.nth));
    Site site(Model(backend()));
    sendRep(site);
    const ProcessResult first = site.node.Run({.operation = kUpload,
                                               .environment = TracedEnvironment(),
                                               .wrapper = KilledAt(point.call, point.nth)});
    if (first.status == -1) {
      ++killed;
      site.board.AwaitOtherSessionsGone();
      // The caller's reader still has the REP: he sends it again.
      sendRep(site);
      const ProcessResult again = site.node.Run({.operation = kUpload});
      EXPECT_EQ(again.status, 0) << again.output;
    } else {
      EXPECT_EQ(first.status, 0);
    }
    const int64_t alice = site.board.UserId(kUser);
    for (const char* subject : {"Reply one", "Reply two"}) {
      EXPECT_EQ(site.board.Number("SELECT count(*) FROM messages WHERE from_id = ?1 AND "
                                  "subject = '" +
                                      std::string(subject) + "'",
                                  {alice}),
                1)
          << subject;
    }
    EXPECT_FALSE(Exists(site.node.Work("obrix.rep")));
  }
  EXPECT_GT(killed, 0);
  Report("upload", points.size(), killed);
}

INSTANTIATE_TEST_SUITE_P(, ReliabilityCrashTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
