// The advanced-settings window.
#include "app/ufrmAdvancedSettings.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/ufrmMain.h"
#include "common/Text.h"
#include "dialects/uDbSpecific.h"
#include "components/WindowStyle.h"
#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

QString Q(const std::string& aText) { return QString::fromStdString(aText); }

std::string CellText(const QTableWidget& aGrid, int aRow, int aColumn) {
  const QTableWidgetItem* item = aGrid.item(aRow, aColumn);
  return item != nullptr ? item->text().toStdString() : std::string();
}

void FillGrid(QTableWidget& aGrid, const std::vector<std::string>& aList) {
  for (const std::string& entry : aList) {
    const size_t eq = entry.find('=');
    const int row = aGrid.rowCount();
    aGrid.insertRow(row);
    aGrid.setItem(row, 0, new QTableWidgetItem(Q(entry.substr(0, eq))));
    aGrid.setItem(row, 1, new QTableWidgetItem(eq == std::string::npos ? QString() : Q(entry.substr(eq + 1))));
  }
}

// The grid's rows as name=value entries: rows with an empty value and repeated keys are dropped.
std::vector<std::string> ListOf(const QTableWidget& aGrid) {
  std::vector<std::string> list;
  std::vector<std::string> keys;
  for (const auto& [key, value] : GridEntries(aGrid)) {
    if (value.empty() || std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(key);
    list.push_back(key + "=" + value);
  }
  return list;
}

// The catalogue reader of the connection string's server, as the schema engine reads it; null
// for another provider, whose own schema rowsets are read instead.
std::unique_ptr<TDatabaseSpecific> CatalogueOf(const std::string& aConnectionString) {
  std::unique_ptr<TDatabaseSpecific> dialect;
  TDbType kind = dbtNone;
  if (text::FindText(aConnectionString, "SQLOLEDB") != std::string::npos) {
    dialect = std::make_unique<TSqlServerSpecific>();
    kind = dbtSqlServer;
  } else if (text::FindText(aConnectionString, "MICROSOFT.JET") != std::string::npos) {
    dialect = std::make_unique<TAccessSpecific>();
    kind = dbtAccess;
  } else if (text::FindText(aConnectionString, "ASAPROV") != std::string::npos) {
    dialect = std::make_unique<TAsaSpecific>();
    kind = dbtAsa;
  }
  if (dialect) dialect->SetDbType(kind);
  return dialect;
}

std::string Selected(const QComboBox& aPicker, const char* aNone) {
  return aPicker.currentIndex() < 0 ? std::string(aNone) : aPicker.currentText().toStdString();
}

}  // namespace

std::vector<std::pair<std::string, std::string>> GridEntries(const QTableWidget& aGrid) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (int row = 0; row < aGrid.rowCount(); ++row) entries.emplace_back(CellText(aGrid, row, 0), CellText(aGrid, row, 1));
  return entries;
}

void SetGridValue(QTableWidget& aGrid, const std::string& aKey, const std::string& aValue) {
  int row = 0;
  while (row < aGrid.rowCount() && CellText(aGrid, row, 0) != aKey) ++row;
  if (row == aGrid.rowCount()) {
    aGrid.insertRow(row);
    aGrid.setItem(row, 0, new QTableWidgetItem(Q(aKey)));
  }
  aGrid.setItem(row, 1, new QTableWidgetItem(Q(aValue)));
  aGrid.setCurrentCell(row, 1);
}

TfrmAdvancedSettings::TfrmAdvancedSettings(TdmMain& aDmMain, QWidget* aParent) : QDialog(aParent), dmMain_(aDmMain) {
  setObjectName("frmAdvancedSettings");
  setWindowTitle("Advanced Setting Configuration");
  setWindowFlags(windowstyle::kToolWindowFlags);
  windowstyle::SetStayOnTop(*this);
  setAttribute(Qt::WA_DeleteOnClose);
  pages = new QStackedWidget(this);
  tsHome = BuildHome();
  tsTables = BuildList("tsTables", "Tables to rename", veTables, "Old Table Name", "New Table Name", false);
  tsFields = BuildList("tsFields", "Fields to rename", veFields, "Old Field Name", "New Field Name", true);
  // The table picker always sits on a page's picker row, the tables page's until another page
  // takes it: never on the window itself, over the home page.
  lblTableName = new QLabel("Table Name", tsTables);
  cmbTableName = new QComboBox(tsTables);
  cmbTableName->setObjectName("cmbTableName");
  connect(cmbTableName, &QComboBox::currentIndexChanged, this, [this] { TableChosen(); });
  MovePicker(tsTables);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
  FillGrid(*veTables, dmMain_.Producer.RenamedTables);
  FillGrid(*veFields, dmMain_.Producer.RenamedFields);
  ShowHome();
}

QWidget* TfrmAdvancedSettings::BuildHome() {
  auto* page = new QWidget();
  page->setObjectName("tsHome");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel("Advanced Options for settings file", page));
  const struct {
    const char* name;
    const char* caption;
    const char* note;
    std::function<void()> click;
  } items[] = {
      {"lblOptions", "Open Options Form",
       "Allow you to set advanced options, like Delete or Update options, if prompt before delete, etc..",
       [this] { dmMain_.ShowProducerOptions(); }},
      {"lblTables", "Tables to rename", "Open and editor to define tables you want rename", [this] { ShowTables(); }},
      {"lblFields", "Fields to rename", "Open an editor to define fields to rename.", [this] { ShowFields(); }},
  };
  for (const auto& item : items) {
    auto* link = new TLinkLabel(item.name, item.caption, item.caption, page);
    link->OnClick = item.click;
    layout->addWidget(link);
    layout->addWidget(new QLabel(item.note, page));
  }
  auto* exit = new TLinkLabel("lblHomeExit", "Exit", "Exit", page);
  exit->OnClick = [this] { close(); };
  layout->addWidget(exit);
  layout->addStretch();
  pages->addWidget(page);
  return page;
}

QWidget* TfrmAdvancedSettings::BuildList(const char* aName, const char* aTitle, QTableWidget*& aGrid,
                                         const char* aOld, const char* aNew, bool aFields) {
  auto* page = new QWidget();
  page->setObjectName(aName);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel(aTitle, page));
  auto* commands = new QHBoxLayout();
  const std::string prefix = aFields ? "Fields" : "Tables";
  const struct {
    std::string name;
    const char* caption;
    std::function<void()> click;
  } links[] = {
      {"lblExit" + prefix, "Exit", [this] { close(); }},
      {"lblBack" + prefix, "Back", [this] { ShowHome(); }},
      {"lblAdd" + prefix, "Add to List", [this, aFields] { aFields ? AddField() : AddTable(); }},
      {"lblRemove" + prefix, "Remove from List", [this, aFields] { aFields ? RemoveField() : RemoveTable(); }},
  };
  for (const auto& l : links) {
    auto* link = new TLinkLabel(l.name.c_str(), l.caption, l.caption, page);
    link->OnClick = l.click;
    commands->addWidget(link);
  }
  commands->addStretch();
  layout->addLayout(commands);
  auto* pickers = new QHBoxLayout();
  pickers->setObjectName("pickers");
  if (aFields) {
    pickers->addWidget(new QLabel("Field Name", page));
    cmbFieldName = new QComboBox(page);
    cmbFieldName->setObjectName("cmbFieldName");
    pickers->addWidget(cmbFieldName);
  }
  layout->addLayout(pickers);
  aGrid = new QTableWidget(0, 2, page);
  aGrid->setObjectName(aFields ? "veFields" : "veTables");
  aGrid->setHorizontalHeaderLabels({aOld, aNew});
  // Both columns share the grid's width, each at least as wide as its title.
  QHeaderView& header = *aGrid->horizontalHeader();
  header.setSectionResizeMode(QHeaderView::Stretch);
  const QFontMetrics metrics = header.fontMetrics();
  header.setMinimumSectionSize(std::max(metrics.horizontalAdvance(aOld), metrics.horizontalAdvance(aNew)) + 24);
  layout->addWidget(aGrid, 1);
  pages->addWidget(page);
  return page;
}

void TfrmAdvancedSettings::MovePicker(QWidget* aPage) {
  auto* pickers = aPage->findChild<QHBoxLayout*>("pickers");
  lblTableName->setParent(aPage);
  cmbTableName->setParent(aPage);
  pickers->insertWidget(0, lblTableName);
  pickers->insertWidget(1, cmbTableName);
  lblTableName->show();
  cmbTableName->show();
}

void TfrmAdvancedSettings::Init(const std::string& aConnectionString) {
  connectionString_ = aConnectionString;
  if (aConnectionString.empty()) return;  // the pickers stay empty; the lists warn when opened
  ac.SetConnectionString(aConnectionString);
  ac.Open();
  ado::TDataSet tables;
  OpenCatalogue(vsiTables, ado::siTables,
                ado::VariantArray{ado::Variant::Null(), ado::Variant::Null(), ado::Variant::Null(), ado::Variant("TABLE")},
                tables);
  TableNames.clear();
  for (tables.First(); !tables.Eof(); tables.Next()) TableNames.push_back(tables.FieldByName("TABLE_NAME").AsString());
  cmbTableName->clear();
  for (const std::string& name : TableNames) cmbTableName->addItem(Q(name));
  cmbTableName->setCurrentIndex(-1);
}

void TfrmAdvancedSettings::OpenCatalogue(TOrvSchemaInfo aKind, ado::TSchemaInfo aRowset,
                                         const ado::VariantArray& aCriteria, ado::TDataSet& aDataSet) {
  const std::unique_ptr<TDatabaseSpecific> dialect = CatalogueOf(connectionString_);
  if (!dialect) {
    ac.OpenSchema(aRowset, ado::Variant(aCriteria), aDataSet);
    return;
  }
  aDataSet.SetConnection(&ac);
  dialect->OpenSchema(aKind, ado::Variant(aCriteria), ado::Variant(), aDataSet);
}

void TfrmAdvancedSettings::ShowHome() { pages->setCurrentWidget(tsHome); }

void TfrmAdvancedSettings::ShowTables() {
  if (connectionString_.empty()) {
    ui::Dialogs().MessageDlg(this, "Warning", "To open this option you need set a valid Connection String.",
                             ui::mtWarning, ui::mbOK);
    return;
  }
  MovePicker(tsTables);
  pages->setCurrentWidget(tsTables);
}

void TfrmAdvancedSettings::ShowFields() {
  if (connectionString_.empty()) {
    ui::Dialogs().MessageDlg(this, "Warning", "To open this option you need set a valid Connection String.",
                             ui::mtWarning, ui::mbOK);
    return;
  }
  MovePicker(tsFields);
  pages->setCurrentWidget(tsFields);
}

void TfrmAdvancedSettings::TableChosen() {
  if (pages->currentWidget() != tsFields || !ac.Connected() || cmbTableName->currentIndex() < 0) return;
  ado::TDataSet columns;
  OpenCatalogue(vsiColumns, ado::siColumns,
                ado::VariantArray{ado::Variant::Null(), ado::Variant::Null(),
                                  ado::Variant(cmbTableName->currentText().toStdString())},
                columns);
  FieldNames.clear();
  for (columns.First(); !columns.Eof(); columns.Next()) FieldNames.push_back(columns.FieldByName("COLUMN_NAME").AsString());
  cmbFieldName->clear();
  for (const std::string& name : FieldNames) cmbFieldName->addItem(Q(name));
  cmbFieldName->setCurrentIndex(-1);
}

void TfrmAdvancedSettings::AddTable() { SetGridValue(*veTables, Selected(*cmbTableName, "TABLE"), "NewName"); }

void TfrmAdvancedSettings::AddField() {
  const std::string table = Selected(*cmbTableName, "TABLE");
  SetGridValue(*veFields, table + "." + Selected(*cmbFieldName, "FIELD"), table + ".NewName");
}

void TfrmAdvancedSettings::RemoveTable() {
  if (veTables->currentRow() >= 0) veTables->removeRow(veTables->currentRow());
}

void TfrmAdvancedSettings::RemoveField() {
  if (veFields->currentRow() >= 0) veFields->removeRow(veFields->currentRow());
}

void TfrmAdvancedSettings::WriteBack() {
  if (ac.Connected()) ac.Close();
  dmMain_.Producer.RenamedTables = ListOf(*veTables);
  dmMain_.Producer.RenamedFields = ListOf(*veFields);
}

void TfrmAdvancedSettings::closeEvent(QCloseEvent* aEvent) {
  WriteBack();
  aEvent->accept();
}

void TfrmAdvancedSettings::reject() { close(); }
