#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"

namespace ado {

ProviderRegistry& ProviderRegistry::Instance() {
  static ProviderRegistry registry;
  return registry;
}

void ProviderRegistry::Register(std::unique_ptr<IProvider> provider) {
  providers_.push_back(std::move(provider));
}

IProvider* ProviderRegistry::Find(const std::string& providerName) const {
  // The latest registration wins, so a test can stand its own provider in front.
  for (auto it = providers_.rbegin(); it != providers_.rend(); ++it) {
    if ((*it)->Accepts(providerName)) return it->get();
  }
  return nullptr;
}

void IProvider::CreateDatabase(const ConnectionString& cs) {
  throw EOleException("The provider cannot create a database: \"" + cs.Provider() + "\"");
}

void IProvider::CreateServer(const ConnectionString& cs) {
  throw EOleException("The provider has no servers to create: \"" + cs.Provider() + "\"");
}

namespace {

IProvider& ProviderOf(const ProviderRegistry& registry, const ConnectionString& cs) {
  if (cs.Provider().empty()) {
    throw EOleException("The connection string names no provider (Provider=...)");
  }
  IProvider* provider = registry.Find(cs.Provider());
  if (!provider) {
    throw EOleException("Provider cannot be found. It may not be properly installed: \"" +
                        cs.Provider() + "\"");
  }
  return *provider;
}

}  // namespace

std::unique_ptr<IProviderSession> ProviderRegistry::Open(const std::string& connectionString) const {
  const ConnectionString cs(connectionString);
  return ProviderOf(*this, cs).Open(cs);
}

void ProviderRegistry::CreateDatabase(const std::string& connectionString) const {
  const ConnectionString cs(connectionString);
  ProviderOf(*this, cs).CreateDatabase(cs);
}

void ProviderRegistry::CreateServer(const std::string& connectionString) const {
  const ConnectionString cs(connectionString);
  ProviderOf(*this, cs).CreateServer(cs);
}

}  // namespace ado
