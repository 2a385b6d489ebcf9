#include "support/postgres_server.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/staging.h"

namespace obrix::testing {
namespace {

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

struct OptionsDeleter {
  void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

// The host, port and user of a connection string in either of libpq's
// forms (key=value or URI).
struct ServerAddress {
  std::string host, port, user, database;
};

ServerAddress AddressOf(const std::string& conninfo) {
  char* error = nullptr;
  const std::unique_ptr<PQconninfoOption, OptionsDeleter> options(
      PQconninfoParse(conninfo.c_str(), &error));
  if (!options) {
    const std::string message = error ? error : "out of memory";
    PQfreemem(error);
    throw std::runtime_error("not a libpq connection string: " + conninfo + ": " + message);
  }
  ServerAddress address;
  for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
    const std::string keyword = option->keyword;
    const std::string value = option->val ? option->val : "";
    if (keyword == "host") address.host = value;
    if (keyword == "port") address.port = value;
    if (keyword == "user") address.user = value;
    if (keyword == "dbname") address.database = value;
  }
  return address;
}

std::string PercentEncoded(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

// The databases this test program made.
std::mutex madeMutex;
std::vector<std::string> made;

void DropTheDatabasesMade() {
  const std::lock_guard<std::mutex> lock(madeMutex);
  if (made.empty()) return;
  PostgresConnection admin(PostgresAdminConninfo());
  while (!made.empty()) {
    admin.Execute("DROP DATABASE IF EXISTS \"" + made.back() + "\" WITH (FORCE)");
    made.pop_back();
  }
}

class DropTestDatabasesAtTheEnd : public ::testing::Environment {
 public:
  void TearDown() override {
    try {
      DropTheDatabasesMade();
    } catch (const std::exception& error) {
      ADD_FAILURE() << "the test databases were not dropped: " << error.what();
    }
  }
};

[[maybe_unused]] ::testing::Environment* const dropAtTheEnd =
    ::testing::AddGlobalTestEnvironment(new DropTestDatabasesAtTheEnd);

}  // namespace

std::string PostgresAdminConninfo() {
  const char* conninfo = std::getenv("OBRIX_TEST_POSTGRES");
  if (!conninfo || !*conninfo) {
    throw std::runtime_error(
        "OBRIX_TEST_POSTGRES is not set: run the tests with ./scripts/test, or start a server "
        "with `scripts/postgres-server start DIR` and export each line of DIR/env (bash: "
        "`while read -r line; do export \"$line\"; done <DIR/env`)");
  }
  return conninfo;
}

std::string PostgresUri(const std::string& host, const std::string& port, const std::string& user,
                        const std::string& database) {
  std::string uri = "postgresql://";
  if (!user.empty()) uri += PercentEncoded(user) + "@";
  uri += "/" + PercentEncoded(database);
  std::string query;
  if (!host.empty()) query += "&host=" + PercentEncoded(host);
  if (!port.empty()) query += "&port=" + PercentEncoded(port);
  if (!query.empty()) uri += "?" + query.substr(1);
  return uri;
}

std::string NewTestDatabaseName() {
  const std::lock_guard<std::mutex> lock(madeMutex);
  static int counter = 0;
  std::string name =
      "obrix_t_" + std::to_string(CurrentProcessId()) + "_" + std::to_string(++counter);
  made.push_back(name);
  return name;
}

std::string CreateTestDatabase() {
  const std::string admin = PostgresAdminConninfo();
  const std::string name = NewTestDatabaseName();
  // template0 holds nothing but the catalogue. The default strategy
  // (WAL_LOG) copies it through the log; FILE_COPY would take two
  // checkpoints, which cost far more on a server with fsync on.
  PostgresConnection(admin).Execute("CREATE DATABASE \"" + name + "\" TEMPLATE template0");
  const ServerAddress address = AddressOf(admin);
  return PostgresUri(address.host, address.port, address.user, name);
}

std::string PostgresOverTcp(const std::string& uri) {
  const char* tcp = std::getenv("OBRIX_TEST_POSTGRES_TCP");
  if (!tcp || !*tcp) {
    throw std::runtime_error(
        "OBRIX_TEST_POSTGRES_TCP is not set: run the tests with ./scripts/test, or export the "
        "lines of the env file of scripts/postgres-server");
  }
  const ServerAddress server = AddressOf(tcp);
  const ServerAddress board = AddressOf(uri);
  return "postgresql://" + PercentEncoded(server.user.empty() ? board.user : server.user) + "@" +
         server.host + ":" + server.port + "/" + PercentEncoded(board.database);
}

std::string SharedTestDatabase(const std::string& name,
                               const std::function<void(const std::string& uri)>& fill) {
  const std::string admin = PostgresAdminConninfo();
  const ServerAddress address = AddressOf(admin);
  PostgresConnection connection(admin);
  // A session lock: released when this connection closes, however the
  // program ends.
  connection.Execute("SELECT pg_advisory_lock(hashtext('" + name + "'))");
  if (connection.Column("SELECT datname FROM pg_database WHERE datname = '" + name + "'").empty()) {
    // Made under another name and renamed once whole, so that the name
    // only ever holds a finished database.
    const std::string building = name + "_new";
    connection.Execute("DROP DATABASE IF EXISTS \"" + building + "\" WITH (FORCE)");
    connection.Execute("CREATE DATABASE \"" + building + "\" TEMPLATE template0");
    fill(PostgresUri(address.host, address.port, address.user, building));
    connection.Execute("ALTER DATABASE \"" + building + "\" RENAME TO \"" + name + "\"");
  }
  return PostgresUri(address.host, address.port, address.user, name);
}

PostgresConnection::PostgresConnection(const std::string& conninfo)
    : connection_(PQconnectdb(conninfo.c_str())) {
  if (PQstatus(connection_) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(connection_);
    PQfinish(connection_);
    throw std::runtime_error("cannot connect to the test server: " + message);
  }
}

PostgresConnection::~PostgresConnection() { PQfinish(connection_); }

void PostgresConnection::Execute(const std::string& sql) {
  const Result result(PQexec(connection_, sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw std::runtime_error(sql + ": " + PQerrorMessage(connection_));
  }
}

std::vector<std::string> PostgresConnection::Column(const std::string& sql) {
  const Result result(PQexec(connection_, sql.c_str()));
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    throw std::runtime_error(sql + ": " + PQerrorMessage(connection_));
  }
  const int rows = PQntuples(result.get());
  std::vector<std::string> values;
  values.reserve(rows);
  for (int row = 0; row < rows; ++row) {
    values.emplace_back(PQgetvalue(result.get(), row, 0));
  }
  return values;
}

}  // namespace obrix::testing
