// The "ASAProv" provider of the data-access layer: opens sessions on the Adaptive Server Anywhere
// stand-in.
#pragma once

#include <memory>
#include <string>

#include "platform/data/Provider.h"

namespace servers::asa {

class AsaProvider : public ado::IProvider {
 public:
  // "ASAProv" with or without a version suffix ("ASAProv.90").
  bool Accepts(const std::string& providerName) const override;
  std::unique_ptr<ado::IProviderSession> Open(const ado::ConnectionString& cs) override;
  // Makes the server named by "Eng=" ("EngineName", "ServerName"), with no database started.
  void CreateServer(const ado::ConnectionString& cs) override;
};

}  // namespace servers::asa
