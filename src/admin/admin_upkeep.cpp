// Looking after a running board: its statistics, and copies of it taken
// while the nodes run (backup) or put back while none does (restore).
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/failure.h"
#include "base/text.h"
#include "board/schema.h"
#include "board/tables.h"
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

void BoardAdmin::Backup(const std::string& target) { db_.BackupTo(target); }

std::optional<std::string> BoardAdmin::Restore(const std::string& source, const std::string& path) {
  return KindOf(path).Restore(source, path);
}

}  // namespace obrix::board
