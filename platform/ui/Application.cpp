#include "platform/ui/Application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ui {

namespace {

// The application object created here lives until the process ends and is deliberately never
// destroyed: destroying it during static destruction would run after Qt's own globals are gone.
// Qt requires argc and argv to outlive it.
struct OwnedApplication {
  std::string name = "schemion";
  std::string option = "-platform";
  std::string platforms;
  std::vector<char*> argv;
  int argc = 0;
  QApplication* app = nullptr;
  bool requested = false;  // the environment named the platform (QT_QPA_PLATFORM)
};

OwnedApplication& Owned() {
  static OwnedApplication* owned = new OwnedApplication;
  return *owned;
}

bool IsSet(const char* aVariable) {
  const char* value = std::getenv(aVariable);
  return value != nullptr && *value != '\0';
}

// The platforms to try, in order: the displays the environment names (Wayland, then X), and the
// offscreen one last, so that a display that is missing or does not answer never ends the program.
std::string DisplayPlatforms() {
  std::string platforms;
  if (IsSet("WAYLAND_DISPLAY")) platforms += "wayland;";
  if (IsSet("DISPLAY")) platforms += "xcb;";
  return platforms + "offscreen";
}

}  // namespace

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  OwnedApplication& owned = Owned();
  owned.requested = IsSet("QT_QPA_PLATFORM");
  owned.argv = {owned.name.data()};
  if (!owned.requested) {
    owned.platforms = DisplayPlatforms();
    owned.argv.push_back(owned.option.data());
    owned.argv.push_back(owned.platforms.data());
  }
  owned.argc = static_cast<int>(owned.argv.size());
  owned.argv.push_back(nullptr);
  owned.app = new QApplication(owned.argc, owned.argv.data());
}

void UseHiddenScreen() {
  if (QCoreApplication::instance() == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

bool WindowsCanOpen() {
  EnsureApplication();
  // An application object made elsewhere chose its platform itself.
  return HasVisibleScreen() || Owned().app == nullptr || Owned().requested;
}

bool HasVisibleScreen() {
  EnsureApplication();
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && !platform.startsWith(QLatin1String("minimal"));
}

void QuietOnHiddenScreen() {
  // Installed before the application object exists, so that its own start-up notes are dropped
  // too; put back when the screen turns out to be seen.
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
      });
  if (HasVisibleScreen()) qInstallMessageHandler(previous);
}

bool HasApplication() { return QCoreApplication::instance() != nullptr; }

void ProcessPendingMessages() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

}  // namespace ui

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: fontconfig keeps its configuration until the process ends and
// never frees it; that is the library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
