// The application object and "process pending messages" for code that may run with or without
// windows: the components call these so that windows stay alive during long runs, and so that a
// program without an application object still works.
#pragma once

namespace ui {

// Creates the widgets application object when the process has none; does nothing otherwise.
// Without QT_QPA_PLATFORM it tries the displays the environment names (WAYLAND_DISPLAY, DISPLAY)
// and falls back on the offscreen platform, so that a missing display, or one that does not
// answer (a stale DISPLAY), never ends the program.
void EnsureApplication();

// Before the application object exists: windows go to the offscreen platform whatever the
// environment names, so the process needs no display (an unattended run shows nothing).
void UseHiddenScreen();

// True when the program's windows can open: on a screen someone can see, or on the platform the
// environment asked for (QT_QPA_PLATFORM, as tests ask for the offscreen one). False when there
// is no display, or the display named does not answer. Creates the application object when there
// is none.
bool WindowsCanOpen();

// On a screen nobody sees (an unattended run), drops the toolkit's own notes and warnings about
// windows it cannot place, which would only clutter the run's output; errors still show.
void QuietOnHiddenScreen();

// True when an application object exists.
bool HasApplication();

// True when windows reach a screen someone can see (not the offscreen or minimal platform).
// Creates the application object when there is none.
bool HasVisibleScreen();

// Processes the pending window messages; does nothing without an application object.
void ProcessPendingMessages();

// Base of the windows that may be created by code that made no application object: listed before
// the widget base, it makes sure the application exists before the widget is built.
struct ApplicationGuard {
  ApplicationGuard() { EnsureApplication(); }
};

}  // namespace ui
