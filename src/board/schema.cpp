#include "board/schema.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "board/postgres.h"
#include "board/tables.h"
#include "server/records.h"

namespace obrix::board {

namespace {

// Times are FILETIME tick counts (100 ns since 1 January 1601), local time.
// Texts are Windows-1252 bytes, stored as BLOBs-in-TEXT without conversion.
constexpr const char* kSchema = R"sql(
CREATE TABLE meta (
  key   TEXT PRIMARY KEY,
  value TEXT NOT NULL
);

CREATE TABLE users (
  id            INTEGER PRIMARY KEY,
  name          TEXT NOT NULL UNIQUE,          -- upper case
  title         TEXT NOT NULL DEFAULT '',
  password_hash TEXT,                          -- NULL: no log-in possible
  newfiles_time INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE user_vars (
  user_id INTEGER NOT NULL REFERENCES users(id),
  section TEXT NOT NULL,
  key     TEXT NOT NULL,
  value   TEXT NOT NULL,
  PRIMARY KEY (user_id, section, key)
) WITHOUT ROWID;

CREATE TABLE object_flags (
  user_id INTEGER NOT NULL REFERENCES users(id),
  object  INTEGER NOT NULL,
  flags   INTEGER NOT NULL,
  PRIMARY KEY (user_id, object)
) WITHOUT ROWID;

CREATE TABLE node_activity (
  user_id INTEGER PRIMARY KEY REFERENCES users(id),
  text    TEXT NOT NULL,
  time    INTEGER NOT NULL
);

CREATE TABLE conferences (
  number        INTEGER PRIMARY KEY,
  name          TEXT NOT NULL,
  default_flags INTEGER NOT NULL DEFAULT 3,
  restricted    INTEGER NOT NULL DEFAULT 0,    -- 1: only the listed readers
  next_number   INTEGER NOT NULL DEFAULT 1,    -- next message number
  mode          INTEGER NOT NULL DEFAULT 0     -- public/private mode of replies
);

CREATE TABLE conf_readers (
  conference INTEGER NOT NULL REFERENCES conferences(number),
  user_id    INTEGER NOT NULL REFERENCES users(id),
  PRIMARY KEY (conference, user_id)
) WITHOUT ROWID;

CREATE TABLE conf_flags (
  user_id    INTEGER NOT NULL REFERENCES users(id),
  conference INTEGER NOT NULL REFERENCES conferences(number),
  flags      INTEGER NOT NULL,
  PRIMARY KEY (user_id, conference)
) WITHOUT ROWID;

CREATE TABLE last_read (
  user_id    INTEGER NOT NULL REFERENCES users(id),
  conference INTEGER NOT NULL REFERENCES conferences(number),
  message_id INTEGER NOT NULL,
  PRIMARY KEY (user_id, conference)
) WITHOUT ROWID;

CREATE TABLE messages (
  id                INTEGER PRIMARY KEY AUTOINCREMENT,
  conference        INTEGER NOT NULL REFERENCES conferences(number),
  number            INTEGER NOT NULL,
  from_id           INTEGER NOT NULL,
  from_name         TEXT NOT NULL,
  from_title        TEXT NOT NULL DEFAULT '',
  to_id             INTEGER NOT NULL,
  to_name           TEXT NOT NULL,
  to_title          TEXT NOT NULL DEFAULT '',
  subject           TEXT NOT NULL,
  private           INTEGER NOT NULL DEFAULT 0,
  received          INTEGER NOT NULL DEFAULT 0,
  receipt_requested INTEGER NOT NULL DEFAULT 0,
  reference         INTEGER NOT NULL DEFAULT 0,
  entry_time        INTEGER NOT NULL,
  message_time      INTEGER NOT NULL,
  read_time         INTEGER NOT NULL DEFAULT 0,
  uploader_id_text  TEXT NOT NULL DEFAULT '',
  text              BLOB NOT NULL,
  text_hash         INTEGER NOT NULL,          -- for the duplicate check
  UNIQUE (conference, number)
);
CREATE INDEX messages_by_conference ON messages (conference, id);
CREATE INDEX messages_by_addressee ON messages (to_id, conference, id);
CREATE INDEX messages_duplicates ON messages (conference, text_hash);
-- The first message not yet received by its addressee, found without
-- walking the ones he has received.
CREATE INDEX messages_unread ON messages (to_id, conference, id) WHERE received = 0;

CREATE TABLE file_areas (
  number  INTEGER PRIMARY KEY,
  name    TEXT NOT NULL,
  exclude INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE files (
  id          INTEGER PRIMARY KEY,
  area        INTEGER NOT NULL REFERENCES file_areas(number),
  name        TEXT NOT NULL,
  description TEXT NOT NULL DEFAULT '',
  size        INTEGER NOT NULL,
  upload_time INTEGER NOT NULL
);
CREATE INDEX files_by_area_date ON files (area, upload_time, id);

CREATE TABLE server_files (
  path_key   TEXT PRIMARY KEY,                 -- the path upper-cased
  path       TEXT NOT NULL,
  message_id INTEGER REFERENCES messages(id),  -- set for attachments
  data       BLOB NOT NULL
);
)sql";

// Added in version 3: what each user's last download changed, kept until
// his next one, so that a packet that was never handed over can be undone.
constexpr const char* kDeliveries = R"sql(
CREATE TABLE deliveries (
  user_id   INTEGER PRIMARY KEY REFERENCES users(id),
  made_time INTEGER NOT NULL,
  finished  INTEGER NOT NULL DEFAULT 0         -- 1: its run ended well
);
CREATE TABLE delivery_pointers (
  user_id    INTEGER NOT NULL REFERENCES users(id),
  conference INTEGER NOT NULL,
  before_id  INTEGER NOT NULL,                 -- the pointer before the download
  after_id   INTEGER NOT NULL,                 -- where the download left it
  PRIMARY KEY (user_id, conference)
) WITHOUT ROWID;
CREATE TABLE delivery_messages (
  user_id    INTEGER NOT NULL REFERENCES users(id),
  message_id INTEGER NOT NULL,
  kind       INTEGER NOT NULL,                 -- 1 marked received, 2 a receipt posted
  PRIMARY KEY (user_id, message_id)
) WITHOUT ROWID;
)sql";

// Added in version 4: the digest of the packet a delivery built, so that a
// packet still lying in the work directory at the user's next download is
// known as the one that was never handed over.
constexpr const char* kDeliveryPacket = "ALTER TABLE deliveries ADD COLUMN packet_digest BLOB;";

// What turns a board of version N - 1 into one of version N, by N.
struct Upgrade {
  int toVersion;
  const char* sql;
};
// Version 2: the conferences' reply mode, and the packet character set. A
// board made before it keeps its packets' bytes as they were.
constexpr Upgrade kUpgrades[] = {
    {2,
     "ALTER TABLE conferences ADD COLUMN mode INTEGER NOT NULL DEFAULT 0;"
     "INSERT OR IGNORE INTO meta (key, value) VALUES ('charset', 'windows-1252');"},
    // Version 3: the delivery records.
    {3, kDeliveries},
    {4, kDeliveryPacket},
};
// A board on PostgreSQL began at version 3.
constexpr Upgrade kPostgresUpgrades[] = {
    {4, "ALTER TABLE deliveries ADD COLUMN packet_digest bytea;"},
};

static_assert(std::string_view(kConfigCharset) == "charset" &&
              std::string_view(kPacketCharsetAsStored) == "windows-1252");

int RecordedVersion(Database& db) {
  const std::optional<std::string> recorded = MetaValue(db, kSchemaVersionKey);
  return recorded ? std::stoi(*recorded) : 0;
}

void RecordVersion(Database& db, int version) {
  db.Exec(std::string("UPDATE meta SET value = '") + std::to_string(version) + "' WHERE key = '" +
          kSchemaVersionKey + "'");
  if (db.backend() == Backend::kSqlite) db.Exec("PRAGMA user_version=" + std::to_string(version));
}

}  // namespace

void UpgradeSchema(Database& db) {
  Transaction transaction(db);
  const int from = RecordedVersion(db);
  const std::span<const Upgrade> upgrades = db.backend() == Backend::kSqlite
                                                ? std::span<const Upgrade>(kUpgrades)
                                                : std::span<const Upgrade>(kPostgresUpgrades);
  for (const Upgrade& upgrade : upgrades) {
    if (upgrade.toVersion <= from) continue;
    db.Exec(upgrade.sql);
    RecordVersion(db, upgrade.toVersion);
  }
  transaction.Commit();
}

void ConfigureConnection(Database& db) {
  // synchronous=NORMAL: a commit reaches the disk at the next checkpoint,
  // or when the caller syncs the journal (Database::SyncJournal) where it
  // must be durable; syncing every commit would cost each one a disk write.
  // A board on PostgreSQL is configured when it connects.
  if (db.backend() != Backend::kSqlite) return;
  db.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;");
}

void CreateSchema(Database& db) {
  if (db.backend() == Backend::kSqlite) {
    db.Exec(kSchema);
    db.Exec(kDeliveries);
    db.Exec(kDeliveryPacket);
  } else {
    CreatePostgresSchema(db);
  }
  db.Exec(std::string("INSERT INTO meta(key, value) VALUES ('") + kSchemaVersionKey + "', '" +
          std::to_string(kSchemaVersion) + "')");
  RecordVersion(db, kSchemaVersion);
}

}  // namespace obrix::board
