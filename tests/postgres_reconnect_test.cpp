// A connection to a PostgreSQL board that is lost (the server ends the
// session, as it does on a restart or when told to) is made again once per
// run. A read outside any transaction runs again; a read-only snapshot is
// gone and the download's scan runs again from its start in a new one; a
// write transaction fails as before, with nothing of it kept. The sessions
// are ended from another connection, or by a trigger inside a write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "board/board.h"
#include "board/database.h"
#include "download/qwk_download.h"
#include "driver/work_directory.h"
#include "support/forwarding_server.h"
#include "support/postgres_server.h"
#include "support/qwk_packet_reader.h"
#include "support/test_board.h"
#include "support/upload_test_support.h"
#include "upload/qwk_upload.h"

namespace obrix::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kNote = "Lost the connection to the board";

// Ends every session on the board's database but `own`'s.
void EndOtherSessions(PostgresConnection& own) {
  own.Execute(
      "SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
      "WHERE datname = current_database() AND pid <> pg_backend_pid()");
}

int32_t FailureNumber(const std::function<void()>& step) {
  try {
    step();
  } catch (const Failure& failure) {
    return failure.number();
  }
  return 0;
}

class PostgresReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OBRIX_SKIP_WITHOUT(Need::kPostgresServer);
    board_.emplace(BoardSetup{.conferences = 3}, board::Backend::kPostgres);
    for (int32_t conference = 0; conference < 3; ++conference) {
      for (int n = 0; n < 4; ++n) {
        board_->Post({.conference = conference,
                      .to = n % 2 == 0 ? "ALL" : kUser,
                      .subject = "Mail " + std::to_string(conference) + "." + std::to_string(n),
                      .receipt = n == 1});
      }
    }
    board_->Close();
  }

  std::optional<TestBoard> board_;
};

TEST_F(PostgresReconnectTest, EachKindOfStepMeetsALostConnectionAsItMay) {
  PostgresConnection other(board_->name());
  // The count of a conference's messages; a snapshot keeps the answer to
  // the same question, so each read asks about another conference.
  int32_t conference = 0;
  const auto count = [&](board::Database& db) {
    auto row = db.Prepare("SELECT count(*) FROM messages WHERE conference = ?1");
    row->Bind(1, conference++ % 3);
    return row->Step() ? row->Int(0) : -1;
  };
  std::vector<std::string> notes;
  const RecoveryNotes sink([&](const std::string& line) { notes.push_back(line); });
  const struct {
    const char* name;
    std::function<void(board::Database&)> open;  // what is open when the session ends
    int32_t failure;                             // of the next read
    size_t notes;
  } kCases[] = {
      {"NoTransaction", [](board::Database&) {}, 0, 1},
      {"Snapshot", [](board::Database& db) { db.BeginSnapshot(); }, kFailureServerReconnected, 1},
      {"Write", [](board::Database& db) { db.BeginWrite(); }, kFailureServer, 0},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    notes.clear();
    auto db = board::OpenDatabase(board_->name(), false);
    db->SetLostNodeTimeout(7);
    test.open(*db);
    ASSERT_EQ(count(*db), 4);
    EndOtherSessions(other);
    EXPECT_EQ(FailureNumber([&] { EXPECT_EQ(count(*db), 4); }), test.failure);
    ASSERT_EQ(notes.size(), test.notes);
    if (test.notes == 0) continue;
    EXPECT_THAT(notes[0], ::testing::AllOf(StartsWith(kNote), ::testing::Not(HasSubstr("obrix@"))));
    // A lost snapshot stays failed until it ends; a new one reads again,
    // in the old session's settings.
    if (test.failure != 0) {
      EXPECT_EQ(FailureNumber([&] { count(*db); }), test.failure);
      EXPECT_EQ(FailureNumber([&] { db->Commit(); }), test.failure);
    }
    db->BeginSnapshot();
    EXPECT_EQ(count(*db), 4);
    auto timeout = db->Prepare("SELECT current_setting('idle_in_transaction_session_timeout')");
    ASSERT_TRUE(timeout->Step());
    EXPECT_EQ(timeout->Text(0), "7s");
    db->Commit();
    // Once per connection: a second loss fails.
    EndOtherSessions(other);
    EXPECT_EQ(FailureNumber([&] { count(*db); }), kFailureServer);
  }
}

// The download's board, whose session ends at the n-th message the scan
// reads, or the n-th time the limits are asked (before the scan).
class EndingSession : public ForwardingServer {
 public:
  struct Cue {
    bool inScan;
    int n;
  };
  EndingSession(Server& inner, PostgresConnection& other, Cue cue)
      : ForwardingServer(inner), other_(other), cue_(cue) {}
  bool vbGetNextMessage(MessageRecord& record) override {
    if (cue_.inScan) Count();
    return ForwardingServer::vbGetNextMessage(record);
  }
  bool GetQwkBaudLimits(int32_t& packet, int32_t& conference) override {
    if (!cue_.inScan) Count();
    return ForwardingServer::GetQwkBaudLimits(packet, conference);
  }

 private:
  void Count() {
    if (--cue_.n == 0) EndOtherSessions(other_);
  }
  PostgresConnection& other_;
  Cue cue_;
};

// The messages of the packet a download on `on` builds, and its log.
std::pair<std::vector<std::string>, std::vector<std::string>> Download(
    TestBoard& on, std::optional<EndingSession::Cue> cue = {}) {
  TempDir dir;
  board::Board board;
  const int32_t user = on.LogIn(board, kUser, kUserPassword);
  on.Close();
  PostgresConnection other(on.name());
  std::optional<EndingSession> ending;
  Server* server = &board;
  if (cue) server = &ending.emplace(board, other, *cue);
  ActivityLog log(dir / "obrix.log");
  RunState state;
  state.programDirectory = dir.path();
  state.UserName = kUser;
  state.UserId = user;
  RunContext context{*server, log, state};
  EXPECT_TRUE(InitDownload(context) && QwkDownload(context));
  std::vector<std::string> seen;
  for (const PacketMessage& m : ReadQwkPacket(state.QwkPath + "OBRIX.qwk").messages) {
    seen.push_back(std::to_string(m.conference) + " " + m.number + " " + m.subject + " " + m.to +
                   " " + m.text);
  }
  return {seen, LogMessages(dir / "obrix.log")};
}

TEST_F(PostgresReconnectTest, ADownloadCutOffBuildsThePacketOfAnUnbrokenOne) {
  const EndingSession::Cue kCues[] = {{false, 1}, {true, 1}, {true, 7}};
  std::vector<std::unique_ptr<TestBoard>> copies;
  for (size_t i = 0; i < std::size(kCues); ++i)
    copies.push_back(std::make_unique<TestBoard>(*board_));

  const auto [unbroken, unbrokenLog] = Download(*board_);
  ASSERT_EQ(unbroken.size(), 12u);
  EXPECT_THAT(unbrokenLog, Contains(StartsWith(kNote)).Times(0));
  for (size_t i = 0; i < std::size(kCues); ++i) {
    SCOPED_TRACE(std::to_string(kCues[i].inScan) + " " + std::to_string(kCues[i].n));
    TestBoard& copy = *copies[i];
    const auto [packet, log] = Download(copy, kCues[i]);
    EXPECT_EQ(packet, unbroken);
    EXPECT_THAT(log, Contains(StartsWith(kNote)).Times(1));
    // The delivery moved once: every receipt asked for went out once.
    EXPECT_EQ(copy.Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'"), 3);
  }
}

TEST_F(PostgresReconnectTest, AnUploadCutOffInAWriteKeepsItsReplyPacketAndPostsNothingTwice) {
  // The session ends itself inside the insert of the second reply of the
  // second batch (replies are committed 50 at a time).
  board_->Admin().database().Exec(
      "CREATE SEQUENCE inserts;"
      "CREATE FUNCTION cut() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
      "IF nextval('inserts') = 52 THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF; "
      "RETURN NEW; END $$;"
      "CREATE TRIGGER cut BEFORE INSERT ON messages FOR EACH ROW EXECUTE FUNCTION cut()");
  std::vector<TestReply> replies;
  for (int n = 0; n < 55; ++n) {
    replies.push_back({.from = kUser, .subject = "Reply " + std::to_string(n)});
  }
  const int32_t user = board_->UserId(kUser);
  TempDir dir;
  const std::string qwk = dir / "Qwk";
  std::filesystem::create_directory(qwk);
  const std::string rep = qwk + "/OBRIX.rep";
  const auto upload = [&] {
    board::Board board;
    board_->LogIn(board, kUser, kUserPassword);
    board_->Close();
    ActivityLog log(dir / "obrix.log");
    RunState state;
    state.QwkPath = qwk + "/";
    state.UserId = user;
    RunContext context{board, log, state};
    const bool done = QwkUpload(context);
    return std::pair(done, state.keptReplyPackets);
  };
  const auto posted = [&] {
    return board_->Number("SELECT count(*) FROM messages WHERE subject LIKE 'Reply %'");
  };
  ZipMembers(rep, {{"OBRIX.MSG", ReplyFile("OBRIX", replies)}});

  const auto [done, kept] = upload();
  EXPECT_FALSE(done);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(posted(), 50);
  EXPECT_THAT(LogMessages(dir / "obrix.log"), Contains(HasSubstr("Error #1000")));

  std::filesystem::copy_file(kept[0], rep);
  EXPECT_TRUE(upload().first);
  EXPECT_EQ(posted(), 55);  // the fifty posted before are not posted again
}

}  // namespace
}  // namespace obrix::testing
