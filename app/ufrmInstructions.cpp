// The instruction-log window.
#include "app/ufrmInstructions.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TInstructionPane::TInstructionPane(QWidget* aParent) : QListView(aParent) {
  setModel(&model_);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TInstructionPane::SetLines(const QStringList& aLines) { model_.setStringList(aLines); }

QString TInstructionPane::toPlainText() const { return model_.stringList().join('\n'); }

TfrmInstructions::TfrmInstructions(QWidget* aParent) : QDialog(aParent) {
  setObjectName("frmInstructions");
  setWindowTitle("SQL instructions log.");
  resize(714, 385);
  txInstructions = new TInstructionPane(this);
  txInstructions->setObjectName("txInstructions");
  txInstructions->setFont(QFont("Courier New"));
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
  // One empty line, then each statement (its own lines) followed by an empty line.
  QStringList lines{QString()};
  lines.reserve(3 * count + 1);
  for (ds.First(); !ds.Eof(); ds.Next()) {
    lines += QString::fromStdString(ds.FieldByName("instruction").AsString()).split('\n');
    lines += QString();
  }
  txInstructions->SetLines(lines);
  QApplication::restoreOverrideCursor();
}
