#include "board/sqlite.h"

#include <sqlite3.h>

#include <unordered_map>

#include "base/failure.h"

namespace obrix::board {

namespace {

[[noreturn]] void Raise(sqlite3* db, const std::string& what) {
  throw Failure(kFailureServer, "board database error: " + what + ": " +
                                    (db ? sqlite3_errmsg(db) : "out of memory"));
}

}  // namespace

struct Database::Cache {
  std::unordered_map<std::string, std::unique_ptr<Statement>> statements;
};

Database Database::Open(const std::string& path, bool create) {
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
  return Database(db);
}

Database::Database(sqlite3* db) : db_(db), cache_(std::make_unique<Cache>()) {}

Database::Database(Database&& other) noexcept : db_(other.db_), cache_(std::move(other.cache_)) {
  other.db_ = nullptr;
}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    cache_.reset();
    if (db_) sqlite3_close(db_);
    db_ = other.db_;
    cache_ = std::move(other.cache_);
    other.db_ = nullptr;
  }
  return *this;
}

Database::~Database() {
  cache_.reset();  // statements first
  if (db_) sqlite3_close(db_);
}

void Database::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw Failure(kFailureServer, "board database error: " + message);
  }
}

void CopyDatabase(Database& source, Database& target) {
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

Database::Use Database::Prepare(const std::string& sql) {
  auto& slot = cache_->statements[sql];
  if (!slot) slot = std::make_unique<Statement>(db_, sql);
  slot->Reset();
  return Use(*slot);
}

Database::Use::~Use() {
  if (statement_) statement_->Reset();
}

void Database::SyncJournal() {
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

int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int Database::Changes() const { return sqlite3_changes(db_); }
bool Database::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

Statement::Statement(sqlite3* db, const std::string& sql) : db_(db), sql_(sql) {
  if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &stmt_, nullptr) != SQLITE_OK) {
    Raise(db, "prepare " + sql);
  }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, int64_t value) {
  if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) Raise(db_, "bind");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    Raise(db_, "bind");
  }
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
  if (sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK) {
    Raise(db_, "bind");
  }
  return *this;
}

Statement& Statement::BindNull(int index) {
  if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) Raise(db_, "bind");
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  const std::string message = sqlite3_errmsg(db_);
  sqlite3_reset(stmt_);
  throw Failure(kFailureServer, "board database error: " + message);
}

void Statement::Run() {
  while (Step()) {
  }
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  const int size = sqlite3_column_bytes(stmt_, column);
  if (!data || size <= 0) return {};
  return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Transaction::Transaction(Database& db) : db_(db), nested_(db.InTransaction()) {
  db_.Exec(nested_ ? "SAVEPOINT operation" : "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (!done_) {
    try {
      // Undoes this operation's writes only; an enclosing transaction goes on.
      db_.Exec(nested_ ? "ROLLBACK TO operation; RELEASE operation" : "ROLLBACK");
    } catch (...) {
    }
  }
}

void Transaction::Commit() {
  db_.Exec(nested_ ? "RELEASE operation" : "COMMIT");
  done_ = true;
}

}  // namespace obrix::board
