// The board's tables as each kind of database makes them are the shared
// description's: every table, every column in its place and of its type,
// every index, and nothing besides.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "board/schema_tables.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

using board::ColumnType;
using BoardSchemaTest = BoardTest;

// How each kind names a described type: a board file's declared type, a
// PostgreSQL column's data type. A board file keeps a row's number as its
// own rowid, no column (nullptr).
struct TypeNames {
  ColumnType type;
  const char* file;
  const char* server;
};
constexpr TypeNames kTypeNames[] = {
    {ColumnType::kInteger, "INTEGER", "bigint"},   {ColumnType::kText, "TEXT", "bytea"},
    {ColumnType::kBytes, "BLOB", "bytea"},         {ColumnType::kId, "INTEGER", "bigint"},
    {ColumnType::kLastingId, "INTEGER", "bigint"}, {ColumnType::kRowid, nullptr, "bigint"},
};

using Columns = std::vector<std::pair<std::string, std::string>>;  // name, type

const char* TypeName(ColumnType type, bool file) {
  for (const TypeNames& names : kTypeNames) {
    if (names.type == type) return file ? names.file : names.server;
  }
  ADD_FAILURE() << "no name for type " << static_cast<int>(type);
  return "";
}

TEST_P(BoardSchemaTest, TablesColumnsAndIndexesAreTheDescription) {
  const bool file = backend() == board::Backend::kSqlite;
  TestBoard board({}, backend());
  board::Database& db = board.Admin().database();

  std::map<std::string, Columns> expected;
  for (const board::TableDescription& table : board::BoardTables()) {
    Columns& columns = expected[table.name];
    for (const board::ColumnDescription& column : table.columns) {
      if (const char* type = TypeName(column.type, file)) columns.emplace_back(column.name, type);
    }
  }
  std::map<std::string, Columns> actual;
  auto list = db.Prepare(file ? "SELECT m.name, p.name, p.type FROM sqlite_master m,"
                                " pragma_table_info(m.name) p WHERE m.type = 'table'"
                                " AND m.name NOT LIKE 'sqlite_%' ORDER BY m.name, p.cid"
                              : "SELECT table_name::text, column_name::text, data_type::text"
                                " FROM information_schema.columns WHERE table_schema = 'obrix'"
                                " ORDER BY table_name, ordinal_position");
  while (list->Step()) actual[list->Text(0)].emplace_back(list->Text(1), list->Text(2));
  EXPECT_EQ(actual, expected);

  // "CREATE INDEX name ON ..." names each index third.
  std::set<std::string> indexes;
  for (const std::string index : board::BoardIndexes()) {
    const size_t start = std::string("CREATE INDEX ").size();
    indexes.insert(index.substr(start, index.find(' ', start) - start));
  }
  std::set<std::string> made;
  auto named = db.Prepare(file ? "SELECT name FROM sqlite_master WHERE type = 'index'"
                                 " AND sql IS NOT NULL"
                               : "SELECT i.relname::text FROM pg_index x"
                                 " JOIN pg_class i ON i.oid = x.indexrelid"
                                 " JOIN pg_namespace n ON n.oid = i.relnamespace"
                                 " WHERE n.nspname = 'obrix' AND NOT x.indisunique");
  while (named->Step()) made.insert(named->Text(0));
  EXPECT_EQ(made, indexes);
}

INSTANTIATE_TEST_SUITE_P(, BoardSchemaTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
