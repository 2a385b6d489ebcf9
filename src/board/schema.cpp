#include "board/schema.h"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/text.h"
#include "board/tables.h"
#include "server/records.h"

namespace obrix::board {

namespace {

static_assert(std::string_view(kConfigCharset) == "charset" &&
              std::string_view(kPacketCharsetAsStored) == "windows-1252");

int RecordedVersion(Database& db) {
  const std::optional<std::string> recorded = MetaValue(db, kSchemaVersionKey);
  return recorded ? std::stoi(*recorded) : 0;
}

void RecordVersion(Database& db, int version) {
  db.Exec(std::string("UPDATE meta SET value = '") + std::to_string(version) + "' WHERE key = '" +
          kSchemaVersionKey + "'");
  db.NoteSchemaVersion(version);
}

// The board's schema version; raises NotABoard saying why the database is
// no board this program can serve.
int BoardSchemaVersion(Database& db) {
  std::optional<std::string> recorded;
  try {
    if (!db.HoldsBoard()) throw NotABoard("not a board (no board tables)");
    recorded = MetaValue(db, kSchemaVersionKey);
  } catch (const Failure&) {
    const std::string why = db.UnreadableReason();
    if (why.empty()) throw;
    throw NotABoard("not a board (" + why + ")");
  }
  if (!recorded) throw NotABoard("not a board (no schema version)");
  const std::string& text = *recorded;
  int version = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), version);
  if (error != std::errc() || end != text.data() + text.size() || version < 1) {
    throw NotABoard("not a board (bad schema version)");
  }
  if (version > kSchemaVersion) {
    throw NotABoard("a board of schema version " + Decimal(version) +
                    "; this program knows version " + Decimal(kSchemaVersion) + " at most");
  }
  return version;
}

}  // namespace

void UpgradeSchema(Database& db) {
  Transaction transaction(db);
  const int from = RecordedVersion(db);
  for (const SchemaUpgrade& upgrade : db.SchemaUpgrades()) {
    if (upgrade.toVersion <= from) continue;
    db.Exec(upgrade.sql);
    RecordVersion(db, upgrade.toVersion);
  }
  transaction.Commit();
}

void CreateSchema(Database& db) {
  db.CreateBoardTables();
  db.Exec(std::string("INSERT INTO meta(key, value) VALUES ('") + kSchemaVersionKey + "', '" +
          std::to_string(kSchemaVersion) + "')");
  RecordVersion(db, kSchemaVersion);
}

std::unique_ptr<Database> OpenBoardDatabase(const std::string& name) {
  std::unique_ptr<Database> db = OpenDatabase(name, false);
  const int version = BoardSchemaVersion(*db);
  db->SetUpConnection();
  if (version < kSchemaVersion) UpgradeSchema(*db);
  ApplyNodeTimeout(*db);
  return db;
}

}  // namespace obrix::board
