#include "board/database.h"

namespace obrix::board {

Database::Use Database::Prepare(const std::string& sql) {
  auto& slot = statements_[sql];
  if (!slot) slot = NewStatement(sql);
  slot->Reset();
  return Use(*slot);
}

Transaction::Transaction(Database& db) : db_(db), nested_(db.InTransaction()) {
  // A savepoint is only worth its round trip once something fails: it
  // travels with the operation's first statement.
  if (nested_) {
    db_.ExecLater("SAVEPOINT operation");
  } else {
    db_.BeginWrite();
  }
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    // Undoes this operation's writes only; an enclosing transaction goes on.
    if (nested_) {
      db_.ExecLater("ROLLBACK TO operation");
      db_.ExecLater("RELEASE operation");
    } else {
      db_.Rollback();
    }
  } catch (...) {
  }
}

void Transaction::Commit() {
  if (nested_) {
    db_.ExecLater("RELEASE operation");
  } else {
    db_.Commit();
  }
  done_ = true;
}

}  // namespace obrix::board
