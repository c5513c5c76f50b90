#include "servers/asa/Provider.h"

#include <strings.h>

#include "common/Text.h"
#include "servers/asa/Session.h"

namespace servers::asa {

bool AsaProvider::Accepts(const std::string& providerName) const {
  std::string name = text::Trim(providerName);
  if (name.size() < 7 || strncasecmp(name.c_str(), "ASAProv", 7) != 0) return false;
  return name.size() == 7 || name[7] == '.';
}

std::unique_ptr<ado::IProviderSession> AsaProvider::Open(const ado::ConnectionString& cs) {
  return std::make_unique<Session>(cs);
}

void AsaProvider::CreateServer(const ado::ConnectionString& cs) { CreateEngine(EngineOf(cs)); }

}  // namespace servers::asa
