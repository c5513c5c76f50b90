#include "platform/ui/Application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace ui {

namespace {

// The application object created here lives until the process ends and is deliberately never
// destroyed: destroying it during static destruction would run after Qt's own globals are gone.
// Qt requires argc and argv to outlive it.
struct OwnedApplication {
  int argc = 1;
  char name[9] = "schemion";
  char* argv[2] = {name, nullptr};
  QApplication* app = nullptr;
};

bool HasDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static OwnedApplication* owned = new OwnedApplication;
  if (!HasDisplay()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  owned->app = new QApplication(owned->argc, owned->argv);
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
