// The instruction-log window.
#include "app/ufrmInstructions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "components/DisplayLines.h"

// ---- The pane's lines ----

void TInstructionPane::Lines::Set(const QStringList& aLines) {
  beginResetModel();
  lines_ = aLines;
  itemSize_ = QSize();
  endResetModel();
}

void TInstructionPane::Lines::SetItemSize(const QSize& aSize) {
  beginResetModel();
  itemSize_ = aSize;
  endResetModel();
}

int TInstructionPane::Lines::rowCount(const QModelIndex& aParent) const {
  return aParent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant TInstructionPane::Lines::data(const QModelIndex& aIndex, int aRole) const {
  if (!aIndex.isValid() || aIndex.row() >= lines_.size()) return {};
  const QString& line = lines_[aIndex.row()];
  if (aRole == Qt::SizeHintRole && itemSize_.isValid()) return itemSize_;
  if (aRole != Qt::DisplayRole) return {};
  const qsizetype limit = static_cast<qsizetype>(displaylines::kLineLimit);
  if (line.size() <= limit) return line;
  // A character takes at most two units of the line: its start of 2 * limit + 2 units holds more
  // than `limit` characters whenever the line is longer, and cuts as the whole line does.
  return QString::fromStdString(displaylines::CutLongLines(line.left(2 * limit + 2).toStdString()));
}

// ---- The pane ----

TInstructionPane::TInstructionPane(QWidget* aParent) : QListView(aParent) {
  setModel(&model_);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* copy = new QAction("Copy", this);
  connect(copy, &QAction::triggered, this, [this] { CopySelection(); });
  addAction(copy);
  auto* all = new QAction("Select All", this);
  connect(all, &QAction::triggered, this, [this] { selectAll(); });
  addAction(all);
}

void TInstructionPane::SetLines(const QStringList& aLines) {
  model_.Set(aLines);
  if (aLines.isEmpty()) return;
  // Every line is laid out as wide as the widest one shown, so that the pane scrolls sideways to
  // the end of every statement (a view of uniform rows measures one row only). The font is
  // fixed-pitch: the line of most characters is the widest.
  qsizetype widest = 0;
  for (qsizetype row = 1; row < aLines.size(); ++row) {
    if (aLines[row].size() > aLines[widest].size()) widest = row;
  }
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  model_.SetItemSize(itemDelegate()->sizeHint(option, model_.index(static_cast<int>(widest))));
}

QString TInstructionPane::toPlainText() const { return model_.All().join('\n'); }

QString TInstructionPane::SelectedText() const {
  QList<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.append(index.row());
  std::sort(rows.begin(), rows.end());
  QStringList lines;
  lines.reserve(rows.size());
  for (const int row : rows) lines.append(model_.All()[row]);
  return lines.join('\n');
}

void TInstructionPane::CopySelection() const {
  if (QClipboard* clipboard = QApplication::clipboard()) clipboard->setText(SelectedText());
}

void TInstructionPane::keyPressEvent(QKeyEvent* aEvent) {
  if (aEvent->matches(QKeySequence::Copy)) {
    CopySelection();
    aEvent->accept();
    return;
  }
  QListView::keyPressEvent(aEvent);
}

// ---- The window ----

TfrmInstructions::TfrmInstructions(QWidget* aParent) : QDialog(aParent) {
  setObjectName("frmInstructions");
  setWindowTitle("SQL instructions log.");
  resize(714, 385);
  txInstructions = new TInstructionPane(this);
  txInstructions->setObjectName("txInstructions");
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  txInstructions->setFont(font);
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
