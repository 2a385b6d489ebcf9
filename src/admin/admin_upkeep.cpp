// Looking after a running board: its statistics, and copies of it taken
// while the nodes run (backup) or put back while none does (restore).
#include <filesystem>
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/failure.h"
#include "base/text.h"
#include "board/schema.h"
#include "board/tables.h"
#include "platform/file_mode.h"
#include "server/server.h"

namespace obrix::board {

namespace admin {

FILETIME ActivityTime(const Statement& row, int column) {
  if (row.IsNull(column)) return FILETIME{};
  const std::string text = row.Text(column);
  uint64_t ticks = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return FILETIME{};
    ticks = ticks * 10 + static_cast<uint64_t>(c - '0');
  }
  return FILETIME::FromTicks(ticks);
}

}  // namespace admin

namespace {

std::vector<ConferenceStats> ConferenceFigures(Database& db) {
  std::vector<ConferenceStats> out;
  {
    // One pass over the messages for all conferences.
    auto list = db.Prepare(
        "SELECT c.number, c.name, count(m.id), coalesce(sum(CASE WHEN m.private <> 0 THEN 1 ELSE 0 "
        "END), 0)"
        " FROM conferences c LEFT JOIN messages m ON m.conference = c.number"
        " GROUP BY c.number ORDER BY c.number");
    while (list->Step()) {
      out.push_back(ConferenceStats{static_cast<int32_t>(list->Int(0)), list->Text(1), list->Int(2),
                                    list->Int(3), FILETIME{}});
    }
  }
  for (ConferenceStats& conference : out) {
    auto newest = db.Prepare(
        "SELECT message_time FROM messages WHERE conference = ? ORDER BY id DESC LIMIT 1");
    newest->Bind(1, int64_t{conference.number});
    if (newest->Step())
      conference.newest = FILETIME::FromTicks(static_cast<uint64_t>(newest->Int(0)));
  }
  return out;
}

std::vector<UserActivity> UserFigures(Database& db) {
  auto list = db.Prepare(
      "SELECT u.name,"
      " (SELECT value FROM user_vars v WHERE v.user_id = u.id AND v.section = ?1 AND v.key = ?2),"
      " (SELECT value FROM user_vars v WHERE v.user_id = u.id AND v.section = ?1 AND v.key = ?3)"
      " FROM users u WHERE u.name <> ?4 ORDER BY u.id");
  list->Bind(1, kActivitySection)
      .Bind(2, kDownloadActivity)
      .Bind(3, kUploadActivity)
      .Bind(4, kDefaultAccount);
  std::vector<UserActivity> out;
  while (list->Step()) {
    out.push_back(
        UserActivity{list->Text(0), admin::ActivityTime(*list, 1), admin::ActivityTime(*list, 2)});
  }
  return out;
}

// Makes `path` a new owner-only file and copies `source` into it; nothing
// is left behind when that fails.
void CopyToNewFile(Database& source, const std::string& path) {
  SqliteDatabase& file = BoardFile(source);
  std::string reason;
  if (!CreateOwnerOnlyFile(path, reason)) {
    throw std::invalid_argument("cannot create " + path + ": " + reason);
  }
  try {
    const std::unique_ptr<SqliteDatabase> target = SqliteDatabase::Open(path, false);
    CopyDatabase(file, *target);
  } catch (...) {
    RemoveBoardFiles(path);
    throw;
  }
}

}  // namespace

BoardStats BoardAdmin::Stats() {
  // One read transaction: every figure is of the same moment.
  db_.BeginSnapshot();
  try {
    BoardStats stats;
    {
      auto users = db_.Prepare("SELECT count(*) FROM users WHERE name <> ?");
      users->Bind(1, kDefaultAccount);
      stats.users = users->Step() ? users->Int(0) : 0;
    }
    stats.conferences = ConferenceFigures(db_);
    for (const ConferenceStats& conference : stats.conferences) {
      stats.messages += conference.messages;
      stats.privateMessages += conference.privateMessages;
    }
    stats.bytes = db_.SizeInBytes();
    stats.activity = UserFigures(db_);
    db_.Commit();
    return stats;
  } catch (...) {
    db_.Rollback();
    throw;
  }
}

void BoardAdmin::Backup(const std::string& target) {
  BoardFile(db_);  // refuses a board on PostgreSQL before anything else
  if (IsPostgresName(target)) {
    throw std::invalid_argument(
        "a backup is a board file; copy a board to PostgreSQL with"
        " obrix-board copy");
  }
  if (admin::PathExists(target)) {
    throw std::invalid_argument(target + " already exists; a backup never overwrites a file");
  }
  CopyToNewFile(db_, target);
}

namespace {

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
  const auto number = admin::WholeNumber(MetaValue(db, kSchemaVersionKey).value_or(""));
  if (!number || *number < 1) {
    throw std::invalid_argument(backup + " is not a board (no schema version)");
  }
  if (*number > kSchemaVersion) {
    throw std::invalid_argument(backup + " is a board of schema version " + Decimal(*number) +
                                "; this program knows version " + Decimal(kSchemaVersion) +
                                " at most");
  }
}

}  // namespace

std::optional<std::string> BoardAdmin::Restore(const std::string& source, const std::string& path) {
  if (IsPostgresName(path)) {
    throw std::invalid_argument(DescribeBoardName(path) +
                                " is not a board file: restore a PostgreSQL board with"
                                " pg_restore, or fill a new one with obrix-board copy");
  }
  if (IsPostgresName(source) || !admin::PathExists(source)) {
    throw std::invalid_argument("no board file at " + DescribeBoardName(source));
  }
  const bool replacing = admin::PathExists(path);
  std::error_code ec;
  if (replacing && std::filesystem::equivalent(source, path, ec)) {
    throw std::invalid_argument(source + " is the board itself");
  }
  const std::unique_ptr<SqliteDatabase> from = SqliteDatabase::Open(source, false);
  CheckRestorable(*from, source);
  if (!replacing) {
    CopyToNewFile(*from, path);
    return std::nullopt;
  }
  // The board replaced is kept; an earlier one is never overwritten.
  const std::string kept = path + kBeforeRestoreSuffix;
  if (admin::PathExists(kept)) {
    throw std::invalid_argument(kept + " is there from an earlier restore; move it away first");
  }
  const std::unique_ptr<SqliteDatabase> board = SqliteDatabase::OpenAlone(path);
  if (!board) {
    throw std::invalid_argument(path +
                                " is in use by a node or another obrix-board; stop the BBS"
                                " first");
  }
  try {
    if (!board->HoldsBoard()) throw std::invalid_argument(path + " is not a board");
  } catch (const Failure&) {
    throw std::invalid_argument(path + " is not a board (not a database file)");
  }
  CopyToNewFile(*board, kept);
  CopyDatabase(*from, *board);
  return kept;
}

}  // namespace obrix::board
