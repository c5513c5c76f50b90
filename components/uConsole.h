// The console window of a producer or updater: a growing log of prompt-prefixed lines that a run
// writes to, kept alive during long runs by processing pending messages after every line. Closing
// the window only hides it; the component frees it.
#pragma once

#include <QWidget>
#include <string>

#include "components/ConsoleOptions.h"
#include "platform/ui/Application.h"

class QFont;
class QPlainTextEdit;

class TConsoleFrm : private ui::ApplicationGuard, public QWidget {
 public:
  explicit TConsoleFrm(QWidget* aOwner = nullptr);

  // Places and styles the window from the options; nullptr applies the built-in defaults.
  void ApplyOptions(const TConsoleOptions* aOptions);
  // Appends prompt + aText; line breaks in aText show as several lines.
  void AddLine(const std::string& aText);

  const std::string& Prompt() const { return prompt_; }
  // Number of AddLine calls since creation.
  int LineCount() const { return lineCount_; }

  QWidget* PClient = nullptr;
  QPlainTextEdit* txtConsole = nullptr;

 private:
  std::string prompt_;
  int lineCount_ = 0;
};

// The toolkit font for a console font of the options.
QFont ConsoleFont(const TFontOptions& aFont);
