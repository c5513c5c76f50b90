// The error manager on the errors of real runs on the embedded SQL Server: an update that the
// server refuses, stopping at the first error, is mended in the instruction-file editor opened on
// the failing instruction and runs again; a failed check has no instruction to show.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QTextCursor>
#include <memory>
#include <string>
#include <vector>

#include "../engine/RoundTrip.h"
#include "WindowTestSupport.h"
#include "components/DbErrors.h"
#include "components/DbSchemaUpdater.h"
#include "components/uErrorManager.h"
#include "components/uSqlFile.h"

using round_trip::Server;

namespace {

// The master adds a table and makes A.s a number; the client's A has a text in s that is no
// number, so the server refuses the column change.
const std::vector<std::string> kMaster = {
    "CREATE TABLE A (id int NOT NULL PRIMARY KEY, s int NULL)",
    "CREATE TABLE C (id int NOT NULL PRIMARY KEY)"};
const std::vector<std::string> kClient = {
    "CREATE TABLE A (id int NOT NULL PRIMARY KEY, s varchar (20) NULL)",
    "INSERT INTO A VALUES (1, '12')", "INSERT INTO A VALUES (2, 'abc')"};
const std::string kFix = "UPDATE dbo.A SET s = '0' WHERE s = 'abc'";

std::vector<TErrorManagerFrm*> OpenErrorManagers() {
  std::vector<TErrorManagerFrm*> windows;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* w = dynamic_cast<TErrorManagerFrm*>(widget);
    if (w != nullptr && w->isVisible()) windows.push_back(w);
  }
  return windows;
}

// "Id | Description | context" of every grid row.
std::vector<std::string> GridRows(const TErrorManagerFrm& f) {
  std::vector<std::string> rows;
  for (int r = 0; r < f.DBGrid1->rowCount(); ++r) {
    rows.push_back(f.DBGrid1->item(r, 0)->text().toStdString() + " | " +
                   f.DBGrid1->item(r, 1)->text().toStdString() + " | " +
                   f.DBGrid1->item(r, 2)->text().toStdString());
  }
  return rows;
}

std::string ErrorTexts(const TDbErrors& errors) {
  std::string texts;
  for (const auto& e : errors.Items()) texts += e->Description + " | " + e->EMessage + "\n";
  return texts;
}

}  // namespace

TEST(ErrorManagerEndToEnd, ARefusedInstructionIsMendedInTheEditorAndTheUpdateRunsAgain) {
  windowtest::ScriptedDialogs dialogs;
  const std::string folder = round_trip::NewFolder("error-manager-e2e");
  round_trip::Produce(round_trip::CreateDatabase(Server::SqlServer, "EmE2eMaster", kMaster), folder,
                      [](TOrvDbSchemaProducer& producer) {
                        producer.UpdaterDirectives().ErrorManager = demStopOnFirstError;
                      });
  const std::string client = round_trip::CreateDatabase(Server::SqlServer, "EmE2eClient", kClient);
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = folder;
  updater.DirSql = folder;
  updater.DirBackup = folder;
  updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
  ASSERT_TRUE(updater.Initialize());

  // The update stops at the refused instruction and nothing of it stays.
  ASSERT_FALSE(updater.CheckAndUpdate(client));
  ASSERT_EQ(updater.Errors().Count(), 1) << ErrorTexts(updater.Errors());
  const TDbErrorElem failure = *updater.Errors().Items()[0];
  EXPECT_EQ(failure.Context, dbcUpdate);
  EXPECT_NE(failure.EMessage.find("converting the varchar value 'abc' to a column of data type int"),
            std::string::npos)
      << failure.EMessage;
  const std::vector<round_trip::Instruction> list = round_trip::LoadInstructions(folder);
  ASSERT_GT(list.size(), 1u);
  const int failing = failure.InstrNumber;
  ASSERT_GT(failing, 0);
  EXPECT_EQ(failure.SqlText.rfind("ALTER TABLE dbo.A ALTER COLUMN s", 0), 0u) << failure.SqlText;
  EXPECT_EQ(round_trip::Rows(client, "SELECT name FROM sysobjects WHERE name = 'C'"),
            std::vector<std::string>{});
  // Then a check that fails: its error has no instruction. Regression: the database name kept
  // from the run before was tested for existence, and a missing database failed to connect.
  ASSERT_FALSE(updater.CheckDb(dialect_test::ConnectionStringFor("EmE2eMissing")));
  ASSERT_EQ(updater.Errors().Count(), 2);

  updater.ShowErrorManager();
  ASSERT_EQ(OpenErrorManagers().size(), 1u);
  TErrorManagerFrm& f = *OpenErrorManagers()[0];
  TSqlFileFrm& editor = f.SqlFile();
  EXPECT_EQ(GridRows(f), (std::vector<std::string>{
                             std::to_string(failing) + " | " + failure.Description + " | dbcUpdate",
                             "0 | Database does not exists | dbcCheckDb"}));
  // A filter with no rows: the row actions are off, the clear actions follow the list.
  f.actShowExtractSchema->trigger();
  EXPECT_TRUE(GridRows(f).empty());
  for (QAction* a : {f.actShowCurrentInstruction, f.actSaveErrors, f.actDeleteCurrent,
                     f.actClearExtractSchema}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
  for (QAction* a : {f.actClearAll, f.actClearCheckDb, f.actClearUpdate}) {
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  }
  f.actShowAll->trigger();
  f.DBGrid1->setCurrentCell(1, 0);
  f.actShowCurrentInstruction->trigger();
  EXPECT_TRUE(editor.isHidden());
  EXPECT_EQ(dialogs.TakeTexts(),
            std::vector<std::string>{"Instruction n. 0 not found in the instruction file!"});

  // The editor, left on another row, opens on the failing instruction; the user puts a fix
  // before the statement.
  ASSERT_TRUE(editor.LocateInstruction(list.back().id == failing ? list.front().id : list.back().id));
  f.DBGrid1->setCurrentCell(0, 0);
  EXPECT_EQ(f.memCommandText->toPlainText().toStdString(), failure.SqlText);
  f.actShowCurrentInstruction->trigger();
  ASSERT_TRUE(editor.isVisible());
  EXPECT_EQ(f.actShowInstructions->text(), "Close instruction window");
  EXPECT_EQ(editor.aq.FieldByName("id").AsInteger(), failing);
  EXPECT_EQ(editor.memo->toPlainText().toStdString(), failure.SqlText);
  editor.memo->moveCursor(QTextCursor::Start);
  QTest::keyClicks(editor.memo, QString::fromStdString(kFix));
  QTest::keyClick(editor.memo, Qt::Key_Return);
  // Regression: showing the instruction again while its row was being edited reported it as not
  // in the file. The edit is kept and the editor stays on the row.
  f.actShowCurrentInstruction->trigger();
  EXPECT_EQ(editor.aq.FieldByName("id").AsInteger(), failing);
  EXPECT_EQ(editor.memo->toPlainText().toStdString(),
            kFix + "\n" + failure.SqlText);
  editor.actSaveAndExit->trigger();
  EXPECT_TRUE(editor.isHidden());
  EXPECT_EQ(f.actShowInstructions->text(), "Open instruction window");
  EXPECT_EQ(dialogs.TakeTexts(), std::vector<std::string>{});
  std::vector<round_trip::Instruction> expected = list;
  for (round_trip::Instruction& row : expected) {
    if (row.id == failing) row.sql = kFix + "\n" + row.sql;
  }
  EXPECT_EQ(round_trip::Texts(round_trip::LoadInstructions(folder)), round_trip::Texts(expected));

  // The update runs the edited list and succeeds; the client matches the master.
  ASSERT_TRUE(updater.Run(client, TOrvDbSchemaUpdater::kModeUpdate)) << ErrorTexts(updater.Errors());
  EXPECT_EQ(updater.Errors().Count(), 0);  // a run clears the check errors too
  // Coming back to the window shows the list as the run left it.
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&f, &activate);
  EXPECT_TRUE(GridRows(f).empty());
  EXPECT_FALSE(f.actClearAll->isEnabled());
  EXPECT_FALSE(f.actDeleteCurrent->isEnabled());
  EXPECT_EQ(round_trip::Rows(client, "SELECT id, s FROM A ORDER BY id"),
            (std::vector<std::string>{"1|12", "2|0"}));
  EXPECT_EQ(round_trip::Rows(client, "SELECT name FROM sysobjects WHERE name = 'C'"),
            std::vector<std::string>{"C"});
  ASSERT_TRUE(updater.CheckDb(client)) << ErrorTexts(updater.Errors());
  EXPECT_EQ(round_trip::Texts(round_trip::LoadInstructions(folder)), std::vector<std::string>{});
  updater.Finalize();
  windowtest::ProcessDeletes();
  EXPECT_TRUE(OpenErrorManagers().empty());
}

TEST(ErrorManagerEndToEnd, EveryErrorManagerOfTheUpdaterClosesWhenItGoes) {
  // Regression: only the last window opened was told; an earlier one kept the freed error list.
  windowtest::ScriptedDialogs dialogs;
  auto updater = std::make_unique<TOrvDbSchemaUpdater>();
  updater->DirSql = round_trip::NewFolder("error-manager-twice");
  ASSERT_TRUE(updater->Initialize());
  updater->Errors().Add(dbcCheckDb, "Database does not exists", "", 0, "", false);
  updater->ShowErrorManager();
  updater->ShowErrorManager();
  ASSERT_EQ(OpenErrorManagers().size(), 2u);
  const QPointer<TErrorManagerFrm> first = OpenErrorManagers()[0];
  updater->Finalize();
  EXPECT_TRUE(OpenErrorManagers().empty());
  updater.reset();
  windowtest::ProcessDeletes();
  EXPECT_TRUE(first.isNull());
}
