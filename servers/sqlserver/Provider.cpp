#include "servers/sqlserver/Provider.h"

#include <strings.h>

#include "platform/data/DataErrors.h"
#include "servers/sqlserver/Server.h"
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
  try {
    return std::make_unique<Session>(cs);
  } catch (const ado::EOleException& e) {
    // A login name the client ran into its password (a ";" left out) is not echoed.
    throw ado::EOleException(cs.MaskPasswords(e.what()), e.NativeError(), e.Source());
  }
}

void SqlServerProvider::CreateServer(const ado::ConnectionString& cs) {
  std::string name = cs.Get("Data Source");
  if (name.empty()) name = cs.Get("Server");
  sqlserver::CreateServer(name);
}

}  // namespace servers::sqlserver
