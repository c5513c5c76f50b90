// The "Microsoft.Jet" provider of the data-access layer: opens sessions on Access database files
// of the stand-in, and makes a new, empty database file.
#pragma once

#include <memory>
#include <string>

#include "platform/data/Provider.h"

namespace servers::access {

class JetProvider : public ado::IProvider {
 public:
  // "Microsoft.Jet" with any suffix ("Microsoft.Jet.OLEDB.4.0").
  bool Accepts(const std::string& providerName) const override;
  // `Data Source=` names the database file (from the working folder, "\" read as "/").
  std::unique_ptr<ado::IProviderSession> Open(const ado::ConnectionString& cs) override;
  // Makes the new, empty database file, as a catalogue creation of the provider does. Raises
  // Jet's 3204 when the file exists already, 3044 when its folder does not; writes nothing then.
  void CreateDatabase(const ado::ConnectionString& cs) override;
};

// The database file a connection string names: its "Data Source" with "\" read as "/".
std::string DatabasePath(const ado::ConnectionString& cs);

}  // namespace servers::access
