// The board's database schema.
#pragma once

#include "board/database.h"

namespace obrix::board {

// The schema version this program knows. A board of a newer version is
// refused at connection; one of an older version is upgraded in place
// (UpgradeSchema).
inline constexpr int kSchemaVersion = 4;
// The `meta` key that records it.
inline constexpr const char* kSchemaVersionKey = "schema_version";

// Creates every table and index of an empty board and records the schema
// version (in `meta`, and in a board file's PRAGMA user_version), inside
// the caller's write transaction.
void CreateSchema(Database& db);

// Brings a board of an older schema version up to kSchemaVersion, in one
// write transaction; does nothing when another connection did it first.
// Version 2 added the conferences' mode and the packet character set,
// version 3 the delivery records, version 4 the digest of a delivery's
// packet. Raises Failure(kFailureServer) when the
// database fails.
void UpgradeSchema(Database& db);

// Sets the connection's pragmas: WAL journal, commits synced at
// checkpoints (see Database::SyncJournal), foreign keys.
void ConfigureConnection(Database& db);

}  // namespace obrix::board
