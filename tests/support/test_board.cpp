#include "support/test_board.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>

#include "base/text.h"
#include "board/sqlite/sqlite.h"
#include "platform/files.h"
#include "server/records.h"
#include "support/postgres_server.h"

namespace obrix::testing {

std::string MessageText(const std::string& subject, const std::string& from,
                        const std::string& to) {
  return "Text of " + subject + " from " + from + " to " + to + "\nSecond line";
}

namespace {

// The setup as a key of the template cache.
std::string Key(const BoardSetup& setup) {
  std::string key =
      setup.sysop + '\n' + setup.sysopPassword + '\n' + std::to_string(setup.conferences) + '\n';
  for (const TestUser& user : setup.users) {
    key += user.name + '\t' + user.password + '\t' + user.title + '\n';
  }
  return key;
}

// Made through the administration API, the passwords hashed at the
// cheapest limits.
void MakeTemplate(const BoardSetup& setup, const std::string& path) {
  board::BoardConfig config;
  config.sysop = setup.sysop;
  board::BoardAdmin::Create(path, config, setup.sysopPassword, board::HashCost::kMinimum);
  board::BoardAdmin admin = board::BoardAdmin::Open(path);
  admin.SetHashCost(board::HashCost::kMinimum);
  for (const TestUser& user : setup.users) admin.AddUser(user.name, user.password, user.title);
  for (int32_t n = 0; n < setup.conferences; ++n) {
    admin.AddConference(n, "Conference " + std::to_string(n), 3, {});
  }
}

}  // namespace

void CopyTemplate(const BoardSetup& setup, const std::string& path) {
  static TempDir folder;
  static std::map<std::string, std::string> made;
  auto [it, added] = made.emplace(Key(setup), folder / ("board-" + std::to_string(made.size())));
  if (added) MakeTemplate(setup, it->second);  // closed again, so whole in its one file
  std::filesystem::copy_file(it->second, path);
}

namespace {

// The kit's own connection to the test server, for what a board's
// connection cannot do: make and drop whole databases.
class ServerConnection {
 public:
  ServerConnection() : connection_(PQconnectdb(PostgresAdminConninfo().c_str()), &PQfinish) {
    if (PQstatus(connection_.get()) != CONNECTION_OK) {
      throw std::runtime_error("the test server: " + Error());
    }
  }
  void Exec(const std::string& sql) {
    const std::unique_ptr<PGresult, decltype(&PQclear)> result(
        PQexec(connection_.get(), sql.c_str()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
      throw std::runtime_error(sql + ": " + Error());
  }

 private:
  std::string Error() const { return PQerrorMessage(connection_.get()); }
  std::unique_ptr<PGconn, decltype(&PQfinish)> connection_;
};

// The database a "postgresql://" URI names.
std::string DatabaseOf(const std::string& uri) {
  char* error = nullptr;
  const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
      PQconninfoParse(uri.c_str(), &error), &PQconninfoFree);
  PQfreemem(error);
  for (const PQconninfoOption* option = options ? options.get() : nullptr;
       option && option->keyword; ++option) {
    if (std::string_view(option->keyword) == "dbname" && option->val) return option->val;
  }
  throw std::runtime_error("no database in " + uri);
}

// A new database on the test server, a copy of the one `model` names
// (which nobody may be connected to); returns its URI.
std::string CopyDatabase(const std::string& model) {
  const std::string from = DatabaseOf(model);
  const std::string to = NewTestDatabaseName();
  ServerConnection().Exec("CREATE DATABASE \"" + to + "\" TEMPLATE \"" + from + "\"");
  const size_t at = model.find("/" + from);  // the URI's path: letters, digits, '_'
  if (at == std::string::npos) throw std::runtime_error("no database path in " + model);
  return model.substr(0, at + 1) + to + model.substr(at + 1 + from.size());
}

// The URI of the template database of `setup`, made once for the whole
// test run (every test runs in a program of its own) and named by a hash
// of the setup.
const std::string& PostgresTemplate(const BoardSetup& setup) {
  static std::map<std::string, std::string> made;
  auto [it, added] = made.emplace(Key(setup), "");
  if (added) {
    uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (const char c : it->first) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    char name[32];
    std::snprintf(name, sizeof name, "obrix_tpl_%016llx", static_cast<unsigned long long>(hash));
    it->second =
        SharedTestDatabase(name, [&](const std::string& uri) { MakeTemplate(setup, uri); });
  }
  return it->second;
}

}  // namespace

std::string BackendName(const ::testing::TestParamInfo<board::Backend>& info) {
  return ::testing::PrintToString(info.param);
}

TestBoard::TestBoard(const BoardSetup& setup, board::Backend backend, const std::string& path)
    : backend_(backend), name_(path) {
  if (backend_ == board::Backend::kPostgres) {
    name_ = CopyDatabase(PostgresTemplate(setup));
    return;
  }
  if (name_.empty()) name_ = dir_.emplace() / "board.db";
  CopyTemplate(setup, name_);
}

TestBoard::TestBoard(TestBoard& model, const std::string& path)
    : backend_(model.backend_), name_(path) {
  if (backend_ == board::Backend::kPostgres) {
    model.Close();
    name_ = CopyDatabase(model.name_);
    return;
  }
  if (name_.empty()) name_ = dir_.emplace() / "board.db";
  model.Admin().database().Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  std::filesystem::copy_file(model.name_, name_);
}

TestBoard::~TestBoard() {
  if (backend_ != board::Backend::kPostgres) return;
  Close();
  try {
    ServerConnection().Exec("DROP DATABASE IF EXISTS \"" + DatabaseOf(name_) + "\" WITH (FORCE)");
  } catch (const std::exception& error) {
    ADD_FAILURE() << "the test board was not dropped: " << error.what();
  }
}

board::BoardAdmin& TestBoard::Admin() {
  if (!admin_) {
    admin_.emplace(board::BoardAdmin::Open(name_));
    admin_->SetHashCost(board::HashCost::kMinimum);
  }
  return *admin_;
}

int32_t TestBoard::AddUser(const TestUser& user) {
  return Admin().AddUser(user.name, user.password, user.title);
}

void TestBoard::AddConferences(const std::vector<int32_t>& numbers) {
  for (const int32_t n : numbers) Admin().AddConference(n, "Conference " + Decimal(n), 3, {});
}

int32_t TestBoard::Post(const TestMessage& message) {
  board::PostRequest request;
  request.conference = message.conference;
  request.from = message.from;
  request.to = message.to;
  request.subject = message.subject;
  request.isPrivate = message.isPrivate;
  request.receipt = message.receipt;
  request.reference = message.reference;
  request.date = message.date;
  request.text =
      message.text ? *message.text : MessageText(message.subject, message.from, message.to);
  const int32_t id = Admin().Post(request).id;
  if (!message.attachment.empty()) Admin().Attach(id, message.attachment);
  return id;
}

namespace {
void ConnectTo(board::Board& board, const std::string& name) {
  EXPECT_TRUE(board.vbWildcatServerConnect(name.c_str()));
  EXPECT_TRUE(board.WildcatServerCreateContext());
}
}  // namespace

std::unique_ptr<board::Board> TestBoard::Connect() {
  auto board = std::make_unique<board::Board>();
  ConnectTo(*board, name_);
  return board;
}

std::unique_ptr<board::Board> TestBoard::System() {
  auto board = Connect();
  EXPECT_TRUE(board->LoginSystem());
  return board;
}

std::unique_ptr<board::Board> TestBoard::LogIn(const std::string& name,
                                               const std::string& password) {
  auto board = std::make_unique<board::Board>();
  LogIn(*board, name, password);
  return board;
}

int32_t TestBoard::LogIn(board::Board& board, const std::string& name, const std::string& password,
                         bool connected) {
  if (!connected) ConnectTo(board, name_);
  EXPECT_TRUE(board.LoginSystem());
  std::string key = name;
  UserRecord found;
  int32_t position = 0;
  EXPECT_TRUE(board.vbGetUserByName(key, found, position)) << name;
  board.LogoutUser();
  UserRecord user;
  EXPECT_TRUE(board.vbLoginUserEx(found.info.id, ToUpper(password), 1, "Obrix", user)) << name;
  return found.info.id;
}

std::vector<board::MessageSummary> TestBoard::Messages() {
  std::vector<board::MessageSummary> messages;
  for (const board::MessageSummary& listed : Admin().ListMessages(std::nullopt, std::nullopt)) {
    messages.push_back(Admin().Show(listed.id).value());
  }
  return messages;
}

std::vector<std::string> TestBoard::Subjects() {
  std::vector<std::string> subjects;
  for (const board::MessageSummary& message : Admin().ListMessages(std::nullopt, std::nullopt)) {
    subjects.push_back(message.subject);
  }
  return subjects;
}

void TestBoard::AwaitOtherSessionsGone() {
  if (backend_ != board::Backend::kPostgres) return;
  const auto others = [this] {
    return Number(
        "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND "
        "pid <> pg_backend_pid()");
  };
  if (!Has(Need::kSocketsCloseOnKill)) {
    Number(
        "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = "
        "current_database() AND pid <> pg_backend_pid()");
  }
  EXPECT_TRUE(PollUntil(30, [&] { return others() == 0; }))
      << "a session of a killed program stayed on the board";
}

int64_t TestBoard::Number(const std::string& sql, const std::vector<int64_t>& values) {
  auto row = Admin().database().Prepare(sql);
  for (size_t i = 0; i < values.size(); ++i) row->Bind(static_cast<int>(i + 1), values[i]);
  return row->Step() ? row->Int(0) : 0;
}

OnBoardTest::~OnBoardTest() {
  if (!connected_) return;
  board_.LogoutUser();
  board_.WildcatServerDeleteContext();
}

void OnBoardTest::Connect() {
  if (connected_) return;
  ConnectTo(board_, test_.name());
  connected_ = true;
}

int32_t OnBoardTest::LogIn(const std::string& name, const std::string& password) {
  Connect();
  board_.LogoutUser();
  return test_.LogIn(board_, name, password, /*connected=*/true);
}

void OnBoardTest::LogInSystem() {
  Connect();
  EXPECT_TRUE(board_.LoginSystem());
}

RunOnBoardTest::RunOnBoardTest(const BoardSetup& setup) : OnBoardTest(setup) {
  state_.QwkPath = (dir_ / "Qwk") + PathSeparator();
  EXPECT_TRUE(CreateDirectory(dir_ / "Qwk"));
}

void RunOnBoardTest::LogInUser() {
  state_.UserId = LogIn(kUser, kUserPassword);
  state_.UserName = kUser;
}

}  // namespace obrix::testing
