// The test kit's PostgreSQL server: the private server that ./scripts/test
// starts for the run (scripts/postgres-server) and names in the environment
// variable OBRIX_TEST_POSTGRES. A test that needs a board on PostgreSQL
// takes an empty database of its own from CreateTestDatabase(); the
// databases a test program made are dropped when its tests have ended.
#pragma once

#include <mutex>
#include <string>
#include <vector>

struct pg_conn;

namespace obrix::testing {

// OBRIX_TEST_POSTGRES: a libpq connection string for the server's superuser
// "obrix". Throws, failing the test, when it is not set: the suite never
// skips its PostgreSQL half.
std::string PostgresAdminConninfo();

// The libpq URI "postgresql://USER@/DATABASE?host=HOST&port=PORT", every
// part percent-encoded, so that a socket folder with any characters in
// its path survives. Empty parts are left out.
std::string PostgresUri(const std::string& host, const std::string& port, const std::string& user,
                        const std::string& database);

// Databases made on one server, named obrix_t_<pid>_<n>, so that test
// programs running at once never share one.
class TestDatabases {
 public:
  explicit TestDatabases(std::string adminConninfo) : admin_(std::move(adminConninfo)) {}

  // A new, empty database (a copy of template0); returns its URI over
  // the same socket or host as the admin connection, as the superuser.
  std::string Create();
  // Drops every database made here so far, ending the sessions still
  // connected to them. Throws when one cannot be dropped.
  void DropAll();

 private:
  std::string admin_;
  std::mutex mutex_;
  std::vector<std::string> names_;
};

// A database for the running test, from the test program's own
// TestDatabases; the kit drops them all when the program's tests end (a
// test program killed before that leaves them to the server's own end).
std::string CreateTestDatabase();

// A libpq connection for the tests' own look at a database.
class PostgresConnection {
 public:
  // Throws with libpq's message when the connection fails.
  explicit PostgresConnection(const std::string& conninfo);
  ~PostgresConnection();
  PostgresConnection(const PostgresConnection&) = delete;
  PostgresConnection& operator=(const PostgresConnection&) = delete;

  // Runs one or more statements; throws with the server's message when
  // one fails.
  void Execute(const std::string& sql);
  // The first column of every row of a query, as text ("" for NULL).
  std::vector<std::string> Column(const std::string& sql);

 private:
  pg_conn* connection_;
};

}  // namespace obrix::testing
