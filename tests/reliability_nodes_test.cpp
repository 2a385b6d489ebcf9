// Several nodes at once: eight copies of the program, each in its own
// folder, serve eight callers against one board, downloads and uploads
// mixed, round after round. Every packet holds only its caller's mail,
// every message reaches each caller who may see it exactly once, every
// reply is posted once, and no run fails for a locked database. On a
// PostgreSQL board the nodes may be machines of their own: they reach it
// over TCP, for ten rounds, while the sysop copies the board to a file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "support/node.h"
#include "support/postgres_server.h"

namespace obrix::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kNodes = 8;
constexpr int kRepliesPerUpload = 30;
constexpr int32_t kConferences = 6;

std::string UserName(int node) { return "NODE USER " + std::to_string(node); }
std::string Password(int node) { return "pw" + std::to_string(node); }

// The board: the eight callers, and in every conference public messages
// and private messages between neighbours; and a node for each caller,
// reaching the board by `reach` (its name as the nodes give it).
class NodesScenario {
 public:
  NodesScenario(board::Backend backend, const std::function<std::string(const std::string&)>& reach)
      : board_({.conferences = kConferences}, backend, dir_ / "board.db") {
    for (int node = 0; node < kNodes; ++node) {
      board_.AddUser({.name = UserName(node), .password = Password(node)});
      board_.Admin().SetVar(UserName(node), "MaxMsgPerPacket", "5000");
      nodes_.emplace_back(reach(board_.name()), dir_ / ("node" + std::to_string(node)));
    }
    for (int32_t conference = 0; conference < kConferences; ++conference) {
      const std::string where = std::to_string(conference) + "/";
      for (int n = 0; n < 4; ++n) {
        board_.Post({.conference = conference,
                     .from = UserName(n),
                     .subject = "Seed public " + where + std::to_string(n)});
      }
      for (int node = 0; node < kNodes; ++node) {
        board_.Post({.conference = conference,
                     .from = UserName(node),
                     .to = UserName((node + 1) % kNodes),
                     .subject = "Seed private " + where + std::to_string(node),
                     .isPrivate = true});
      }
    }
  }

  // The replies node `node` uploads in round `round`, each with a subject
  // of its own.
  void WriteRep(int node, int round) {
    std::vector<TestReply> replies;
    for (int k = 0; k < kRepliesPerUpload; ++k) {
      TestReply reply;
      reply.number = std::to_string(k % kConferences);
      reply.to = k % 2 == 0 ? "ALL" : UserName((node + k) % kNodes);
      reply.subject =
          "N" + std::to_string(node) + " R" + std::to_string(round) + " K" + std::to_string(k);
      reply.text = "Reply " + reply.subject + "\n";
      replies.push_back(reply);
      uploaded_.insert(reply.subject);
    }
    nodes_[node].WriteRep(replies);
  }

  // Takes the packet a download left (the caller receives it).
  void CollectPacket(int node) {
    const std::string path = nodes_[node].Work("OBRIX.qwk");
    if (!Exists(path)) return;
    const QwkPacket packet = ReadQwkPacket(path);
    ASSERT_GE(packet.control.size(), 7u);
    EXPECT_EQ(packet.control[6], UserName(node));
    for (const PacketMessage& message : packet.messages) {
      received_[node].push_back(message);
    }
    std::filesystem::remove(path);
  }

  // Runs every node at once, each with its operation, and `during` while
  // they run, and checks that all of them succeeded.
  void RunRound(const std::vector<const char*>& operations, const std::function<void()>& during) {
    std::vector<Process> runs;
    runs.reserve(kNodes);
    for (int node = 0; node < kNodes; ++node) {
      runs.push_back(nodes_[node].Start(
          {.operation = operations[node], .user = UserName(node), .password = Password(node)}));
    }
    if (during) during();
    for (int node = 0; node < kNodes; ++node) Check(node, operations[node], runs[node]);
  }

  void Check(int node, const std::string& operation, Process& run) {
    SCOPED_TRACE("node " + std::to_string(node) + " " + operation);
    EXPECT_EQ(run.Wait(120), 0);
    EXPECT_EQ(run.Output(), "");
    EXPECT_THAT(nodes_[node].Log(), Not(Contains(HasSubstr("Error #"))));
    if (operation == kDownload) CollectPacket(node);
    if (operation == kUpload) {
      EXPECT_FALSE(Exists(nodes_[node].Work("obrix.rep")));
    }
  }

  // `rounds` rounds of mixed downloads and uploads, with `during` run
  // beside the round `duringRound`; then a last round of downloads takes
  // whatever is still new.
  void Run(int rounds, int duringRound = -1, const std::function<void()>& during = {}) {
    for (int round = 0; round < rounds; ++round) {
      std::vector<const char*> operations;
      for (int node = 0; node < kNodes; ++node) {
        const bool uploads = (node + round) % 2 == 1;
        if (uploads) WriteRep(node, round);
        operations.push_back(uploads ? kUpload : kDownload);
      }
      RunRound(operations, round == duringRound ? during : std::function<void()>());
    }
    RunRound(std::vector<const char*>(kNodes, kDownload), {});
  }

  // Every reply once, numbered without gaps, and every caller's packets
  // holding exactly the mail he may see, each message once.
  void Verify() {
    const std::vector<board::MessageSummary> messages = board_.Messages();
    std::map<std::string, int> posted;
    for (const board::MessageSummary& message : messages) ++posted[message.subject];
    for (const std::string& subject : uploaded_) EXPECT_EQ(posted[subject], 1) << subject;
    EXPECT_EQ(messages.size(), kConferences * (4u + kNodes) + uploaded_.size());
    ExpectGaplessNumbers(board_.Admin().database());
    for (int node = 0; node < kNodes; ++node) VerifyPackets(node, messages);
  }

  // Each conference's messages numbered 1, 2, 3, ... in id order.
  static void ExpectGaplessNumbers(board::Database& db) {
    auto rows = db.Prepare("SELECT conference, number FROM messages ORDER BY conference, id");
    std::map<int64_t, int64_t> last;
    while (rows->Step()) {
      EXPECT_EQ(rows->Int(1), ++last[rows->Int(0)]) << "conference " << rows->Int(0);
    }
  }

  const TempDir& dir() const { return dir_; }
  TestBoard& board() { return board_; }

 private:
  void VerifyPackets(int node, const std::vector<board::MessageSummary>& messages) {
    SCOPED_TRACE(UserName(node));
    // What the caller may see: public messages and his own private mail.
    std::set<std::string> visible;
    for (const board::MessageSummary& message : messages) {
      if (!message.isPrivate || message.from == UserName(node) || message.to == UserName(node)) {
        visible.insert(message.subject);
      }
    }
    std::set<std::string> got;
    for (const PacketMessage& message : received_[node]) {
      EXPECT_TRUE(visible.count(message.subject)) << "not his mail: " << message.subject;
      EXPECT_TRUE(got.insert(message.subject).second) << "twice: " << message.subject;
    }
    EXPECT_EQ(got, visible);
  }

  TempDir dir_;
  TestBoard board_;
  std::deque<Node> nodes_;
  std::set<std::string> uploaded_;
  std::map<int, std::vector<PacketMessage>> received_;
};

using ReliabilityNodesTest = BoardTest;

TEST_P(ReliabilityNodesTest, EightNodesShareOneBoard) {
  NodesScenario scenario(backend(), [](const std::string& name) { return name; });
  scenario.Run(3);
  scenario.Verify();
}

INSTANTIATE_TEST_SUITE_P(, ReliabilityNodesTest, kBothBackends, BackendName);

// Eight machines on one PostgreSQL board over TCP, ten rounds, and a copy
// of the board to a file taken while the fifth round runs: the copy is the
// board as it stood at one moment (with one writer at a time, the messages
// up to one id, none missing below it), numbered without gaps.
TEST(ReliabilityMachinesTest, EightNodesOverTcpWhileTheBoardIsCopied) {
  NodesScenario scenario(board::Backend::kPostgres, PostgresOverTcp);
  const std::string copy = scenario.dir() / "copy.db";
  ProcessResult copied;
  scenario.Run(10, 4, [&] {
    copied = RunProgram(
        {BoardBinary(), "copy", "--from", PostgresOverTcp(scenario.board().name()), "--to", copy},
        scenario.dir().path());
  });
  EXPECT_EQ(copied.status, 0) << copied.output;
  scenario.Verify();

  board::BoardAdmin copyAdmin = board::BoardAdmin::Open(copy);
  NodesScenario::ExpectGaplessNumbers(copyAdmin.database());
  std::vector<int64_t> inCopy;
  for (const board::MessageSummary& message : copyAdmin.ListMessages(std::nullopt, std::nullopt)) {
    inCopy.push_back(message.id);
  }
  ASSERT_FALSE(inCopy.empty());
  std::vector<int64_t> upToThere;
  for (const board::MessageSummary& message : scenario.board().Messages()) {
    if (message.id <= inCopy.back()) upToThere.push_back(message.id);
  }
  EXPECT_EQ(inCopy, upToThere);
  EXPECT_GT(scenario.board().Messages().size(), inCopy.size());  // the rounds after it
}

}  // namespace
}  // namespace obrix::testing
