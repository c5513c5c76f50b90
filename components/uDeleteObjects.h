// The delete confirmation window: before an update it lists every object whose deletion the
// check generated (the undo-delete blocks of BlockUndoDelete.xml), lets the user mark the ones to
// keep, saves the marks back to the file, and can abort the whole update.
#pragma once

#include <QColor>
#include <QDialog>
#include <string>

#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"

class QAction;
class QCloseEvent;
class QLineEdit;
class QModelIndex;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class TDeleteObjectsModel;

// Background and text colour of a grid row.
struct TRowColors {
  QColor background;
  QColor text;
};

class TDeleteObjectsFrm : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TDeleteObjectsFrm(QWidget* aParent = nullptr);
  ~TDeleteObjectsFrm() override;

  // What the updater asks before an update: shows the window on aFileName modally and answers
  // False only when the user aborted the update (OK, Cancel, the frame and a block file gone
  // all answer True).
  static bool ConfirmDelete(const std::string& aFileName, QWidget* aParent = nullptr);

  void SetFileName(const std::string& aFileName) { fileName_ = aFileName; }
  const std::string& FileName() const { return fileName_; }
  // Loads the file and shows the window modally through the dialog service; the modal result
  // (mrOk, mrAbort; mrCancel without showing when the file is gone).
  int Execute();
  // Loads the file sorted by `id`; False (data set closed) when it is gone or unreadable.
  bool Load();
  // Writes the data set back to the file; False, after an error naming the file, when that
  // failed (marks and changed flag kept).
  bool Save();

  bool Changed() const { return changed_; }
  bool Aborted() const { return aborted_; }
  void UpdateActions();
  // The colours a grid row is drawn in; the grid's delegate paints with them.
  TRowColors RowColors(const QModelIndex& aIndex, bool aSelected) const;

  // id, ObjectName, Kind, undoDelete.
  ado::TDataSet aq;

  QAction* actToggle = nullptr;
  QAction* actSearch = nullptr;
  QAction* actOrderBy = nullptr;
  QAction* actSave = nullptr;
  QAction* actSaveAndExit = nullptr;
  QAction* actClear = nullptr;
  QAction* actExit = nullptr;
  QAction* actAbortUpdate = nullptr;

  QTableView* grdElem = nullptr;
  QTabWidget* pages = nullptr;  // "Info", "Search and ordering"
  QSpinBox* edtObjectId = nullptr;
  QLineEdit* edtObjectName = nullptr;
  QRadioButton* rbFromBeginning = nullptr;
  QRadioButton* rbFromCursor = nullptr;
  QRadioButton* rbOrderId = nullptr;
  QRadioButton* rbOrderName = nullptr;
  QRadioButton* rbOrderKind = nullptr;

  // Frame close and Escape: "Close" first, so unsaved marks are offered for saving.
  void reject() override;

 private:
  void BuildActions();
  void BuildControls();
  void FillGrid();
  void SyncGridToCursor();

  void DoToggle();
  void DoSearch();
  void DoOrderBy();
  void DoSaveAndExit();
  void DoClear();
  void DoExit();
  void DoAbortUpdate();

  TDeleteObjectsModel* model_ = nullptr;
  std::string fileName_;
  bool changed_ = false;
  bool aborted_ = false;
  bool filling_ = false;
};
