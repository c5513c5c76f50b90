// Schemion32: with command-line parameters it runs one package update unattended and tells the
// calling script by its exit status whether it worked; without, it opens its window.
#include <QApplication>

#include <string>
#include <vector>

#include "app/dmMain.h"
#include "app/ufrmMain.h"
#include "platform/ui/Application.h"
#include "servers/EmbeddedServers.h"

int main(int argc, char** argv) {
  servers::RegisterEmbeddedServers();
  ui::QuietOnHiddenScreen();
  QApplication::setApplicationName("Schemion32");
  std::vector<std::string> params(argv + 1, argv + argc);
  TRunStatus status = rsSucceeded;
  {
    TdmMain dmMain;
    InstallMainWindows(dmMain);
    status = dmMain.StartUp(params);
  }
  return status;
}
