// The error manager window: after a failed extraction, check or update the user browses the
// errors by phase, deletes and clears them, saves them as the error log, opens the instruction
// file on the instruction that failed and shows or hides the updater's console.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "common/SchemionTypes.h"
#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QTableWidget;
class QToolButton;
class TConsoleFrm;
class TDbErrors;
class TErrorManagerFrm;
class TSqlFileFrm;

// What the error manager uses of the updater that opens it. The updater outlives nothing it
// hands out: when it is finalized or destroyed it calls UpdaterFinalized on the window it was
// told about, and the window lets go of the list and the console and closes.
class IErrorManagerUpdater {
 public:
  virtual ~IErrorManagerUpdater() = default;
  // The updater's error list.
  virtual TDbErrors& Errors() = 0;
  // The updater's console window; nullptr when it has none.
  virtual TConsoleFrm* ConsoleWindow() = 0;
  // The folder of the instruction file: the updater's DirSql as it is set (".\schemas" is taken
  // relative to the executable, as the engine takes it).
  virtual std::string DirSql() const = 0;
  // The window opened / is being destroyed; the updater keeps no pointer to it after Closed.
  virtual void ErrorManagerOpened(TErrorManagerFrm& aWindow) = 0;
  virtual void ErrorManagerClosed(TErrorManagerFrm& aWindow) = 0;
};

class TErrorManagerFrm : private ui::ApplicationGuard, public QWidget {
 public:
  // Creates the window on the updater's errors and loads its instruction file into the editor.
  // The window frees itself when closed.
  explicit TErrorManagerFrm(IErrorManagerUpdater& aUpdater, QWidget* aParent = nullptr);
  ~TErrorManagerFrm() override;

  // The updater is going away: forget it, its list and its console, and close.
  void UpdaterFinalized();

  // The current filter: 0 all, else the TDbContext of the errors shown.
  int Filter() const { return filter_; }
  void SetFilter(int aFilter);
  // Refills the grid from the error list under the current filter.
  void RebuildGrid();
  // Enables and names the actions for the list, the grid and the windows.
  void UpdateActions();
  TSqlFileFrm& SqlFile() { return *sqlFile_; }

  // The grid's data set: Description, eMessage, InstructionNo, CommandText, context, handled, id.
  ado::TDataSet qErrors;

  QAction* actShowInstructions = nullptr;
  QAction* actShowCurrentInstruction = nullptr;
  QAction* actConsole = nullptr;
  QAction* actSaveErrors = nullptr;
  QAction* actShowAll = nullptr;
  QAction* actShowExtractSchema = nullptr;
  QAction* actShowCheckDb = nullptr;
  QAction* actShowUpdate = nullptr;
  QAction* actClearAll = nullptr;
  QAction* actClearExtractSchema = nullptr;
  QAction* actClearCheckDb = nullptr;
  QAction* actClearUpdate = nullptr;
  QAction* actDeleteCurrent = nullptr;
  QAction* actExit = nullptr;

  QTableWidget* DBGrid1 = nullptr;
  QToolButton* btnFilter = nullptr;  // the filters' drop-down menu
  QSpinBox* edtInstructionNo = nullptr;
  QLineEdit* edtDescription = nullptr;
  QPlainTextEdit* memEMessage = nullptr;
  QPlainTextEdit* memCommandText = nullptr;
  QComboBox* cbContext = nullptr;
  QCheckBox* chkHandled = nullptr;

 protected:
  void showEvent(QShowEvent* aEvent) override;
  bool event(QEvent* aEvent) override;
  bool eventFilter(QObject* aWatched, QEvent* aEvent) override;

 private:
  void BuildActions();
  void BuildControls();
  void Connect();

  void DoShowInstructions();
  void DoShowCurrentInstruction();
  void DoConsole();
  void DoSaveErrors();
  void DoClear(TDbContext aContext);
  void DoDeleteCurrent();

  // Rebuilds the grid when the list changed since it was built; True when it was current.
  bool GridCurrent();
  void FillGridControl();
  void ShowDetail();
  void GridRowChosen(int aRow);
  // Writes a panel edit into the grid data set (never into the error list).
  void DetailEdited(const char* aField, const ado::Variant& aValue);

  IErrorManagerUpdater* updater_;
  TDbErrors* errors_;
  QPointer<TConsoleFrm> console_;
  std::unique_ptr<TSqlFileFrm> sqlFile_;
  QActionGroup* filters_ = nullptr;
  int filter_ = 0;
  uint64_t builtVersion_ = 0;
  bool syncing_ = false;
};
