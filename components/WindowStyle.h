// Look shared by the component windows: tool-window frame with only the system menu, stay-on-top,
// colours of the options.
#pragma once

#include <QAction>
#include <QColor>
#include <QWidget>

#include "components/ConsoleOptions.h"

namespace windowstyle {

// A sizeable tool window whose title bar holds only the system menu (close).
constexpr Qt::WindowFlags kToolWindowFlags = Qt::Tool | Qt::CustomizeWindowHint |
                                             Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                             Qt::WindowCloseButtonHint;

inline QColor ToQColor(TColor aColor) {
  return QColor(static_cast<int>(aColor & 0xFF), static_cast<int>((aColor >> 8) & 0xFF),
                static_cast<int>((aColor >> 16) & 0xFF));
}

// Keeps the window above the others; a shown window stays shown.
inline void SetStayOnTop(QWidget& aWindow) {
  if (aWindow.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return;
  const bool shown = aWindow.isVisible();
  aWindow.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (shown) aWindow.show();
}

// A window action named aName, its caption and hint (tooltip and status tip), added to aOwner,
// which owns it.
inline QAction* MakeAction(QWidget& aOwner, const char* aName, const char* aCaption, const char* aHint) {
  auto* action = new QAction(QString::fromUtf8(aCaption), &aOwner);
  action->setObjectName(QString::fromUtf8(aName));
  action->setToolTip(QString::fromUtf8(aHint));
  action->setStatusTip(QString::fromUtf8(aHint));
  aOwner.addAction(action);
  return action;
}

}  // namespace windowstyle
