// obrix-board copy, run in process: a board holding something in every
// table goes over to a new board and back unchanged, row by row and byte
// for byte, with its id counters; a target that holds a board, a source
// that is not one and a copy that fails half way leave nothing behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <sstream>

#include "admin/board_admin.h"
#include "board/deliveries.h"
#include "board/schema.h"
#include "board/sqlite/sqlite.h"
#include "server/server_path.h"
#include "support/postgres_server.h"
#include "support/test_board.h"
#include "support/test_support.h"
#include "support/tool_runner.h"
#include "tools/tool_commands.h"

namespace obrix::testing {
namespace {

using board::Backend;
using board::BoardAdmin;
using board::Database;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

ToolResult Tool(const std::vector<std::string>& words) { return RunToolInProcess(words); }

// A new, empty place for a board of `kind`, named after `label`.
std::string BoardName(Backend kind, const TempDir& dir, const std::string& label) {
  if (kind == Backend::kSqlite) return dir / (label + ".db");
  return CreateTestDatabase();
}

// Every table the database's catalog lists, each as its rows in sorted
// order, each row as "column=value" for every column in name order.
using Dump = std::map<std::string, std::vector<std::string>>;

Dump DumpBoard(Database& db) {
  const bool file = dynamic_cast<board::SqliteDatabase*>(&db) != nullptr;
  std::map<std::string, std::vector<std::pair<std::string, bool>>> tables;  // column, holds bytes
  auto list = db.Prepare(file ? "SELECT m.name, p.name, lower(p.type) FROM sqlite_master m,"
                                " pragma_table_info(m.name) p WHERE m.type = 'table'"
                                " AND m.name NOT LIKE 'sqlite_%' ORDER BY 1, 2"
                              : "SELECT table_name::text, column_name::text, data_type::text"
                                " FROM information_schema.columns WHERE table_schema = 'obrix'"
                                " ORDER BY 1, 2");
  while (list->Step()) {
    const std::string type = list->Text(2);
    tables[list->Text(0)].emplace_back(list->Text(1),
                                       type == "text" || type == "blob" || type == "bytea");
  }
  // What a board file keeps as its implicit rowid, PostgreSQL as a column.
  if (file) tables["server_files"].emplace_back("rowid", false);
  Dump dump;
  for (auto& [table, columns] : tables) {
    std::sort(columns.begin(), columns.end());
    std::string sql = "SELECT ";
    for (const auto& column : columns) sql += column.first + ", ";
    auto row = db.Prepare(sql.replace(sql.size() - 2, 2, " FROM ") + table);
    std::vector<std::string>& rows = dump[table];
    while (row->Step()) {
      std::string line;
      for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const bool bytes = columns[static_cast<size_t>(i)].second;
        line += columns[static_cast<size_t>(i)].first + "=" +
                (row->IsNull(i) ? "NULL"
                 : bytes        ? "'" + row->Text(i) + "'"
                                : std::to_string(row->Int(i))) +
                " ";
      }
      rows.push_back(line);
    }
    std::sort(rows.begin(), rows.end());
  }
  return dump;
}

// A board with rows in every table: NULLs, bytes outside ASCII, a private
// message with a receipt asked for, a reply, an attachment, a screen, a
// restricted conference, pointers, a delivery record, and a deleted last
// message, so that the message counter is past the highest id kept.
// Returns the id of that deleted message.
int32_t FillBoard(const std::string& name) {
  BoardAdmin::Create(name, board::BoardConfig{}, "sysop-pw", board::HashCost::kMinimum);
  BoardAdmin admin = BoardAdmin::Open(name);
  admin.SetHashCost(board::HashCost::kMinimum);
  const int32_t alice = admin.AddUser("ALICE", "pw-a", "Caf\xE9 owner");
  admin.AddUser("BOB", "pw-b", "");
  admin.SetVar("ALICE", "expert", "1");
  admin.Grant("BOB", 0x0100001A, 0x5);
  admin.SetNewFilesDate("BOB", FILETIME::FromTicks(131'000'000'000'000'000));
  admin.AddConference(0, "Main", 3, {});
  admin.AddConference(7, "Inner circle", 1, {"ALICE", "BOB"}, 2);
  admin.SetFlags("BOB", 0, 1);
  const int32_t first =
      admin.Post({0, "ALICE", "ALL", "Hello \xE9t\xE9", false, false, 0, {}, "Hi\r\n\xFF"}).id;
  const int32_t secret =
      admin.Post({7, "BOB", "ALICE", "Private", true, true, first, {}, "Just us"}).id;
  const int32_t last = admin.Post({0, "BOB", "ALL", "Gone", false, false, 0, {}, "Deleted"}).id;
  admin.Attach(secret, std::string("\0\x01\xFFzip", 6));
  // Server files are read by their row ids: a gap among them is kept.
  admin.PutServerFile(DisplayPath("old.bbs"), "Old");
  admin.PutServerFile(DisplayPath("hello1.bbs"), "\x1B[2JWelcome");
  admin.DeleteScreen(DisplayPath("old.bbs"));
  admin.SetLastRead("ALICE", 0, first);
  admin.AddArea(1, "Uploads", false);
  admin.AddFile(1, "TOOLS.ZIP", 4096, "Tools", FILETIME::FromTicks(132'000'000'000'000'000));
  Database& db = admin.database();
  board::Transaction transaction(db);
  board::StartDelivery(db, alice, 133'000'000'000'000'000);
  board::NotePointer(db, alice, 7, 0, secret);
  board::NoteMessage(db, alice, secret, board::DeliveredMessage::kMarkedRead);
  auto activity = db.Prepare("INSERT INTO node_activity (user_id, text, time) VALUES (?, ?, ?)");
  activity->Bind(1, int64_t{alice}).Bind(2, "Reading mail").Bind(3, int64_t{134});
  activity->Run();
  transaction.Commit();
  admin.DeleteMessages({last});
  return last;
}

// The line copy prints, from the source's own figures.
std::string CopyLine(BoardAdmin& source, const std::string& from, const std::string& to) {
  const board::BoardStats stats = source.Stats();
  return "Copied the board " + board::DescribeBoardName(from) + " to " +
         board::DescribeBoardName(to) + ": " + std::to_string(stats.users) + " users, " +
         std::to_string(stats.conferences.size()) + " conferences, " +
         std::to_string(stats.messages) + " messages, " +
         std::to_string(source.ListFiles(std::nullopt).size()) + " files\n";
}

// The kind of board copied to, and the kind it is copied back to.
struct CopyKinds {
  Backend there;
  Backend back;
};

std::string KindsName(const ::testing::TestParamInfo<CopyKinds>& info) {
  const auto kind = [](Backend b) { return b == Backend::kSqlite ? "File" : "Postgres"; };
  return std::string("FileTo") + kind(info.param.there) + "To" + kind(info.param.back);
}

class BoardCopyTest : public ::testing::TestWithParam<CopyKinds> {
 protected:
  TempDir dir_;
};

TEST_P(BoardCopyTest, GoesThereAndBackUnchanged) {
  const std::string source = BoardName(Backend::kSqlite, dir_, "source");
  const std::string there = BoardName(GetParam().there, dir_, "there");
  const std::string back = BoardName(GetParam().back, dir_, "back");
  const int32_t deleted = FillBoard(source);
  BoardAdmin model = BoardAdmin::Open(source);
  for (const auto& [table, rows] : DumpBoard(model.database())) {
    EXPECT_FALSE(rows.empty()) << table << " is empty: the copy of its rows goes unchecked";
  }

  const ToolResult out = Tool({"copy", "--from", source, "--to", there});
  ASSERT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.out, CopyLine(model, source, there));
  ASSERT_EQ(Tool({"copy", "--from", there, "--to", back}).status, 0);

  for (const std::string& name : {there, back}) {
    BoardAdmin copy = BoardAdmin::Open(name);
    EXPECT_EQ(DumpBoard(copy.database()), DumpBoard(model.database()));
    const int32_t next = copy.Post({0, "ALICE", "ALL", "New", false, false, 0, {}, "New"}).id;
    EXPECT_GT(next, deleted) << name << ": a message id was given twice";
  }

  // A second copy to the same target is refused and changes nothing.
  const Dump before = DumpBoard(BoardAdmin::Open(there).database());
  const ToolResult again = Tool({"copy", "--from", source, "--to", there});
  EXPECT_EQ(again.status, 1);
  EXPECT_THAT(again.err, HasSubstr(GetParam().there == Backend::kSqlite ? "already exists"
                                                                        : "already holds a board"));
  EXPECT_EQ(DumpBoard(BoardAdmin::Open(there).database()), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BoardCopyTest,
                         ::testing::Values(CopyKinds{Backend::kSqlite, Backend::kSqlite},
                                           CopyKinds{Backend::kPostgres, Backend::kSqlite},
                                           CopyKinds{Backend::kSqlite, Backend::kPostgres},
                                           CopyKinds{Backend::kPostgres, Backend::kPostgres}),
                         KindsName);

// The rows the copy writes with one INSERT.
constexpr int kCopyBatch = 250;

// Row counts around a full batch: none, a lone partial batch, a batch
// exactly, a full batch and a partial one. Each board goes to PostgreSQL
// and from there back to a file, so that both kinds of target write every
// count, and comes back row for row with the count in the report.
TEST(BoardCopyBatchTest, CopiesEveryRowAroundTheBatchSize) {
  const int counts[] = {0, 1, kCopyBatch - 1, kCopyBatch, kCopyBatch + 1, 2 * kCopyBatch + 3};
  for (const int count : counts) {
    SCOPED_TRACE(std::to_string(count) + " messages");
    TempDir dir;
    const std::string source = dir / "source.db";
    BoardAdmin::Create(source, board::BoardConfig{}, "sysop-pw", board::HashCost::kMinimum);
    {
      BoardAdmin admin = BoardAdmin::Open(source);
      admin.SetHashCost(board::HashCost::kMinimum);
      admin.AddUser("ALICE", "pw-a", "");
      admin.AddConference(0, "Main", 3, {});
      admin.BeginBulk();
      for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        admin.Post({0, "ALICE", "ALL", "Subject " + n, i % 3 == 0, false, 0, {}, "Text " + n});
      }
      admin.CommitBulk();
    }
    BoardAdmin model = BoardAdmin::Open(source);
    const Dump expected = DumpBoard(model.database());
    ASSERT_EQ(expected.at("messages").size(), static_cast<size_t>(count));

    std::string from = source;
    for (const std::string& to : {CreateTestDatabase(), dir / "back.db"}) {
      const ToolResult out = Tool({"copy", "--from", from, "--to", to});
      ASSERT_EQ(out.status, 0) << out.err;
      EXPECT_EQ(out.out, CopyLine(model, from, to));
      EXPECT_EQ(DumpBoard(BoardAdmin::Open(to).database()), expected) << to;
      from = to;
    }
  }
}

// What a refused or failed copy says, and that it leaves no target file.
TEST(BoardCopyRefusalTest, LeavesNoTarget) {
  TempDir dir;
  const std::string board = dir / "board.db";
  const std::string text = dir / "notes.txt";
  const std::string broken = dir / "broken.db";
  FillBoard(board);
  WriteFile(text, "not a board\n");
  FillBoard(broken);
  {
    // A reader of a conference that does not exist: the copy fails on it.
    BoardAdmin admin = BoardAdmin::Open(broken);
    admin.database().Exec("PRAGMA foreign_keys=OFF; INSERT INTO conf_readers VALUES (55, 1)");
  }
  struct Case {
    std::string from;
    std::string to;
    std::string error;
  };
  const Case cases[] = {
      {board, dir / "./board.db", "onto itself"},
      {text, dir / "copy1.db", "is not a board"},
      {dir / "missing.db", dir / "copy2.db", "no board at"},
      {broken, dir / "copy3.db", "FOREIGN KEY"},
  };
  for (const Case& c : cases) {
    const ToolResult out = Tool({"copy", "--from", c.from, "--to", c.to});
    EXPECT_EQ(out.status, 1) << c.from;
    EXPECT_THAT(out.err, HasSubstr(c.error)) << c.from;
  }
  // Neither a copy nor its journal files.
  EXPECT_THAT(FolderNames(dir.path()), Each(Not(StartsWith("copy"))));
}

}  // namespace
}  // namespace obrix::testing
