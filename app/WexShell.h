// TWexShell: starts a program, document or link, optionally waits until the started process ends,
// and reports start failures as text. Programs are spawned directly with their parameters split
// into words (no shell runs); documents, folders and links go to the desktop opener found on PATH
// ("xdg-open").
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Show states of the started program, with the platform's show-window codes.
enum TWexShellOptions {
  oSW_HIDE = 0,
  oSW_SHOWNORMAL = 1,
  oSW_NORMAL = 1,
  oSW_SHOWMINIMIZED = 2,
  oSW_SHOWMAXIMIZED = 3,
  oSW_MAXIMIZE = 3,
  oSW_SHOWNOACTIVATE = 4,
  oSW_SHOW = 5,
  oSW_MINIMIZE = 6,
  oSW_SHOWMINNOACTIVE = 7,
  oSW_SHOWNA = 8,
  oSW_RESTORE = 9,
  oSW_SHOWDEFAULT = 10,
  oSW_MAX = 10
};

enum TWexShellOperation { oOpen, oPrint, oExplore, oEdit, oFind, oNULL };

// The verb text of an operation ("open" ... "NULL").
const char* ShellVerb(TWexShellOperation aOperation);

// A failure of Execute: the empty command, or a start failure's text when no OnError is assigned.
class EWexShell : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Splits a parameter text into words as a POSIX shell does, without expanding anything: blanks
// separate words, double and single quotes group (and are removed); every other character,
// backslash included, is taken literally.
std::vector<std::string> SplitParameters(const std::string& aParameters);

class TWexShell {
 public:
  using TNotifyEvent = std::function<void(TWexShell* Sender)>;
  using TShellErrorEvent = std::function<void(TWexShell* Sender, const std::string& ErrorMsg)>;

  // Published properties; setting one only stores the value.
  std::string Command;
  std::string DefaultDir;
  std::string Parameters;
  bool Wait = false;
  TWexShellOptions ShowOption = oSW_HIDE;
  TWexShellOperation ShowOperation = oOpen;
  TNotifyEvent OnAfterStart;
  TNotifyEvent OnBeforeStart;
  TShellErrorEvent OnError;
  TNotifyEvent OnFinished;

  // Tells a wait that the application is terminating (the main window sets it from its own close
  // flag); unset means never. The wait then ends and OnFinished fires.
  std::function<bool()> Terminated;

  // Starts Command (see the .cpp). Empty Command: EWexShell "No Command to Execute!", also when
  // OnError is assigned. A failed start goes to OnError when assigned; otherwise it raises with
  // Wait and is silent without it. OnAfterStart fires only after a start that happened.
  void Execute();
  // The message of a start error code; unknown codes give "Error Unknown. Code number: " + code.
  void GetErrorText(int aCode, std::string& aText) const;
};
