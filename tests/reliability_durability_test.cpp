// What is on the disk when it has to be: a reply's commit is synced before
// the REP that carried it goes, the packet before the pointers move past
// its mail, the pointers before the download reports success. The order
// is watched through an SQLite VFS that sees every WAL write and sync, and
// through the run's own disk syncs; nothing is timed. And a packet that
// was built but never handed over loses no mail: the next download offers
// it again, and the sysop can undo a finished one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "base/failure.h"
#include "board/board.h"
#include "download/qwk_download.h"
#include "support/forwarding_server.h"
#include "support/qwk_packet_reader.h"
#include "support/reliability_support.h"
#include "support/sync_watch_vfs.h"
#include "support/upload_test_support.h"
#include "tools/tool_commands.h"
#include "upload/qwk_upload.h"

namespace obrix::testing {
namespace {

using ::testing::HasSubstr;

constexpr const char* kReader = "CAROL READER";
constexpr int32_t kConferences = 3;

// A board where CAROL has, in every conference, a public message and two
// messages to her that ask for a receipt.
std::string MakeBoard(const std::string& dir) {
  static TempDir templates;
  static const std::string model = [] {
    const std::string path = templates / "durability.db";
    board::BoardAdmin::Create(path, board::BoardConfig{}, "");
    board::BoardAdmin admin = board::BoardAdmin::Open(path);
    admin.SetHashCost(board::HashCost::kMinimum);
    admin.AddUser(kReader, "pw", "Caller");
    admin.AddUser("DAN POSTER", "pw2", "Writer");
    for (int32_t conference = 0; conference < kConferences; ++conference) {
      admin.AddConference(conference, "Conference " + std::to_string(conference), 3, {});
      for (int n = 0; n < 3; ++n) {
        board::PostRequest post;
        post.conference = conference;
        post.from = "DAN POSTER";
        post.to = n == 0 ? "ALL" : kReader;
        post.receipt = n != 0;
        post.subject = "C" + std::to_string(conference) + " M" + std::to_string(n);
        post.text = "Text " + std::to_string(conference) + "/" + std::to_string(n);
        admin.Post(post);
      }
    }
    return path;
  }();
  const std::string path = dir + "/board.db";
  std::filesystem::copy_file(model, path);
  return path;
}

// The run's archivers and disk syncs, each telling the story as it goes.
class StoryRunner final : public ProcessRunner {
 public:
  explicit StoryRunner(std::vector<std::string>& story) : story_(story) {}
  int Run(const std::vector<std::string>& words, const ProcessOptions& options) override {
    const int status = SystemProcessRunner().Run(words, options);
    story_.push_back(words.at(0) + " " + words.at(1));
    return status;
  }

 private:
  std::vector<std::string>& story_;
};

class StoryDiskSync final : public DiskSync {
 public:
  explicit StoryDiskSync(std::vector<std::string>& story) : story_(story) {}
  bool SyncFile(const std::string& path) override {
    story_.push_back("sync " + std::filesystem::path(path).filename().string());
    return SystemDiskSync().SyncFile(path);
  }
  bool SyncFolder(const std::string& path) override {
    story_.push_back("sync folder");
    return SystemDiskSync().SyncFolder(path);
  }

 private:
  std::vector<std::string>& story_;
};

// The run's board, telling the story of the pointers' commit.
class StoryServer final : public ForwardingServer {
 public:
  StoryServer(Server& inner, std::vector<std::string>& story)
      : ForwardingServer(inner), story_(story) {}
  void CommitBatch() override {
    inner_.CommitBatch();
    story_.push_back("commit");
  }

 private:
  std::vector<std::string>& story_;
};

// The board dies (as a killed process does) when the delivery is to be
// marked as handed over: after the pointers' commit, before the run ends.
class DiesBeforeTheEnd final : public ForwardingServer {
 public:
  struct Killed {};
  using ForwardingServer::ForwardingServer;
  void FinishDelivery() override { throw Killed{}; }
};

// The board fails (as one whose disk is failing does) when the second
// message's text is read: in the middle of the scan.
class FailsMidScan final : public ForwardingServer {
 public:
  using ForwardingServer::ForwardingServer;
  std::string vbGetText(const std::string& path) override {
    if (++reads_ == 2) throw Failure(kFailureServer, "board database error: disk I/O error");
    return ForwardingServer::vbGetText(path);
  }

 private:
  int reads_ = 0;
};

class ReliabilityDurabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    boardPath_ = MakeBoard(dir_.path());
    probe_.emplace(boardPath_);
    carol_ = board::BoardAdmin::Open(boardPath_).UserId(kReader);
    std::filesystem::create_directory(qwk_);
  }

  void LogIn(board::Board& board) {
    ASSERT_TRUE(board.vbWildcatServerConnect(boardPath_.c_str()));
    ASSERT_TRUE(board.WildcatServerCreateContext());
    UserRecord user;
    ASSERT_TRUE(board.vbLoginUserEx(carol_, "PW", 1, "Obrix", user));
  }

  RunContext Context(Server& server) {
    state_.QwkPath = qwk_ + "/";
    state_.UserName = kReader;
    state_.UserId = carol_;
    return RunContext{server, log_, state_, SystemClock(), runner_, disk_};
  }

  int64_t Count(const std::string& sql) { return probe_->Number(sql, {carol_}); }
  int64_t Pointers() { return Count("SELECT count(*) FROM last_read WHERE user_id = ?1"); }
  int64_t Read() {
    return Count("SELECT count(*) FROM messages WHERE to_id = ?1 AND received = 1");
  }
  int64_t Receipts() {
    return probe_->Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'");
  }
  size_t PacketMessages() { return ReadQwkPacket(qwk_ + "/OBRIX.qwk").messages.size(); }

  TempDir dir_;
  std::string boardPath_;
  std::string qwk_ = dir_ / "Qwk";
  std::optional<BoardProbe> probe_;
  int32_t carol_ = 0;
  std::vector<std::string> story_;
  StoryRunner runner_{story_};
  StoryDiskSync disk_{story_};
  ActivityLog log_{dir_ / "obrix.log"};
  RunState state_;
};

// The index of the first line of `story` from `from` on that is `line`;
// the story's size when there is none.
size_t Find(const std::vector<std::string>& story, const std::string& line, size_t from = 0) {
  return static_cast<size_t>(
      std::find(story.begin() + static_cast<ptrdiff_t>(from), story.end(), line) - story.begin());
}

TEST_F(ReliabilityDurabilityTest, ThePacketIsSyncedBeforeThePointersAndThePointersBeforeSuccess) {
  {
    SyncWatchVfs watch([&](SyncWatchVfs::Event event) {
      story_.push_back(event == SyncWatchVfs::Event::kWalWrite ? "wal write" : "wal sync");
    });
    board::Board board;
    LogIn(board);
    StoryServer server(board, story_);
    RunContext context = Context(server);
    ASSERT_TRUE(QwkDownload(context));
    story_.push_back("success");
  }
  const size_t zipped = Find(story_, "zip -m");
  ASSERT_LT(zipped, story_.size());
  const size_t firstWrite = Find(story_, "wal write", zipped);
  EXPECT_LT(Find(story_, "sync OBRIX.qwk", zipped), firstWrite);
  EXPECT_LT(Find(story_, "sync folder", zipped), firstWrite);
  // The pointers' commit is synced before the run reports success.
  const size_t committed = Find(story_, "commit", zipped);
  EXPECT_LT(firstWrite, committed);
  EXPECT_LT(Find(story_, "wal sync", committed), Find(story_, "success"));
  EXPECT_EQ(Pointers(), kConferences);
}

TEST_F(ReliabilityDurabilityTest, EveryReplyIsOnTheDiskBeforeItsPacketGoes) {
  std::vector<TestReply> replies(3);
  for (size_t i = 0; i < replies.size(); ++i) replies[i].text = "reply " + std::to_string(i);
  const std::string archive = qwk_ + "/obrix.rep";
  ZipMembers(archive, {{"OBRIX.MSG", ReplyFile("OBRIX", replies)}});
  // The packet is somewhere (its pickup name, or kept while it is read)
  // until the upload removes it.
  auto packetThere = [&] { return Exists(archive) || !FolderNames(qwk_ + "/kept").empty(); };
  bool unsynced = false;  // a WAL write made while the packet was there, not yet synced
  int writes = 0;
  {
    SyncWatchVfs watch([&](SyncWatchVfs::Event event) {
      if (!packetThere()) return;
      if (event == SyncWatchVfs::Event::kWalWrite) ++writes;
      unsynced = event == SyncWatchVfs::Event::kWalWrite;
    });
    board::Board board;
    LogIn(board);
    RunContext context = Context(board);
    ASSERT_TRUE(QwkUpload(context));
    EXPECT_FALSE(packetThere());
  }
  EXPECT_GT(writes, 0);
  EXPECT_FALSE(unsynced);
  EXPECT_EQ(Count("SELECT count(*) FROM messages WHERE from_id = ?1"), 3);
}

TEST_F(ReliabilityDurabilityTest, AFailedDownloadLeavesNoPartOfItsPacket) {
  board::Board board;
  LogIn(board);
  FailsMidScan failing(board);
  RunContext context = Context(failing);
  EXPECT_FALSE(QwkDownload(context));
  EXPECT_THAT(ReadFile(log_.path()), HasSubstr("disk I/O error"));
  EXPECT_TRUE(FolderNames(qwk_).empty());
  EXPECT_EQ(Pointers(), 0);
}

TEST_F(ReliabilityDurabilityTest, ADownloadThatDiesAfterItsCommitIsOfferedAgain) {
  {
    board::Board board;
    LogIn(board);
    DiesBeforeTheEnd dying(board);
    RunContext context = Context(dying);
    EXPECT_THROW(QwkDownload(context), DiesBeforeTheEnd::Killed);
  }
  // Everything moved, but the packet was never handed over.
  EXPECT_EQ(Pointers(), kConferences);
  EXPECT_EQ(Read(), 2 * kConferences);
  EXPECT_EQ(Receipts(), 2 * kConferences);

  board::Board board;
  LogIn(board);
  RunContext context = Context(board);
  ASSERT_TRUE(QwkDownload(context));
  EXPECT_THAT(ReadFile(log_.path()),
              HasSubstr("The run of the last packet did not end: its mail is offered again."));
  EXPECT_EQ(PacketMessages(), static_cast<size_t>(3 * kConferences));
  EXPECT_EQ(Read(), 2 * kConferences);
  EXPECT_EQ(Receipts(), 2 * kConferences);  // the first run's went with it

  // A download that ended well, whose packet the BBS sent and removed, is
  // not offered again by itself...
  ASSERT_TRUE(std::filesystem::remove(qwk_ + "/OBRIX.qwk"));
  ASSERT_TRUE(QwkDownload(context));
  EXPECT_FALSE(Exists(qwk_ + "/OBRIX.qwk"));

  // ...but the sysop can undo it for a caller who never got the packet.
  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "lastread", "undo", "carol reader"}), 0);
  EXPECT_EQ(Read(), 0);
  EXPECT_EQ(Receipts(), 0);
  EXPECT_EQ(Count("SELECT count(*) FROM last_read WHERE user_id = ?1 AND message_id > 0"), 0);
  EXPECT_EQ(tool::RunBoardTool({"--board", boardPath_, "lastread", "undo", kReader}), 1);
  ASSERT_TRUE(QwkDownload(context));
  EXPECT_EQ(PacketMessages(), static_cast<size_t>(3 * kConferences));
}

}  // namespace
}  // namespace obrix::testing
