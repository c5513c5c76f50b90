// The console window of a producer or updater: a growing log of prompt-prefixed lines that a run
// writes to, kept alive during long runs by processing pending messages at most once per tick of
// kFlushIntervalMs as lines come in. Closing
// the window only hides it; the component frees it. Lines reach the memo in blocks, not one by
// one: laying out the memo for every line would cost a long run far more than its own work.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>
#include <string>

#include "components/ConsoleOptions.h"
#include "platform/ui/Application.h"

class QFont;
class QPlainTextEdit;
class QTimer;

class TConsoleFrm : private ui::ApplicationGuard, public QWidget {
 public:
  explicit TConsoleFrm(QWidget* aOwner = nullptr);

  // Places and styles the window from the options; nullptr applies the built-in defaults.
  void ApplyOptions(const TConsoleOptions* aOptions);
  // Appends prompt + aText; line breaks in aText show as several lines. The line reaches the memo
  // with the next block: at the next tick of the window (kFlushIntervalMs), when the window is
  // shown, or on FlushLines.
  void AddLine(const std::string& aText);
  // Moves every added line into the memo now; readers of txtConsole call it first.
  void FlushLines();
  // Empties the memo, and drops the lines not yet in it: a new run starts on an empty console.
  void Clear();

  // Showing the window brings its memo up to date first.
  void setVisible(bool aVisible) override;

  static constexpr int kFlushIntervalMs = 50;

  const std::string& Prompt() const { return prompt_; }
  // Number of AddLine calls since creation.
  int LineCount() const { return lineCount_; }

  QWidget* PClient = nullptr;
  QPlainTextEdit* txtConsole = nullptr;

 private:
  std::string prompt_;
  int lineCount_ = 0;
  QStringList pending_;  // added lines not yet in the memo
  QTimer* flushTimer_ = nullptr;  // child of the window
  QElapsedTimer sinceEvents_;     // since AddLine last processed pending messages
};

// The toolkit font for a console font of the options.
QFont ConsoleFont(const TFontOptions& aFont);
