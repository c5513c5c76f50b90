// Schemion32: with command-line parameters it runs one package update unattended and tells the
// calling script by its exit status whether it worked; without, it opens its window (status 2
// when it cannot: no display, or another run holds the working folders).
#include <QApplication>

#include <string>
#include <vector>

#include "app/dmMain.h"
#include "app/ufrmMain.h"
#include "platform/ui/Application.h"
#include "servers/EmbeddedServers.h"

int main(int argc, char** argv) {
  servers::RegisterEmbeddedServers();
  std::vector<std::string> params(argv + 1, argv + argc);
  // An unattended run shows no window and needs no display (a stale DISPLAY under ssh or a
  // scheduler included).
  if (!params.empty()) ui::UseHiddenScreen();
  ui::QuietOnHiddenScreen();
  QApplication::setApplicationName("Schemion32");
  TRunStatus status = rsSucceeded;
  {
    TdmMain dmMain;
    InstallMainWindows(dmMain);
    status = dmMain.StartUp(params);
  }
  return status;
}
