// The main window of form mode as a user drives it offscreen: the program without parameters, the
// window's pages and settings commands, the main road (build, compare, update) on the embedded
// servers, the batch-file factory run through `sh`, and the instruction log. Every question goes
// to the scripted dialog service.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../components/WindowTestSupport.h"
#include "AppTestSupport.h"
#include "app/BatFactory.h"
#include "app/ufrmInstructions.h"
#include "app/ufrmMain.h"
#include "components/DisplayLines.h"
#include "components/uConsole.h"
#include "components/uErrorManager.h"
#include "components/ufrmBuildConnectionString.h"

namespace {

namespace fs = std::filesystem;
using round_trip::Server;
using Lines = std::vector<std::string>;
using windowtest::ScriptedDialogs;
using app_test::FileLines;
using app_test::PlaceProgram;
using app_test::RunCommand;

std::string AppFolder(const std::string& name) { return app_test::AppFolder("ui-" + name); }

void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

// The first line of a program's error stream (a sanitizer build adds its own lines after it).
std::string FirstLine(const std::string& aFile) {
  const Lines lines = FileLines(aFile);
  return lines.empty() ? std::string() : lines.front();
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

template <typename Pane>
std::string Text(Pane* pane) {
  return pane->toPlainText().toStdString();
}

}  // namespace

TEST(MainWindow, TheProgramWithoutParametersLogsFormModeAndEndsWhenTheWindowCloses) {
  const std::string app = AppFolder("form");
  const std::string program = PlaceProgram(app);
  EXPECT_EQ(RunCommand({program}), 0);
  Lines log = FileLines(app + "/SchemionAppLog.txt");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find(" ----- START ------ "), std::string::npos);
  EXPECT_EQ(log[1], "Mode: Form");
  // Regression: with a display named that does not answer, the program aborted (status 134)
  // and left the previous run's log as if it were its own. It says why and ends 2.
  const std::string noDisplay =
      "Error: No display to open the window on (DISPLAY is not set or does not answer); give connection= and "
      "upd= to run an update without one.";
  const std::string errors = app + "/errors.txt";
  EXPECT_EQ(RunCommand(app_test::WithDeadDisplay({"sh", "-c", "\"$0\" 2>\"$1\"", program, errors})), rsNotStarted);
  EXPECT_EQ(FirstLine(errors), noDisplay);
  log = FileLines(app + "/SchemionAppLog.txt");
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(Lines(log.begin() + 1, log.end()), (Lines{"Mode: Form", noDisplay}));
}

// Regression: the window did not hold the working folders, so a run started beside it used them,
// and closing the window overwrote that run's log. Each refuses the other, and neither writes
// the other's log.
TEST(MainWindow, TheWindowAndAnUnattendedRunNeverShareTheWorkingFolders) {
  ScriptedDialogs dialogs;
  const std::string app = AppFolder("hold");
  const std::string program = PlaceProgram(app);
  const std::string errors = app + "/errors.txt";
  const std::string inUse = "Error: Working folders in use by another run: " + app + "/SchmSchemas/";
  const auto runBeside = [&](const Lines& aParams) {
    Lines args{"sh", "-c", "\"$0\" \"$@\" 2>\"" + errors + "\"", program};
    args.insert(args.end(), aParams.begin(), aParams.end());
    return RunCommand(args);
  };
  {
    TdmMain dm(app);
    InstallMainWindows(dm);
    int status = -1;
    dialogs->AnswerModal([&](QDialog&) {
      status = runBeside({"connection=Provider=SQLOLEDB.1;Data Source=x", "upd=none.upd"});
      return static_cast<int>(ui::mrCancel);
    });
    EXPECT_EQ(dm.StartUp({}), rsSucceeded);
    EXPECT_EQ(status, rsNotStarted);
    EXPECT_EQ(FirstLine(errors), inUse);
    EXPECT_FALSE(fs::exists(app + "/SchemionAppLog.txt"));
    // Once the window is closed the folders are free again.
    EXPECT_FALSE(dm.HoldsFolders());
  }
  const Lines windowLog = FileLines(app + "/SchemionAppLog.txt");
  ASSERT_EQ(windowLog.size(), 2u);
  EXPECT_EQ(windowLog[1], "Mode: Form");
  // A run holds them: the window does not open, says why and leaves that run's log alone.
  const int fd = ::open((app + "/SchmWorking.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(runBeside({}), rsNotStarted);
  ::close(fd);
  EXPECT_EQ(FirstLine(errors), inUse);
  EXPECT_EQ(FileLines(app + "/SchemionAppLog.txt"), windowLog);
}

TEST(MainWindow, PagesCaptionsAndTheLogMirror) {
  ScriptedDialogs dialogs;
  TdmMain dm(AppFolder("look"));
  dm.Log("before the window");
  TfrmMain w(dm);
  EXPECT_EQ(w.windowTitle().toStdString(), "Schemion32 [" + dm.GetAppFileVersion() + "]");
  EXPECT_EQ(w.lblVersion->text().toStdString(), dm.GetAppFileVersion());
  // At its first size the six tabs and every item of the tree show whole (regression: neither did at
  // 800 x 600); the window is centred.
  EXPECT_GE(w.width(), 800);
  EXPECT_GE(w.height(), 600);
  EXPECT_EQ(w.geometry().center(), w.screen()->availableGeometry().center());
  w.show();
  ui::ProcessPendingMessages();
  const QTabBar& tabs = *w.pcMain->tabBar();
  EXPECT_LE(tabs.tabRect(tabs.count() - 1).right(), tabs.width());
  EXPECT_GE(w.treeMenu->columnWidth(0), static_cast<QAbstractItemView*>(w.treeMenu)->sizeHintForColumn(0));
  EXPECT_EQ(w.treeMenu->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(w.pcBAT->tabText(0).toStdString(), "BAT Settings");
  EXPECT_EQ(w.pcBAT->tabText(1).toStdString(), "BAT Editor");
  EXPECT_EQ(w.lbl_ProjectName->text().toStdString(), "No settings loaded.");
  EXPECT_EQ(w.lblPackageName->text().toStdString(), "No package");
  EXPECT_EQ(w.lblBATFileName->text().toStdString(), "No file name defined");
  // Each node shows the page of its index; "Advanced settings" the settings page.
  const std::vector<std::string> pages = {"Home", "Create Source Schema", "Updater settings", "Update Database",
                                          "BAT factory", "About"};
  int index = 0;
  for (QTreeWidgetItemIterator it(w.treeMenu); *it != nullptr; ++it, ++index) {
    EXPECT_TRUE((*it)->childCount() == 0 || (*it)->isExpanded()) << index;
    w.TreeMenuClick(*it);
    EXPECT_EQ(w.pcMain->tabText(w.pcMain->currentIndex()).toStdString(), pages[index]);
  }
  EXPECT_EQ(index, 6);
  for (int page = 0; page < w.pcMain->count(); ++page) {
    w.pcMain->setCurrentIndex(page);
    windowtest::SavePicture(w, "main_window_" + w.pcMain->widget(page)->objectName().toStdString() + ".png");
  }
  // Radios: each click sets the other to the opposite.
  Click(w.radioCustom);
  EXPECT_TRUE(w.radioCustom->isChecked());
  EXPECT_FALSE(w.radioMicrosoft->isChecked());
  Click(w.radioMicrosoft);
  EXPECT_FALSE(w.radioCustom->isChecked());
  EXPECT_EQ(w.radioMicrosoft->toolTip().toStdString(), "Use Microsoft standard editor");
  EXPECT_EQ(Child<QLabel>(w, "lblBuildPackage")->text().toStdString(), "Build Package ");
  EXPECT_EQ(Child<QLabel>(w, "lblBuildPackage")->toolTip().toStdString(), "Create a package file with .upd extension");
  bool found = false;
  for (QLabel* label : w.tsHome->findChildren<QLabel*>()) {
    found = found || label->text().startsWith("Than you can test your package on destination database.\r\n");
  }
  EXPECT_TRUE(found);
  dm.Log("after");
  EXPECT_EQ(Text(w.txLog), "before the window\nafter");
  // About: the link's caption goes to the shell component, not waited for; a stub opener on PATH
  // records what it was given.
  const std::string stubs = windowtest::TestFolder("ui-opener");
  std::ofstream(stubs + "/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"\n";
  fs::permissions(stubs + "/xdg-open", fs::perms::owner_all);
  const std::string path = getenv("PATH");
  setenv("PATH", (stubs + ":" + path).c_str(), 1);
  QLabel* link = Child<QLabel>(w, "lblHomePage");
  Click(link);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(w.WexShell1.Command, link->text().toStdString());
  EXPECT_FALSE(w.WexShell1.Wait);
  // The opener runs detached: wait for its record (bounded, not timed).
  for (int i = 0; i < 500 && !fs::exists(stubs + "/xdg-open.args"); ++i) usleep(20000);
  Lines opened = FileLines(stubs + "/xdg-open.args");
  EXPECT_EQ(opened, Lines{link->text().toStdString()});
}

TEST(MainWindow, SettingsNewLoadSaveAndTheAdvancedWarning) {
  ScriptedDialogs dialogs;
  const std::string app = AppFolder("settings");
  TdmMain dm(app);
  TfrmMain w(dm);
  const std::string warning =
      "Advanced Settings are available only if you\r\nhave opened a valid settings file.\r\nPlease, choose \"New\" or "
      "\"Load\" and try again.";
  Click(Child<QLabel>(w, "lblSave"));
  Click(Child<QLabel>(w, "lblAdvanced"));
  EXPECT_EQ(dialogs.TakeTexts(), (Lines{"No file to save.", warning}));
  // New: asked where on the first save, in the settings folder.
  Click(Child<QLabel>(w, "lblNew"));
  EXPECT_EQ(w.lbl_ProjectName->text().toStdString(), "NewProject.xml");
  w.txConnection->setPlainText("Provider=SQLOLEDB.1;Data Source=x;Initial Catalog=Shop");
  dialogs->AnswerSaveFile(app + "/SchmSettings/Shop.xml");
  Click(Child<QLabel>(w, "lblSave"));
  EXPECT_EQ(dialogs.TakeTexts(), Lines{app + "/SchmSettings/NewProject.xml"});
  EXPECT_EQ(w.lbl_ProjectName->text().toStdString(), "Shop.xml");
  ASSERT_TRUE(fs::is_regular_file(app + "/SchmSettings/Shop.xml"));
  // A loaded file saves unasked; the connection comes from the producer.
  TdmMain dm2(app);
  TfrmMain w2(dm2);
  dialogs->AnswerOpenFile(app + "/SchmSettings/Shop.xml");
  Click(Child<QLabel>(w2, "lblLoad"));
  EXPECT_EQ(w2.lbl_ProjectName->text().toStdString(), "Shop.xml");
  EXPECT_EQ(Text(w2.txConnection), "Provider=SQLOLEDB.1;Data Source=x;Initial Catalog=Shop");
  Click(Child<QLabel>(w2, "lblSave"));
  EXPECT_EQ(dialogs.TakeTexts(), Lines{app + "/SchmSettings/"});  // the open dialog only
  // A double click on param1 forgets the settings file: the warning again.
  dialogs->AnswerConnectionString(std::nullopt);
  QTest::mouseDClick(w2.param1, Qt::LeftButton);
  Click(Child<QLabel>(w2, "lblAdvanced"));
  const Lines asked = dialogs.TakeTexts();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1], warning);
}

// Regression: a build without settings file left the database name (an Access database's file)
// as the settings file name, and "Save " wrote the settings unasked to a file so named: in the
// working folder, or over the Access database itself.
TEST(MainWindow, SaveAfterABuildWithoutSettingsAsksInTheSettingsFolder) {
  const std::pair<Server, std::string> cases[] = {{Server::SqlServer, "int"}, {Server::Access, "integer"}};
  for (const auto& [server, integer] : cases) {
    SCOPED_TRACE(round_trip::ServerName(server));
    ScriptedDialogs dialogs;
    const std::string name = std::string("UiSave") + round_trip::ServerName(server);
    const std::string master =
        round_trip::CreateDatabase(server, name, {"CREATE TABLE Customers (CustomerId " + integer + " NOT NULL PRIMARY KEY)"});
    const std::string app = AppFolder("save-" + name);
    TdmMain dm(app);
    TfrmMain w(dm);
    w.txConnection->setPlainText(QString::fromStdString(master));
    Click(Child<QLabel>(w, "lblBuildPackage"));
    ASSERT_NE(dm.CurrentSettingsFile().find(name), std::string::npos);
    const std::string database = dm.CurrentSettingsFile();
    const auto size = fs::exists(database) ? fs::file_size(database) : 0;
    dialogs.TakeTexts();
    dialogs->AnswerSaveFile(std::nullopt);
    Click(Child<QLabel>(w, "lblSave"));
    EXPECT_EQ(dialogs.TakeTexts(), Lines{app + "/SchmSettings/" + name + ".xml"});
    EXPECT_EQ(fs::exists(database) ? fs::file_size(database) : 0, size);
    EXPECT_EQ(round_trip::Rows(master, "SELECT count(*) FROM Customers"), Lines{"0"});
  }
}

TEST(MainWindow, TheMainRoadBuildsComparesAndUpdates) {
  struct Pair {
    Server client;
    Lines clientScript;
  };
  int n = 0;
  for (const Pair& pair : {Pair{Server::SqlServer, app_test::kShopClient}, Pair{Server::Asa, app_test::kShopAsaClient}}) {
    SCOPED_TRACE(round_trip::ServerName(pair.client));
    ScriptedDialogs dialogs;
    const std::string name = "UiShop" + std::to_string(++n);
    const std::string master = round_trip::CreateDatabase(Server::SqlServer, name, app_test::kShopMaster);
    const std::string client = round_trip::CreateDatabase(pair.client, name + "Client", pair.clientScript);
    const std::string app = AppFolder(name);
    TdmMain dm(app);
    InstallMainWindows(dm);
    TfrmMain w(dm);
    // The source connection through the data-link stand-in.
    dialogs->AnswerConnectionString(master);
    Click(Child<QLabel>(w, "lblConnectionString"));
    EXPECT_EQ(Text(w.txConnection), master);
    // Build, then try it on the master: identical.
    dialogs->AnswerMessage(ui::mrOk);
    Click(Child<QLabel>(w, "lblBuildPackage"));
    const std::string package = app + "/SchmPackages/" + name + ".upd";
    EXPECT_EQ(dialogs.TakeTexts(), (Lines{"", "Created Package: \r\n" + package + "\r\nDo you want try it now?"}));
    // The destination: through the builder window (radio "Schemion") on SQL Server, else the
    // data-link stand-in.
    if (pair.client == Server::SqlServer) {
      Click(w.radioCustom);
      w.createConnection->setPlainText(QString::fromStdString(client));
      dialogs->AnswerModal([](QDialog& d) {
        auto& builder = dynamic_cast<TfrmBuildConnectionString&>(d);
        EXPECT_FALSE(builder.OnStartPage());
        builder.btnOk->click();
        return builder.result();
      });
    } else {
      dialogs->AnswerConnectionString(client);
    }
    Click(Child<QLabel>(w, "lblDestination"));
    EXPECT_NE(w.ConnectionString.find(name + "Client"), std::string::npos) << w.ConnectionString;
    EXPECT_EQ(Text(w.createConnection), w.ConnectionString);
    dialogs->AnswerOpenFile(package);
    Click(Child<QLabel>(w, "lblLoadPackage"));
    EXPECT_EQ(w.lblPackageName->text().toStdString(), name + ".upd");
    // Compare: the instruction log.
    std::string shown, count;
    dialogs->AnswerModal([&](QDialog& d) {
      auto& log = dynamic_cast<TfrmInstructions&>(d);
      shown = Text(log.txInstructions);
      count = log.txNrInstructions->text().toStdString();
      return static_cast<int>(ui::mrOk);
    });
    Click(Child<QLabel>(w, "lblCompare"));
    EXPECT_NE(count, "0");
    EXPECT_EQ(shown.substr(0, 1), "\n");
    EXPECT_NE(shown.find("Orders"), std::string::npos);
    EXPECT_EQ(dialogs.TakeTexts().size(), 3u);  // connection, open, the log window
    // Update: Cancel changes nothing, OK updates keeping the rows.
    const std::string server = pair.client == Server::SqlServer ? dialect_test::kServer : round_trip::kAsaEngine;
    const std::string question = "Run Package will change you database schema.\r\nDatabase to change: \"" + name +
                                 "Client\" on server \"" + server + "\"\r\nSchemion Tool will backup your database in \"" +
                                 app + "/SchmBackUp/\"\r\nConfirm this operation?";
    dialogs->AnswerMessage(ui::mrCancel);
    Click(Child<QLabel>(w, "lblUpdate"));
    EXPECT_EQ(dialogs.TakeTexts(), Lines{question});
    EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM Customers"), Lines{"2"});
    EXPECT_TRUE(fs::is_empty(app + "/SchmBackUp"));
    dialogs->AnswerMessage(ui::mrOk);
    Click(Child<QLabel>(w, "lblUpdate"));
    EXPECT_EQ(round_trip::Rows(client, "SELECT CustomerId, Name, City FROM Customers ORDER BY CustomerId"),
              (Lines{"1|Rossi|<null>", "2|O'Brien|<null>"}));
    EXPECT_EQ(dm.LogLines().back(), "Runned \"" + package + "\"");
    // Compare again: identical.
    dialogs.TakeTexts();
    Click(Child<QLabel>(w, "lblCompare"));
    EXPECT_EQ(dialogs.TakeTexts(), Lines{"Databases are identical. No update needed."});
    // A failing build asks nothing.
    w.txConnection->setPlainText("Provider=SQLOLEDB.1;Data Source=nowhere;Initial Catalog=Missing;User ID=sa");
    Click(Child<QLabel>(w, "lblBuildPackage"));
    EXPECT_TRUE(dialogs.TakeTexts().empty());
    EXPECT_EQ(dm.LogLines().back().substr(0, 7), "Error: ");
  }
}

// Regressions: text typed into the box of the update page was ignored (Compare and Update used the
// connection string last set through an editor, and updated the master); the console kept every
// run's lines; after a failed Compare the error manager opened unowned, and a modal main window
// blocked it: it could be neither clicked nor closed.
TEST(MainWindow, TheBoxesDatabaseIsUpdatedAndAFailedComparesErrorManagerCloses) {
  ScriptedDialogs dialogs;
  const std::string master = round_trip::CreateDatabase(Server::SqlServer, "UiTyped", app_test::kShopMaster);
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "UiTypedClient", app_test::kShopClient);
  const std::string app = AppFolder("typed");
  TdmMain dm(app);
  InstallMainWindows(dm);
  TfrmMain w(dm);
  w.PackageFile = dm.BuildPackage(master);
  w.pcMain->setCurrentWidget(w.tsRun);
  dialogs->AnswerConnectionString(master);
  Click(Child<QLabel>(w, "lblDestination"));
  // The client typed over the master, with a line break after it; compared twice.
  w.createConnection->selectAll();
  QTest::keyClicks(w.createConnection, QString::fromStdString(client));
  QTest::keyClick(w.createConnection, Qt::Key_Return);
  std::vector<int> shown, consoleLines;
  for (int run = 0; run < 2; ++run) {
    dialogs->AnswerModal([&](QDialog& d) {
      shown.push_back(dynamic_cast<TfrmInstructions&>(d).txNrInstructions->text().toInt());
      return static_cast<int>(ui::mrOk);
    });
    Click(Child<QLabel>(w, "lblCompare"));
    dm.Updater.ConsoleFrm()->FlushLines();
    consoleLines.push_back(dm.Updater.ConsoleFrm()->txtConsole->document()->blockCount());
  }
  EXPECT_GT(shown.at(0), 0);  // the master compared with itself would show none
  EXPECT_EQ(consoleLines.at(1), consoleLines.at(0));
  EXPECT_EQ(w.ConnectionString, client);
  dialogs->AnswerMessage(ui::mrOk);
  Click(Child<QLabel>(w, "lblUpdate"));
  EXPECT_NE(dialogs.TakeTexts().back().find("\r\nDatabase to change: \"UiTypedClient\" on server"), std::string::npos);
  EXPECT_EQ(round_trip::Rows(client, "SELECT count(*) FROM Orders"), Lines{"0"});
  EXPECT_TRUE(fs::exists(app + "/SchmBackUp/UiTypedClient"));
  EXPECT_FALSE(fs::exists(app + "/SchmBackUp/UiTyped"));

  // Shown modally: what it opens must not be blocked by it.
  w.setWindowModality(Qt::ApplicationModal);
  w.show();
  w.createConnection->setPlainText(QString::fromStdString(
      std::string("Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=NoSuchClient;Data Source=") +
      dialect_test::kServer));
  Click(Child<QLabel>(w, "lblCompare"));
  QPointer<TErrorManagerFrm> manager;  // found by its type: the class has no meta-object of its own
  for (QWidget* widget : QApplication::allWidgets()) {
    if (auto* found = dynamic_cast<TErrorManagerFrm*>(widget)) manager = found;
  }
  ASSERT_FALSE(manager.isNull());
  EXPECT_TRUE(manager->isVisible() && manager->isEnabled());
  // Its Exit button, clicked through the window system as a user clicks it, closes it.
  for (QToolButton* exit : manager->findChildren<QToolButton*>()) {
    if (exit->defaultAction() != manager->actExit) continue;
    QTest::mouseClick(manager->windowHandle(), Qt::LeftButton, {}, exit->mapTo(manager.data(), exit->rect().center()));
    break;
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(manager.isNull());
}

TEST(MainWindow, InstructionLogShowsEachStatementAfterAnEmptyLine) {
  TfrmInstructions w;
  EXPECT_EQ(w.windowTitle().toStdString(), "SQL instructions log.");
  EXPECT_EQ(w.size(), QSize(714, 385));
  EXPECT_EQ(w.txInstructions->font().family().toStdString(), "Courier New");
  EXPECT_TRUE(w.txInstructions->isReadOnly());
  w.ShowInstructions(nullptr);
  EXPECT_EQ(w.txNrInstructions->text().toStdString(), "");
  const std::string file = windowtest::TestFolder("ui-instructions") + "/instructions.xml";
  windowtest::WriteInstructions(file, {});
  ado::TDataSet empty;
  empty.LoadFromFile(file);
  w.ShowInstructions(&empty);
  EXPECT_EQ(w.txNrInstructions->text().toStdString(), "0");
  EXPECT_EQ(Text(w.txInstructions), "");
  windowtest::WriteInstructions(file, {{1, "CREATE TABLE a (x int)"}, {2, "DROP TABLE b"}, {3, "ALTER TABLE c"}});
  ado::TDataSet three;
  three.LoadFromFile(file);
  w.ShowInstructions(&three);
  EXPECT_EQ(w.txNrInstructions->text().toStdString(), "3");
  EXPECT_EQ(Text(w.txInstructions), "\nCREATE TABLE a (x int)\n\nDROP TABLE b\n\nALTER TABLE c\n");
  windowtest::SavePicture(w, "instructions_window.png");
}

// Regression: a long statement was cut with "…" and the list had no horizontal range, so its end
// could be neither read nor copied; a huge line is cut for display only, as the console cuts it.
TEST(MainWindow, InstructionLogShowsStatementsWholeAndCopiesThem) {
  std::string create = "CREATE TABLE Wide (";
  for (int i = 0; i < 60; ++i) create += (i > 0 ? ", Column_" : "Column_") + std::to_string(i) + " varchar (40) NULL";
  create += ")";
  const std::string huge = "INSERT INTO t VALUES ('" + std::string(100000, 'x') + "')";
  const std::string file = windowtest::TestFolder("ui-instructions-long") + "/instructions.xml";
  windowtest::WriteInstructions(file, {{1, create}, {2, huge}});
  ado::TDataSet ds;
  ds.LoadFromFile(file);
  TfrmInstructions w;
  w.ShowInstructions(&ds);
  w.show();
  ui::ProcessPendingMessages();
  TInstructionPane& pane = *w.txInstructions;
  const QAbstractItemModel& lines = *pane.model();
  EXPECT_EQ(lines.index(1, 0).data().toString().toStdString(), create);
  EXPECT_EQ(lines.index(3, 0).data().toString().toStdString(), huge.substr(0, displaylines::kLineLimit) + "…");
  const int wide = pane.fontMetrics().horizontalAdvance(QString::fromStdString(create));
  EXPECT_GE(pane.horizontalScrollBar()->maximum() + pane.viewport()->width(), wide);
  pane.selectionModel()->select(QItemSelection(lines.index(1, 0), lines.index(3, 0)), QItemSelectionModel::Select);
  QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), create + "\n\n" + huge);
}
