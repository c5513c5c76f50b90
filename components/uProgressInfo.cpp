#include "components/uProgressInfo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "components/DisplayLines.h"
#include "components/WindowStyle.h"
#include "components/uDbLanguage.h"
#include "platform/ui/Application.h"

namespace {

// A text as the window shows it: long lines cut.
QString Q(const std::string& s) { return QString::fromStdString(displaylines::CutLongLines(s)); }

std::string Bracketed(const std::string& aText) { return "[ " + aText + " ]"; }

}  // namespace

TProgressInfoFrm::TProgressInfoFrm(QWidget* aOwner)
    : QWidget(aOwner, windowstyle::kToolWindowFlags) {
  setWindowTitle(QStringLiteral("Progress Info Window"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 0);
  layout->setSpacing(2);
  QGroupBox** boxes[3] = {&gbProgressBar0, &gbProgressBar1, &gbProgressBar2};
  QProgressBar** bars[3] = {&pbLevel0, &pbLevel1, &pbLevel2};
  for (int i = 0; i < 3; ++i) {
    auto* box = new QGroupBox(QStringLiteral("[ ]"), this);
    box->setObjectName(QStringLiteral("gbProgressBar%1").arg(i));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(6, 2, 6, 4);
    auto* bar = new QProgressBar(box);
    bar->setObjectName(QStringLiteral("pbLevel%1").arg(i));
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    boxLayout->addWidget(bar);
    layout->addWidget(box);
    *boxes[i] = box;
    *bars[i] = bar;
    levels_[i].box = box;
    levels_[i].bar = bar;
  }
  txtProgressInfo = new QPlainTextEdit(this);
  txtProgressInfo->setObjectName(QStringLiteral("txtProgressInfo"));
  txtProgressInfo->setReadOnly(true);
  txtProgressInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtProgressInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  txtProgressInfo->setPlainText(Q(TDbLanguageOptions().PInfoMsg));
  layout->addWidget(txtProgressInfo, 1);

  sbProgressInfo = new QStatusBar(this);
  sbProgressInfo->setObjectName(QStringLiteral("sbProgressInfo"));
  sbProgressInfo->setSizeGripEnabled(false);
  const int widths[3] = {120, 120, 50};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(sbProgressInfo);
    panel->setFixedWidth(widths[i]);
    if (i > 0) panel->setAlignment(Qt::AlignCenter);
    sbProgressInfo->addWidget(panel);
    panels_[i] = panel;
  }
  sbProgressInfo->hide();
  layout->addWidget(sbProgressInfo);
  infoTimer_ = new QTimer(this);
  infoTimer_->setSingleShot(true);
  infoTimer_->setInterval(kTickMs);
  connect(infoTimer_, &QTimer::timeout, this, [this] { FlushInfoText(); });
  paintTimer_ = new QTimer(this);
  paintTimer_->setSingleShot(true);
  connect(paintTimer_, &QTimer::timeout, this, [this] {
    QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  });
  ApplyOptions(nullptr);
}

void TProgressInfoFrm::ApplyOptions(const TProgressInfoOptions* aOptions) {
  if (aOptions != nullptr) {
    move(aOptions->left(), aOptions->top());
    resize(aOptions->width(), aOptions->height());
    if (aOptions->StayOnTop) windowstyle::SetStayOnTop(*this);
  } else {
    move(550, 10);
    resize(400, 250);
  }
  Done();
}

void TProgressInfoFrm::SetInfoText(const std::string& aText) {
  pendingInfo_ = Q(aText);
  pendingInfo_.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  infoPending_ = true;
  if (!infoTimer_->isActive()) infoTimer_->start();
  Done();
}

void TProgressInfoFrm::FlushInfoText() {
  infoTimer_->stop();
  if (!infoPending_) return;
  txtProgressInfo->setPlainText(pendingInfo_);
  infoPending_ = false;
  pendingInfo_.clear();
}

bool TProgressInfoFrm::event(QEvent* aEvent) {
  // The window's update request paints it; one that comes within a tick of the last paint waits
  // for the tick, and the changes made meanwhile are painted together.
  if (aEvent->type() == QEvent::UpdateRequest) {
    if (sincePaint_.isValid() && sincePaint_.elapsed() < kTickMs) {
      if (!paintTimer_->isActive()) paintTimer_->start(static_cast<int>(kTickMs - sincePaint_.elapsed()));
      return true;
    }
    sincePaint_.start();
  }
  return QWidget::event(aEvent);
}

void TProgressInfoFrm::setVisible(bool aVisible) {
  if (aVisible) FlushInfoText();
  QWidget::setVisible(aVisible);
}

// --- level primitives ---

void TProgressInfoFrm::SetPosition(int aLevel, int aPosition) {
  Level& level = levels_[aLevel];
  level.position = std::clamp(aPosition, 0, level.maximum);
  level.bar->setValue(std::min(level.position, level.bar->maximum()));
}

void TProgressInfoFrm::SetMaximum(int aLevel, int aMaximum) {
  Level& level = levels_[aLevel];
  level.maximum = std::max(aMaximum, 0);
  // A bar whose range is empty would turn into a busy indicator; an empty maximum shows an empty
  // bar.
  level.bar->setRange(0, std::max(level.maximum, 1));
  SetPosition(aLevel, level.position);
}

void TProgressInfoFrm::StepIt(int aLevel) {
  Level& level = levels_[aLevel];
  const int next = level.position + 1;
  SetPosition(aLevel, next > level.maximum ? 0 : next);
}

void TProgressInfoFrm::SetVisible(int aLevel, bool aVisible) {
  levels_[aLevel].box->setVisible(aVisible);
}

void TProgressInfoFrm::SetCaption(int aLevel, const std::string& aCaption) {
  levels_[aLevel].box->setTitle(Q(aCaption));
}

void TProgressInfoFrm::SetPanel(int aPanel, const std::string& aText) {
  panels_[aPanel]->setText(Q(aText));
}

void TProgressInfoFrm::SetCaptionAndPanel(int aLevel, const std::string& aText) {
  SetCaption(aLevel, Bracketed(aText));
  SetPanel(aLevel, aText);
}

void TProgressInfoFrm::ClearLevel(int aLevel) {
  SetPosition(aLevel, 0);
  SetCaption(aLevel, "");
  SetPanel(aLevel, "");
}

void TProgressInfoFrm::BeginRun(const std::string& aTitle, int aMax) {
  SetPosition(0, 0);
  SetVisible(0, true);
  SetMaximum(0, aMax);
  SetCaptionAndPanel(0, aTitle);
  ClearLevel(1);
  SetVisible(1, true);
  SetMaximum(1, 1);
  SetPosition(2, 0);
  SetVisible(2, false);
}

void TProgressInfoFrm::StepFillingLevel1(int aCaptionLevel, const std::string& aText) {
  SetPosition(1, 0);
  StepIt(0);
  SetPosition(1, levels_[1].maximum);
  SetCaptionAndPanel(aCaptionLevel, aText);
  Done();
}

void TProgressInfoFrm::StepAndShow(int aStepLevel, int aCaptionLevel, const std::string& aText) {
  StepIt(aStepLevel);
  SetCaptionAndPanel(aCaptionLevel, aText);
  Done();
}

void TProgressInfoFrm::Done() { ui::ProcessPendingMessages(); }

// --- extraction ---

void TProgressInfoFrm::BeginExtractSchemas(int aMax) {
  BeginRun("Extract Schemas", aMax);
  SetCaptionAndPanel(2, "Schema extraction in progress...");
  Done();
}

void TProgressInfoFrm::SetLevel1Max(int aMax) {
  SetPosition(1, 0);
  SetMaximum(1, aMax);
  Done();
}

void TProgressInfoFrm::StepExtractTable(const std::string& aText) { StepFillingLevel1(1, aText); }

void TProgressInfoFrm::StepExtractDetail(const std::string& aText) { StepAndShow(1, 2, aText); }

// --- check ---

void TProgressInfoFrm::BeginCheckDb(int aMax) {
  for (int i = 0; i < 3; ++i) {
    SetVisible(i, true);
    ClearLevel(i);
  }
  SetMaximum(0, aMax);
  Done();
}

void TProgressInfoFrm::StepLevel0(const std::string& aText) {
  StepIt(0);
  SetCaptionAndPanel(0, aText);
  ClearLevel(1);
  ClearLevel(2);
  Done();
}

void TProgressInfoFrm::StepLevel1(const std::string& aText) {
  StepIt(1);
  SetCaptionAndPanel(1, aText);
  SetPanel(2, "");
  SetPosition(2, 0);
  Done();
}

void TProgressInfoFrm::StepLevel2(const std::string& aText) { StepAndShow(2, 2, aText); }

void TProgressInfoFrm::ResetLevel1(int aMax) {
  ClearLevel(1);
  SetMaximum(1, aMax);
  SetPosition(2, 0);
  Done();
}

void TProgressInfoFrm::ResetUpdateLevel1(int aMax) { ResetLevel1(aMax); }

void TProgressInfoFrm::ResetLevel2(int aMax) {
  ClearLevel(2);
  SetMaximum(2, aMax);
  Done();
}

// --- update ---

void TProgressInfoFrm::BeginUpdateDb() {
  BeginRun("Update DB", 2);
  Done();
}

void TProgressInfoFrm::StepUpdateLevel0(const std::string& aText) { StepFillingLevel1(0, aText); }

void TProgressInfoFrm::StepUpdateLevel1(const std::string& aText) { StepAndShow(1, 1, aText); }

// --- state ---

namespace {
int Clamp3(int i) { return std::clamp(i, 0, 2); }
}  // namespace

int TProgressInfoFrm::Position(int aLevel) const { return levels_[Clamp3(aLevel)].position; }
int TProgressInfoFrm::Maximum(int aLevel) const { return levels_[Clamp3(aLevel)].maximum; }
bool TProgressInfoFrm::LevelVisible(int aLevel) const {
  return !levels_[Clamp3(aLevel)].box->isHidden();
}
std::string TProgressInfoFrm::Caption(int aLevel) const {
  return levels_[Clamp3(aLevel)].box->title().toStdString();
}
std::string TProgressInfoFrm::PanelText(int aPanel) const {
  return panels_[Clamp3(aPanel)]->text().toStdString();
}
std::string TProgressInfoFrm::InfoText() const {
  return (infoPending_ ? pendingInfo_ : txtProgressInfo->toPlainText()).toStdString();
}
