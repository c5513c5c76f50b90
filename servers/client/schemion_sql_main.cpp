// schemion-sql: the command-line SQL client of the embedded servers.
#include <iostream>
#include <string>
#include <vector>

#include "servers/EmbeddedServers.h"
#include "servers/client/SqlClient.h"

int main(int argc, char** argv) {
  servers::RegisterEmbeddedServers();
  std::vector<std::string> args(argv + 1, argv + argc);
  return sqlclient::RunSqlClient(args, std::cin, std::cout, std::cerr);
}
