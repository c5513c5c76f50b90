// The advanced-settings window opened from the main window: the pickers read from the source
// database, the rename lists edited and written back on every close, one window at a time, and a
// package built with a table rename that a client then takes with its rows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../components/WindowTestSupport.h"
#include "../engine/RoundTrip.h"
#include "app/ufrmAdvancedSettings.h"
#include "app/ufrmMain.h"

namespace {

namespace fs = std::filesystem;
using round_trip::Server;
using Lines = std::vector<std::string>;
using windowtest::ScriptedDialogs;

void Click(QWidget& parent, const char* name) {
  auto* label = parent.findChild<QLabel*>(name);
  ASSERT_NE(label, nullptr) << name;
  QTest::mouseClick(label, Qt::LeftButton);
}

Lines Items(const QComboBox& box) {
  Lines items;
  for (int i = 0; i < box.count(); ++i) items.push_back(box.itemText(i).toStdString());
  std::sort(items.begin(), items.end());
  return items;
}

void Choose(QComboBox& box, const char* text) { box.setCurrentIndex(box.findText(text)); }

}  // namespace

// Regression: the table picker sat on the window outside every layout, over the home page's title.
TEST(AdvancedSettings, TheTablePickerBelongsToItsPageOnly) {
  ScriptedDialogs dialogs;
  TdmMain dm(windowtest::TestFolder("ui-adv-picker"));
  auto* a = new TfrmAdvancedSettings(dm);
  a->show();
  ui::ProcessPendingMessages();
  for (QWidget* picker : {static_cast<QWidget*>(a->cmbTableName), static_cast<QWidget*>(a->lblTableName)}) {
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(picker->parentWidget(), a->tsTables);
    EXPECT_GE(a->tsTables->findChild<QHBoxLayout*>("pickers")->indexOf(picker), 0);
  }
  a->pages->setCurrentWidget(a->tsTables);
  EXPECT_TRUE(a->cmbTableName->isVisible());
  // Regression: the first column's title showed cut ("d Table Nan").
  for (QTableWidget* grid : {a->veTables, a->veFields}) {
    a->pages->setCurrentWidget(grid->parentWidget());
    ui::ProcessPendingMessages();
    const QHeaderView& header = *grid->horizontalHeader();
    for (int column = 0; column < 2; ++column) {
      const QString title = grid->horizontalHeaderItem(column)->text();
      EXPECT_GT(header.sectionSize(column), header.fontMetrics().horizontalAdvance(title)) << title.toStdString();
    }
  }
  a->close();
  windowtest::ProcessDeletes();
}

TEST(AdvancedSettings, PickersListsAndWriteBackOnEachServer) {
  struct Case {
    Server server;
    std::string integer;
  };
  int n = 0;
  for (const Case& c : {Case{Server::SqlServer, "int"}, Case{Server::Asa, "integer"}, Case{Server::Access, "integer"}}) {
    SCOPED_TRACE(round_trip::ServerName(c.server));
    ScriptedDialogs dialogs;
    const std::string master = round_trip::CreateDatabase(
        c.server, "UiAdv" + std::to_string(++n),
        {"CREATE TABLE Customers (CustomerId " + c.integer + " NOT NULL PRIMARY KEY, Name varchar(50) NULL)",
         "CREATE TABLE Orders (OrderId " + c.integer + " NOT NULL PRIMARY KEY)",
         "CREATE VIEW Names AS SELECT Name FROM Customers"});
    TdmMain dm(windowtest::TestFolder("ui-adv" + std::to_string(n)));
    TfrmMain w(dm);
    w.ConnectionString = master;
    Click(w, "lblNew");
    Click(w, "lblAdvanced");
    TfrmAdvancedSettings* a = w.AdvancedSettings();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->windowTitle().toStdString(), "Advanced Setting Configuration");
    EXPECT_EQ(Items(*a->cmbTableName), (Lines{"Customers", "Orders"}));
    // Fields: nothing chosen gives TABLE.FIELD; a chosen table's columns fill the field picker.
    Click(*a, "lblFields");
    EXPECT_EQ(a->pages->currentWidget(), a->tsFields);
    Click(*a, "lblAddFields");
    Choose(*a->cmbTableName, "Customers");
    EXPECT_EQ(Items(*a->cmbFieldName), (Lines{"CustomerId", "Name"}));
    Choose(*a->cmbFieldName, "Name");
    Click(*a, "lblAddFields");
    // Tables: a key's row is reused; an emptied value is dropped; Remove deletes the current row.
    Click(*a, "lblBackFields");
    Click(*a, "lblTables");
    EXPECT_EQ(a->cmbTableName->parentWidget(), a->tsTables);
    Choose(*a->cmbTableName, "Orders");
    Click(*a, "lblAddTables");
    Click(*a, "lblAddTables");
    Choose(*a->cmbTableName, "Customers");
    Click(*a, "lblAddTables");
    EXPECT_EQ(a->veTables->rowCount(), 2);
    a->veTables->item(1, 1)->setText("");
    a->cmbTableName->setCurrentIndex(-1);
    Click(*a, "lblAddTables");  // TABLE=NewName, then removed
    Click(*a, "lblRemoveTables");
    // A second "Open Advanced settings" brings this one forward.
    Click(w, "lblAdvanced");
    EXPECT_EQ(w.AdvancedSettings(), a);
    EXPECT_EQ(w.findChildren<TfrmAdvancedSettings*>().size(), 1);
    if (c.server == Server::SqlServer) windowtest::SavePicture(*a, "advanced_settings_tables.png");
    Click(*a, "lblExitTables");
    windowtest::ProcessDeletes();
    EXPECT_EQ(w.AdvancedSettings(), nullptr);
    EXPECT_EQ(dm.Producer.RenamedTables, Lines{"Orders=NewName"});
    EXPECT_EQ(dm.Producer.RenamedFields, (Lines{"TABLE.FIELD=TABLE.NewName", "Customers.Name=Customers.NewName"}));
    // Reopened with the lists; the close box writes back too; the options window opens.
    Click(w, "lblAdvanced");
    a = w.AdvancedSettings();
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->veFields->rowCount(), 2);
    a->veFields->removeRow(0);
    dialogs->AnswerModal(ui::mrCancel);
    dialogs.TakeTexts();
    Click(*a, "lblOptions");
    EXPECT_EQ(dialogs->Questions().back().kind, "modal");
    a->close();
    windowtest::ProcessDeletes();
    EXPECT_EQ(dm.Producer.RenamedFields, Lines{"Customers.Name=Customers.NewName"});
    EXPECT_EQ(dm.Producer.RenamedTables, Lines{"Orders=NewName"});
  }
}

// Regression: several windows could be open at once, and the one closed last wrote back the lists
// it had loaded, undoing the other's edits.
TEST(AdvancedSettings, ARenameBuiltIntoAPackageRenamesTheClientsTableKeepingRows) {
  ScriptedDialogs dialogs;
  const std::string master = round_trip::CreateDatabase(
      Server::SqlServer, "UiRenM", {"CREATE TABLE Clients (Id int NOT NULL PRIMARY KEY, Name varchar (50) NULL)"});
  const std::string client = round_trip::CreateDatabase(
      Server::SqlServer, "UiRenC",
      {"CREATE TABLE Customers (Id int NOT NULL PRIMARY KEY, Name varchar (50) NULL)",
       "INSERT INTO Customers VALUES (1, 'Rossi')"});
  const std::string app = windowtest::TestFolder("ui-rename");
  TdmMain dm(app);
  TfrmMain w(dm);
  w.ConnectionString = master;
  w.txConnection->setPlainText(QString::fromStdString(master));
  Click(w, "lblNew");
  Click(w, "lblAdvanced");
  TfrmAdvancedSettings* a = w.AdvancedSettings();
  ASSERT_NE(a, nullptr);
  Click(*a, "lblTables");
  SetGridValue(*a->veTables, "Customers", "Clients");
  Click(w, "lblAdvanced");  // the same window, not a second one holding the old lists
  for (TfrmAdvancedSettings* each : w.findChildren<TfrmAdvancedSettings*>()) each->close();
  windowtest::ProcessDeletes();
  dialogs->AnswerSaveFile(app + "/SchmSettings/Rename.xml");
  Click(w, "lblSave");
  Click(w, "lblBuildPackage");  // "try it now" unanswered: Cancel
  ASSERT_EQ(w.PackageFile, app + "/SchmPackages/Rename.upd");
  EXPECT_EQ(dm.RunPackage(client, w.PackageFile, false), rsSucceeded);
  EXPECT_EQ(round_trip::Rows(client, "SELECT Id, Name FROM Clients"), Lines{"1|Rossi"});
}

TEST(AdvancedSettings, AnUnusableConnectionStringShowsItsErrorAndNoWindow) {
  ScriptedDialogs dialogs;
  round_trip::WorkFolder();  // the embedded servers running
  TdmMain dm(windowtest::TestFolder("ui-adv-bad"));
  TfrmMain w(dm);
  w.ConnectionString = std::string("Provider=SQLOLEDB.1;Data Source=") + dialect_test::kServer +
                       ";Initial Catalog=NoSuchUiDb;User ID=sa;Password=secret";
  Click(w, "lblNew");
  dialogs.TakeTexts();
  Click(w, "lblAdvanced");
  const Lines asked = dialogs.TakeTexts();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Login failed for user 'sa'.");
  EXPECT_EQ(w.AdvancedSettings(), nullptr);
  windowtest::ProcessDeletes();
  EXPECT_EQ(w.findChildren<TfrmAdvancedSettings*>().size(), 0);
}
