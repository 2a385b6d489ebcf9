// A board operation whose transaction loses a conflict with another
// connection (a serialization failure or a deadlock, as the server reports
// them) runs again, a bounded number of times; then, and inside a batch at
// once, it is a failure of the board. The conflicts are forced by a
// trigger that raises SQLSTATE 40001 until a sequence (which no rollback
// winds back) has counted enough attempts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/failure.h"
#include "board/database.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

class PostgresRetryTest : public ::testing::Test {
 protected:
  // The next `count` inserts of a message lose a conflict.
  void ConflictsAhead(int count) {
    board_.Admin().database().Exec(
        "DROP TRIGGER IF EXISTS lose ON messages; DROP SEQUENCE IF EXISTS attempts;"
        "CREATE SEQUENCE attempts;"
        "CREATE OR REPLACE FUNCTION lose() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF nextval('attempts') <= " +
        std::to_string(count) +
        " THEN RAISE EXCEPTION 'lost' USING ERRCODE = 'serialization_failure'; END IF; "
        "RETURN NEW; END $$;"
        "CREATE TRIGGER lose BEFORE INSERT ON messages FOR EACH ROW EXECUTE FUNCTION lose()");
  }

  bool Post(board::Board& board, const std::string& subject) {
    MessageRecord record;
    record.conference = 1;
    record.from.name.Set(kUser);
    record.to.name.Set("ALL");
    record.subject.Set(subject);
    return board.vbAddMessage(record, "Text of " + subject);
  }

  int64_t Stored(const std::string& subject) {
    return board_.Number("SELECT count(*) FROM messages WHERE subject = '" + subject + "'");
  }

  TestBoard board_{{.conferences = 2}, board::Backend::kPostgres};
};

TEST_F(PostgresRetryTest, AConflictRunsTheOperationAgainUpToTheBound) {
  const struct {
    int conflicts;
    bool posted;
  } kCases[] = {{1, true}, {board::kConflictRetries, true}, {board::kConflictRetries + 1, false}};
  auto user = board_.LogIn();
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.conflicts);
    ConflictsAhead(test.conflicts);
    const std::string subject = "After " + std::to_string(test.conflicts);
    if (test.posted) {
      EXPECT_TRUE(Post(*user, subject));
      EXPECT_EQ(user->GetLastError(), kServerOk);
    } else {
      try {
        Post(*user, subject);
        ADD_FAILURE() << "the post went through";
      } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), kFailureServer);
      }
      EXPECT_EQ(user->GetLastError(), kServerDatabase);
    }
    EXPECT_EQ(Stored(subject), test.posted ? 1 : 0);
  }
}

TEST_F(PostgresRetryTest, AConflictInsideABatchEndsTheBatch) {
  auto user = board_.LogIn();
  ConflictsAhead(1);
  user->BeginBatch();
  EXPECT_THROW(Post(*user, "In a batch"), Failure);
  user->RollbackBatch();
  EXPECT_EQ(Stored("In a batch"), 0);
  EXPECT_TRUE(Post(*user, "After the batch"));  // the next attempt finds no conflict
}

}  // namespace
}  // namespace obrix::testing
