// The kit's PostgreSQL databases: one of its own for each test, empty,
// reachable through the URI the kit gives, and gone when the test program
// ends.
#include "support/postgres_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <regex>

#include "platform/staging.h"
#include "support/test_support.h"

namespace obrix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// What libpq itself reads from a connection string: keyword -> value.
std::map<std::string, std::string> ParsedByLibpq(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  std::map<std::string, std::string> values;
  if (!options) {
    ADD_FAILURE() << conninfo << ": " << (error ? error : "?");
    PQfreemem(error);
    return values;
  }
  for (const PQconninfoOption* option = options; option->keyword; ++option) {
    if (option->val) values[option->keyword] = option->val;
  }
  PQconninfoFree(options);
  return values;
}

TEST(PostgresServerKit, UriPartsSurviveLibpqParsing) {
  struct Case {
    std::string host, port, user, database;
  };
  const Case cases[] = {
      {"/srv/build/postgres", "26948", "obrix", "obrix_t_1_1"},
      {"/tmp/a b/100%/x&y=z?#", "5432", "obrix", "obrix_t_2_3"},
      {"127.0.0.1", "20001", "sys op", "board@home"},
      {"/run/ünïcode/:colon", "1", "o'brix", "db/with/slashes"},
  };
  for (const Case& c : cases) {
    const std::string uri = PostgresUri(c.host, c.port, c.user, c.database);
    EXPECT_THAT(uri, ::testing::StartsWith("postgresql://"));
    const std::map<std::string, std::string> expected = {
        {"host", c.host}, {"port", c.port}, {"user", c.user}, {"dbname", c.database}};
    auto parsed = ParsedByLibpq(uri);
    std::erase_if(parsed, [&](const auto& entry) { return !expected.contains(entry.first); });
    EXPECT_EQ(parsed, expected) << uri;
  }
}

// Run by the next test as a test program of its own. A session left open
// on the first database does not keep it from being dropped.
TEST(PostgresServerKitProgram, TakesTwoDistinctEmptyDatabases) {
  static std::optional<PostgresConnection> open;
  open.emplace(CreateTestDatabase());
  PostgresConnection other(CreateTestDatabase());
  const auto userTables =
      "SELECT count(*) FROM pg_tables "
      "WHERE schemaname NOT IN ('pg_catalog', 'information_schema')";
  EXPECT_THAT(open->Column(userTables), ElementsAre("0"));
  EXPECT_THAT(other.Column(userTables), ElementsAre("0"));
  const std::string name = open->Column("SELECT current_database()").at(0);
  const std::string otherName = other.Column("SELECT current_database()").at(0);
  EXPECT_NE(name, otherName);
  std::cout << "kit databases: " << name << " " << otherName << "\n";
}

TEST(PostgresServerKit, ATestProgramDropsItsDatabasesWhenItsTestsEnd) {
  OBRIX_SKIP_WITHOUT(Need::kPosixTools);  // it runs /proc/self/exe
  const TempDir dir;
  const ProcessResult run = RunProgram(
      {"/proc/self/exe", "--gtest_filter=PostgresServerKitProgram.TakesTwoDistinctEmptyDatabases"},
      dir.path());
  ASSERT_EQ(run.status, 0) << run.output;
  std::smatch names;
  ASSERT_TRUE(std::regex_search(run.output, names,
                                std::regex("kit databases: (obrix_t_[0-9_]+) (obrix_t_[0-9_]+)")))
      << run.output;
  PostgresConnection admin(PostgresAdminConninfo());
  EXPECT_THAT(admin.Column("SELECT datname FROM pg_database WHERE datname IN ('" + names[1].str() +
                           "', '" + names[2].str() + "')"),
              IsEmpty());
}

TEST(PostgresServerKit, AMissingServerFailsTheTestWithTheWayToStartOne) {
  const char* set = std::getenv("OBRIX_TEST_POSTGRES");
  const std::optional<std::string> saved = set ? std::optional<std::string>(set) : std::nullopt;
  SetEnvironment("OBRIX_TEST_POSTGRES", std::nullopt);
  try {
    CreateTestDatabase();
    ADD_FAILURE() << "no failure without OBRIX_TEST_POSTGRES";
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(), HasSubstr("./scripts/test"));
    EXPECT_THAT(error.what(), HasSubstr("scripts/postgres-server start"));
  }
  SetEnvironment("OBRIX_TEST_POSTGRES", saved);
}

}  // namespace
}  // namespace obrix::testing
