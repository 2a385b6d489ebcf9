// The board's database connection, as the board and its administration
// use it: prepared statements, transactions, the board's write lock. Two
// kinds stand behind it: a board file (SQLite, sqlite/) for the nodes of
// one machine, and a PostgreSQL database (postgres/) for nodes on several.
// The board's rules are written once against this interface; the SQL
// dialect's few differences, the transactions and whatever else a kind
// keeps its own way (its schema's dialect and history, its id counters,
// its bulk loads, its backups) live in the two kinds. What is done by a
// board's name, before or instead of opening it, is the kind's too
// (DatabaseKind); only KindOf, in database_kinds.cpp, names both.
//
// Texts are bound and read back as bytes (Windows-1252 on the board), never
// converted. Errors are raised as Failure(kFailureServer); a transaction
// that lost a conflict with another connection (a serialization failure or
// a deadlock) raises Failure(kFailureServerConflict) and may be run again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace obrix::board {

struct TableDescription;

// What turns a board of schema version toVersion - 1 into one of toVersion.
struct SchemaUpgrade {
  int toVersion;
  const char* sql;
};

// What a restore (DatabaseKind::Restore) appends to the board file's name
// for the copy of the board it replaced.
inline constexpr const char* kBeforeRestoreSuffix = ".before-restore";

// The board's lost-node timeout (Database::SetLostNodeTimeout, the board's
// `node-timeout` setting), in seconds, and the longest one it accepts.
inline constexpr int32_t kDefaultLostNodeTimeout = 30;
inline constexpr int32_t kLongestLostNodeTimeout = 86400;

// How many times a board operation whose transaction lost a conflict with
// another connection is run again before its failure is reported.
inline constexpr int kConflictRetries = 4;

// A prepared statement. Bind indexes start at 1, column indexes at 0. The
// SQL names its parameters "?" or "?N".
class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  virtual ~Statement() = default;

  virtual Statement& Bind(int index, int64_t value) = 0;
  // Board text: its bytes, as they are.
  virtual Statement& Bind(int index, std::string_view text) = 0;
  virtual Statement& BindBlob(int index, std::string_view bytes) = 0;
  virtual Statement& BindNull(int index) = 0;

  // Steps once: true when a row is ready, false when done.
  virtual bool Step() = 0;
  // Steps to the end (for statements without rows).
  void Run() {
    while (Step()) {
    }
  }
  // Runs a statement whose rows nobody reads, inside a transaction: a
  // board file runs it now; a database server gets it together with the
  // next statement that waits for an answer, so that its failure may be
  // raised there (it fails the transaction either way). Outside a
  // transaction it is Run.
  virtual void RunLater() { Run(); }

  virtual int64_t Int(int column) const = 0;       // a true/false column reads 1/0
  virtual std::string Text(int column) const = 0;  // text or blob bytes
  virtual bool IsNull(int column) const = 0;

  // Ends the statement's read and clears its bindings.
  virtual void Reset() = 0;
};

class Database {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  virtual ~Database() = default;

  // What names the board in the log and in error lines: the file's path,
  // or the PostgreSQL server's host and the database's name (never the
  // user, the password or any other part of a connection string).
  virtual std::string Describe() const = 0;

  // Runs one or more statements without parameters or results.
  virtual void Exec(const std::string& sql) = 0;
  // One statement without parameters or results, inside a transaction,
  // run as Statement::RunLater runs its statement.
  virtual void ExecLater(const std::string& sql) { Exec(sql); }
  // A statement prepared once on this connection and cached by its text.
  // The returned use resets the statement (ending its read of the
  // database) and clears its bindings when it goes out of scope, so a
  // cached statement never holds a read open.
  class Use;
  Use Prepare(const std::string& sql);

  // Rows changed by the last INSERT, UPDATE or DELETE.
  virtual int64_t Changes() const = 0;
  // True while a transaction is open on the connection.
  virtual bool InTransaction() const = 0;

  // Opens a write transaction holding the board's write lock from its
  // start: one writer at a time on the whole board, as every rule that
  // counts or numbers (message numbers, the duplicate check) needs.
  virtual void BeginWrite() = 0;
  // Opens a read-only transaction that sees one snapshot of the board
  // from its start to its end, whatever other connections commit.
  virtual void BeginSnapshot() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // The read-only snapshot open on the connection, numbered from 1 and
  // never reused: its reads are fetched ahead in pages (on a server each
  // statement is a round trip; in a board file, a statement's own cost);
  // 0 when none is open.
  virtual uint64_t ReadAheadSnapshot() const { return 0; }

  // Makes every commit made so far durable (a board file syncs its
  // journal; PostgreSQL's commits are durable when they return).
  virtual void SyncJournal() = 0;

  // Bounds how long the board waits for this connection once it has gone
  // silent (its machine frozen, its network cut) before the write lock it
  // may hold is freed: the transaction is then rolled back and the
  // connection ended. A board file's locks belong to the node's own
  // kernel, which frees them with the process; a database server keeps a
  // lost connection's transaction until it is told to give up on it.
  virtual void SetLostNodeTimeout(int32_t seconds) = 0;

  // True when the database holds a board's tables.
  virtual bool HoldsBoard() = 0;
  // The space the board takes in the database, in bytes.
  virtual int64_t SizeInBytes() = 0;

  // `count` bytes from `offset` of a server file's data (the row's rowid in
  // server_files); fewer at its end; nullopt when the row is gone.
  virtual std::optional<std::string> ReadFileData(int64_t row, int64_t offset, int64_t count) = 0;

  // Sets the connection up for the board's use, once it is known to hold
  // one (a board file's journal, syncs and foreign keys; a server's session
  // is set up as it connects).
  virtual void SetUpConnection() {}
  // Creates every table and index of the board (schema_tables.h) in the
  // kind's dialect, inside the caller's write transaction.
  virtual void CreateBoardTables() = 0;
  // Keeps the schema version wherever the kind keeps it besides `meta`.
  virtual void NoteSchemaVersion(int /*version*/) {}
  // The upgrades of the kind's older schemas, in the order they apply.
  virtual std::span<const SchemaUpgrade> SchemaUpgrades() const = 0;
  // Why a database that failed as its board tables were first read (by
  // `HoldsBoard` or the read of its version) is no board, for "not a board
  // (...)"; empty when the failure says why itself and is raised as it is.
  virtual std::string UnreadableReason() const { return {}; }

  // The highest id the counter of `table`'s identity column has given,
  // whether or not a row still holds it; 0 when it has given none.
  virtual int64_t IdCounter(const TableDescription& table) = 0;
  // Moves that counter to `highest` (at least), so that the next id it
  // gives is above it.
  virtual void SetIdCounter(const TableDescription& table, int64_t highest) = 0;

  // Readies the connection for a great many writes in few transactions.
  virtual void BeginBulkWrites() {}
  // Around the filling of a new, empty board by a copy: BeginFill before
  // its transaction, EndFill after its commit.
  virtual void BeginFill() { BeginBulkWrites(); }
  virtual void EndFill() {}

  // Copies the whole board, as it stands at one moment while other
  // connections go on writing, into a new board file `path` (never
  // overwritten). Raises std::invalid_argument when the kind keeps no
  // copies of its own, or `path` cannot be one.
  virtual void BackupTo(const std::string& path) = 0;

 protected:
  virtual std::unique_ptr<Statement> NewStatement(const std::string& sql) = 0;
  // Finalizes the cached statements: the kinds call it before they close
  // their connection.
  void DropStatements() { statements_.clear(); }

 private:
  std::unordered_map<std::string, std::unique_ptr<Statement>> statements_;
};

// A cached statement in use; see Database::Prepare.
class Database::Use {
 public:
  explicit Use(Statement& statement) : statement_(&statement) {}
  Use(Use&& other) noexcept : statement_(other.statement_) { other.statement_ = nullptr; }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  Use& operator=(Use&&) = delete;
  ~Use() {
    if (statement_) statement_->Reset();
  }
  Statement* operator->() const { return statement_; }
  Statement& operator*() const { return *statement_; }

 private:
  Statement* statement_;
};

// A write transaction (Database::BeginWrite) that rolls back unless
// committed. Inside a transaction already open on the connection (a batch)
// it is a savepoint instead: its commit keeps its writes for the enclosing
// transaction to commit, its rollback undoes only its own writes.
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

// What each kind does by a board's name, before or instead of opening it.
class DatabaseKind {
 public:
  virtual ~DatabaseKind() = default;

  // See OpenDatabase.
  virtual std::unique_ptr<Database> Open(const std::string& name, bool create) const = 0;
  // Why a board cannot be at `name` as it stands ("no such file"); empty
  // when opening it may be tried.
  virtual std::string Unfit(const std::string& name) const = 0;
  // True when nothing is at `name` that could be opened (a server's
  // database is always tried).
  virtual bool Absent(const std::string& name) const = 0;
  // True when `name` holds no board (a file's absence, a database without
  // the board's tables).
  virtual bool Missing(const std::string& name) const = 0;
  // Raises std::invalid_argument when a new board cannot be made at
  // `name`: a board is never overwritten.
  virtual void CheckNew(const std::string& name) const = 0;
  // Makes room for a new board at `name` (a new owner-only file) and opens
  // it; a database on a server must exist. Raises std::invalid_argument
  // when the room cannot be made.
  virtual std::unique_ptr<Database> OpenNew(const std::string& name) const = 0;
  // Undoes OpenNew after the new board's filling failed (its transaction
  // rolled back): a board file is removed.
  virtual void AbandonNew(const std::string& name) const = 0;
  // Removes a new board that was committed whole.
  virtual void RemoveNew(const std::string& name) const = 0;
  // True when `other`, another name of any kind, names the board `name`.
  virtual bool Same(const std::string& name, const std::string& other) const = 0;
  // Puts the backup `backup` (see Database::BackupTo) in place of the
  // board at `name` while no node has it open, or makes it the board
  // there; returns where the board it replaced is kept (nullopt when
  // there was none). Raises std::invalid_argument when the kind takes no
  // backups, or `backup` is not a sound board of a schema this program
  // reads, or the board is in use.
  virtual std::optional<std::string> Restore(const std::string& backup,
                                             const std::string& name) const = 0;
};

// The kind of the board named `name` (see IsPostgresName).
const DatabaseKind& KindOf(const std::string& name);

// Makes room for a new board at `name` (DatabaseKind::OpenNew), fills it
// through `fill(Database&)` and leaves nothing behind when that fails.
template <typename Fill>
void MakeBoard(const std::string& name, Fill fill) {
  const DatabaseKind& kind = KindOf(name);
  std::unique_ptr<Database> db = kind.OpenNew(name);
  try {
    fill(*db);
  } catch (...) {
    db.reset();
    kind.AbandonNew(name);
    throw;
  }
}

// True when `name` names a PostgreSQL board: a libpq connection URI
// ("postgresql://..." or "postgres://...", the scheme in any letter case)
// or a libpq key=value string ("service=NAME", "host=... dbname=...",
// any keyword libpq knows), or any name holding a "password=" pair, which
// is never made a file's name. Anything else names a board file.
bool IsPostgresName(std::string_view name);

// Opens the board database `name` (see IsPostgresName). A board file is
// created when `create` is set and it does not exist; a PostgreSQL
// database must exist. Raises Failure(kFailureServer) when it cannot be
// opened; the description names the board by Describe() only.
std::unique_ptr<Database> OpenDatabase(const std::string& name, bool create);

// What names the board `name` in the log and in error lines without
// opening it (see Database::Describe).
std::string DescribeBoardName(const std::string& name);

// For a board file that is not there: a hint when its name looks meant as
// a PostgreSQL connection string (it holds "=" but begins with no keyword
// libpq knows), starting with "; "; else empty.
std::string MissingBoardHint(const std::string& name);

}  // namespace obrix::board
