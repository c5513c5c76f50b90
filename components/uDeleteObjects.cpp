#include "components/uDeleteObjects.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QAbstractTableModel>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <limits>
#include <vector>

#include "components/InstructionSearch.h"
#include "platform/ui/DialogService.h"

namespace {

constexpr const char* kFields[] = {"id", "ObjectName", "Kind", "undoDelete"};
constexpr int kUndoRole = Qt::UserRole + 1;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// The grid's rows: a copy of the data set's rows in its order, refreshed when the window changes
// the data set, so drawing never moves its cursor.
class TDeleteObjectsModel : public QAbstractTableModel {
 public:
  struct Row {
    QString id, name, kind;
    bool undo;
  };
  using QAbstractTableModel::QAbstractTableModel;

  void Reset(std::vector<Row> aRows) {
    beginResetModel();
    rows_ = std::move(aRows);
    endResetModel();
  }
  void SetRow(int aRow, Row aValue) {
    rows_[static_cast<size_t>(aRow)] = std::move(aValue);
    emit dataChanged(index(aRow, 0), index(aRow, 3));
  }
  int rowCount(const QModelIndex& aParent = QModelIndex()) const override {
    return aParent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& aParent = QModelIndex()) const override {
    return aParent.isValid() ? 0 : 4;
  }
  QVariant data(const QModelIndex& aIndex, int aRole) const override {
    if (!aIndex.isValid()) return {};
    const Row& r = rows_[static_cast<size_t>(aIndex.row())];
    if (aRole == kUndoRole) return r.undo;
    if (aRole != Qt::DisplayRole) return {};
    switch (aIndex.column()) {
      case 0: return r.id;
      case 1: return r.name;
      case 2: return r.kind;
      default: return r.undo ? QString("True") : QString("False");
    }
  }
  QVariant headerData(int aSection, Qt::Orientation aOrientation, int aRole) const override {
    if (aOrientation != Qt::Horizontal || aRole != Qt::DisplayRole) {
      return QAbstractTableModel::headerData(aSection, aOrientation, aRole);
    }
    static const char* const kCaptions[] = {"Id", "Object Name", "Kind", "Undo"};
    return QString(kCaptions[aSection]);
  }

 private:
  std::vector<Row> rows_;
};

namespace {

// The block file's fields, looked up once for a walk over the rows.
struct BlockFields {
  explicit BlockFields(ado::TDataSet& aDataSet)
      : id(aDataSet.FieldByName("id")),
        name(aDataSet.FieldByName("ObjectName")),
        kind(aDataSet.FieldByName("Kind")),
        undo(aDataSet.FieldByName("undoDelete")) {}
  TDeleteObjectsModel::Row Current() const {
    return {QString::number(id.AsInteger()), Q(name.AsString()), Q(kind.AsString()),
            !undo.IsNull() && undo.AsBoolean()};
  }
  const ado::TField& id;
  const ado::TField& name;
  const ado::TField& kind;
  const ado::TField& undo;
};

// Paints each row in the colours the window gives it, selected or not.
class RowDelegate : public QStyledItemDelegate {
 public:
  explicit RowDelegate(TDeleteObjectsFrm& aWindow)
      : QStyledItemDelegate(&aWindow), window_(aWindow) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* aOption, const QModelIndex& aIndex) const override {
    QStyledItemDelegate::initStyleOption(aOption, aIndex);
    const bool selected = (aOption->state & QStyle::State_Selected) != 0;
    const TRowColors colors = window_.RowColors(aIndex, selected);
    aOption->backgroundBrush = colors.background;
    aOption->palette.setColor(QPalette::Text, colors.text);
    aOption->palette.setColor(QPalette::HighlightedText, colors.text);
    aOption->palette.setColor(QPalette::Highlight, colors.background);
  }

 private:
  TDeleteObjectsFrm& window_;
};

QAction* MakeAction(QWidget* aOwner, const char* aCaption, const char* aHint) {
  auto* action = new QAction(aCaption, aOwner);
  action->setToolTip(aHint);
  action->setStatusTip(aHint);
  return action;
}

}  // namespace

TDeleteObjectsFrm::TDeleteObjectsFrm(QWidget* aParent) : QDialog(aParent) {
  setWindowTitle("Objects to be deleted");
  BuildActions();
  BuildControls();
  UpdateActions();
}

TDeleteObjectsFrm::~TDeleteObjectsFrm() = default;

bool TDeleteObjectsFrm::ConfirmDelete(const std::string& aFileName, QWidget* aParent) {
  TDeleteObjectsFrm window(aParent);
  window.SetFileName(aFileName);
  return window.Execute() != ui::mrAbort;
}

void TDeleteObjectsFrm::BuildActions() {
  actToggle = MakeAction(this, "Undo",
                         "Allow to change the current deletion policy for the object under "
                         "examination");
  actSearch = MakeAction(this, "Find", "Find istruction");
  actOrderBy = MakeAction(this, "Order", "Change table order");
  actSave = MakeAction(this, "Save", "Save on disk current changes");
  actSaveAndExit = MakeAction(this, "Save and exit", "Save on disk current changes and close window");
  actClear = MakeAction(this, "Clear changes", "Undo all changes");
  actExit = MakeAction(this, "Close", "Close window");
  actAbortUpdate = MakeAction(this, "Abort Updated", "Abort Update procedure");
  connect(actToggle, &QAction::triggered, this, [this] { DoToggle(); });
  connect(actSearch, &QAction::triggered, this, [this] { DoSearch(); });
  connect(actOrderBy, &QAction::triggered, this, [this] { DoOrderBy(); });
  connect(actSave, &QAction::triggered, this, [this] { Save(); });
  connect(actSaveAndExit, &QAction::triggered, this, [this] { DoSaveAndExit(); });
  connect(actClear, &QAction::triggered, this, [this] { DoClear(); });
  connect(actExit, &QAction::triggered, this, [this] { DoExit(); });
  connect(actAbortUpdate, &QAction::triggered, this, [this] { DoAbortUpdate(); });
}

void TDeleteObjectsFrm::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QToolBar(this);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QAction* a : {actToggle, actSave, actSaveAndExit, actClear, actExit, actAbortUpdate}) {
    bar->addAction(a);
  }
  layout->addWidget(bar);

  pages = new QTabWidget(this);
  auto* info = new QLabel(
      "The list holds the objects that the update will delete. Press \"Undo\" on an object to "
      "keep it.",
      pages);
  info->setWordWrap(true);
  pages->addTab(info, "Info");

  auto* search = new QWidget(pages);
  auto* searchLayout = new QHBoxLayout(search);
  auto* findBox = new QGroupBox(search);
  auto* findLayout = new QVBoxLayout(findBox);
  edtObjectId = new QSpinBox(findBox);
  edtObjectId->setRange(0, std::numeric_limits<int>::max());
  edtObjectName = new QLineEdit(findBox);
  findLayout->addWidget(new QLabel("Object ID", findBox));
  findLayout->addWidget(edtObjectId);
  findLayout->addWidget(new QLabel("Object name", findBox));
  findLayout->addWidget(edtObjectName);
  auto* typeBox = new QGroupBox("[ Search type ]", findBox);
  auto* typeLayout = new QVBoxLayout(typeBox);
  rbFromBeginning = new QRadioButton("From beginning", typeBox);
  rbFromCursor = new QRadioButton("From cursor", typeBox);
  rbFromBeginning->setChecked(true);
  typeLayout->addWidget(rbFromBeginning);
  typeLayout->addWidget(rbFromCursor);
  findLayout->addWidget(typeBox);
  auto* findButton = new QPushButton("Find", findBox);
  connect(findButton, &QPushButton::clicked, actSearch, &QAction::trigger);
  findLayout->addWidget(findButton);

  auto* orderBox = new QGroupBox("[ Order by ]", search);
  auto* orderLayout = new QVBoxLayout(orderBox);
  rbOrderId = new QRadioButton("Id", orderBox);
  rbOrderName = new QRadioButton("Object name", orderBox);
  rbOrderKind = new QRadioButton("Object Kind", orderBox);
  rbOrderId->setChecked(true);
  auto* orderButton = new QPushButton("Order", orderBox);
  connect(orderButton, &QPushButton::clicked, actOrderBy, &QAction::trigger);
  for (QWidget* w : std::initializer_list<QWidget*>{rbOrderId, rbOrderName, rbOrderKind,
                                                     orderButton}) {
    orderLayout->addWidget(w);
  }
  searchLayout->addWidget(findBox);
  searchLayout->addWidget(orderBox);
  pages->addTab(search, "Search and ordering");
  layout->addWidget(pages);

  model_ = new TDeleteObjectsModel(this);
  grdElem = new QTableView(this);
  grdElem->setModel(model_);
  grdElem->setSelectionBehavior(QAbstractItemView::SelectRows);
  grdElem->setSelectionMode(QAbstractItemView::SingleSelection);
  grdElem->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdElem->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  grdElem->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grdElem->setItemDelegate(new RowDelegate(*this));
  connect(grdElem->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& aCurrent, const QModelIndex&) {
            if (!filling_ && aCurrent.isValid() && aq.Active()) aq.SetRecNo(aCurrent.row() + 1);
          });
  connect(grdElem, &QTableView::doubleClicked, actToggle, &QAction::trigger);
  layout->addWidget(grdElem, 1);
  resize(640, 480);
}

TRowColors TDeleteObjectsFrm::RowColors(const QModelIndex& aIndex, bool aSelected) const {
  const QColor window = palette().color(QPalette::Base);
  if (!aIndex.isValid()) return {window, Qt::black};
  const bool undo = aIndex.sibling(aIndex.row(), 0).data(kUndoRole).toBool();
  if (undo) return aSelected ? TRowColors{QColor(Qt::darkBlue), QColor(Qt::yellow)}
                             : TRowColors{QColor(Qt::yellow), QColor(Qt::black)};
  return aSelected ? TRowColors{QColor(Qt::darkBlue), window} : TRowColors{window, Qt::black};
}

void TDeleteObjectsFrm::UpdateActions() {
  const bool rows = aq.Active() && !aq.IsEmpty();
  actToggle->setEnabled(rows);
  actSearch->setEnabled(rows);
  actOrderBy->setEnabled(rows);
  actSave->setEnabled(changed_);
  actSaveAndExit->setEnabled(changed_);
  actClear->setEnabled(changed_);
}

int TDeleteObjectsFrm::Execute() {
  aborted_ = false;
  if (!Load()) return ui::mrCancel;
  pages->setCurrentIndex(0);
  return ui::Dialogs().ShowModal(*this);
}

bool TDeleteObjectsFrm::Load() {
  aq.Close();
  bool loaded = false;
  if (std::filesystem::exists(fileName_)) {
    try {
      aq.LoadFromFile(fileName_);
      loaded = true;
      for (const char* f : kFields) loaded = loaded && aq.FindField(f) != nullptr;
    } catch (const std::exception&) {
      loaded = false;
    }
  }
  if (!loaded) {
    aq.Close();
  } else {
    aq.SetSort("id");
    aq.First();
  }
  changed_ = false;
  FillGrid();
  return loaded;
}

bool TDeleteObjectsFrm::Save() {
  try {
    aq.SaveToFile(fileName_, ado::pfXML);
  } catch (const std::exception&) {
    ui::Dialogs().MessageDlg(this, "Error", "Cannot save the file " + fileName_ + ".", ui::mtError,
                             ui::mbOK);
    return false;
  }
  changed_ = false;
  UpdateActions();
  return true;
}

void TDeleteObjectsFrm::FillGrid() {
  filling_ = true;
  std::vector<TDeleteObjectsModel::Row> rows;
  if (aq.Active() && !aq.IsEmpty()) {
    FrozenControls frozen(aq);
    const int recNo = aq.RecNo();
    rows.reserve(static_cast<size_t>(aq.RecordCount()));
    const BlockFields fields(aq);
    for (aq.First(); !aq.Eof(); aq.Next()) rows.push_back(fields.Current());
    aq.SetRecNo(recNo);
  }
  model_->Reset(std::move(rows));
  filling_ = false;
  SyncGridToCursor();
  UpdateActions();
}

void TDeleteObjectsFrm::SyncGridToCursor() {
  if (!aq.Active() || aq.IsEmpty()) return;
  filling_ = true;
  grdElem->setCurrentIndex(model_->index(aq.RecNo() - 1, 0));
  filling_ = false;
}

void TDeleteObjectsFrm::DoToggle() {
  if (!aq.Active() || aq.IsEmpty()) return;
  aq.Edit();
  aq.FieldByName("undoDelete").SetAsBoolean(!aq.FieldByName("undoDelete").AsBoolean());
  aq.Post();
  changed_ = true;
  model_->SetRow(aq.RecNo() - 1, BlockFields(aq).Current());
  UpdateActions();
}

void TDeleteObjectsFrm::DoSearch() {
  TInstructionSearch search;
  search.Number = edtObjectId->value();
  search.Text = edtObjectName->text().toStdString();
  search.TextField = "ObjectName";
  search.SearchType = rbFromCursor->isChecked() ? stFromCursor : stFromBeginning;
  FindInstruction(aq, search, this);
  SyncGridToCursor();
}

void TDeleteObjectsFrm::DoOrderBy() {
  if (!aq.Active() || aq.IsEmpty()) return;
  const char* field = rbOrderName->isChecked()   ? "ObjectName"
                      : rbOrderKind->isChecked() ? "Kind"
                                                 : "id";
  if (aq.Sort() == field) {
    ui::Dialogs().MessageDlg(this, "Information", "Wrong order specification!",
                             ui::mtInformation, ui::mbOK);
    return;
  }
  aq.SetSort(field);
  FillGrid();
}

void TDeleteObjectsFrm::DoSaveAndExit() {
  if (Save()) done(ui::mrOk);
}

void TDeleteObjectsFrm::DoClear() {
  if (!ui::Dialogs().Confirm(this, "Confirm", "Are you sure you want to clear all changes?")) {
    return;
  }
  const bool hadRow = aq.Active() && !aq.IsEmpty();
  const int id = hadRow ? static_cast<int>(aq.FieldByName("id").AsInteger()) : 0;
  const std::string sort = aq.Sort();
  if (Load()) {
    aq.SetSort(sort);
    if (hadRow) LocateInstructionId(aq, id);
    FillGrid();
  }
}

void TDeleteObjectsFrm::DoExit() {
  if (changed_ && ui::Dialogs().Confirm(this, "Confirm",
                                        "Data has been changed.\r\nDo you wish to save data?")) {
    DoSaveAndExit();
    return;
  }
  done(ui::mrOk);
}

void TDeleteObjectsFrm::DoAbortUpdate() {
  if (!ui::Dialogs().Confirm(
          this, "Confirm",
          "The procedure selected allow to abort the update of the database. \r\nIf you proceed "
          "the update will not be performed!!!\r\n Are you sure you want to quit the update?")) {
    return;
  }
  aborted_ = true;
  done(ui::mrAbort);
}

void TDeleteObjectsFrm::reject() { DoExit(); }
