#include "support/postgres_server.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace obrix::testing {

std::string PostgresAdminConninfo() {
  const char* conninfo = std::getenv("OBRIX_TEST_POSTGRES");
  if (!conninfo || !*conninfo) throw std::runtime_error("OBRIX_TEST_POSTGRES is not set");
  return conninfo;
}

std::string CreateTestDatabase() {
  static int made = 0;
  const std::string name = "obrix_t_" + std::to_string(getpid()) + "_" + std::to_string(++made);
  const std::string admin = PostgresAdminConninfo();
  const std::unique_ptr<PGconn, decltype(&PQfinish)> connection(PQconnectdb(admin.c_str()),
                                                                &PQfinish);
  const std::unique_ptr<PGresult, decltype(&PQclear)> result(
      PQexec(connection.get(), ("CREATE DATABASE " + name + " TEMPLATE template0").c_str()),
      &PQclear);
  if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
    throw std::runtime_error(std::string("CREATE DATABASE: ") + PQerrorMessage(connection.get()));
  }
  std::string uri = "postgresql://" + std::string(PQuser(connection.get())) + "@/" + name;
  const std::string_view host = PQhost(connection.get());
  uri += "?host=" + std::string(host) + "&port=" + PQport(connection.get());
  return uri;
}

}  // namespace obrix::testing
