#include "components/uConsole.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "components/DisplayLines.h"
#include "components/WindowStyle.h"
#include "platform/ui/Application.h"

QFont ConsoleFont(const TFontOptions& aFont) {
  QFont font(QString::fromStdString(aFont.Name));
  if (aFont.Size > 0) {
    font.setPointSize(aFont.Size);
  } else if (aFont.Height != 0) {
    font.setPixelSize(aFont.Height < 0 ? -aFont.Height : aFont.Height);
  }
  if (aFont.Pitch == fpFixed) {
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
  } else if (aFont.Pitch == fpVariable) {
    font.setFixedPitch(false);
  }
  font.setBold((aFont.Style & fsBold) != 0);
  font.setItalic((aFont.Style & fsItalic) != 0);
  font.setUnderline((aFont.Style & fsUnderline) != 0);
  font.setStrikeOut((aFont.Style & fsStrikeOut) != 0);
  return font;
}

TConsoleFrm::TConsoleFrm(QWidget* aOwner) : QWidget(aOwner, windowstyle::kToolWindowFlags) {
  setWindowTitle(QStringLiteral("Schemion Monitor"));
  auto* formLayout = new QVBoxLayout(this);
  formLayout->setContentsMargins(0, 0, 0, 0);
  PClient = new QWidget(this);
  formLayout->addWidget(PClient);
  auto* clientLayout = new QVBoxLayout(PClient);
  clientLayout->setContentsMargins(0, 0, 0, 0);
  txtConsole = new QPlainTextEdit(PClient);
  txtConsole->setReadOnly(true);
  txtConsole->setFrameShape(QFrame::NoFrame);
  clientLayout->addWidget(txtConsole);
  flushTimer_ = new QTimer(this);
  flushTimer_->setSingleShot(true);
  flushTimer_->setInterval(kFlushIntervalMs);
  connect(flushTimer_, &QTimer::timeout, this, [this] { FlushLines(); });
  ApplyOptions(nullptr);
  txtConsole->clear();
  ui::ProcessPendingMessages();
  lineCount_ = 0;
  prompt_ = "Console:>";
}

void TConsoleFrm::ApplyOptions(const TConsoleOptions* aOptions) {
  const TConsoleOptions defaults;
  const TConsoleOptions& o = aOptions != nullptr ? *aOptions : defaults;
  move(o.left, o.top);
  resize(o.width, o.height);
  txtConsole->setFont(ConsoleFont(o.font));
  QPalette palette = txtConsole->palette();
  palette.setColor(QPalette::Base, windowstyle::ToQColor(o.color));
  palette.setColor(QPalette::Text, windowstyle::ToQColor(o.font.Color));
  txtConsole->setPalette(palette);
  const bool horizontal = o.scrollBars == ssHorizontal || o.scrollBars == ssBoth;
  const bool vertical = o.scrollBars == ssVertical || o.scrollBars == ssBoth;
  txtConsole->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn
                                                      : Qt::ScrollBarAlwaysOff);
  txtConsole->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  // A memo with a horizontal scroll bar does not wrap its lines.
  txtConsole->setLineWrapMode(horizontal ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
  prompt_ = o.prompt;
  if (aOptions == nullptr || o.StayOnTop) windowstyle::SetStayOnTop(*this);
  ui::ProcessPendingMessages();
}

void TConsoleFrm::AddLine(const std::string& aText) {
  QString line = QString::fromStdString(prompt_ + displaylines::CutLongLines(aText));
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  line.replace(QChar('\r'), QChar('\n'));
  pending_.append(line);
  if (!flushTimer_->isActive()) flushTimer_->start();
  // Pending window events are processed at most once per tick, not at every line: a run of many
  // short instructions would otherwise spend its time in the event loop, shown window or not.
  if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kFlushIntervalMs) {
    ui::ProcessPendingMessages();
    sinceEvents_.start();
  }
  ++lineCount_;
}

void TConsoleFrm::FlushLines() {
  flushTimer_->stop();
  if (pending_.isEmpty()) return;
  // One append of many lines spares the memo its per-append work (cursor, scroll bars, layout).
  txtConsole->appendPlainText(pending_.join(QChar('\n')));
  pending_.clear();
}

void TConsoleFrm::Clear() {
  flushTimer_->stop();
  pending_.clear();
  txtConsole->clear();
}

void TConsoleFrm::setVisible(bool aVisible) {
  if (aVisible) FlushLines();
  QWidget::setVisible(aVisible);
}
