#include "components/uSqlFile.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <climits>
#include <exception>
#include <filesystem>

#include "components/InstructionSearch.h"
#include "components/WindowStyle.h"
#include "platform/ui/DialogService.h"

// The grid's one column: the instruction numbers in the data set's order.
class InstructionIdModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetIds(std::vector<int> aIds) {
    beginResetModel();
    ids_ = std::move(aIds);
    endResetModel();
  }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(ids_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : 1;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return ids_[static_cast<size_t>(index.row())];
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0) {
      return QStringLiteral("Instr. number");
    }
    return QAbstractTableModel::headerData(section, orientation, role);
  }

 private:
  std::vector<int> ids_;
};

using windowstyle::MakeAction;

namespace {

constexpr char kInfoText[] =
    "This window shows the instructions that the check wrote, in the order the update runs "
    "them. Instructions numbered 0 and below run first, each on its own; the others run "
    "in one transaction.\n\nInsert puts a new instruction before the current one, Append at "
    "the end; numbers follow automatically. Move up and Move down change the order. Nothing "
    "is written to the file until you save.";

}  // namespace

TSqlFileFrm::TSqlFileFrm(QWidget* aOwner) : QDialog(aOwner) {
  setWindowTitle("SQL instruction Manager");
  resize(423, 480);
  aq.SetSort("id");
  BuildActions();
  BuildControls();
  Connect();
  UpdateActions();
}

TSqlFileFrm::~TSqlFileFrm() = default;

void TSqlFileFrm::BuildActions() {
  actInsert = MakeAction(*this, "actInsert", "Insert", "Insert new record");
  actAppend = MakeAction(*this, "actAppend", "Append data", "Append record at the end of the file");
  actEdit = MakeAction(*this, "actEdit", "Edit", "Edit current data");
  actAccept = MakeAction(*this, "actAccept", "Save", "Save data");
  actCancel = MakeAction(*this, "actCancel", "Cancel", "Undo current operation");
  actDelete = MakeAction(*this, "actDelete", "Delete", "Delete current record");
  actSearch = MakeAction(*this, "actSearch", "Find", "Find istruction");
  actMoveUp = MakeAction(*this, "actMoveUp", "Move up", "Move up current instruction");
  actMoveDown = MakeAction(*this, "actMoveDown", "Move down", "Move down current instruction");
  actSave = MakeAction(*this, "actSave", "Save", "Save on disk current changes");
  actSaveAndExit = MakeAction(*this, "actSaveAndExit", "Save and exit",
                              "Save on disk current changes and close window");
  actClear = MakeAction(*this, "actClear", "Clear changes", "Undo all changes");
  actExit = MakeAction(*this, "actExit", "Close", "Close window");
}

void TSqlFileFrm::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  // The navigator with the moves, then the row commands; the file commands at the bottom.
  auto* top = new QHBoxLayout();
  navigator = new QToolBar(this);
  navigator->setObjectName("navigator");
  navigator->setToolButtonStyle(Qt::ToolButtonTextOnly);
  // Moving is refused while a row is edited: leaving it would post it unnumbered.
  const auto move = [this](void (ado::TDataSet::*aStep)()) {
    Guarded([this, aStep] {
      if (aq.Active() && !aq.IsEmpty() && !Editing()) (aq.*aStep)();
    });
  };
  navigator->addAction("|<", this, [move] { move(&ado::TDataSet::First); });
  navigator->addAction("<", this, [move] { move(&ado::TDataSet::Prior); });
  navigator->addAction(">", this, [this, move] {
    if (aq.Active() && aq.RecNo() < aq.RecordCount()) move(&ado::TDataSet::Next);
  });
  navigator->addAction(">|", this, [move] { move(&ado::TDataSet::Last); });
  navigator->addSeparator();
  navigator->addAction(actMoveUp);
  navigator->addAction(actMoveDown);
  top->addWidget(navigator);
  layout->addLayout(top);
  auto* rowCommands = new QToolBar(this);
  rowCommands->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QAction* a : {actInsert, actAppend, actEdit, actAccept, actCancel, actDelete}) {
    rowCommands->addAction(a);
  }
  layout->addWidget(rowCommands);

  auto* splitter = new QSplitter(this);
  model_ = new InstructionIdModel(this);
  grid = new QTableView(splitter);
  grid->setModel(model_);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setStretchLastSection(true);
  memo = new QPlainTextEdit(splitter);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  splitter->addWidget(grid);
  splitter->addWidget(memo);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({110, 300});
  layout->addWidget(splitter, 1);

  pages = new QTabWidget(this);
  tsInfo = new QWidget();
  auto* info = new QLabel(QString::fromUtf8(kInfoText), tsInfo);
  info->setWordWrap(true);
  (new QVBoxLayout(tsInfo))->addWidget(info);
  pages->addTab(tsInfo, "Info");

  tsSearch = new QWidget();
  auto* search = new QVBoxLayout(tsSearch);
  // One row each, so that the text to find gets the window's width.
  auto* fields = new QFormLayout();
  fields->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  edtSearchNumber = new QSpinBox(tsSearch);
  edtSearchNumber->setRange(INT_MIN, INT_MAX);
  fields->addRow("Instr. number:", edtSearchNumber);
  edtSearchText = new QLineEdit(tsSearch);
  fields->addRow("Instruction text:", edtSearchText);
  search->addLayout(fields);
  auto* bottom = new QHBoxLayout();
  auto* type = new QGroupBox("[ Search type ]", tsSearch);
  auto* typeLayout = new QHBoxLayout(type);
  rbFromBeginning = new QRadioButton("From the beginning", type);
  rbFromCursor = new QRadioButton("From cursor", type);
  rbFromBeginning->setChecked(true);
  typeLayout->addWidget(rbFromBeginning);
  typeLayout->addWidget(rbFromCursor);
  bottom->addWidget(type, 1);
  btnFind = new QPushButton(tsSearch);
  btnFind->setText(actSearch->text());
  btnFind->setToolTip(actSearch->toolTip());
  bottom->addWidget(btnFind);
  search->addLayout(bottom);
  pages->addTab(tsSearch, "Search");
  layout->addWidget(pages);

  auto* commands = new QToolBar(this);
  commands->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QAction* a : {actSave, actSaveAndExit, actClear, actExit}) commands->addAction(a);
  layout->addWidget(commands);
}

void TSqlFileFrm::Connect() {
  connect(actInsert, &QAction::triggered, this, [this] { Guarded([this] { DoInsert(); }); });
  connect(actAppend, &QAction::triggered, this, [this] { Guarded([this] { DoAppend(); }); });
  connect(actEdit, &QAction::triggered, this, [this] { Guarded([this] { DoEdit(); }); });
  connect(actAccept, &QAction::triggered, this, [this] { Guarded([this] { DoAccept(); }); });
  connect(actCancel, &QAction::triggered, this, [this] { Guarded([this] { DoCancel(); }); });
  connect(actDelete, &QAction::triggered, this, [this] { Guarded([this] { DoDelete(); }); });
  connect(actSearch, &QAction::triggered, this, [this] { Guarded([this] { DoFind(); }); });
  connect(actMoveUp, &QAction::triggered, this, [this] { Guarded([this] { DoMove(-1); }); });
  connect(actMoveDown, &QAction::triggered, this, [this] { Guarded([this] { DoMove(1); }); });
  connect(actSave, &QAction::triggered, this, [this] { Guarded([this] { DoSave(); }); });
  connect(actSaveAndExit, &QAction::triggered, this,
          [this] { Guarded([this] { DoSaveAndExit(); }); });
  connect(actClear, &QAction::triggered, this, [this] { Guarded([this] { DoClear(); }); });
  connect(actExit, &QAction::triggered, this, [this] { Guarded([this] { DoExit(); }); });
  connect(btnFind, &QPushButton::clicked, actSearch, &QAction::trigger);
  connect(actSearch, &QAction::changed, btnFind,
          [this] { btnFind->setEnabled(actSearch->isEnabled()); });
  connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!syncing_ && current.isValid()) GridRowChosen(current.row());
          });
  connect(memo, &QPlainTextEdit::textChanged, this, [this] {
    if (!syncing_) MemoEdited();
  });
}

template <typename F>
void TSqlFileFrm::Guarded(F aCommand) {
  try {
    aCommand();
  } catch (const std::exception& e) {
    ui::Dialogs().MessageDlg(this, "Error", e.what(), ui::mtError, ui::mbOK);
  }
  RefreshControls();
  UpdateActions();
}

void TSqlFileFrm::Load() {
  insertMode_ = false;
  changed_ = false;
  aq.Close();
  if (!std::filesystem::is_regular_file(fileName_)) {
    setResult(ui::mrCancel);
  } else {
    try {
      aq.LoadFromFile(fileName_);
      pages->setCurrentWidget(tsInfo);
    } catch (const std::exception& e) {
      aq.Close();
      setResult(ui::mrCancel);
      ui::Dialogs().MessageDlg(this, "Error",
                               "Cannot load the instruction file " + fileName_ + ": " + e.what(),
                               ui::mtError, ui::mbOK);
    }
  }
  RefreshControls();
  UpdateActions();
}

bool TSqlFileFrm::LocateInstruction(int aNumber) {
  if (!aq.Active()) return false;
  // Leaving a row that is being edited or inserted posts it, numbered as Save numbers it.
  if (Editing()) Guarded([this] { DoAccept(); });
  if (Editing()) return false;
  const bool found = LocateInstructionId(aq, aNumber);
  ShowCurrentRow();
  UpdateActions();
  return found;
}

int TSqlFileFrm::CurrentId() const { return static_cast<int>(aq.FieldByName("id").AsInteger()); }

bool TSqlFileFrm::Editing() const {
  return aq.State() == ado::dsEdit || aq.State() == ado::dsInsert;
}

void TSqlFileFrm::Renumber(int aFrom, int aTo, int aFirst) {
  FrozenControls frozen(aq);
  ado::TField& id = aq.FieldByName("id");
  for (int recNo = aFrom; recNo <= aTo; ++recNo) {
    aq.SetRecNo(recNo);
    aq.Edit();
    id.SetAsInteger(aFirst + (recNo - aFrom));
    aq.Post();
  }
}

void TSqlFileFrm::Shift(int aFrom, int aTo, int aDelta) {
  FrozenControls frozen(aq);
  ado::TField& id = aq.FieldByName("id");
  for (int recNo = aFrom; recNo <= aTo; ++recNo) {
    aq.SetRecNo(recNo);
    const int64_t value = id.AsInteger();
    aq.Edit();
    id.SetAsInteger(value + aDelta);
    aq.Post();
  }
}

void TSqlFileFrm::SetCurrentId(int aId) {
  aq.Edit();
  aq.FieldByName("id").SetAsInteger(aId);
  aq.Post();
}

void TSqlFileFrm::DoInsert() {
  if (!aq.Active() || Editing()) return;
  insertPosition_ = aq.IsEmpty() ? 1 : CurrentId();
  aq.Insert();
  aq.FieldByName("id").SetAsInteger(-1);
  aq.FieldByName("idBlockUndoDelete").SetAsInteger(0);
  insertMode_ = true;
}

void TSqlFileFrm::DoAppend() {
  if (!aq.Active() || Editing()) return;
  int lastId = 0;
  if (!aq.IsEmpty()) {
    aq.Last();
    // Appended instructions are regular ones, whatever the last row is.
    lastId = std::max(CurrentId(), 0);
  }
  aq.Append();
  aq.FieldByName("id").SetAsInteger(lastId + 1);
  aq.FieldByName("idBlockUndoDelete").SetAsInteger(0);
  insertMode_ = false;
}

void TSqlFileFrm::DoEdit() {
  if (!aq.Active() || aq.IsEmpty()) return;
  aq.Edit();
  insertMode_ = false;
}

void TSqlFileFrm::DoAccept() {
  if (!Editing()) return;
  changed_ = true;
  const bool inserting = insertMode_;
  insertMode_ = false;
  aq.Post();
  if (!inserting) return;
  // The new row sits before the row that held the insert position. A regular instruction
  // takes that number and the rows after it move up by one; a prepended one (0 and below)
  // takes the number before it and the prepended rows before it move down by one, so no
  // instruction changes sides and every number stays unique.
  const int newRecNo = aq.RecNo();
  const int count = aq.RecordCount();
  if (insertPosition_ > 0) {
    if (newRecNo < count) Renumber(newRecNo + 1, count, insertPosition_ + 1);
    aq.SetRecNo(newRecNo);
    SetCurrentId(insertPosition_);
  } else {
    if (newRecNo > 1) Shift(1, newRecNo - 1, -1);
    aq.SetRecNo(newRecNo);
    SetCurrentId(insertPosition_ - 1);
  }
}

void TSqlFileFrm::DoCancel() {
  aq.Cancel();
  insertMode_ = false;
}

void TSqlFileFrm::DoDelete() {
  if (!aq.Active() || aq.IsEmpty()) return;
  if (!ui::Dialogs().Confirm(this, "Confirm", "Are you sure you want to delete current record?")) {
    return;
  }
  // Deleting the row being inserted only drops it; an edit is dropped before its row goes.
  const bool inserting = aq.State() == ado::dsInsert;
  if (Editing()) DoCancel();
  if (inserting) return;
  const int deletedId = CurrentId();
  const int recNo = aq.RecNo();
  aq.Delete();
  changed_ = true;
  if (aq.IsEmpty()) return;
  if (deletedId > 0) {
    // A regular row followed: it and the rows after it close the gap.
    const int followingId = CurrentId();
    if (followingId > deletedId) Renumber(recNo, aq.RecordCount(), followingId - 1);
  } else if (recNo > 1) {
    // Prepended rows close the gap from below, so none reaches the regular numbers.
    Shift(1, recNo - 1, 1);
  }
  aq.SetRecNo(std::min(recNo, aq.RecordCount()));
}

void TSqlFileFrm::DoMove(int aStep) {
  if (!aq.Active() || aq.IsEmpty() || Editing()) return;
  const int recNo = aq.RecNo();
  const int otherRecNo = recNo + aStep;
  if (otherRecNo < 1 || otherRecNo > aq.RecordCount()) return;
  const int id = CurrentId();
  aq.SetRecNo(otherRecNo);
  const int otherId = CurrentId();
  // Prepended and regular instructions never trade places.
  if (otherId == id || (otherId > 0) != (id > 0)) {
    aq.SetRecNo(recNo);
    return;
  }
  {
    FrozenControls frozen(aq);
    SetCurrentId(id);
    aq.SetRecNo(recNo);
    SetCurrentId(otherId);
  }
  changed_ = true;
  aq.SetSort("id");
  LocateInstructionId(aq, otherId);
}

void TSqlFileFrm::DoFind() {
  if (!aq.Active() || aq.IsEmpty() || Editing()) return;
  TInstructionSearch search;
  search.Number = edtSearchNumber->value();
  search.Text = edtSearchText->text().toStdString();
  search.SearchType = rbFromCursor->isChecked() ? stFromCursor : stFromBeginning;
  FindInstruction(aq, search, this);
}

bool TSqlFileFrm::DoSave() {
  try {
    if (Editing()) DoAccept();
    aq.SaveToFile(fileName_, ado::pfXML);
  } catch (const std::exception& e) {
    ui::Dialogs().MessageDlg(this, "Error",
                             "Cannot save the instruction file " + fileName_ + ": " + e.what(),
                             ui::mtError, ui::mbOK);
    return false;
  }
  changed_ = false;
  return true;
}

void TSqlFileFrm::DoSaveAndExit() {
  if (DoSave()) done(ui::mrOk);
}

void TSqlFileFrm::DoClear() {
  if (!ui::Dialogs().Confirm(this, "Confirm", "Are you sure you want to clear all changes?")) {
    return;
  }
  const bool hadRow = aq.Active() && !aq.IsEmpty() && !Editing();
  const int id = hadRow ? CurrentId() : 0;
  Load();
  if (hadRow) LocateInstructionId(aq, id);
}

void TSqlFileFrm::DoExit() {
  if (!changed_ || !ui::Dialogs().Confirm(this, "Confirm",
                                          "Data has been changed.\r\nDo you wish to save data?")) {
    done(ui::mrOk);
    return;
  }
  DoSaveAndExit();
}

void TSqlFileFrm::reject() {
  Guarded([this] { DoExit(); });
}

void TSqlFileFrm::RefreshControls() {
  if (Editing()) {  // the grid shows the posted rows; the memo follows the edit
    ShowCurrentRow();
    return;
  }
  std::vector<int> ids;
  if (aq.Active() && !aq.IsEmpty()) {
    const ado::TField& id = aq.FieldByName("id");
    const int recNo = aq.RecNo();
    FrozenControls frozen(aq);
    ids.reserve(static_cast<size_t>(aq.RecordCount()));
    for (aq.First(); !aq.Eof(); aq.Next()) ids.push_back(static_cast<int>(id.AsInteger()));
    aq.SetRecNo(recNo);
  }
  syncing_ = true;
  model_->SetIds(std::move(ids));
  syncing_ = false;
  ShowCurrentRow();
}

void TSqlFileFrm::ShowCurrentRow() {
  syncing_ = true;
  const bool hasRow = aq.Active() && (!aq.IsEmpty() || Editing());
  const QString text =
      hasRow ? QString::fromStdString(aq.FieldByName("instruction").AsString()) : QString();
  if (memo->toPlainText() != text) memo->setPlainText(text);
  memo->setReadOnly(!hasRow);
  if (hasRow && !aq.IsEmpty() && aq.RecNo() > 0) {
    grid->setCurrentIndex(model_->index(aq.RecNo() - 1, 0));
  }
  syncing_ = false;
}

void TSqlFileFrm::GridRowChosen(int aRow) {
  if (!aq.Active() || Editing()) {
    ShowCurrentRow();
    return;
  }
  aq.SetRecNo(aRow + 1);
  ShowCurrentRow();
  UpdateActions();
}

void TSqlFileFrm::MemoEdited() {
  if (!aq.Active()) return;
  try {
    if (!Editing()) DoEdit();
    if (Editing()) aq.FieldByName("instruction").SetAsString(memo->toPlainText().toStdString());
  } catch (const std::exception& e) {
    ui::Dialogs().MessageDlg(this, "Error", e.what(), ui::mtError, ui::mbOK);
  }
  UpdateActions();
}

void TSqlFileFrm::UpdateActions() {
  const bool open = aq.Active();
  const bool notEmpty = open && !aq.IsEmpty();
  const bool editing = open && Editing();
  const int recNo = notEmpty ? aq.RecNo() : 0;
  actInsert->setEnabled(open);
  actAppend->setEnabled(open);
  actEdit->setEnabled(notEmpty);
  // The row being inserted into an empty file counts as a row.
  actAccept->setEnabled(editing);
  actCancel->setEnabled(editing);
  actDelete->setEnabled(notEmpty);
  actSearch->setEnabled(notEmpty);
  actMoveUp->setEnabled(notEmpty && recNo > 1);
  actMoveDown->setEnabled(notEmpty && recNo < aq.RecordCount());
  actSave->setEnabled(changed_);
  actSaveAndExit->setEnabled(changed_);
  actClear->setEnabled(changed_);
  actExit->setEnabled(true);
}
