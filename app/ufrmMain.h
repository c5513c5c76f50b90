// The main window of form mode: settings, package building, comparing and updating a database,
// the batch-file factory and the application log. Each command calls an operation of the data
// module or opens another window; the window keeps only the current connection string, package
// and file names between pages.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <functional>
#include <string>

#include "app/WexShell.h"
#include "app/dmMain.h"
#include "platform/ui/Application.h"

class QPlainTextEdit;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TfrmAdvancedSettings;

// A blue underlined label with a hand cursor that runs OnClick when clicked.
class TLinkLabel : public QLabel {
 public:
  TLinkLabel(const char* aName, const QString& aCaption, const QString& aHint, QWidget* aParent);
  std::function<void()> OnClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* aEvent) override;
};

// An edit that runs OnDoubleClick when double-clicked.
class TDblClickEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  std::function<void()> OnDoubleClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* aEvent) override;
};

class TfrmMain : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TfrmMain(TdmMain& aDmMain, QWidget* aParent = nullptr);
  ~TfrmMain() override;

  // ---- Commands ----
  void actNew();
  void actEdit();
  void actSave();
  void actEditConnStr();
  void actBuildPackage();
  void OpenAdvancedSettings();
  void actRunLoadPackage();
  void actRunBuildConnection();
  void actRunTestPackage();
  void actRunExecutePackage();
  void actBATLoad();
  void actBATSave();
  void CreateBatchFileCommand();
  void Param1DoubleClick();
  void Param3DoubleClick();
  void AboutLinkClick(const TLinkLabel& aLink);
  void TreeMenuClick(QTreeWidgetItem* aItem);

  // The connection-string editor of the radio buttons' choice, from aText; the edited text, or
  // aText when cancelled.
  std::string EditConnection(const std::string& aText);
  // The running executable's full path.
  static std::string ExecutableFile();

  // ---- State ----
  std::string SettingsFileName;
  std::string ConnectionString;
  std::string PackageFile;
  std::string BATFileName;
  std::string Version;
  TfrmAdvancedSettings* AdvancedSettings() const { return advanced_; }

  // ---- Controls ----
  QRadioButton* radioMicrosoft = nullptr;
  QRadioButton* radioCustom = nullptr;
  QTreeWidget* treeMenu = nullptr;
  QTabWidget* pcMain = nullptr;
  QWidget* tsHome = nullptr;
  QWidget* tsCreate = nullptr;
  QWidget* tsSettings = nullptr;
  QWidget* tsRun = nullptr;
  QWidget* tsBAT = nullptr;
  QWidget* tsAbout = nullptr;
  QPlainTextEdit* txLog = nullptr;
  QPlainTextEdit* txConnection = nullptr;
  QPlainTextEdit* createConnection = nullptr;
  QLabel* lbl_ProjectName = nullptr;
  QLabel* lblPackageName = nullptr;
  QLabel* lblBATFileName = nullptr;
  QLabel* lblVersion = nullptr;
  QTabWidget* pcBAT = nullptr;
  QWidget* tsBATSettings = nullptr;
  QWidget* tsBATEditor = nullptr;
  TDblClickEdit* param1 = nullptr;
  TDblClickEdit* param3 = nullptr;
  QCheckBox* chkRelativePath = nullptr;
  QPlainTextEdit* txBAT = nullptr;
  TWexShell WexShell1;

 private:
  void BuildTop(QWidget* aTop);
  void BuildTree();
  QWidget* BuildHome();
  QWidget* BuildCreate();
  QWidget* BuildSettings();
  QWidget* BuildRun();
  QWidget* BuildBAT();
  QWidget* BuildAbout();
  TLinkLabel* Link(QWidget* aParent, const char* aName, const char* aCaption, const char* aHint,
                   std::function<void()> aClick);
  // What is typed into the box becomes the current connection string, as an editor's result does.
  void FollowBox(QPlainTextEdit* aBox);
  void FitContents();
  void MirrorLog();
  void PageShown(int aIndex);
  void BATPageShown(int aIndex);

  TdmMain& dmMain_;
  size_t mirrored_ = 0;
  TfrmAdvancedSettings* advanced_ = nullptr;
};

// Form mode's windows for the data module: the main window shown modally by StartUp, and the
// instruction log after a comparison.
void InstallMainWindows(TdmMain& aDmMain);
// Shows the instruction file of the last check; "Databases are identical. No update needed." when
// it has no instruction.
void ShowInstructionsWindow(TdmMain& aDmMain);
