// The instruction-file editor: reviews and edits the instruction file a check wrote before the
// update runs it: insert, append, edit, delete and move instructions with their numbers kept in
// order, search, save. Instructions numbered 0 and below run first, each alone, outside the
// update's transaction; numbering never moves an instruction across that line.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"

class QAction;
class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QToolBar;
class InstructionIdModel;

class TSqlFileFrm : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TSqlFileFrm(QWidget* aOwner = nullptr);
  ~TSqlFileFrm() override;

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& aFileName) { fileName_ = aFileName; }
  // Loads the file named by the owner. A missing or unreadable file leaves the data set closed
  // and the window's result Cancel.
  void Load();
  // Moves to the instruction numbered aNumber; False when it does not exist or nothing is open.
  // A row being edited or inserted is posted first, as the Save command posts it.
  bool LocateInstruction(int aNumber);
  bool Changed() const { return changed_; }

  // The instruction rows, sorted by `id`.
  ado::TDataSet aq;

  QAction* actInsert = nullptr;
  QAction* actAppend = nullptr;
  QAction* actEdit = nullptr;
  QAction* actAccept = nullptr;
  QAction* actCancel = nullptr;
  QAction* actDelete = nullptr;
  QAction* actSearch = nullptr;
  QAction* actMoveUp = nullptr;
  QAction* actMoveDown = nullptr;
  QAction* actSave = nullptr;
  QAction* actSaveAndExit = nullptr;
  QAction* actClear = nullptr;
  QAction* actExit = nullptr;

  QTableView* grid = nullptr;
  QPlainTextEdit* memo = nullptr;
  QToolBar* navigator = nullptr;
  QTabWidget* pages = nullptr;
  QWidget* tsInfo = nullptr;
  QWidget* tsSearch = nullptr;
  QSpinBox* edtSearchNumber = nullptr;
  QLineEdit* edtSearchText = nullptr;
  QRadioButton* rbFromBeginning = nullptr;
  QRadioButton* rbFromCursor = nullptr;
  QPushButton* btnFind = nullptr;

  // Enables the actions for the data set's state; the window calls it after every change.
  void UpdateActions();

 protected:
  // Closing through the frame or Escape is the "Close" command.
  void reject() override;

 private:
  void BuildActions();
  void BuildControls();
  void Connect();

  void DoInsert();
  void DoAppend();
  void DoEdit();
  void DoAccept();
  void DoCancel();
  void DoDelete();
  void DoFind();
  void DoMove(int aStep);
  // Writes the file; False (after an error message naming the file) when writing failed.
  bool DoSave();
  void DoSaveAndExit();
  void DoClear();
  void DoExit();

  // Runs a command; a failure becomes an error message, never an exception out of the window.
  template <typename F>
  void Guarded(F aCommand);

  int CurrentId() const;
  bool Editing() const;
  // Gives the rows at positions aFrom..aTo (1-based) the numbers aFirst, aFirst+1, ...
  void Renumber(int aFrom, int aTo, int aFirst);
  // Adds aDelta to the numbers of the rows at positions aFrom..aTo (1-based).
  void Shift(int aFrom, int aTo, int aDelta);
  void SetCurrentId(int aId);
  // Shows the data set in the grid and the memo.
  void RefreshControls();
  void ShowCurrentRow();
  void GridRowChosen(int aRow);
  void MemoEdited();

  std::string fileName_;
  bool changed_ = false;
  bool insertMode_ = false;
  int insertPosition_ = 0;
  bool syncing_ = false;
  InstructionIdModel* model_ = nullptr;
};
