// The embedded database servers the data-access layer can reach: registers their providers.
#pragma once

namespace servers {

// Registers every embedded server's provider in ado::ProviderRegistry::Instance(); calling it
// again does nothing.
void RegisterEmbeddedServers();

}  // namespace servers
