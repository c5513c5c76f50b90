// A short demonstration of the data-access layer while the program grows.
#include <iostream>

#include "platform/data/ConnectionString.h"
#include "platform/data/DataErrors.h"
#include "platform/data/Provider.h"

int main() {
  const ado::ConnectionString cs(
      "Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=Demo;Data Source=LOCAL");
  std::cout << "Provider: " << cs.Provider() << "\nDatabase: " << cs.Get("Initial Catalog")
            << "\nServer: " << cs.Get("Data Source") << "\n";
  try {
    ado::ProviderRegistry::Instance().Open(cs.ToString());
  } catch (const ado::EDataError& e) {
    std::cout << "Open: " << e.what() << "\n";
  }
  return 0;
}
