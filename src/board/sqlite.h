// Small RAII wrappers over the SQLite C API. <sqlite3.h> stays out of
// headers; errors are raised as Failure(kFailureServer).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace obrix::board {

class Statement;

// An open database connection. Move-only.
class Database {
 public:
  // Opens an existing database file (never creates one unless `create`).
  // Raises Failure(kFailureServer) when it cannot be opened.
  static Database Open(const std::string& path, bool create);

  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database();

  // Runs one or more statements without results.
  void Exec(const std::string& sql);
  // A statement prepared once on this connection and cached by its text.
  // The returned use resets the statement (ending its read of the
  // database) and clears its bindings when it goes out of scope, so a
  // cached statement never holds a read transaction open.
  class Use;
  Use Prepare(const std::string& sql);

  // Syncs the journal (the WAL) to the disk: every commit made so far on
  // this board, by any connection, is then durable. Raises
  // Failure(kFailureServer) when the sync fails.
  void SyncJournal();

  int64_t LastInsertId() const;
  int Changes() const;
  // True while a transaction is open on the connection.
  bool InTransaction() const;
  sqlite3* handle() const { return db_; }

 private:
  explicit Database(sqlite3* db);
  struct Cache;
  sqlite3* db_ = nullptr;
  std::unique_ptr<Cache> cache_;
};

// Copies the whole of `source` into `target` (replacing what it held)
// through SQLite's online backup, in one pass under one read transaction
// of the source: the copy is the source as it stood at one moment, while
// other connections go on writing to it. Waits for a target that is busy.
void CopyDatabase(Database& source, Database& target);

// A prepared statement. Bind indexes start at 1, column indexes at 0.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);  // bound as a BLOB-safe TEXT
  Statement& BindBlob(int index, std::string_view bytes);
  Statement& BindNull(int index);

  // Steps once: true when a row is ready, false when done.
  bool Step();
  // Steps to the end (for statements without rows).
  void Run();

  int64_t Int(int column) const;
  std::string Text(int column) const;  // TEXT or BLOB bytes
  bool IsNull(int column) const;

  void Reset();

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::string sql_;
};

// A cached statement in use; see Database::Prepare.
class Database::Use {
 public:
  explicit Use(Statement& statement) : statement_(&statement) {}
  Use(Use&& other) noexcept : statement_(other.statement_) { other.statement_ = nullptr; }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  Use& operator=(Use&&) = delete;
  ~Use();
  Statement* operator->() const { return statement_; }
  Statement& operator*() const { return *statement_; }

 private:
  Statement* statement_;
};

// A write transaction that takes the write lock up front (BEGIN IMMEDIATE)
// and rolls back unless committed. Inside a transaction already open on the
// connection (a batch) it is a savepoint instead: its commit keeps its
// writes for the enclosing transaction to commit, its rollback undoes only
// its own writes.
class Transaction {
 public:
  explicit Transaction(Database& db);
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();
  void Commit();

 private:
  Database& db_;
  bool nested_ = false;
  bool done_ = false;
};

}  // namespace obrix::board
