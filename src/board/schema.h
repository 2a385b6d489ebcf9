// The board's database schema.
#pragma once

#include "board/sqlite.h"

namespace obrix::board {

// The schema version this program knows. A board of a newer version is
// refused at connection; one of an older version is upgraded in place
// (UpgradeSchema).
inline constexpr int kSchemaVersion = 2;
// The `meta` key that records it.
inline constexpr const char* kSchemaVersionKey = "schema_version";

// Creates every table and index of an empty board and records the schema
// version (in `meta` and in PRAGMA user_version).
void CreateSchema(Database& db);

// Brings a board of an older schema version up to kSchemaVersion, in one
// write transaction; does nothing when another connection did it first.
// Raises Failure(kFailureServer) when the database fails.
void UpgradeSchema(Database& db);

// Sets the connection's pragmas: WAL journal, foreign keys, busy timeout.
void ConfigureConnection(Database& db);

}  // namespace obrix::board
