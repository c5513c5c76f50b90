#include "components/uErrorManager.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>
#include <exception>

#include "common/Paths.h"
#include "components/DbErrors.h"
#include "components/WindowStyle.h"
#include "components/uConsole.h"
#include "components/uSqlFile.h"
#include "platform/ui/DialogService.h"

using windowstyle::MakeAction;

namespace {

ado::FieldDefs ErrorFields() {
  using ado::FieldType;
  return {{"Description", FieldType::ftString, 200},
          {"eMessage", FieldType::ftMemo, 0},
          {"InstructionNo", FieldType::ftInteger, 0},
          {"CommandText", FieldType::ftMemo, 0},
          {"context", FieldType::ftString, 20},
          {"handled", FieldType::ftBoolean, 0},
          {"id", FieldType::ftInteger, 0}};
}

// Grid columns: title and field.
constexpr struct {
  const char* title;
  const char* field;
  bool editable;
} kColumns[] = {{"Id", "InstructionNo", true},
                {"Description", "Description", true},
                {"context", "context", false},
                {"handled", "handled", false}};

}  // namespace

TErrorManagerFrm::TErrorManagerFrm(IErrorManagerUpdater& aUpdater, QWidget* aParent)
    : QWidget(aParent, windowstyle::kToolWindowFlags),
      updater_(&aUpdater),
      errors_(&aUpdater.Errors()),
      console_(aUpdater.ConsoleWindow()) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Error manager");
  resize(630, 362);
  qErrors.FieldDefs() = ErrorFields();
  qErrors.CreateDataSet();
  BuildActions();
  BuildControls();
  Connect();
  sqlFile_ = std::make_unique<TSqlFileFrm>();
  // The file the check wrote: DirSql + "\" + "instructions.xml", as the engine composes it.
  sqlFile_->SetFileName(
      paths::ResolveFolder(paths::FoldBackslashes(aUpdater.DirSql() + "\\instructions.xml")));
  sqlFile_->Load();
  sqlFile_->installEventFilter(this);
  if (console_) console_->installEventFilter(this);
  filter_ = 0;
  RebuildGrid();
  updater_->ErrorManagerOpened(*this);
}

TErrorManagerFrm::~TErrorManagerFrm() {
  if (updater_) updater_->ErrorManagerClosed(*this);
  updater_ = nullptr;
  errors_ = nullptr;
  if (console_) console_->removeEventFilter(this);
  // The editor goes first, while this window is whole; its hiding is no longer watched.
  sqlFile_->removeEventFilter(this);
  sqlFile_.reset();
}

void TErrorManagerFrm::UpdaterFinalized() {
  updater_ = nullptr;
  errors_ = nullptr;
  if (console_) console_->removeEventFilter(this);
  console_ = nullptr;
  qErrors.EmptyDataSet();
  FillGridControl();
  close();
}

void TErrorManagerFrm::BuildActions() {
  actShowInstructions = MakeAction(*this, "actShowInstructions", "Open instruction window",
                                   "Open instruction window and allow to manage instruction file");
  actShowCurrentInstruction =
      MakeAction(*this, "actShowCurrentInstruction", "Show current instruction",
                 "Show and edit current instruction");
  actConsole = MakeAction(*this, "actConsole", "Show console", "Open console window");
  actSaveErrors = MakeAction(*this, "actSaveErrors", "Save error log", "Save errors on file log");
  actShowAll = MakeAction(*this, "actShowAll", "Show all errors", "");
  actShowExtractSchema =
      MakeAction(*this, "actShowExtractSchema", "Show Extract schemas errors", "");
  actShowCheckDb = MakeAction(*this, "actShowCheckDb", "Show Check db errors", "");
  actShowUpdate = MakeAction(*this, "actShowUpdate", "Show Update errors", "");
  actClearAll = MakeAction(*this, "actClearAll", "Clear all errors", "Clear all errors");
  actClearExtractSchema = MakeAction(*this, "actClearExtractSchema", "Clear Extract Schema errors",
                                     "Clear Extract Schema errors");
  actClearCheckDb =
      MakeAction(*this, "actClearCheckDb", "Clear Check errors", "Clear Check errors");
  actClearUpdate =
      MakeAction(*this, "actClearUpdate", "Clear Update errors", "Clear Update errors");
  actDeleteCurrent =
      MakeAction(*this, "actDeleteCurrent", "Delete current error", "Delete current error");
  actExit = MakeAction(*this, "actExit", "Exit", "Close Error manager window");

  filters_ = new QActionGroup(this);
  filters_->setExclusive(true);
  for (QAction* a : {actShowAll, actShowExtractSchema, actShowCheckDb, actShowUpdate}) {
    a->setCheckable(true);
    filters_->addAction(a);
  }
  actShowAll->setChecked(true);
}

void TErrorManagerFrm::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* tools = new QToolBar(this);
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  tools->addAction(actShowInstructions);
  tools->addAction(actShowCurrentInstruction);
  tools->addAction(actConsole);
  tools->addAction(actSaveErrors);
  layout->addWidget(tools);
  tools = new QToolBar(this);
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  btnFilter = new QToolButton(tools);
  btnFilter->setText("Filter");
  btnFilter->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(btnFilter);
  menu->addActions(filters_->actions());
  btnFilter->setMenu(menu);
  tools->addWidget(btnFilter);
  auto* clears = new QToolButton(tools);
  clears->setText("Clear");
  clears->setPopupMode(QToolButton::InstantPopup);
  auto* clearMenu = new QMenu(clears);
  clearMenu->addActions({actClearAll, actClearExtractSchema, actClearCheckDb, actClearUpdate});
  clears->setMenu(clearMenu);
  tools->addWidget(clears);
  tools->addAction(actDeleteCurrent);
  tools->addAction(actExit);
  layout->addWidget(tools);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  DBGrid1 = new QTableWidget(0, static_cast<int>(std::size(kColumns)), splitter);
  for (int c = 0; c < DBGrid1->columnCount(); ++c) {
    DBGrid1->setHorizontalHeaderItem(c, new QTableWidgetItem(kColumns[c].title));
  }
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  DBGrid1->verticalHeader()->hide();
  DBGrid1->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);

  // The detail panel: the short fields on the left, the texts on the right.
  auto* detail = new QWidget(splitter);
  auto* panel = new QHBoxLayout(detail);
  panel->setContentsMargins(2, 2, 2, 2);
  auto* left = new QFormLayout();
  auto* right = new QFormLayout();
  edtInstructionNo = new QSpinBox(detail);
  edtInstructionNo->setRange(INT_MIN, INT_MAX);
  edtDescription = new QLineEdit(detail);
  edtDescription->setMaxLength(200);
  memEMessage = new QPlainTextEdit(detail);
  memCommandText = new QPlainTextEdit(detail);
  cbContext = new QComboBox(detail);
  chkHandled = new QCheckBox("handled", detail);
  left->addRow("InstructionNo", edtInstructionNo);
  left->addRow("Description", edtDescription);
  left->addRow("context", cbContext);
  left->addRow("", chkHandled);
  right->addRow("Error message", memEMessage);
  right->addRow("CommandText", memCommandText);
  panel->addLayout(left, 1);
  panel->addLayout(right, 1);
  splitter->addWidget(DBGrid1);
  splitter->addWidget(detail);
  splitter->setSizes({170, 130});
  layout->addWidget(splitter, 1);
}

void TErrorManagerFrm::Connect() {
  // A command never lets an exception out of the window.
  const auto guarded = [this](QAction* aAction, auto aCommand) {
    connect(aAction, &QAction::triggered, this, [this, aCommand] {
      try {
        if (errors_) aCommand();
      } catch (const std::exception& e) {
        ui::Dialogs().MessageDlg(this, "Error", e.what(), ui::mtError, ui::mbOK);
      }
      if (errors_) UpdateActions();
    });
  };
  guarded(actShowInstructions, [this] { DoShowInstructions(); });
  guarded(actShowCurrentInstruction, [this] { DoShowCurrentInstruction(); });
  guarded(actConsole, [this] { DoConsole(); });
  guarded(actSaveErrors, [this] { DoSaveErrors(); });
  guarded(actShowAll, [this] { SetFilter(dbcUnknown); });
  guarded(actShowExtractSchema, [this] { SetFilter(dbcExtractSchema); });
  guarded(actShowCheckDb, [this] { SetFilter(dbcCheckDb); });
  guarded(actShowUpdate, [this] { SetFilter(dbcUpdate); });
  guarded(actClearAll, [this] { DoClear(dbcUnknown); });
  guarded(actClearExtractSchema, [this] { DoClear(dbcExtractSchema); });
  guarded(actClearCheckDb, [this] { DoClear(dbcCheckDb); });
  guarded(actClearUpdate, [this] { DoClear(dbcUpdate); });
  guarded(actDeleteCurrent, [this] { DoDeleteCurrent(); });
  connect(actExit, &QAction::triggered, this, &QWidget::close);

  connect(DBGrid1, &QTableWidget::currentCellChanged, this, [this](int aRow) {
    if (!syncing_) GridRowChosen(aRow);
  });
  connect(DBGrid1, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* aItem) {
    if (syncing_ || aItem->row() != qErrors.RecNo() - 1) return;
    const char* field = kColumns[aItem->column()].field;
    if (field == std::string("InstructionNo")) {
      bool number = false;
      const int value = aItem->text().toInt(&number);
      if (number) DetailEdited(field, value);
    } else {
      DetailEdited(field, aItem->text().toStdString());
    }
    // The cell shows what the grid data set kept (a text that is no number is dropped).
    syncing_ = true;
    aItem->setText(QString::fromStdString(qErrors.FieldByName(field).AsString()));
    syncing_ = false;
    ShowDetail();
  });
  connect(edtInstructionNo, &QSpinBox::valueChanged, this,
          [this](int aValue) { DetailEdited("InstructionNo", aValue); });
  connect(edtDescription, &QLineEdit::textEdited, this,
          [this](const QString& aText) { DetailEdited("Description", aText.toStdString()); });
  connect(memEMessage, &QPlainTextEdit::textChanged, this,
          [this] { DetailEdited("eMessage", memEMessage->toPlainText().toStdString()); });
  connect(memCommandText, &QPlainTextEdit::textChanged, this,
          [this] { DetailEdited("CommandText", memCommandText->toPlainText().toStdString()); });
  connect(cbContext, &QComboBox::currentTextChanged, this,
          [this](const QString& aText) { DetailEdited("context", aText.toStdString()); });
  connect(chkHandled, &QCheckBox::toggled, this,
          [this](bool aChecked) { DetailEdited("handled", aChecked); });
}

void TErrorManagerFrm::showEvent(QShowEvent* aEvent) {
  syncing_ = true;
  cbContext->clear();
  for (int c = 0; c < EnumCount<TDbContext>(); ++c) {
    cbContext->addItem(QString::fromStdString(EnumName(static_cast<TDbContext>(c))));
  }
  syncing_ = false;
  if (errors_) RebuildGrid();
  QWidget::showEvent(aEvent);
}

bool TErrorManagerFrm::event(QEvent* aEvent) {
  // Coming back to the window after a run shows the list as it now is.
  if (aEvent->type() == QEvent::WindowActivate && errors_) GridCurrent();
  return QWidget::event(aEvent);
}

bool TErrorManagerFrm::eventFilter(QObject* aWatched, QEvent* aEvent) {
  const auto type = aEvent->type();
  if ((type == QEvent::Show || type == QEvent::Hide) && errors_ && sqlFile_) UpdateActions();
  return QWidget::eventFilter(aWatched, aEvent);
}

void TErrorManagerFrm::SetFilter(int aFilter) {
  if (aFilter != filter_) {
    filter_ = aFilter;
    RebuildGrid();
  }
  QAction* const matching[] = {actShowAll, actShowExtractSchema, actShowCheckDb, actShowUpdate};
  if (aFilter >= 0 && aFilter < static_cast<int>(std::size(matching))) {
    matching[aFilter]->setChecked(true);
  }
}

void TErrorManagerFrm::RebuildGrid() {
  qErrors.EmptyDataSet();
  if (errors_) {
    qErrors.DisableControls();
    const auto& items = errors_->Items();
    for (size_t i = 0; i < items.size(); ++i) {
      const TDbErrorElem& e = *items[i];
      if (filter_ != 0 && e.Context != filter_) continue;
      qErrors.Append();
      qErrors.FieldByName("Description").SetAsString(e.Description.substr(0, 200));
      qErrors.FieldByName("eMessage").SetAsString(e.EMessage);
      qErrors.FieldByName("InstructionNo").SetAsInteger(e.InstrNumber);
      qErrors.FieldByName("CommandText").SetAsString(e.SqlText);
      qErrors.FieldByName("context").SetAsString(EnumName(e.Context));
      qErrors.FieldByName("handled").SetAsBoolean(e.Handled);
      qErrors.FieldByName("id").SetAsInteger(static_cast<int64_t>(i));
      qErrors.Post();
    }
    qErrors.EnableControls();
    builtVersion_ = errors_->Version();
  }
  if (!qErrors.IsEmpty()) qErrors.First();
  FillGridControl();
  if (errors_) UpdateActions();
}

bool TErrorManagerFrm::GridCurrent() {
  if (!errors_) return false;
  if (errors_->Version() == builtVersion_) return true;
  RebuildGrid();
  return false;
}

void TErrorManagerFrm::FillGridControl() {
  syncing_ = true;
  DBGrid1->setRowCount(0);
  if (!qErrors.IsEmpty()) {
    const int current = qErrors.RecNo();
    DBGrid1->setRowCount(qErrors.RecordCount());
    int row = 0;
    for (qErrors.First(); !qErrors.Eof(); qErrors.Next(), ++row) {
      for (int c = 0; c < DBGrid1->columnCount(); ++c) {
        const ado::TField& f = qErrors.FieldByName(kColumns[c].field);
        const QString text = f.DataType() == ado::FieldType::ftBoolean
                                 ? QString(f.AsBoolean() ? "True" : "False")
                                 : QString::fromStdString(f.AsString());
        auto* item = new QTableWidgetItem(text);
        // Context and handled are edited in the panel, where only their values are offered.
        if (!kColumns[c].editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        DBGrid1->setItem(row, c, item);
      }
    }
    qErrors.SetRecNo(current);
    DBGrid1->setCurrentCell(current - 1, 0);
  }
  syncing_ = false;
  ShowDetail();
}

void TErrorManagerFrm::ShowDetail() {
  syncing_ = true;
  const bool hasRow = !qErrors.IsEmpty();
  const auto text = [this, hasRow](const char* aField) {
    return hasRow ? QString::fromStdString(qErrors.FieldByName(aField).AsString()) : QString();
  };
  edtInstructionNo->setValue(
      hasRow ? static_cast<int>(qErrors.FieldByName("InstructionNo").AsInteger()) : 0);
  edtDescription->setText(text("Description"));
  memEMessage->setPlainText(text("eMessage"));
  memCommandText->setPlainText(text("CommandText"));
  cbContext->setCurrentIndex(hasRow ? cbContext->findText(text("context")) : -1);
  chkHandled->setChecked(hasRow && qErrors.FieldByName("handled").AsBoolean());
  for (QWidget* w : std::initializer_list<QWidget*>{edtInstructionNo, edtDescription, memEMessage,
                                                    memCommandText, cbContext, chkHandled}) {
    w->setEnabled(hasRow);
  }
  syncing_ = false;
}

void TErrorManagerFrm::GridRowChosen(int aRow) {
  if (aRow < 0 || aRow >= qErrors.RecordCount()) return;
  qErrors.SetRecNo(aRow + 1);
  ShowDetail();
}

void TErrorManagerFrm::DetailEdited(const char* aField, const ado::Variant& aValue) {
  if (syncing_ || qErrors.IsEmpty()) return;
  try {
    qErrors.Edit();
    qErrors.FieldByName(aField).SetValue(aValue);
    qErrors.Post();
  } catch (const std::exception& e) {
    qErrors.Cancel();
    ui::Dialogs().MessageDlg(this, "Error", e.what(), ui::mtError, ui::mbOK);
    return;
  }
  const int row = qErrors.RecNo() - 1;
  syncing_ = true;
  for (int c = 0; c < DBGrid1->columnCount(); ++c) {
    if (std::string(kColumns[c].field) != aField || !DBGrid1->item(row, c)) continue;
    const ado::TField& f = qErrors.FieldByName(aField);
    DBGrid1->item(row, c)->setText(f.DataType() == ado::FieldType::ftBoolean
                                       ? QString(f.AsBoolean() ? "True" : "False")
                                       : QString::fromStdString(f.AsString()));
  }
  syncing_ = false;
}

void TErrorManagerFrm::DoShowInstructions() {
  if (sqlFile_->isHidden()) {
    sqlFile_->show();
    actShowInstructions->setText("Close instruction window");
  } else {
    sqlFile_->hide();
    actShowInstructions->setText("Open instruction window");
  }
}

void TErrorManagerFrm::DoShowCurrentInstruction() {
  if (!GridCurrent() || qErrors.IsEmpty()) return;
  const int number = static_cast<int>(qErrors.FieldByName("InstructionNo").AsInteger());
  if (sqlFile_->LocateInstruction(number)) {
    sqlFile_->show();
    sqlFile_->raise();
    actShowInstructions->setText("Close instruction window");
    return;
  }
  ui::Dialogs().MessageDlg(
      this, "Warning",
      "Instruction n. " + std::to_string(number) + " not found in the instruction file!",
      ui::mtWarning, ui::mbOK);
}

void TErrorManagerFrm::DoConsole() {
  if (!console_) return;
  if (console_->isHidden()) {
    console_->show();
  } else {
    console_->hide();
  }
}

void TErrorManagerFrm::DoSaveErrors() {
  const std::optional<std::string> file = ui::Dialogs().ChooseSaveFile(
      this, "Save error log", "", "Log files (*.log);;Text files (*.txt);;All files (*)");
  if (!file) return;
  bool saved = false;
  try {
    saved = errors_->SaveToFile(*file);
  } catch (const std::exception&) {
    saved = false;
  }
  if (saved) {
    ui::Dialogs().MessageDlg(this, "Information", "File saved successfully!", ui::mtInformation,
                             ui::mbOK);
  } else {
    ui::Dialogs().MessageDlg(this, "Error", "File save failed!", ui::mtError, ui::mbOK);
  }
}

void TErrorManagerFrm::DoClear(TDbContext aContext) {
  struct Texts {
    const char* question;
    const char* done;
  };
  static constexpr Texts kTexts[] = {
      {"Are you sure you want to erase all errors?", "Clear all errors done..."},
      {"Are you sure you want to erase all Extract Schema errors?",
       "Clear Extract schemas errors done..."},
      {"Are you sure you want to erase all CheckDb Errors?", "Clear Check Errors done..."},
      {"Are you sure you want to erase all Update Errors?", "Clear Update Errors done..."}};
  const Texts& texts = kTexts[aContext];
  if (!ui::Dialogs().Confirm(this, "Confirm", texts.question)) return;
  qErrors.EmptyDataSet();
  switch (aContext) {
    case dbcExtractSchema:
      errors_->ClearExtractSchemaErrors();
      break;
    case dbcCheckDb:
      errors_->ClearCheckDbErrors();
      break;
    case dbcUpdate:
      errors_->ClearUpdateErrors();
      break;
    default:
      errors_->Clear();
  }
  RebuildGrid();
  ui::Dialogs().MessageDlg(this, "Information", texts.done, ui::mtInformation, ui::mbOK);
}

void TErrorManagerFrm::DoDeleteCurrent() {
  // A run may have changed the list since the grid was built: the rows' ids would point at
  // other errors. Show the list as it is and let the user choose again.
  if (!GridCurrent() || qErrors.IsEmpty()) return;
  if (!ui::Dialogs().Confirm(this, "Confirm", "Are you sure you want to delete current Error?")) {
    return;
  }
  if (!GridCurrent()) return;
  const int row = qErrors.RecNo();
  errors_->Delete(static_cast<int>(qErrors.FieldByName("id").AsInteger()));
  RebuildGrid();
  if (!qErrors.IsEmpty()) {
    qErrors.SetRecNo(std::min(row, qErrors.RecordCount()));
    FillGridControl();
  }
}

void TErrorManagerFrm::UpdateActions() {
  const bool gridHasRows = !qErrors.IsEmpty();
  actShowCurrentInstruction->setEnabled(gridHasRows);
  actSaveErrors->setEnabled(gridHasRows);
  actDeleteCurrent->setEnabled(gridHasRows);
  actClearAll->setEnabled(errors_ && errors_->Count() > 0);
  actClearExtractSchema->setEnabled(errors_ && !errors_->ExtractSchemaErrors().empty());
  actClearCheckDb->setEnabled(errors_ && !errors_->CheckDbErrors().empty());
  actClearUpdate->setEnabled(errors_ && !errors_->UpdateErrors().empty());
  actShowInstructions->setText(sqlFile_ && sqlFile_->isVisible() ? "Close instruction window"
                                                                 : "Open instruction window");
  const bool consoleShown = console_ && console_->isVisible();
  actConsole->setText(consoleShown ? "Hide console" : "Show console");
  actConsole->setToolTip(consoleShown ? "Close console window" : "Open console window");
}
