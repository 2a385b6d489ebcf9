// The board's database schema.
#pragma once

#include "board/sqlite.h"

namespace obrix::board {

// The schema version this program knows. A board of a newer version is
// refused at connection.
inline constexpr int kSchemaVersion = 2;
// The `meta` key that records it.
inline constexpr const char* kSchemaVersionKey = "schema_version";

// Creates every table and index of an empty board and records the schema
// version (in `meta` and in PRAGMA user_version).
void CreateSchema(Database& db);

// Brings a board of an older schema version (checked by the caller to be
// one this program knows) up to kSchemaVersion, in one write transaction;
// nothing for a board that is already there. Version 2 added the delivery
// records.
void UpgradeSchema(Database& db);

// Sets the connection's pragmas: WAL journal, commits synced at
// checkpoints (see Database::SyncJournal), foreign keys.
void ConfigureConnection(Database& db);

}  // namespace obrix::board
