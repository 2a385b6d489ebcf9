// The board file: the board's database on SQLite, for the nodes of one
// machine. <sqlite3.h> stays out of headers; errors are raised as
// Failure(kFailureServer). The connection is sqlite.cpp; what a board file
// keeps its own way (its schema's dialect and history, its id counter, its
// bulk loads, its backups and restores) is sqlite_board.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "board/database.h"

struct sqlite3;

namespace obrix::board {

class SqliteDatabase final : public Database {
 public:
  // Opens a board file (never creates one unless `create`). Raises
  // Failure(kFailureServer) when it cannot be opened.
  static std::unique_ptr<SqliteDatabase> Open(const std::string& path, bool create);
  // Opens the board file `path` for this connection alone: it holds the
  // file's exclusive lock from here until it is closed, so that no other
  // connection reads or writes the board meanwhile. nullptr when another
  // connection (a node, the sysop's tool, in this process or another) has
  // the board open. Raises Failure(kFailureServer) when it cannot be opened
  // or read.
  static std::unique_ptr<SqliteDatabase> OpenAlone(const std::string& path);
  ~SqliteDatabase() override;

  std::string Describe() const override { return path_; }
  void Exec(const std::string& sql) override;
  int64_t Changes() const override;
  bool InTransaction() const override;
  // BEGIN IMMEDIATE: the file's write lock from the start.
  void BeginWrite() override;
  // BEGIN DEFERRED, read at once: the snapshot starts here.
  void BeginSnapshot() override;
  void Commit() override;
  void Rollback() override;
  // A download's walk reads in pages here too: one statement for many
  // messages costs less than a statement (and its text's) for each.
  uint64_t ReadAheadSnapshot() const override { return InTransaction() ? snapshot_ : 0; }
  // Syncs the journal (the WAL) to the disk: every commit made so far on
  // this board, by any connection, is then durable.
  void SyncJournal() override;
  // Nothing to bound: the locks end with the process that holds them.
  void SetLostNodeTimeout(int32_t /*seconds*/) override {}
  std::optional<std::string> ReadFileData(int64_t row, int64_t offset, int64_t count) override;
  int64_t SizeInBytes() override;
  bool HoldsBoard() override;

  // WAL journal, commits synced at checkpoints (see SyncJournal), foreign
  // keys.
  void SetUpConnection() override;
  void CreateBoardTables() override;
  // Also in the file's PRAGMA user_version.
  void NoteSchemaVersion(int version) override;
  std::span<const SchemaUpgrade> SchemaUpgrades() const override;
  // A file that fails there is no database file at all.
  std::string UnreadableReason() const override { return "not a database file"; }
  // Only the messages' ids have a counter of their own (AUTOINCREMENT);
  // the other ids follow the highest one kept.
  int64_t IdCounter(const TableDescription& table) override;
  void SetIdCounter(const TableDescription& table, int64_t highest) override;
  // A larger page cache keeps the indexes' upper pages in memory.
  void BeginBulkWrites() override;
  // A new board file is filled under a rollback journal, then goes back to
  // its WAL.
  void BeginFill() override;
  void EndFill() override;
  // Through SQLite's online backup (CopyDatabase).
  void BackupTo(const std::string& path) override;

  sqlite3* handle() const { return db_; }

 protected:
  std::unique_ptr<Statement> NewStatement(const std::string& sql) override;

 private:
  SqliteDatabase(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  sqlite3* db_ = nullptr;
  std::string path_;
  uint64_t snapshot_ = 0;  // the open snapshot (ReadAheadSnapshot), 0 for none
  uint64_t snapshots_ = 0;
};

// Copies the whole of `source` into `target` (replacing what it held)
// through SQLite's online backup, in one pass under one read transaction
// of the source: the copy is the source as it stood at one moment, while
// other connections go on writing to it. Waits for a target that is busy.
void CopyDatabase(SqliteDatabase& source, SqliteDatabase& target);

// Removes a board file and the journal files beside it, never following a
// link.
void RemoveBoardFiles(const std::string& path);

// What is done by a board file's name.
const DatabaseKind& SqliteKind();

}  // namespace obrix::board
