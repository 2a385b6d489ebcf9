// The one place that knows both kinds of board database: which kind a
// board's name names, and opening it by that name.
#include "board/database.h"
#include "board/postgres/postgres.h"
#include "board/sqlite/sqlite.h"

namespace obrix::board {

bool IsPostgresName(std::string_view name) { return IsPostgresConninfo(name); }

const DatabaseKind& KindOf(const std::string& name) {
  return IsPostgresName(name) ? PostgresKind() : SqliteKind();
}

std::string DescribeBoardName(const std::string& name) {
  return IsPostgresName(name) ? DescribePostgresName(name) : name;
}

std::string MissingBoardHint(const std::string& name) {
  if (IsPostgresName(name) || name.find('=') == std::string::npos) return {};
  return "; a PostgreSQL connection string begins with a keyword libpq knows (host=, dbname=, "
         "service=, ...) or is a postgresql:// URI";
}

std::unique_ptr<Database> OpenDatabase(const std::string& name, bool create) {
  return KindOf(name).Open(name, create);
}

}  // namespace obrix::board
