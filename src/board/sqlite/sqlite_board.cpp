// What a board file keeps its own way: its schema's dialect and history,
// its id counter, its bulk loads, and its copies (backup and restore, by
// SQLite's online backup); and what is done by a board file's name.
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "board/schema.h"
#include "board/schema_tables.h"
#include "board/sqlite/sqlite.h"
#include "board/tables.h"
#include "platform/file_mode.h"
#include "platform/files.h"

namespace obrix::board {

namespace {

// Texts are Windows-1252 bytes, stored as BLOBs-in-TEXT without conversion.
constexpr SqlDialect kDialect = {
    .integer = "INTEGER",
    .text = "TEXT",
    .bytes = "BLOB",
    .id = "INTEGER PRIMARY KEY",
    .lastingId = "INTEGER PRIMARY KEY AUTOINCREMENT",
    .rowid = nullptr,
    .keyOrdered = " WITHOUT ROWID",
};

// The history of a board file's schema, as each version changed it.
// Version 3: what each user's last download changed, kept until his next
// one.
constexpr const char* kDeliveries = R"sql(
CREATE TABLE deliveries (
  user_id   INTEGER PRIMARY KEY REFERENCES users(id),
  made_time INTEGER NOT NULL,
  finished  INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE delivery_pointers (
  user_id    INTEGER NOT NULL REFERENCES users(id),
  conference INTEGER NOT NULL,
  before_id  INTEGER NOT NULL,
  after_id   INTEGER NOT NULL,
  PRIMARY KEY (user_id, conference)
) WITHOUT ROWID;
CREATE TABLE delivery_messages (
  user_id    INTEGER NOT NULL REFERENCES users(id),
  message_id INTEGER NOT NULL,
  kind       INTEGER NOT NULL,
  PRIMARY KEY (user_id, message_id)
) WITHOUT ROWID;
)sql";

constexpr SchemaUpgrade kUpgrades[] = {
    // Version 2: the conferences' reply mode, and the packet character
    // set. A board made before it keeps its packets' bytes as they were.
    {2,
     "ALTER TABLE conferences ADD COLUMN mode INTEGER NOT NULL DEFAULT 0;"
     "INSERT OR IGNORE INTO meta (key, value) VALUES ('charset', 'windows-1252');"},
    {3, kDeliveries},
    // Version 4: the digest of the packet a delivery built.
    {4, "ALTER TABLE deliveries ADD COLUMN packet_digest BLOB;"},
};

// The schema version recorded in `text`, read as the sysop's tool reads a
// number: blanks around it, a sign; nullopt when it is none or beyond 32 bits.
std::optional<int64_t> RecordedVersion(const std::string& text) {
  const std::string trimmed = Trim(text);
  std::string_view digits = trimmed;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative || (!digits.empty() && digits.front() == '+')) digits.remove_prefix(1);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || digits.front() == '-' || error != std::errc() ||
      end != digits.data() + digits.size() || value > int64_t{INT32_MAX} + negative) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Makes `path` a new owner-only file and opens it.
std::unique_ptr<SqliteDatabase> OpenNewFile(const std::string& path) {
  std::string reason;
  if (!CreateOwnerOnlyFile(path, reason)) {
    throw std::invalid_argument("cannot create " + path + ": " + reason);
  }
  try {
    return SqliteDatabase::Open(path, false);
  } catch (...) {
    RemoveBoardFiles(path);
    throw;
  }
}

// Makes `path` a new owner-only file and copies `source` into it; nothing
// is left behind when that fails.
void CopyToNewFile(SqliteDatabase& source, const std::string& path) {
  const std::unique_ptr<SqliteDatabase> target = OpenNewFile(path);
  try {
    CopyDatabase(source, *target);
  } catch (...) {
    RemoveBoardFiles(path);
    throw;
  }
}

// Raises std::invalid_argument unless the board file `backup` (open as
// `db`) is whole and of a schema this program reads: a backup with one
// damaged page would replace a sound board with one that fails every run.
void CheckRestorable(SqliteDatabase& db, const std::string& backup) {
  bool holdsBoard = false;
  try {
    holdsBoard = db.HoldsBoard();
  } catch (const Failure&) {
    throw std::invalid_argument(backup + " is not a board (not a database file)");
  }
  if (!holdsBoard) throw std::invalid_argument(backup + " is not a board (no board tables)");
  std::string verdict;
  try {
    // One line of its first few findings: "ok" alone when it finds none.
    auto check = db.Prepare("PRAGMA integrity_check(3)");
    while (check->Step()) {
      std::string finding = check->Text(0);
      const std::string header = "*** in database main ***\n";
      if (finding.starts_with(header)) finding.erase(0, header.size());
      for (char& c : finding) c = c == '\n' ? ' ' : c;
      verdict += (verdict.empty() ? "" : "; ") + finding;
    }
  } catch (const Failure& failure) {
    // The check may stop on a page it cannot read: what it found stands.
    if (verdict.empty()) verdict = failure.description();
  }
  if (verdict != "ok") {
    throw std::invalid_argument(backup + " is not a sound board, nothing was restored: " + verdict);
  }
  const auto number = RecordedVersion(MetaValue(db, kSchemaVersionKey).value_or(""));
  if (!number || *number < 1) {
    throw std::invalid_argument(backup + " is not a board (no schema version)");
  }
  if (*number > kSchemaVersion) {
    throw std::invalid_argument(backup + " is a board of schema version " + Decimal(*number) +
                                "; this program knows version " + Decimal(kSchemaVersion) +
                                " at most");
  }
}

class SqliteBoardKind final : public DatabaseKind {
 public:
  std::unique_ptr<Database> Open(const std::string& name, bool create) const override {
    return SqliteDatabase::Open(name, create);
  }
  std::string Unfit(const std::string& name) const override {
    std::error_code error;
    if (std::filesystem::is_regular_file(name, error)) return {};
    return std::filesystem::exists(name, error) ? "not a plain file"
                                                : "no such file" + MissingBoardHint(name);
  }
  bool Absent(const std::string& name) const override { return !PathExists(name); }
  bool Missing(const std::string& name) const override { return !PathExists(name); }
  void CheckNew(const std::string& name) const override {
    if (PathExists(name)) {
      throw std::invalid_argument(name + " already exists; a board is never overwritten");
    }
  }
  std::unique_ptr<Database> OpenNew(const std::string& name) const override {
    return OpenNewFile(name);
  }
  void AbandonNew(const std::string& name) const override { RemoveBoardFiles(name); }
  void RemoveNew(const std::string& name) const override { RemoveBoardFiles(name); }
  bool Same(const std::string& name, const std::string& other) const override {
    std::error_code ec;
    return std::filesystem::equivalent(name, other, ec);
  }
  std::optional<std::string> Restore(const std::string& backup,
                                     const std::string& name) const override;
};

}  // namespace

void SqliteDatabase::SetUpConnection() {
  // synchronous=NORMAL: a commit reaches the disk at the next checkpoint,
  // or when the caller syncs the journal (SyncJournal) where it must be
  // durable; syncing every commit would cost each one a disk write.
  Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
}

void SqliteDatabase::CreateBoardTables() { Exec(BoardTablesSql(kDialect)); }

void SqliteDatabase::NoteSchemaVersion(int version) {
  Exec("PRAGMA user_version=" + std::to_string(version));
}

std::span<const SchemaUpgrade> SqliteDatabase::SchemaUpgrades() const { return kUpgrades; }

int64_t SqliteDatabase::IdCounter(const TableDescription& table) {
  auto row = Prepare("SELECT seq FROM sqlite_sequence WHERE name = ?");
  row->Bind(1, std::string_view(table.name));
  return row->Step() && !row->IsNull(0) ? row->Int(0) : 0;
}

void SqliteDatabase::SetIdCounter(const TableDescription& table, int64_t highest) {
  const ColumnDescription& id = table.columns.front();
  if (highest < 1 || id.type != ColumnType::kLastingId) return;
  const std::string name = table.name;
  Exec("INSERT INTO sqlite_sequence (name, seq) SELECT '" + name +
       "', 0 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = '" + name +
       "');"
       "UPDATE sqlite_sequence SET seq = max(seq, " +
       std::to_string(highest) + ") WHERE name = '" + name + "'");
}

void SqliteDatabase::BeginBulkWrites() { Exec("PRAGMA cache_size = -65536"); }

// A rollback journal has nothing to keep for pages that had no content,
// so each page is written once (the WAL would write it twice: to the log,
// then to the file).
void SqliteDatabase::BeginFill() {
  BeginBulkWrites();
  Exec("PRAGMA journal_mode = TRUNCATE");
}

void SqliteDatabase::EndFill() { Exec("PRAGMA journal_mode = WAL"); }

void SqliteDatabase::BackupTo(const std::string& path) {
  if (IsPostgresName(path)) {
    throw std::invalid_argument(
        "a backup is a board file; copy a board to PostgreSQL with"
        " obrix-board copy");
  }
  if (PathExists(path)) {
    throw std::invalid_argument(path + " already exists; a backup never overwrites a file");
  }
  CopyToNewFile(*this, path);
}

std::optional<std::string> SqliteBoardKind::Restore(const std::string& backup,
                                                    const std::string& name) const {
  if (IsPostgresName(backup) || !PathExists(backup)) {
    throw std::invalid_argument("no board file at " + DescribeBoardName(backup));
  }
  const bool replacing = PathExists(name);
  std::error_code ec;
  if (replacing && std::filesystem::equivalent(backup, name, ec)) {
    throw std::invalid_argument(backup + " is the board itself");
  }
  const std::unique_ptr<SqliteDatabase> from = SqliteDatabase::Open(backup, false);
  CheckRestorable(*from, backup);
  if (!replacing) {
    CopyToNewFile(*from, name);
    return std::nullopt;
  }
  // The board replaced is kept; an earlier one is never overwritten.
  const std::string kept = name + kBeforeRestoreSuffix;
  if (PathExists(kept)) {
    throw std::invalid_argument(kept + " is there from an earlier restore; move it away first");
  }
  const std::unique_ptr<SqliteDatabase> board = SqliteDatabase::OpenAlone(name);
  if (!board) {
    throw std::invalid_argument(name +
                                " is in use by a node or another obrix-board; stop the BBS"
                                " first");
  }
  try {
    if (!board->HoldsBoard()) throw std::invalid_argument(name + " is not a board");
  } catch (const Failure&) {
    throw std::invalid_argument(name + " is not a board (not a database file)");
  }
  CopyToNewFile(*board, kept);
  CopyDatabase(*from, *board);
  return kept;
}

void RemoveBoardFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) RemoveFile(path + suffix);
}

const DatabaseKind& SqliteKind() {
  static const SqliteBoardKind kind;
  return kind;
}

}  // namespace obrix::board
