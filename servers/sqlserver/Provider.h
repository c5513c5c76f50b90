// The "SQLOLEDB" provider of the data-access layer: opens sessions on the SQL Server stand-in.
#pragma once

#include <memory>
#include <string>

#include "platform/data/Provider.h"

namespace servers::sqlserver {

class SqlServerProvider : public ado::IProvider {
 public:
  // "SQLOLEDB" with or without a version suffix ("SQLOLEDB.1").
  bool Accepts(const std::string& providerName) const override;
  std::unique_ptr<ado::IProviderSession> Open(const ado::ConnectionString& cs) override;
  // Makes the server named by "Data Source" ("Server"), with master alone.
  void CreateServer(const ado::ConnectionString& cs) override;
};

}  // namespace servers::sqlserver
