// The test board: a real board made through BoardAdmin, copied per test
// from a template that each test program makes once, with builders for
// what a test adds on top. A board is a file in a temporary folder, or a
// database of its own on the test run's PostgreSQL server; a suite that
// holds for both kinds is value-parameterised over board::Backend
// (BoardTest, kBothBackends).
//
// Passwords are hashed by the kit, and by its connection Admin(), at the
// cheapest Argon2id limits (the stored hash records its limits, and the
// board checks any), so that a log-in costs microseconds; the programs
// themselves always hash at full cost.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "board/board.h"
#include "board/database.h"
#include "platform/file_time.h"
#include "run/activity_log.h"
#include "run/run_context.h"
#include "support/test_support.h"

namespace obrix::board {
// The two kinds of board the kit makes. Only the tests ask which kind a
// board is; the door and the tool reach either through the database
// interface.
enum class Backend { kSqlite, kPostgres };

// Names the kind of board in a failing test's parameter.
inline void PrintTo(Backend backend, std::ostream* out) {
  *out << (backend == Backend::kSqlite ? "Sqlite" : "Postgres");
}
}  // namespace obrix::board

namespace obrix::testing {

struct TestUser {
  std::string name{};
  std::string password{};
  std::string title{};
};

// The standard users: the caller the tests act for, and the one who
// writes to him.
inline constexpr const char* kUser = "ALICE CALLER";
inline constexpr const char* kUserPassword = "secret";
inline constexpr const char* kOther = "BOB WRITER";
inline constexpr const char* kOtherPassword = "other-pw";

// What a template holds. Boards of equal setups come from one template.
struct BoardSetup {
  std::string sysop = "Sysop";
  std::string sysopPassword{};  // empty: the sysop cannot log in
  std::vector<TestUser> users = {{kUser, kUserPassword, "Caller"},
                                 {kOther, kOtherPassword, "Writer"}};
  int32_t conferences = 0;  // 0 to n - 1, named "Conference <n>", default flags 3
};

// A board of the sysop alone (Sara Sysop, who logs in with kUserPassword);
// its tests add the users they need.
inline const BoardSetup kSysopAlone = {
    .sysop = "Sara Sysop", .sysopPassword = kUserPassword, .users = {}};

// The text a message gets when its test gives none.
std::string MessageText(const std::string& subject, const std::string& from, const std::string& to);

// A message to post; the defaults make a public message from kOther to ALL
// in conference 1.
struct TestMessage {
  int32_t conference = 1;
  std::string from = kOther;
  std::string to = "ALL";
  std::string subject = "Subject";
  bool isPrivate = false;
  bool receipt = false;
  int32_t reference = 0;
  std::optional<FILETIME> date{};     // now when absent
  std::optional<std::string> text{};  // MessageText(subject, from, to) when absent
  std::string attachment{};           // attached when not empty
};

// Copies the template board file of `setup` to `path`.
void CopyTemplate(const BoardSetup& setup, const std::string& path);

class TestBoard {
 public:
  // A copy of the template of `setup`: a board file at `path` (in a
  // folder of its own when empty), or a database of its own on the test
  // server.
  explicit TestBoard(const BoardSetup& setup = {}, board::Backend backend = board::Backend::kSqlite,
                     const std::string& path = "");
  TestBoard(const BoardSetup& setup, const std::string& path)
      : TestBoard(setup, board::Backend::kSqlite, path) {}
  // A copy of `model` as it is now, of the model's kind (a board file at
  // `path` when given). No other connection may be open on the model.
  explicit TestBoard(TestBoard& model, const std::string& path = "");
  TestBoard(const TestBoard&) = delete;
  TestBoard& operator=(const TestBoard&) = delete;
  // Drops a board's database from the test server.
  ~TestBoard();

  board::Backend backend() const { return backend_; }
  // What names the board to the programs (OBRIX_BOARD, --board): the
  // file's path, or the database's "postgresql://" URI.
  const std::string& name() const { return name_; }
  // The kit's own connection, opened on first use after Close.
  board::BoardAdmin& Admin();
  // Closes that connection, so that another may take the whole board.
  void Close() { admin_.reset(); }

  int32_t AddUser(const TestUser& user);
  int32_t UserId(const std::string& name) { return Admin().UserId(name); }
  // Adds conferences `numbers`, named "Conference <n>", default flags 3.
  void AddConferences(const std::vector<int32_t>& numbers);
  // Posts `message` and returns its id.
  int32_t Post(const TestMessage& message);

  // A connection with a context and nobody logged in.
  std::unique_ptr<board::Board> Connect();
  // A connection with the system account logged in.
  std::unique_ptr<board::Board> System();
  // A connection with `name` logged in as a run does it: the system
  // account finds him by name, then he logs in with his password.
  std::unique_ptr<board::Board> LogIn(const std::string& name = kUser,
                                      const std::string& password = kUserPassword);
  // The same on a connection of the test's own (connected first unless
  // `connected`); returns the user's id.
  int32_t LogIn(board::Board& board, const std::string& name, const std::string& password,
                bool connected = false);

  // Every message, in id order, with its text.
  std::vector<board::MessageSummary> Messages();
  std::vector<std::string> Subjects();
  // The integer in the first column of the first row of `sql` (0 when it
  // has no row), with `values` bound at ?1, ?2, ... Each query is one
  // statement outside any transaction, so it never holds a run up.
  int64_t Number(const std::string& sql, const std::vector<int64_t>& values = {});
  // Waits until no other connection is open on the board. A program killed
  // in the middle of its work is gone at once from a board file, but a
  // database server ends its session only when it sees the connection
  // close, and may still be applying a commit it had been sent.
  void AwaitOtherSessionsGone();

 private:
  board::Backend backend_;
  std::optional<TempDir> dir_;
  std::string name_;
  std::optional<board::BoardAdmin> admin_;
};

// The base of a suite that holds for both kinds of board: its tests
// (TEST_P) run once per kind, named by BackendName; a test of the same
// fixture about the board file itself (TEST_F) runs on a file only.
class BoardTest : public ::testing::TestWithParam<board::Backend> {
 protected:
  static board::Backend backend() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return test && test->value_param() ? GetParam() : board::Backend::kSqlite;
  }
};

inline const auto kBothBackends =
    ::testing::Values(board::Backend::kSqlite, board::Backend::kPostgres);

// "Sqlite" or "Postgres": the last part of a parameterised test's name.
std::string BackendName(const ::testing::TestParamInfo<board::Backend>& info);

// A suite whose every test has a board of its own (`test_`, of the setup
// the suite names, of the test's kind), a folder of its own (`dir_`) and
// one Board object (`board_`) to log in on as a run does; that session
// ends with the test.
class OnBoardTest : public BoardTest {
 protected:
  explicit OnBoardTest(const BoardSetup& setup = {}) : test_(setup, backend()) {}
  ~OnBoardTest() override;

  board::BoardAdmin& Admin() { return test_.Admin(); }
  // Adds `name` with the password kUserPassword; his id.
  int32_t AddUser(const std::string& name) { return test_.AddUser({name, kUserPassword}); }
  // Logs `name` in on board_ (connected first, once); his id.
  int32_t LogIn(const std::string& name = kUser, const std::string& password = kUserPassword);
  // Logs the system account in on board_ (connected first, once).
  void LogInSystem();
  // Posts a message with TestMessage's defaults for what is not given; its id.
  int32_t Post(int32_t conference, const std::string& from, const std::string& to,
               const std::string& subject = "Subject", bool isPrivate = false,
               bool receipt = false) {
    return test_.Post({.conference = conference,
                       .from = from,
                       .to = to,
                       .subject = subject,
                       .isPrivate = isPrivate,
                       .receipt = receipt});
  }

  TempDir dir_;
  TestBoard test_;
  board::Board board_;

 private:
  void Connect();
  bool connected_ = false;
};

// The same with a run's context around board_: the work directory "Qwk"
// (made) and the log "obrix.log" in dir_.
class RunOnBoardTest : public OnBoardTest {
 protected:
  explicit RunOnBoardTest(const BoardSetup& setup = {});

  // Logs kUser in on board_ and makes him the run's user.
  void LogInUser();
  // A file of the work directory.
  std::string Work(const std::string& name) const { return state_.QwkPath + name; }
  std::vector<std::string> Log() { return LogMessages(log_.path()); }

  ActivityLog log_{dir_ / "obrix.log"};
  RunState state_;
  RunContext context_{board_, log_, state_};
};

}  // namespace obrix::testing
