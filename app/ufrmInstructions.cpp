// The instruction-log window.
#include "app/ufrmInstructions.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TfrmInstructions::TfrmInstructions(QWidget* aParent) : QDialog(aParent) {
  setObjectName("frmInstructions");
  setWindowTitle("SQL instructions log.");
  resize(714, 385);
  txInstructions = new QPlainTextEdit(this);
  txInstructions->setObjectName("txInstructions");
  txInstructions->setReadOnly(true);
  txInstructions->setFont(QFont("Courier New"));
  txInstructions->setLineWrapMode(QPlainTextEdit::NoWrap);
  txInstructions->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txInstructions->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txNrInstructions = new QLabel(this);
  txNrInstructions->setObjectName("txNrInstructions");
  auto* bottom = new QHBoxLayout();
  bottom->addWidget(new QLabel("Total Instructions: ", this));
  bottom->addWidget(txNrInstructions);
  bottom->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(txInstructions);
  layout->addLayout(bottom);
}

void TfrmInstructions::ShowInstructions(const ado::TDataSet* aDataSet) {
  if (aDataSet == nullptr) return;
  ds.Clone(*aDataSet);
  const int count = ds.RecordCount();
  txNrInstructions->setText(QString::number(count));
  if (count <= 0) return;
  ui::ProcessPendingMessages();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The whole text at once: appending statement by statement redraws the pane each time.
  QString text;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    text += '\n';
    text += QString::fromStdString(ds.FieldByName("instruction").AsString());
    text += '\n';
  }
  txInstructions->setPlainText(text);
  QApplication::restoreOverrideCursor();
}
