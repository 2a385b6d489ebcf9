// The board in a PostgreSQL database, for nodes on several machines: the
// Database interface (database.h) over libpq, and the board's schema in
// PostgreSQL's dialect. <libpq-fe.h> stays out of this header.
//
// The board's tables live in a schema of their own, `obrix`, which every
// connection puts on its search path; board text is stored as bytea, since
// it is Windows-1252 bytes that may hold any byte. The shared SQL is
// SQLite's: its "?" and "?N" placeholders are translated at prepare, and
// two small shims in the schema (the domain `blob` and the function
// `typeof(bytea)`) let the SQL that casts to BLOB or asks for a value's
// type read the same on both kinds.
//
// A connection that is lost is made again once in its life, its session
// set up anew and its statements prepared again on first use (Recover).
// The connection is postgres.cpp; the board's schema in PostgreSQL's
// dialect, its history and what is done by a PostgreSQL board's name are
// postgres_board.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "board/database.h"

struct pg_conn;
struct pg_result;

namespace obrix::board {

// The schema that holds the board's tables in its database.
inline constexpr const char* kPostgresSchema = "obrix";

class PostgresStatement;

// The secrets of a connection string (its password, as libpq reads it and
// as a URI writes it), and their removal from the lines that libpq and the
// server write about it. The role's name is no secret: the sysop needs it
// to see which role the server refused.
class ConninfoSecrets {
 public:
  explicit ConninfoSecrets(std::string_view name);
  // `line` as one line, every password in it replaced by "(password)". For
  // a string libpq cannot read, only the reason before its first quote is
  // kept (libpq echoes the string after it).
  std::string Mask(std::string line) const;

 private:
  bool readable_ = false;
  std::vector<std::string> passwords_;
};

class PostgresDatabase final : public Database {
 public:
  // Connects to the database `name` names (a libpq URI, the scheme in any
  // letter case, or a key=value string, or a service). The credentials
  // are what libpq itself reads: the string, PGPASSFILE or ~/.pgpass, the
  // service file. Raises
  // Failure(kFailureServer, "cannot open the board ...") naming the board
  // by DescribePostgresName only: no password or user name of the string
  // appears in it.
  static std::unique_ptr<PostgresDatabase> Open(const std::string& name);

  ~PostgresDatabase() override;

  std::string Describe() const override { return description_; }
  void Exec(const std::string& sql) override;
  // Sent in pipeline mode, answered with the next statement that waits.
  void ExecLater(const std::string& sql) override;
  int64_t Changes() const override { return changes_; }
  bool InTransaction() const override;
  void BeginWrite() override;
  void BeginSnapshot() override;
  void Commit() override;
  void Rollback() override;
  uint64_t ReadAheadSnapshot() const override;
  // A commit is durable when it returns (synchronous_commit stays on).
  void SyncJournal() override {}
  // The server ends the session when it sits idle inside a transaction for
  // `seconds` (idle_in_transaction_session_timeout), and its TCP
  // keepalives and user timeout find a peer that is gone in about as long.
  void SetLostNodeTimeout(int32_t seconds) override;
  // Schema `obrix` with a `meta` table.
  bool HoldsBoard() override;
  // The tables of schema `obrix` with their indexes and out-of-line values.
  int64_t SizeInBytes() override;
  std::optional<std::string> ReadFileData(int64_t row, int64_t offset, int64_t count) override;

  // Schema `obrix` with every table and index of the board and the two
  // shims. Raises Failure(kFailureServer) when the database already holds
  // a schema `obrix` or the role may not create one.
  void CreateBoardTables() override;
  // A board on PostgreSQL began at version 3.
  std::span<const SchemaUpgrade> SchemaUpgrades() const override;
  // Each identity column has a sequence of its own.
  int64_t IdCounter(const TableDescription& table) override;
  void SetIdCounter(const TableDescription& table, int64_t highest) override;
  // A PostgreSQL board is backed up with pg_dump.
  void BackupTo(const std::string& path) override;

 protected:
  std::unique_ptr<Statement> NewStatement(const std::string& sql) override;

 private:
  friend class PostgresStatement;
  struct ConnectionCloser {
    void operator()(pg_conn* connection) const;
  };
  struct ResultClearer {
    void operator()(pg_result* result) const;
  };
  using Result = std::unique_ptr<pg_result, ResultClearer>;

  PostgresDatabase(pg_conn* connection, std::string description, ConninfoSecrets secrets);

  // Runs `sql` and raises the board's failure when it fails; returns the
  // result of its last statement. `read`: the statements only read, and
  // run again on a connection made again (Recover).
  Result Run(const std::string& sql, bool read = false);
  // Statements sent ahead (RunLater, ExecLater) travel in libpq's pipeline
  // mode: Queued() enters it for one more statement about to be sent, and
  // Collect() ends it with a Sync, reads every answer (the statement sent
  // last included when `last` is set, whose result it returns) and raises
  // the first failure among them. They are sent inside a write transaction
  // only, where a lost connection is never made again.
  void Queued();
  Result Collect(bool last);
  // Collects the statements sent ahead, before a statement that waits.
  void CollectQueued() {
    if (queued_ > 0) Collect(false);
  }
  // Raises the failure for `result` (may be null: the connection failed).
  [[noreturn]] void Raise(const pg_result* result);
  // After a statement failed with `result`: returns when the connection
  // was lost and made again and the statement may run again (a read
  // outside any transaction, `inTransaction` and `snapshot` as they stood
  // before it ran); raises otherwise. A read-only snapshot cannot go on
  // on a new connection: once made again, every statement raises
  // Failure(kFailureServerReconnected) until the next transaction begins
  // (or the snapshot's Commit or Rollback ends it).
  void Recover(const pg_result* result, bool inTransaction, uint64_t snapshot, bool read);
  // Raises Failure(kFailureServerReconnected) while a lost snapshot waits
  // for its end.
  void CheckSnapshotLost() const;
  // Makes the connection again, once per connection's life: raises
  // Failure(kFailureServer) when it cannot.
  void Reconnect();
  // The session's settings: the search path, the lock timeout and the
  // lost-node timeout once it was set.
  void Configure();
  // Notes the rows an INSERT, UPDATE or DELETE changed.
  void NoteChanges(pg_result* result);
  // True for bytea and the domains over it (`blob`).
  bool IsBytea(unsigned int type);

  std::unique_ptr<pg_conn, ConnectionCloser> connection_;
  // The session the connection is on, counted from 1: a new one after the
  // connection is made again, where no statement is prepared yet.
  uint64_t session_ = 1;
  bool reconnected_ = false;   // the connection was made again once
  bool snapshotLost_ = false;  // see Recover
  std::optional<int32_t> lostNodeTimeout_;
  std::string description_;
  // Masked out of every error line, should the server ever repeat them.
  ConninfoSecrets secrets_;
  int64_t changes_ = 0;
  int statementsMade_ = 0;
  // Statements sent ahead whose answers are not read yet.
  int queued_ = 0;
  // The read-only snapshot open on the connection, numbered from 1; 0 when
  // none is. A statement keeps its last result for a run in the same
  // snapshot with the same values (PostgresStatement).
  uint64_t snapshot_ = 0;
  uint64_t snapshotsBegun_ = 0;
  std::unordered_map<unsigned int, bool> byteaTypes_;
  std::unique_ptr<Statement> readFileData_;
};

// True when `name` names a PostgreSQL database rather than a board file: a
// libpq URI ("postgresql://" or "postgres://", the scheme in any letter
// case), a key=value string whose first keyword is one libpq knows
// ("host=", "dbname=", "service=", ...), or any string holding a
// "password=" pair.
bool IsPostgresConninfo(std::string_view name);

// "PostgreSQL database NAME on HOST port PORT" for a connection string, as
// far as the string tells (a service adds "PostgreSQL service NAME"). Names
// nothing else of it: never a user, a password or another option. Needs no
// connection, so a connection that fails can still be named.
std::string DescribePostgresName(std::string_view name);

// SQLite's placeholders in PostgreSQL's form: "?N" becomes "$N", a bare "?"
// takes the number after the largest one so far (SQLite's numbering).
// String literals, quoted identifiers and comments are left as they are.
std::string ToPostgresPlaceholders(std::string_view sql);

// What is done by a PostgreSQL board's name.
const DatabaseKind& PostgresKind();

}  // namespace obrix::board
