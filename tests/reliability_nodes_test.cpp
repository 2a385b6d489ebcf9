// Several nodes at once: eight copies of the program, each in its own
// folder, serve eight callers against one board, downloads and uploads
// mixed, round after round. Every packet holds only its caller's mail,
// every message reaches each caller who may see it exactly once, every
// reply is posted once, and no run fails for a locked database.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "support/qwk_packet_reader.h"
#include "support/reliability_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

constexpr int kNodes = 8;
constexpr int kRounds = 3;
constexpr int kRepliesPerUpload = 30;
constexpr int32_t kConferences = 6;

std::string UserName(int node) { return "NODE USER " + std::to_string(node); }
std::string Password(int node) { return "pw" + std::to_string(node); }

// The board: the eight callers, and in every conference public messages
// and private messages between neighbours.
std::string MakeBoard(const std::string& dir) {
  static TempDir templates;
  static const std::string model = [] {
    const std::string path = templates / "nodes.db";
    board::BoardAdmin::Create(path, board::BoardConfig{}, "");
    board::BoardAdmin admin = board::BoardAdmin::Open(path);
    for (int node = 0; node < kNodes; ++node) {
      admin.AddUser(UserName(node), Password(node), "Caller");
      admin.SetVar(UserName(node), "MaxMsgPerPacket", "5000");
    }
    admin.BeginBulk();
    for (int32_t conference = 0; conference < kConferences; ++conference) {
      admin.AddConference(conference, "Conference " + std::to_string(conference), 3, {});
      for (int n = 0; n < 4; ++n) {
        board::PostRequest post;
        post.conference = conference;
        post.from = UserName(n);
        post.to = "ALL";
        post.subject = "Seed public " + std::to_string(conference) + "/" + std::to_string(n);
        post.text = "For everybody.";
        admin.Post(post);
      }
      for (int node = 0; node < kNodes; ++node) {
        board::PostRequest post;
        post.conference = conference;
        post.from = UserName(node);
        post.to = UserName((node + 1) % kNodes);
        post.isPrivate = true;
        post.subject = "Seed private " + std::to_string(conference) + "/" + std::to_string(node);
        post.text = "Only for the two of us.";
        admin.Post(post);
      }
    }
    admin.CommitBulk();
    return path;
  }();
  const std::string path = dir + "/board.db";
  std::filesystem::copy_file(model, path);
  return path;
}

struct Node {
  explicit Node(const std::string& folder) : dir(folder) {
    std::filesystem::create_directory(dir);
    obrix = InstallObrix(dir);
    qwk = dir + "/Qwk";
    std::filesystem::create_directory(qwk);
  }
  std::string dir;
  std::string obrix;
  std::string qwk;
};

class ReliabilityNodesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board_ = MakeBoard(dir_.path());
    for (int node = 0; node < kNodes; ++node) {
      nodes_.emplace_back(dir_ / ("node" + std::to_string(node)));
    }
  }

  std::unique_ptr<BackgroundRun> Start(int node, const char* operation) {
    BackgroundRun::Options options;
    options.environment = {{"OBRIX_BOARD", board_}};
    options.outputPath = nodes_[node].dir + "/output.txt";
    return std::make_unique<BackgroundRun>(
        std::vector<std::string>{nodes_[node].obrix, "/U", UserName(node), "/P", Password(node),
                                 operation},
        nodes_[node].dir, options);
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
    ZipMembers(nodes_[node].qwk + "/obrix.rep", {{"OBRIX.MSG", ReplyFile("OBRIX", replies)}});
  }

  // Takes the packet a download left (the caller receives it).
  void CollectPacket(int node) {
    const std::string path = nodes_[node].qwk + "/OBRIX.qwk";
    if (!Exists(path)) return;
    const QwkPacket packet = ReadQwkPacket(path);
    ASSERT_GE(packet.control.size(), 7u);
    EXPECT_EQ(packet.control[6], UserName(node));
    for (const PacketMessage& message : packet.messages) {
      received_[node].push_back(message);
    }
    std::filesystem::remove(path);
  }

  // Runs every node at once, each with its operation, and checks that all
  // of them succeeded.
  void RunRound(const std::vector<const char*>& operations) {
    std::vector<std::unique_ptr<BackgroundRun>> runs;
    for (int node = 0; node < kNodes; ++node) runs.push_back(Start(node, operations[node]));
    for (int node = 0; node < kNodes; ++node) {
      EXPECT_EQ(runs[node]->Wait(120), 0) << "node " << node << " " << operations[node];
    }
    for (int node = 0; node < kNodes; ++node) {
      EXPECT_EQ(ReadFile(nodes_[node].dir + "/output.txt"), "") << "node " << node;
      const std::string log = ReadFile(nodes_[node].dir + "/obrix.log");
      EXPECT_EQ(log.find("Error #"), std::string::npos) << "node " << node << ":\n" << log;
      if (std::string(operations[node]) == "/DOWNLOAD") CollectPacket(node);
      if (std::string(operations[node]) == "/UPLOAD") {
        EXPECT_FALSE(Exists(nodes_[node].qwk + "/obrix.rep")) << "node " << node;
      }
    }
  }

  TempDir dir_;
  std::string board_;
  std::vector<Node> nodes_;
  std::set<std::string> uploaded_;
  std::map<int, std::vector<PacketMessage>> received_;
};

TEST_F(ReliabilityNodesTest, EightNodesShareOneBoard) {
  for (int round = 0; round < kRounds; ++round) {
    std::vector<const char*> operations;
    for (int node = 0; node < kNodes; ++node) {
      const bool uploads = (node + round) % 2 == 1;
      if (uploads) WriteRep(node, round);
      operations.push_back(uploads ? "/UPLOAD" : "/DOWNLOAD");
    }
    RunRound(operations);
  }
  // A last round of downloads takes whatever is still new.
  RunRound(std::vector<const char*>(kNodes, "/DOWNLOAD"));

  const std::vector<board::MessageSummary> messages = BoardMessages(board_);
  // Every reply once.
  std::map<std::string, int> posted;
  for (const board::MessageSummary& message : messages) ++posted[message.subject];
  for (const std::string& subject : uploaded_) EXPECT_EQ(posted[subject], 1) << subject;
  EXPECT_EQ(messages.size(), kConferences * (4u + kNodes) + uploaded_.size());

  for (int node = 0; node < kNodes; ++node) {
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
}

}  // namespace
}  // namespace obrix::testing
