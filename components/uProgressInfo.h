// The progress window of a producer or updater: three nested progress levels with captions, a
// hidden three-panel status bar and an info text. The extraction, the check and the update each
// step the levels in their own way; every operation processes pending messages before it returns,
// so the window repaints during long runs. Closing the window only hides it. A run changes the
// window far more often than anyone can see: the info text reaches its memo, and the window is
// painted, at most once a tick (kTickMs).
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <array>
#include <string>

#include "components/ProgressInfoOptions.h"
#include "platform/ui/Application.h"

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;
class QTimer;

class TProgressInfoFrm : private ui::ApplicationGuard, public QWidget {
 public:
  explicit TProgressInfoFrm(QWidget* aOwner = nullptr);

  // Places the window from the options; nullptr: left 550, top 10, 400 x 250.
  void ApplyOptions(const TProgressInfoOptions* aOptions);
  // Replaces the info text; the memo shows it at the window's next tick, when the window is shown,
  // or on FlushInfoText.
  void SetInfoText(const std::string& aText);
  // Puts the latest info text into the memo now.
  void FlushInfoText();

  // Showing the window brings its memo up to date first.
  void setVisible(bool aVisible) override;

  static constexpr int kTickMs = 50;

  // Extraction of a schema.
  void BeginExtractSchemas(int aMax);
  void SetLevel1Max(int aMax);
  void StepExtractTable(const std::string& aText);
  void StepExtractDetail(const std::string& aText);

  // Check of a client database.
  void BeginCheckDb(int aMax);
  void StepLevel0(const std::string& aText);
  void StepLevel1(const std::string& aText);
  void StepLevel2(const std::string& aText);
  void ResetLevel1(int aMax);
  void ResetLevel2(int aMax);

  // Update of a client database.
  void BeginUpdateDb();
  void StepUpdateLevel0(const std::string& aText);
  void StepUpdateLevel1(const std::string& aText);
  void ResetUpdateLevel1(int aMax);

  // State of a level (0 to 2), as a run left it.
  int Position(int aLevel) const;
  int Maximum(int aLevel) const;
  bool LevelVisible(int aLevel) const;
  std::string Caption(int aLevel) const;
  std::string PanelText(int aPanel) const;
  // The latest info text, also before the memo shows it.
  std::string InfoText() const;

  QGroupBox* gbProgressBar0 = nullptr;
  QGroupBox* gbProgressBar1 = nullptr;
  QGroupBox* gbProgressBar2 = nullptr;
  QProgressBar* pbLevel0 = nullptr;
  QProgressBar* pbLevel1 = nullptr;
  QProgressBar* pbLevel2 = nullptr;
  QPlainTextEdit* txtProgressInfo = nullptr;
  QStatusBar* sbProgressInfo = nullptr;

 private:
  struct Level {
    QGroupBox* box = nullptr;
    QProgressBar* bar = nullptr;
    int position = 0;
    int maximum = 100;
  };

  void SetPosition(int aLevel, int aPosition);
  void SetMaximum(int aLevel, int aMaximum);
  // Advances a level by its step of 1; past the maximum it starts again from 0.
  void StepIt(int aLevel);
  void SetVisible(int aLevel, bool aVisible);
  // Caption "[ " + text + " ]" and the text in the level's panel.
  void SetCaptionAndPanel(int aLevel, const std::string& aText);
  void SetCaption(int aLevel, const std::string& aCaption);
  void SetPanel(int aPanel, const std::string& aText);
  // Position 0, no caption, no panel text.
  void ClearLevel(int aLevel);
  // The opening of an extraction or an update: level 0 shows aTitle and counts aMax steps, level 1
  // is empty with one step, level 2 is hidden.
  void BeginRun(const std::string& aTitle, int aMax);
  // Steps level 0 and shows level 1 full; aText goes to level aCaptionLevel.
  void StepFillingLevel1(int aCaptionLevel, const std::string& aText);
  // Steps level aStepLevel; aText goes to level aCaptionLevel.
  void StepAndShow(int aStepLevel, int aCaptionLevel, const std::string& aText);
  void Done();

  std::array<Level, 3> levels_;
  std::array<QLabel*, 3> panels_{};
  QString pendingInfo_;  // the info text the memo does not show yet
  bool infoPending_ = false;
  QTimer* infoTimer_ = nullptr;  // child of the window
  QTimer* paintTimer_ = nullptr;  // child of the window: the paint held back until the next tick
  QElapsedTimer sincePaint_;

 protected:
  bool event(QEvent* aEvent) override;
};
