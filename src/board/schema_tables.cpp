#include "board/schema_tables.h"

namespace obrix::board {

namespace {

// Times are FILETIME tick counts (100 ns since 1 January 1601), local time.
// True/false columns are numbers, 1 or 0.
using C = ColumnDescription;
constexpr ColumnType kInt = ColumnType::kInteger;
constexpr ColumnType kText = ColumnType::kText;
constexpr ColumnType kBytes = ColumnType::kBytes;

constexpr C kMeta[] = {{"key", kText, "PRIMARY KEY"}, {"value", kText, "NOT NULL"}};

constexpr C kUsers[] = {
    {"id", ColumnType::kId, ""},
    {"name", kText, "NOT NULL UNIQUE"},  // upper case
    {"title", kText, "NOT NULL DEFAULT ''"},
    {"password_hash", kText, ""},  // NULL: no log-in possible
    {"newfiles_time", kInt, "NOT NULL DEFAULT 0"},
};

constexpr C kUserVars[] = {
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
    {"section", kText, "NOT NULL"},
    {"key", kText, "NOT NULL"},
    {"value", kText, "NOT NULL"},
};

constexpr C kObjectFlags[] = {
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
    {"object", kInt, "NOT NULL"},
    {"flags", kInt, "NOT NULL"},
};

constexpr C kNodeActivity[] = {
    {"user_id", kInt, "PRIMARY KEY REFERENCES users(id)"},
    {"text", kText, "NOT NULL"},
    {"time", kInt, "NOT NULL"},
};

constexpr C kConferences[] = {
    {"number", kInt, "PRIMARY KEY"},
    {"name", kText, "NOT NULL"},
    {"default_flags", kInt, "NOT NULL DEFAULT 3"},
    {"restricted", kInt, "NOT NULL DEFAULT 0"},   // 1: only the listed readers
    {"next_number", kInt, "NOT NULL DEFAULT 1"},  // next message number
    {"mode", kInt, "NOT NULL DEFAULT 0"},         // public/private mode of replies
};

constexpr C kConfReaders[] = {
    {"conference", kInt, "NOT NULL REFERENCES conferences(number)"},
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
};

constexpr C kConfFlags[] = {
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
    {"conference", kInt, "NOT NULL REFERENCES conferences(number)"},
    {"flags", kInt, "NOT NULL"},
};

constexpr C kLastRead[] = {
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
    {"conference", kInt, "NOT NULL REFERENCES conferences(number)"},
    {"message_id", kInt, "NOT NULL"},
};

constexpr C kMessages[] = {
    {"id", ColumnType::kLastingId, ""},
    {"conference", kInt, "NOT NULL REFERENCES conferences(number)"},
    {"number", kInt, "NOT NULL"},
    {"from_id", kInt, "NOT NULL"},
    {"from_name", kText, "NOT NULL"},
    {"from_title", kText, "NOT NULL DEFAULT ''"},
    {"to_id", kInt, "NOT NULL"},
    {"to_name", kText, "NOT NULL"},
    {"to_title", kText, "NOT NULL DEFAULT ''"},
    {"subject", kText, "NOT NULL"},
    {"private", kInt, "NOT NULL DEFAULT 0"},
    {"received", kInt, "NOT NULL DEFAULT 0"},
    {"receipt_requested", kInt, "NOT NULL DEFAULT 0"},
    {"reference", kInt, "NOT NULL DEFAULT 0"},
    {"entry_time", kInt, "NOT NULL"},
    {"message_time", kInt, "NOT NULL"},
    {"read_time", kInt, "NOT NULL DEFAULT 0"},
    {"uploader_id_text", kText, "NOT NULL DEFAULT ''"},
    {"text", kBytes, "NOT NULL"},
    {"text_hash", kInt, "NOT NULL"},  // for the duplicate check
};

constexpr C kFileAreas[] = {
    {"number", kInt, "PRIMARY KEY"},
    {"name", kText, "NOT NULL"},
    {"exclude", kInt, "NOT NULL DEFAULT 0"},
};

constexpr C kFiles[] = {
    {"id", ColumnType::kId, ""}, {"area", kInt, "NOT NULL REFERENCES file_areas(number)"},
    {"name", kText, "NOT NULL"}, {"description", kText, "NOT NULL DEFAULT ''"},
    {"size", kInt, "NOT NULL"},  {"upload_time", kInt, "NOT NULL"},
};

constexpr C kServerFiles[] = {
    {"rowid", ColumnType::kRowid, ""},
    {"path_key", kText, "PRIMARY KEY"},  // the path upper-cased
    {"path", kText, "NOT NULL"},
    {"message_id", kInt, "REFERENCES messages(id)"},  // set for attachments
    {"data", kBytes, "NOT NULL"},
};

// What each user's last download changed, kept until his next one, so
// that a packet that was never handed over can be undone; the digest of
// the packet it built knows that packet again.
constexpr C kDeliveries[] = {
    {"user_id", kInt, "PRIMARY KEY REFERENCES users(id)"},
    {"made_time", kInt, "NOT NULL"},
    {"finished", kInt, "NOT NULL DEFAULT 0"},  // 1: its run ended well
    {"packet_digest", kBytes, ""},
};

constexpr C kDeliveryPointers[] = {
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
    {"conference", kInt, "NOT NULL"},
    {"before_id", kInt, "NOT NULL"},  // the pointer before the download
    {"after_id", kInt, "NOT NULL"},   // where the download left it
};

constexpr C kDeliveryMessages[] = {
    {"user_id", kInt, "NOT NULL REFERENCES users(id)"},
    {"message_id", kInt, "NOT NULL"},
    {"kind", kInt, "NOT NULL"},  // 1 marked received, 2 a receipt posted
};

constexpr TableDescription kTables[] = {
    {"meta", kMeta, "", nullptr, "key"},
    {"users", kUsers, "", "id", "id"},
    {"user_vars", kUserVars, "PRIMARY KEY (user_id, section, key)", nullptr,
     "user_id, section, key", true},
    {"object_flags", kObjectFlags, "PRIMARY KEY (user_id, object)", nullptr, "user_id, object",
     true},
    {"node_activity", kNodeActivity, "", nullptr, "user_id"},
    {"conferences", kConferences, "", nullptr, "number"},
    {"conf_readers", kConfReaders, "PRIMARY KEY (conference, user_id)", nullptr,
     "conference, user_id", true},
    {"conf_flags", kConfFlags, "PRIMARY KEY (user_id, conference)", nullptr, "user_id, conference",
     true},
    {"last_read", kLastRead, "PRIMARY KEY (user_id, conference)", nullptr, "user_id, conference",
     true},
    {"messages", kMessages, "UNIQUE (conference, number)", "id", "id"},
    {"file_areas", kFileAreas, "", nullptr, "number"},
    {"files", kFiles, "", "id", "id"},
    {"server_files", kServerFiles, "", "rowid", "rowid"},
    {"deliveries", kDeliveries, "", nullptr, "user_id"},
    {"delivery_pointers", kDeliveryPointers, "PRIMARY KEY (user_id, conference)", nullptr,
     "user_id, conference", true},
    {"delivery_messages", kDeliveryMessages, "PRIMARY KEY (user_id, message_id)", nullptr,
     "user_id, message_id", true},
};

constexpr const char* kIndexes[] = {
    "CREATE INDEX messages_by_conference ON messages (conference, id)",
    "CREATE INDEX messages_by_addressee ON messages (to_id, conference, id)",
    "CREATE INDEX messages_duplicates ON messages (conference, text_hash)",
    // The first message not yet received by its addressee, found without
    // walking the ones he has received.
    "CREATE INDEX messages_unread ON messages (to_id, conference, id) WHERE received = 0",
    "CREATE INDEX files_by_area_date ON files (area, upload_time, id)",
};

const char* TypeIn(const SqlDialect& dialect, ColumnType type) {
  switch (type) {
    case ColumnType::kInteger:
      return dialect.integer;
    case ColumnType::kText:
      return dialect.text;
    case ColumnType::kBytes:
      return dialect.bytes;
    case ColumnType::kId:
      return dialect.id;
    case ColumnType::kLastingId:
      return dialect.lastingId;
    case ColumnType::kRowid:
      return dialect.rowid;
  }
  return nullptr;
}

}  // namespace

std::span<const TableDescription> BoardTables() { return kTables; }

std::span<const char* const> BoardIndexes() { return kIndexes; }

std::string BoardTablesSql(const SqlDialect& dialect) {
  std::string sql;
  for (const TableDescription& table : kTables) {
    sql += std::string("CREATE TABLE ") + table.name + " (";
    const char* separator = "\n  ";
    for (const ColumnDescription& column : table.columns) {
      const char* type = TypeIn(dialect, column.type);
      if (!type) continue;  // kept by the table itself
      sql += separator + std::string(column.name) + ' ' + type;
      if (*column.constraints) sql += std::string(" ") + column.constraints;
      separator = ",\n  ";
    }
    if (*table.keys) sql += separator + std::string(table.keys);
    sql += "\n)";
    if (table.keyOrdered) sql += dialect.keyOrdered;
    sql += ";\n";
  }
  for (const char* index : kIndexes) sql += std::string(index) + ";\n";
  return sql;
}

}  // namespace obrix::board
