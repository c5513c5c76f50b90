// The tests' one way to make an embedded server, the way `schemion-sql -s` makes it: a connection
// to a server never made is refused.
#pragma once

#include <string>

#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"

namespace server_test {

// Makes the SQL Server named by "Data Source=" in the current servers' folder.
inline void MakeSqlServer(const std::string& name) {
  servers::RegisterEmbeddedServers();
  ado::ProviderRegistry::Instance().CreateServer("Provider=SQLOLEDB.1;Data Source=" + name);
}

// Makes the Adaptive Server Anywhere server named by "Eng=" in the current servers' folder.
inline void MakeAsaServer(const std::string& name) {
  servers::RegisterEmbeddedServers();
  ado::ProviderRegistry::Instance().CreateServer("Provider=ASAProv.90;Eng=" + name);
}

}  // namespace server_test
