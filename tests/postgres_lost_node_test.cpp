// A node that goes silent while it holds the board's write lock (its
// machine frozen, its network cut) holds up the other nodes' writes only
// for the board's node-timeout: the server then ends its session, rolls
// its transaction back and frees the lock. The silent node is a download
// stopped (SIGSTOP) inside the batch that moves its caller's pointers;
// when it wakes, its commit is refused, it fails cleanly, and the
// caller's next download brings the same mail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "support/node.h"

namespace obrix::testing {
namespace {

// Enough receipts that the download's write batch lasts long enough to be
// caught in, however fast the reading before it; the caller's limits are
// raised to take them all in one packet.
constexpr int kMessages = 3000;

TEST(PostgresLostNodeTest, AStoppedNodeHoldsTheOthersUpOnlyForTheTimeout) {
  OBRIX_SKIP_WITHOUT(Need::kStopAndContinue);
  Site site({.conferences = 2}, board::Backend::kPostgres);
  board::BoardAdmin& admin = site.board.Admin();
  admin.SetConfig("node-timeout", "2");
  admin.SetVar(kUser, "MaxMsgPerPacket", "4000");
  admin.SetVar(kUser, "MaxMsgPerConf", "4000");
  admin.BeginBulk();
  for (int n = 0; n < kMessages; ++n) {
    site.board.Post({.to = kUser, .subject = "Mail " + std::to_string(n), .receipt = true});
  }
  admin.CommitBulk();
  const auto receipts = [&] {
    return site.board.Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'");
  };

  Process download = site.node.Start();
  ASSERT_TRUE(PollUntil(60, [&] {
    return site.board.Number(
               "SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND granted AND "
               "database = (SELECT oid FROM pg_database WHERE datname = current_database())") > 0;
  }));
  download.Stop();

  // Another node's write waits for the lock no longer than the timeout
  // (without it, it would fail after its own lock timeout of 10 s).
  const auto start = std::chrono::steady_clock::now();
  site.board.Post({.subject = "Meanwhile"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));

  download.Continue();
  EXPECT_EQ(download.Wait(60), 1);
  EXPECT_THAT(site.node.LastRun(), ::testing::Contains("Download failed."));
  EXPECT_EQ(receipts(), 0);
  EXPECT_EQ(site.board.Number("SELECT count(*) FROM last_read WHERE message_id > 0"), 0);

  ASSERT_EQ(site.node.Run().status, 0);
  EXPECT_EQ(Subjects(site.node.Packet()).size(), static_cast<size_t>(kMessages + 1));
  EXPECT_EQ(receipts(), kMessages);
}

}  // namespace
}  // namespace obrix::testing
