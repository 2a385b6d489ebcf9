// The test run's PostgreSQL server, named by the environment variable
// OBRIX_TEST_POSTGRES (a libpq connection string of a role that may create
// databases). A test that needs a board on PostgreSQL takes an empty
// database of its own from CreateTestDatabase().
#pragma once

#include <string>

namespace obrix::testing {

// OBRIX_TEST_POSTGRES. Throws, failing the test, when it is not set: the
// suite never skips its PostgreSQL half.
std::string PostgresAdminConninfo();

// A new, empty database on the server; returns its "postgresql://" URI.
std::string CreateTestDatabase();

}  // namespace obrix::testing
