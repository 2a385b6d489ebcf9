// Copying a whole board into a new one, between the two kinds of board: a
// board file and a PostgreSQL database. Every table is read in one pass
// under one snapshot of the source and written inside one transaction of
// the target in batches of rows, each batch one multi-row INSERT.
// Both kinds have the same tables and columns (schema_tables.h); only the
// id counters are kept differently (Database::SetIdCounter).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "board/schema.h"
#include "board/schema_tables.h"
#include "board/tables.h"
#include "platform/terminal.h"
#include "server/server.h"

namespace obrix::board {

namespace {

// A column's values as the copy carries them: a text is bound as a text,
// so that a board file compares it as a text.
enum class Kind { kInt, kText, kBytes };

struct Column {
  std::string name;
  Kind kind;
};

// The table's columns as the copy carries them, a board file's own rowid
// included: the id column first when the table has one.
std::vector<Column> ColumnsOf(const TableDescription& table) {
  std::vector<Column> columns;
  for (const ColumnDescription& column : table.columns) {
    const Kind kind = column.type == ColumnType::kText    ? Kind::kText
                      : column.type == ColumnType::kBytes ? Kind::kBytes
                                                          : Kind::kInt;
    columns.push_back({column.name, kind});
  }
  return columns;
}

std::string SelectSql(const TableDescription& table, const std::vector<Column>& columns) {
  std::string list;
  for (const Column& column : columns) list += (list.empty() ? "" : ", ") + column.name;
  return "SELECT " + list + " FROM " + table.name + " ORDER BY " + table.order;
}

// The rows one INSERT carries. With 20 columns at most a full batch binds
// 5,000 values: below the limit on bound values of a board file (32,766
// with the default build), and small enough that PostgreSQL's description
// of the prepared statement's parameters (4 bytes each) stays under the
// 30,000 bytes the client library accepts for that message.
constexpr size_t kBatchRows = 250;

// An INSERT of `rows` rows into `table`, its values numbered row by row.
std::string InsertSql(const TableDescription& table, const std::vector<Column>& columns,
                      size_t rows) {
  std::string list;
  for (size_t i = 0; i < columns.size(); ++i) list += (i ? ", " : "") + columns[i].name;
  std::string sql = "INSERT INTO " + std::string(table.name) + " (" + list + ") VALUES ";
  size_t number = 0;
  for (size_t row = 0; row < rows; ++row) {
    sql += row ? ", (" : "(";
    for (size_t i = 0; i < columns.size(); ++i) {
      sql += (i ? ", ?" : "?") + std::to_string(++number);
    }
    sql += ')';
  }
  return sql;
}

// A value read from the source, kept until its batch is written.
struct Value {
  bool null = false;
  int64_t number = 0;
  std::string bytes;
};

void ReadColumn(const Statement& row, int column, Kind kind, Value& value) {
  value.null = row.IsNull(column);
  if (value.null) return;
  if (kind == Kind::kInt) {
    value.number = row.Int(column);
  } else {
    value.bytes = row.Text(column);
  }
}

void BindValue(const Value& value, int index, Kind kind, Statement& insert) {
  if (value.null) {
    insert.BindNull(index);
  } else if (kind == Kind::kInt) {
    insert.Bind(index, value.number);
  } else if (kind == Kind::kText) {
    insert.Bind(index, std::string_view(value.bytes));
  } else {
    insert.BindBlob(index, std::string_view(value.bytes));
  }
}

// Binds the first `rows` rows of `batch` (columns.size() values a row) to
// `insert`, an INSERT of that many rows, and runs it.
void WriteBatch(const std::vector<Value>& batch, size_t rows, const std::vector<Column>& columns,
                Statement& insert) {
  for (size_t i = 0; i < rows * columns.size(); ++i) {
    BindValue(batch[i], static_cast<int>(i + 1), columns[i % columns.size()].kind, insert);
  }
  insert.Run();
  insert.Reset();
}

// The progress line a sysop watching a long copy sees on standard error:
// the table being copied and its rows so far, rewritten in place ("\r") at
// most four times a second, and cleared when the copy ends, so that the
// command's own report takes its place. Shown only on a terminal: a log or a
// test sees nothing.
class CopyProgress {
 public:
  // A copy that ends within the first interval shows nothing.
  CopyProgress() : shown_(StandardErrorIsTerminal()), last_(std::chrono::steady_clock::now()) {}
  CopyProgress(const CopyProgress&) = delete;
  CopyProgress& operator=(const CopyProgress&) = delete;
  // Clears the line when one was written, on success and failure alike.
  ~CopyProgress() {
    if (written_ > 0) std::fprintf(stderr, "\r%*s\r", written_, "");
  }

  void StartTable(const char* name, size_t number) {
    table_ = name;
    number_ = number;
  }

  // Called as rows are copied; writes the line when the last one is old
  // enough.
  void Rows(int64_t rows) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterval) return;
    last_ = now;
    const std::string line = "Copying table " + std::to_string(number_) + " of " +
                             std::to_string(BoardTables().size()) + ", " + table_ + ": " +
                             std::to_string(rows) + " rows";
    const int length = static_cast<int>(line.size());
    // Blanks cover the end of a longer line before.
    std::fprintf(stderr, "\r%s%*s", line.c_str(), std::max(0, written_ - length), "");
    std::fflush(stderr);
    written_ = std::max(written_, length);
  }

 private:
  static constexpr std::chrono::milliseconds kInterval{250};
  const bool shown_;
  int written_ = 0;                             // the longest line written so far
  std::chrono::steady_clock::time_point last_;  // when the line was last written
  const char* table_ = "";
  size_t number_ = 0;
};

struct TableCopy {
  int64_t rows = 0;
  int64_t highestId = 0;  // of the identity column; 0 when none
};

TableCopy CopyRows(Database& source, Database& target, const TableDescription& table,
                   CopyProgress& progress) {
  const std::vector<Column> columns = ColumnsOf(table);
  auto read = source.Prepare(SelectSql(table, columns));
  std::vector<Value> batch(kBatchRows * columns.size());
  size_t held = 0;  // rows in `batch`
  std::optional<Database::Use> full;
  TableCopy copied;
  while (read->Step()) {
    Value* row = &batch[held * columns.size()];
    for (size_t column = 0; column < columns.size(); ++column) {
      ReadColumn(*read, static_cast<int>(column), columns[column].kind, row[column]);
    }
    ++copied.rows;
    if (table.identity) copied.highestId = std::max(copied.highestId, read->Int(0));
    if (++held < kBatchRows) continue;
    // The INSERT of a full batch is prepared once, at the first full batch.
    if (!full) full.emplace(target.Prepare(InsertSql(table, columns, kBatchRows)));
    WriteBatch(batch, held, columns, **full);
    held = 0;
    progress.Rows(copied.rows);
  }
  if (held > 0) WriteBatch(batch, held, columns, *target.Prepare(InsertSql(table, columns, held)));
  return copied;
}

int64_t CountUsers(Database& db) {
  auto count = db.Prepare("SELECT count(*) FROM users WHERE name <> ?");
  count->Bind(1, kDefaultAccount);
  return count->Step() ? count->Int(0) : 0;
}

// Copies every table of `source` into the new board's tables in `target`,
// inside the caller's transactions on both.
CopyReport CopyTables(Database& source, Database& target, CopyProgress& progress) {
  const std::span<const TableDescription> tables = BoardTables();
  const auto messages = std::find_if(tables.begin(), tables.end(), [](const auto& table) {
    return std::string_view(table.name) == "messages";
  });
  // Message ids are never used twice, even after the message with the
  // highest one was deleted.
  const int64_t messageCounter = source.IdCounter(*messages);
  target.Exec("DELETE FROM meta");  // the source's rows replace the new board's
  CopyReport report;
  size_t number = 0;
  for (const TableDescription& table : tables) {
    progress.StartTable(table.name, ++number);
    const TableCopy copied = CopyRows(source, target, table, progress);
    progress.Rows(copied.rows);
    const std::string_view name = table.name;
    if (name == "conferences") report.conferences = copied.rows;
    if (name == "messages") report.messages = copied.rows;
    if (name == "files") report.files = copied.rows;
    if (!table.identity) continue;
    target.SetIdCounter(
        table, name == "messages" ? std::max(copied.highestId, messageCounter) : copied.highestId);
  }
  report.users = CountUsers(target);
  return report;
}

// Makes the board's tables in `target` (which must hold no board) and
// fills them from `source`, read under one snapshot, in one transaction.
CopyReport CopyInto(Database& source, Database& target) {
  target.SetUpConnection();
  target.BeginFill();
  Transaction transaction(target);
  if (target.HoldsBoard()) {
    throw std::invalid_argument(target.Describe() +
                                " already holds a board; a board is never overwritten");
  }
  CreateSchema(target);
  source.BeginSnapshot();
  CopyReport report;
  // Kept on the terminal until the target's commit is done.
  CopyProgress progress;
  try {
    report = CopyTables(source, target, progress);
    source.Commit();
  } catch (...) {
    source.Rollback();
    throw;
  }
  transaction.Commit();
  target.EndFill();
  return report;
}

}  // namespace

CopyReport BoardAdmin::Copy(const std::string& source, const std::string& target) {
  if (source == target || KindOf(source).Same(source, target)) {
    throw std::invalid_argument("cannot copy the board " + DescribeBoardName(source) +
                                " onto itself");
  }
  BoardAdmin from = Open(source);  // refuses what is not a board
  KindOf(target).CheckNew(target);
  CopyReport report;
  MakeBoard(target, [&](Database& db) { report = CopyInto(*from.owned_, db); });
  return report;
}

}  // namespace obrix::board
