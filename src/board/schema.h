// The board's database schema: its version, its making and its upgrades,
// and the opening of a board ready for use. The tables themselves are
// described in schema_tables.h.
#pragma once

#include <memory>
#include <string>

#include "base/failure.h"
#include "board/database.h"

namespace obrix::board {

// The schema version this program knows. A board of a newer version is
// refused at connection; one of an older version is upgraded in place
// (UpgradeSchema).
inline constexpr int kSchemaVersion = 4;
// The `meta` key that records it.
inline constexpr const char* kSchemaVersionKey = "schema_version";

// A database that holds no board this program can serve; its description
// says why ("not a board (no board tables)", "a board of schema version
// 9; ...").
class NotABoard : public Failure {
 public:
  explicit NotABoard(const std::string& why) : Failure(kFailureServer, why) {}
};

// Creates every table and index of an empty board and records the schema
// version (in `meta`, and wherever the kind keeps it besides), inside the
// caller's write transaction.
void CreateSchema(Database& db);

// Brings a board of an older schema version up to kSchemaVersion, in one
// write transaction, through the kind's own upgrades; does nothing when
// another connection did it first. Version 2 added the conferences' mode
// and the packet character set, version 3 the delivery records, version 4
// the digest of a delivery's packet. Raises Failure(kFailureServer) when
// the database fails.
void UpgradeSchema(Database& db);

// Opens the board `name` ready for use: its version checked, its
// connection set up, its schema upgraded and its lost-node timeout
// applied. Raises NotABoard when it holds no board this program serves,
// Failure(kFailureServer) when it cannot be opened or read.
std::unique_ptr<Database> OpenBoardDatabase(const std::string& name);

}  // namespace obrix::board
