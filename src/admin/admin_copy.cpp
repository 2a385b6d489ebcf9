// Copying a whole board into a new one, between the two kinds of board: a
// board file and a PostgreSQL database. Every table is read in one pass
// under one snapshot of the source and written inside one transaction of
// the target in batches of rows, each batch one multi-row INSERT.
// Both kinds have the same tables and columns; only the id counters are
// kept differently (see SetIdCounters).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "board/schema.h"
#include "board/tables.h"
#include "platform/file_mode.h"
#include "platform/terminal.h"
#include "server/server.h"

namespace obrix::board {

namespace {

// A table, its columns named in `columns` with their kind marked: "#" an
// integer, "*" bytes, none a text (bound as text, so that a board file
// compares it as a text).
struct Table {
  const char* name;
  const char* columns;  // the id column first when the table has one
  // The column of the ids the database makes (an identity column on
  // PostgreSQL), whose counter must follow the ids copied; nullptr when
  // the ids are given.
  const char* identity;
  const char* order;
};

// Every table of the board, each after the tables its rows refer to.
constexpr Table kTables[] = {
    {"meta", "key value", nullptr, "key"},
    {"users", "#id name title password_hash #newfiles_time", "id", "id"},
    {"user_vars", "#user_id section key value", nullptr, "user_id, section, key"},
    {"object_flags", "#user_id #object #flags", nullptr, "user_id, object"},
    {"node_activity", "#user_id text #time", nullptr, "user_id"},
    {"conferences", "#number name #default_flags #restricted #next_number #mode", nullptr,
     "number"},
    {"conf_readers", "#conference #user_id", nullptr, "conference, user_id"},
    {"conf_flags", "#user_id #conference #flags", nullptr, "user_id, conference"},
    {"last_read", "#user_id #conference #message_id", nullptr, "user_id, conference"},
    {"messages",
     "#id #conference #number #from_id from_name from_title #to_id to_name to_title subject"
     " #private #received #receipt_requested #reference #entry_time #message_time #read_time"
     " uploader_id_text *text #text_hash",
     "id", "id"},
    {"file_areas", "#number name #exclude", nullptr, "number"},
    {"files", "#id #area name description #size #upload_time", "id", "id"},
    // A board file's rowid is implicit; PostgreSQL keeps it as a column.
    {"server_files", "#rowid path_key path #message_id *data", "rowid", "rowid"},
    {"deliveries", "#user_id #made_time #finished *packet_digest", nullptr, "user_id"},
    {"delivery_pointers", "#user_id #conference #before_id #after_id", nullptr,
     "user_id, conference"},
    {"delivery_messages", "#user_id #message_id #kind", nullptr, "user_id, message_id"},
};

enum class Kind { kInt, kText, kBytes };

struct Column {
  std::string name;
  Kind kind;
};

std::vector<Column> ColumnsOf(const Table& table) {
  std::vector<Column> columns;
  std::istringstream words(table.columns);
  std::string word;
  while (words >> word) {
    const Kind kind = word[0] == '#' ? Kind::kInt : word[0] == '*' ? Kind::kBytes : Kind::kText;
    columns.push_back({kind == Kind::kText ? word : word.substr(1), kind});
  }
  return columns;
}

std::string SelectSql(const Table& table, const std::vector<Column>& columns) {
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
std::string InsertSql(const Table& table, const std::vector<Column>& columns, size_t rows) {
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
                             std::to_string(std::size(kTables)) + ", " + table_ + ": " +
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

TableCopy CopyRows(Database& source, Database& target, const Table& table, CopyProgress& progress) {
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

std::string Qualified(const char* table) {
  return std::string(admin::kPostgresSchema) + "." + table;
}

// The highest message id the board ever gave: message ids are never used
// twice, even after the message with the highest one was deleted.
int64_t MessageCounter(Database& db) {
  const std::string sql =
      db.backend() == Backend::kSqlite
          ? std::string("SELECT seq FROM sqlite_sequence WHERE name = 'messages'")
          : "SELECT last_value FROM pg_sequences WHERE schemaname || '.' || sequencename ="
            " pg_get_serial_sequence('" +
                Qualified("messages") + "', 'id')";
  auto row = db.Prepare(sql);
  return row->Step() && !row->IsNull(0) ? row->Int(0) : 0;
}

// Moves the id counter of `table` to `highest`, so that the next id it
// gives is above it. A board file counts only the messages (AUTOINCREMENT;
// its other ids follow the highest one kept); PostgreSQL has a sequence
// for each identity column.
void SetIdCounter(Database& db, const Table& table, int64_t highest) {
  if (highest < 1) return;  // a new counter starts at 1
  const std::string value = std::to_string(highest);
  if (db.backend() == Backend::kPostgres) {
    auto set = db.Prepare("SELECT setval(pg_get_serial_sequence('" + Qualified(table.name) +
                          "', '" + table.identity + "'), " + value + ")");
    set->Run();
    return;
  }
  if (std::string_view(table.name) != "messages") return;
  db.Exec(
      "INSERT INTO sqlite_sequence (name, seq) SELECT 'messages', 0"
      " WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'messages');"
      "UPDATE sqlite_sequence SET seq = max(seq, " +
      value + ") WHERE name = 'messages'");
}

int64_t CountUsers(Database& db) {
  auto count = db.Prepare("SELECT count(*) FROM users WHERE name <> ?");
  count->Bind(1, kDefaultAccount);
  return count->Step() ? count->Int(0) : 0;
}

// Copies every table of `source` into the new board's tables in `target`,
// inside the caller's transactions on both.
CopyReport CopyTables(Database& source, Database& target, CopyProgress& progress) {
  const int64_t messageCounter = MessageCounter(source);
  target.Exec("DELETE FROM meta");  // the source's rows replace the new board's
  CopyReport report;
  size_t number = 0;
  for (const Table& table : kTables) {
    progress.StartTable(table.name, ++number);
    const TableCopy copied = CopyRows(source, target, table, progress);
    progress.Rows(copied.rows);
    const std::string_view name = table.name;
    if (name == "conferences") report.conferences = copied.rows;
    if (name == "messages") report.messages = copied.rows;
    if (name == "files") report.files = copied.rows;
    if (!table.identity) continue;
    SetIdCounter(
        target, table,
        name == "messages" ? std::max(copied.highestId, messageCounter) : copied.highestId);
  }
  report.users = CountUsers(target);
  return report;
}

// A new board file is filled under a rollback journal, which has nothing
// to keep for pages that had no content, so each page is written once
// (the WAL would write it twice: to the log, then to the file), with a
// cache that holds the messages' indexes. It goes back to its WAL after.
void BeginFill(Database& target) {
  if (target.backend() != Backend::kSqlite) return;
  target.Exec("PRAGMA cache_size = -65536; PRAGMA journal_mode = TRUNCATE");
}

void EndFill(Database& target) {
  if (target.backend() == Backend::kSqlite) target.Exec("PRAGMA journal_mode = WAL");
}

// Makes the board's tables in `target` (which must hold no board) and
// fills them from `source`, read under one snapshot, in one transaction.
CopyReport CopyInto(Database& source, Database& target) {
  ConfigureConnection(target);
  BeginFill(target);
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
  EndFill(target);
  return report;
}

bool SameBoard(const std::string& source, const std::string& target) {
  if (source == target) return true;
  if (IsPostgresName(source) || IsPostgresName(target)) return false;
  std::error_code ec;
  return std::filesystem::equivalent(source, target, ec);
}

}  // namespace

CopyReport BoardAdmin::Copy(const std::string& source, const std::string& target) {
  if (SameBoard(source, target)) {
    throw std::invalid_argument("cannot copy the board " + DescribeBoardName(source) +
                                " onto itself");
  }
  BoardAdmin from = Open(source);  // refuses what is not a board
  if (IsPostgresName(target)) return CopyInto(*from.owned_, *OpenDatabase(target, false));
  if (admin::PathExists(target)) {
    throw std::invalid_argument(target + " already exists; a board is never overwritten");
  }
  std::string reason;
  if (!CreateOwnerOnlyFile(target, reason)) {
    throw std::invalid_argument("cannot create " + target + ": " + reason);
  }
  try {
    return CopyInto(*from.owned_, *OpenDatabase(target, false));
  } catch (...) {
    RemoveBoardFiles(target);
    throw;
  }
}

}  // namespace obrix::board
