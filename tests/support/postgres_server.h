// The test kit's PostgreSQL server: the private server that ./scripts/test
// starts for the run (scripts/postgres-server) and names in the environment
// variable OBRIX_TEST_POSTGRES. A test that needs a board on PostgreSQL
// takes an empty database of its own from CreateTestDatabase(); the
// databases a test program made are dropped when its tests have ended.
#pragma once

#include <functional>
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

// A new, empty database (a copy of template0) for the running test, named
// obrix_t_<pid>_<n> so that test programs running at once never share
// one; returns its URI over the admin connection's socket or host, as the
// superuser. The kit drops every one a test program made when the
// program's tests end, ending the sessions still open on them (a program
// killed before that leaves them to the server's own end).
std::string CreateTestDatabase();

// The URI of the database `uri` names, reached over TCP at the test
// server's 127.0.0.1 port (OBRIX_TEST_POSTGRES_TCP), as a node on another
// machine reaches it.
std::string PostgresOverTcp(const std::string& uri);

// A name for a database the running test makes itself, unique among the
// test programs running at once; dropped, like CreateTestDatabase's, when
// the program's tests end.
std::string NewTestDatabaseName();

// The database `name`, shared by every test program of the run: made once,
// by the first program that asks, as a copy of template0 that `fill`
// fills through the URI it is given (closing every connection it opened
// before it returns), under a lock of the server's so that programs
// running at once wait for the first one; kept until the server stops.
// Returns its URI. A program killed while filling leaves it to the next.
std::string SharedTestDatabase(const std::string& name,
                               const std::function<void(const std::string& uri)>& fill);

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
