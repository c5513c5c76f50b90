// The instruction-log window: the SQL instructions a comparison produced, one after the other,
// with their count.
#pragma once

#include <QDialog>
#include <QListView>
#include <QStringListModel>

#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"

class QLabel;

// A read-only pane of text lines in one font, with both scroll bars. It lays out only the lines
// in view, so a log of a hundred thousand statements fills at once.
class TInstructionPane : public QListView {
 public:
  explicit TInstructionPane(QWidget* aParent = nullptr);
  void SetLines(const QStringList& aLines);
  // The lines joined by line ends.
  QString toPlainText() const;
  bool isReadOnly() const { return true; }

 private:
  QStringListModel model_;
};

class TfrmInstructions : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TfrmInstructions(QWidget* aParent = nullptr);

  // Fills the pane from an instruction data set (a copy of it is kept); nothing without one.
  void ShowInstructions(const ado::TDataSet* aDataSet);

  TInstructionPane* txInstructions = nullptr;
  QLabel* txNrInstructions = nullptr;
  ado::TDataSet ds;
};
