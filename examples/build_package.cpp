// A small host of the application's data module: builds a package from a source database into the
// packages folder of the given application folder, as the main window's Build command does, and
// prints the application log.
#include <iostream>
#include <string>

#include "app/dmMain.h"
#include "platform/ui/Application.h"
#include "servers/EmbeddedServers.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: schemion-build-package <application folder> \"<source connection string>\"\n";
    return 2;
  }
  servers::RegisterEmbeddedServers();
  ui::QuietOnHiddenScreen();
  std::string package;
  {
    TdmMain dmMain(argv[1]);
    package = dmMain.BuildPackage(argv[2]);
    for (const std::string& line : dmMain.LogLines()) std::cout << line << "\n";
  }
  return package.empty() ? 1 : 0;
}
