#include "servers/sqlserver/Provider.h"

#include <strings.h>

#include "servers/sqlserver/Session.h"

namespace servers::sqlserver {

bool SqlServerProvider::Accepts(const std::string& providerName) const {
  std::string name = providerName;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  if (name.size() < 8 || strncasecmp(name.c_str(), "SQLOLEDB", 8) != 0) return false;
  return name.size() == 8 || name[8] == '.';
}

std::unique_ptr<ado::IProviderSession> SqlServerProvider::Open(const ado::ConnectionString& cs) {
  return std::make_unique<Session>(cs);
}

}  // namespace servers::sqlserver
