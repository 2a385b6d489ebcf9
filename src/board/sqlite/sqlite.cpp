#include "board/sqlite/sqlite.h"

#include <sqlite3.h>

#include <algorithm>
#include <stdexcept>

#include "base/failure.h"

namespace obrix::board {

namespace {

[[noreturn]] void Raise(sqlite3* db, const std::string& what) {
  throw Failure(kFailureServer, "board database error: " + what + ": " +
                                    (db ? sqlite3_errmsg(db) : "out of memory"));
}

class SqliteStatement final : public Statement {
 public:
  SqliteStatement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt_, nullptr) != SQLITE_OK) {
      Raise(db, "prepare " + sql);
    }
  }
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  Statement& Bind(int index, int64_t value) override {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  Statement& Bind(int index, std::string_view text) override {
    Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindBlob(int index, std::string_view bytes) override {
    Check(sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindNull(int index) override {
    Check(sqlite3_bind_null(stmt_, index));
    return *this;
  }

  bool Step() override {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw Failure(kFailureServer, "board database error: " + message);
  }

  int64_t Int(int column) const override { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const override {
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0) return {};
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
  }
  bool IsNull(int column) const override {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
  }
  void Reset() override {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  void Check(int rc) const {
    if (rc != SQLITE_OK) Raise(db_, "bind");
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// An incremental-read handle on one server file's bytes, closed on scope exit.
class BlobReader {
 public:
  BlobReader(sqlite3* db, int64_t row) : db_(db) {
    if (sqlite3_blob_open(db_, "main", "server_files", "data", row, 0, &blob_) != SQLITE_OK) {
      sqlite3_blob_close(blob_);
      blob_ = nullptr;
    }
  }
  ~BlobReader() { sqlite3_blob_close(blob_); }
  BlobReader(const BlobReader&) = delete;
  BlobReader& operator=(const BlobReader&) = delete;

  bool ok() const { return blob_ != nullptr; }
  int64_t size() const { return sqlite3_blob_bytes(blob_); }
  void Read(char* buffer, int size, int64_t offset) {
    if (sqlite3_blob_read(blob_, buffer, size, static_cast<int>(offset)) != SQLITE_OK) {
      Raise(db_, "reading a server file");
    }
  }

 private:
  sqlite3* db_;
  sqlite3_blob* blob_ = nullptr;
};

}  // namespace

std::unique_ptr<SqliteDatabase> SqliteDatabase::Open(const std::string& path, bool create) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (create) flags |= SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw Failure(kFailureServer, "cannot open the board " + path + ": " + message);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 10000);
  return std::unique_ptr<SqliteDatabase>(new SqliteDatabase(db, path));
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::OpenAlone(const std::string& path) {
  std::unique_ptr<SqliteDatabase> db = Open(path, false);
  // How another connection is seen: a board is kept in WAL mode, and every
  // connection in WAL mode holds a shared lock on the board file from its
  // first read until it closes (SQLite's own test of whether it is the last
  // connection, when it closes, is to take the exclusive lock). In
  // exclusive locking mode the first read takes that exclusive lock at
  // once and keeps it, using no shared memory; while any other connection
  // holds its shared lock the attempt fails as busy. SQLite tracks the
  // locks of one process's connections itself, so one in this process
  // counts too. No wait: a busy board is in use.
  sqlite3_busy_timeout(db->db_, 0);
  db->Exec("PRAGMA locking_mode=EXCLUSIVE");
  try {
    db->Exec("BEGIN EXCLUSIVE; COMMIT");
  } catch (const Failure&) {
    if ((sqlite3_errcode(db->db_) & 0xff) == SQLITE_BUSY) return nullptr;
    throw;
  }
  sqlite3_busy_timeout(db->db_, 10000);
  return db;
}

SqliteDatabase::~SqliteDatabase() {
  DropStatements();  // statements before their connection
  sqlite3_close(db_);
}

void SqliteDatabase::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw Failure(kFailureServer, "board database error: " + message);
  }
}

std::unique_ptr<Statement> SqliteDatabase::NewStatement(const std::string& sql) {
  return std::make_unique<SqliteStatement>(db_, sql);
}

int64_t SqliteDatabase::Changes() const { return sqlite3_changes(db_); }
bool SqliteDatabase::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }
void SqliteDatabase::BeginWrite() {
  snapshot_ = 0;
  Exec("BEGIN IMMEDIATE");
}

void SqliteDatabase::BeginSnapshot() {
  snapshot_ = 0;
  Exec("BEGIN DEFERRED");
  // The read starts here, not at the first operation's statement.
  Exec("SELECT count(*) FROM meta");
  snapshot_ = ++snapshots_;
}

void SqliteDatabase::Commit() {
  snapshot_ = 0;
  Exec("COMMIT");
}

void SqliteDatabase::Rollback() {
  snapshot_ = 0;
  Exec("ROLLBACK");
}

void SqliteDatabase::SyncJournal() {
  // The WAL file as SQLite holds it open; absent until the connection has
  // read the board, and then there is nothing of its own to sync.
  sqlite3_file* journal = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &journal) != SQLITE_OK) {
    Raise(db_, "find the journal");
  }
  if (journal == nullptr || journal->pMethods == nullptr) return;
  if (journal->pMethods->xSync(journal, SQLITE_SYNC_NORMAL) != SQLITE_OK) {
    throw Failure(kFailureServer, "board database error: cannot sync the journal to the disk");
  }
}

std::optional<std::string> SqliteDatabase::ReadFileData(int64_t row, int64_t offset,
                                                        int64_t count) {
  BlobReader blob(db_, row);
  if (!blob.ok()) return std::nullopt;
  const int64_t left = std::max<int64_t>(blob.size() - offset, 0);
  std::string bytes(static_cast<size_t>(std::clamp<int64_t>(count, 0, left)), '\0');
  if (!bytes.empty()) blob.Read(bytes.data(), static_cast<int>(bytes.size()), offset);
  return bytes;
}

int64_t SqliteDatabase::SizeInBytes() {
  const auto pragma = [this](const char* sql) {
    auto row = Prepare(sql);
    return row->Step() ? row->Int(0) : 0;
  };
  return pragma("PRAGMA page_count") * pragma("PRAGMA page_size");
}

bool SqliteDatabase::HoldsBoard() {
  auto table = Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'meta'");
  return table->Step();
}

void CopyDatabase(SqliteDatabase& source, SqliteDatabase& target) {
  sqlite3_backup* backup = sqlite3_backup_init(target.handle(), "main", source.handle(), "main");
  if (!backup) Raise(target.handle(), "copy");
  // A busy or locked target is waited for, up to the busy timeout.
  constexpr int kPauseMilliseconds = 100;
  constexpr int kPauses = 100;
  int rc = SQLITE_OK;
  for (int pauses = 0; pauses <= kPauses; ++pauses) {
    rc = sqlite3_backup_step(backup, -1);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    sqlite3_sleep(kPauseMilliseconds);
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) Raise(target.handle(), "copy");
}

}  // namespace obrix::board
