#include "servers/EmbeddedServers.h"

#include "platform/data/Provider.h"
#include "servers/access/Provider.h"
#include "servers/asa/Provider.h"
#include "servers/sqlserver/Provider.h"

namespace servers {

void RegisterEmbeddedServers() {
  auto& registry = ado::ProviderRegistry::Instance();
  if (!registry.Find("SQLOLEDB")) registry.Register(std::make_unique<sqlserver::SqlServerProvider>());
  if (!registry.Find("Microsoft.Jet")) registry.Register(std::make_unique<access::JetProvider>());
  if (!registry.Find("ASAProv")) registry.Register(std::make_unique<asa::AsaProvider>());
}

}  // namespace servers
