// The board's batches, and the download's use of them: the caller's
// pointers, read marks and receipts move together or not at all, also when
// the board fails half-way through them.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "base/failure.h"
#include "board/board.h"
#include "download/qwk_download.h"
#include "driver/work_directory.h"
#include "support/forwarding_server.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

constexpr int32_t kConferences = 4;

// A board that fails (as a board whose disk is full does) on the n-th call
// of one operation.
class FailingOnCue : public ForwardingServer {
 public:
  enum class Operation { kSetLastRead, kMarkRead, kAddMessage, kCommit };
  FailingOnCue(Server& inner, Operation operation, int n)
      : ForwardingServer(inner), operation_(operation), left_(n) {}

  bool SetLastRead(int32_t c, int32_t id) override {
    Cue(Operation::kSetLastRead);
    return ForwardingServer::SetLastRead(c, id);
  }
  bool vbMarkMessageRead(MessageRecord& record) override {
    Cue(Operation::kMarkRead);
    return ForwardingServer::vbMarkMessageRead(record);
  }
  bool vbAddMessage(MessageRecord& record, const std::string& text) override {
    Cue(Operation::kAddMessage);
    return ForwardingServer::vbAddMessage(record, text);
  }
  void CommitBatch() override {
    Cue(Operation::kCommit);
    ForwardingServer::CommitBatch();
  }

 private:
  void Cue(Operation operation) {
    if (operation == operation_ && --left_ == 0) {
      throw Failure(kFailureServer, "board database error: database or disk is full");
    }
  }
  Operation operation_;
  int left_;
};

// A node running the download in this process against its own board,
// where the caller has, in every conference, a public message and two
// messages to her that ask for a receipt.
class ReliabilityBatchTest : public BoardTest {
 protected:
  void SetUp() override {
    user_ = board_.UserId(kUser);
    for (int32_t conference = 0; conference < kConferences; ++conference) {
      for (int n = 0; n < 3; ++n) {
        board_.Post({.conference = conference,
                     .to = n == 0 ? "ALL" : kUser,
                     .subject = "Subject " + std::to_string(n),
                     .receipt = n != 0});
      }
    }
  }

  // Runs one download over `server` as the program does.
  bool Download(Server& server) {
    ActivityLog log(dir_ / "obrix.log");
    RunState state;
    state.programDirectory = dir_.path();
    state.UserName = kUser;
    state.UserId = user_;
    RunContext context{server, log, state};
    if (!InitDownload(context)) return false;
    return QwkDownload(context);
  }

  int64_t Pointers() {
    return board_.Number("SELECT count(*) FROM last_read WHERE user_id = ?1", {user_});
  }
  int64_t Read() {
    return board_.Number("SELECT count(*) FROM messages WHERE to_id = ?1 AND received = 1",
                         {user_});
  }
  int64_t Receipts() {
    return board_.Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'");
  }

  TempDir dir_;
  TestBoard board_{{.conferences = kConferences}, backend(), dir_ / "board.db"};
  int32_t user_ = 0;
};

TEST_P(ReliabilityBatchTest, ABoardFailingWhileTheDeliveryMovesLeavesEverythingWhereItWas) {
  using Operation = FailingOnCue::Operation;
  const struct {
    Operation operation;
    int n;
  } cues[] = {{Operation::kSetLastRead, 3},
              {Operation::kMarkRead, 1},
              {Operation::kMarkRead, 5},
              {Operation::kAddMessage, 4},  // the fourth receipt
              {Operation::kCommit, 1}};
  for (const auto& cue : cues) {
    SCOPED_TRACE("failing call " + std::to_string(cue.n) + " of operation " +
                 std::to_string(static_cast<int>(cue.operation)));
    {
      board::Board board;
      board_.LogIn(board, kUser, kUserPassword);
      FailingOnCue failing(board, cue.operation, cue.n);
      EXPECT_FALSE(Download(failing));
    }
    const std::vector<std::string> log = LogMessages(dir_ / "obrix.log");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Updating last read pointers...");
    EXPECT_EQ(log.back(),
              "(QwkDownload) Error # 1000: board database error: database or disk "
              "is full");
    EXPECT_EQ(Pointers(), 0);
    EXPECT_EQ(Read(), 0);
    EXPECT_EQ(Receipts(), 0);
  }

  // The board working again, the next download delivers everything once.
  board::Board board;
  board_.LogIn(board, kUser, kUserPassword);
  EXPECT_TRUE(Download(board));
  EXPECT_EQ(Pointers(), kConferences);
  EXPECT_EQ(Read(), 2 * kConferences);
  EXPECT_EQ(Receipts(), 2 * kConferences);
}

TEST_P(ReliabilityBatchTest, OperationsInsideABatchCommitTogether) {
  board::Board board;
  board_.LogIn(board, kUser, kUserPassword);
  MessageRecord toHer;
  ASSERT_TRUE(board.vbGetMessageById(0, 2, toHer));
  ASSERT_EQ(toHer.to.id, user_);
  MessageRecord toAll;
  ASSERT_TRUE(board.vbGetMessageById(0, 1, toAll));

  board.BeginBatch();
  EXPECT_TRUE(board.SetLastRead(0, 2));
  EXPECT_TRUE(board.vbMarkMessageRead(toHer));
  EXPECT_FALSE(board.vbMarkMessageRead(toAll));  // not hers: refused
  EXPECT_EQ(board.GetLastError(), kServerAccessDenied);
  EXPECT_FALSE(board.SetLastRead(99, 1));  // no such conference
  // Another connection sees nothing of the batch yet.
  EXPECT_EQ(Pointers(), 0);
  EXPECT_EQ(Read(), 0);
  board.CommitBatch();
  EXPECT_EQ(Pointers(), 1);
  EXPECT_EQ(Read(), 1);

  board.BeginBatch();
  EXPECT_TRUE(board.SetLastRead(1, 5));
  board.RollbackBatch();
  board.RollbackBatch();  // none open: nothing happens
  EXPECT_EQ(Pointers(), 1);
  EXPECT_EQ(board.GetLastRead(1), 0);
  // Without a batch every operation commits on its own again.
  EXPECT_TRUE(board.SetLastRead(1, 5));
  EXPECT_EQ(Pointers(), 2);
}

INSTANTIATE_TEST_SUITE_P(, ReliabilityBatchTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
