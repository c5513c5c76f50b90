// The instruction-log window: the SQL instructions a comparison produced, one after the other,
// with their count.
#pragma once

#include <QDialog>

#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"

class QLabel;
class QPlainTextEdit;

class TfrmInstructions : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TfrmInstructions(QWidget* aParent = nullptr);

  // Fills the pane from an instruction data set (a copy of it is kept); nothing without one.
  void ShowInstructions(const ado::TDataSet* aDataSet);

  QPlainTextEdit* txInstructions = nullptr;
  QLabel* txNrInstructions = nullptr;
  ado::TDataSet ds;
};
