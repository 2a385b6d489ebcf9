// The board's tables, described once: their columns and types, keys and
// indexes. Each kind of database builds its CREATE statements from this
// description in its own dialect (BoardTablesSql), and the copy between
// boards reads and writes the columns it lists. A board made by this
// program has exactly these tables; older boards reach them through each
// kind's upgrades.
#pragma once

#include <span>
#include <string>

namespace obrix::board {

enum class ColumnType {
  kInteger,
  kText,   // board text: Windows-1252 bytes, compared as text on a board file
  kBytes,  // bytes that are never text (a message's text, a file's data)
  // The row's id, given by the database when the row is inserted without
  // one: an integer primary key.
  kId,
  // An id never given twice, even after the row with the highest one was
  // deleted.
  kLastingId,
  // The number a row's data is read by: a board file's own rowid, a
  // column of its own elsewhere.
  kRowid,
};

struct ColumnDescription {
  const char* name;
  ColumnType type;
  // The column's constraints after its type: "NOT NULL DEFAULT 0",
  // "PRIMARY KEY", "REFERENCES users(id)".
  const char* constraints;
};

struct TableDescription {
  const char* name;
  std::span<const ColumnDescription> columns;
  // The table's own keys after its columns ("PRIMARY KEY (a, b)"); may be
  // empty.
  const char* keys;
  // The column whose ids the database gives (kId, kLastingId, kRowid);
  // nullptr when the rows' keys are given.
  const char* identity;
  // The order the rows are copied in.
  const char* order;
  // True when a board file keeps the table in its primary key's order
  // (WITHOUT ROWID).
  bool keyOrdered = false;
};

// Every table of the board, each after the tables its rows refer to.
std::span<const TableDescription> BoardTables();
// The indexes beyond the keys, CREATE INDEX statements alike on both kinds.
std::span<const char* const> BoardIndexes();

// How a kind names the description's types.
struct SqlDialect {
  const char* integer;
  const char* text;
  const char* bytes;
  const char* id;          // a kId column's type and key
  const char* lastingId;   // a kLastingId column's
  const char* rowid;       // a kRowid column's; nullptr: the table's own rowid, no column
  const char* keyOrdered;  // after a keyOrdered table's closing parenthesis
};

// The CREATE TABLE and CREATE INDEX statements of every table, in `dialect`.
std::string BoardTablesSql(const SqlDialect& dialect);

}  // namespace obrix::board
