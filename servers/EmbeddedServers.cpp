#include "servers/EmbeddedServers.h"

#include "platform/data/Provider.h"
#include "servers/sqlserver/Provider.h"

namespace servers {

void RegisterEmbeddedServers() {
  auto& registry = ado::ProviderRegistry::Instance();
  if (!registry.Find("SQLOLEDB")) registry.Register(std::make_unique<sqlserver::SqlServerProvider>());
}

}  // namespace servers
