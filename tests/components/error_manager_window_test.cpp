#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "common/Paths.h"
#include "components/DbErrors.h"
#include "components/uConsole.h"
#include "components/uErrorManager.h"
#include "components/uSqlFile.h"

using namespace windowtest;

namespace {

// The updater as the error manager sees it: its error list, console and SQL folder; when it
// goes, it tells the window it opened.
class FakeUpdater : public IErrorManagerUpdater {
 public:
  explicit FakeUpdater(std::string dirSql) : dirSql_(std::move(dirSql)) {}
  ~FakeUpdater() override {
    if (window_) window_->UpdaterFinalized();
  }
  TDbErrors& Errors() override { return errors; }
  TConsoleFrm* ConsoleWindow() override { return &console; }
  std::string DirSql() const override { return dirSql_; }
  void ErrorManagerOpened(TErrorManagerFrm& aWindow) override { window_ = &aWindow; }
  void ErrorManagerClosed(TErrorManagerFrm& aWindow) override {
    if (window_ == &aWindow) window_ = nullptr;
  }
  TErrorManagerFrm* Window() const { return window_; }

  TDbErrors errors;
  TConsoleFrm console;

 private:
  std::string dirSql_;
  TErrorManagerFrm* window_ = nullptr;
};

class ErrorManagerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    WriteInstructions(
        dir_ + "/instructions.xml",
        {{1, "CREATE TABLE a (n int)"}, {2, "ALTER TABLE b ADD c int"}, {3, "DROP VIEW v"}});
    updater_ = std::make_unique<FakeUpdater>(dir_);
  }
  void TearDown() override {
    if (frm_) frm_->close();
    ProcessDeletes();
  }
  // Errors of every phase: update 1, check 1, extraction, update 2, check 2, unknown.
  void AddErrorsOfEveryPhase() {
    TDbErrors& e = updater_->errors;
    e.Add(dbcUpdate, "Update 1", "refused", 2, "ALTER TABLE b ADD c int", false);
    e.Add(dbcCheckDb, "Check 1", "", 0, "", false);
    e.Add(dbcExtractSchema, "Extract 1", "no table", 0, "", true);
    e.Add(dbcUpdate, "Update 2", "refused", 3, "DROP VIEW v", false);
    e.Add(dbcCheckDb, "Check 2", "", 0, "", false);
    e.Add(dbcUnknown, "Generic 1", "", 0, "", false);
  }
  TErrorManagerFrm& Open() {
    frm_ = new TErrorManagerFrm(*updater_);
    frm_->show();
    return *frm_;
  }
  std::vector<std::string> GridDescriptions() const {
    std::vector<std::string> rows;
    for (int r = 0; r < frm_->DBGrid1->rowCount(); ++r) {
      rows.push_back(frm_->DBGrid1->item(r, 1)->text().toStdString());
    }
    return rows;
  }
  std::vector<std::string> ListDescriptions() const {
    std::vector<std::string> rows;
    for (const auto& e : updater_->errors.Items()) rows.push_back(e->Description);
    return rows;
  }
  void ChooseRow(int row) { frm_->DBGrid1->setCurrentCell(row, 0); }

  ScriptedDialogs dialogs_;
  std::string dir_;
  std::unique_ptr<FakeUpdater> updater_;
  QPointer<TErrorManagerFrm> frm_;
};

}  // namespace

TEST_F(ErrorManagerWindow, LooksAndStartingState) {
  TErrorManagerFrm& f = Open();
  EXPECT_EQ(f.windowTitle(), "Error manager");
  EXPECT_TRUE(f.windowFlags().testFlag(Qt::Tool));
  EXPECT_EQ(f.size(), QSize(630, 362));
  ExpectLooks(
      {{f.actShowInstructions, "Open instruction window",
        "Open instruction window and allow to manage instruction file"},
       {f.actShowCurrentInstruction, "Show current instruction",
        "Show and edit current instruction"},
       {f.actConsole, "Show console", "Open console window"},
       {f.actSaveErrors, "Save error log", "Save errors on file log"},
       {f.actShowAll, "Show all errors", ""},
       {f.actShowExtractSchema, "Show Extract schemas errors", ""},
       {f.actShowCheckDb, "Show Check db errors", ""},
       {f.actShowUpdate, "Show Update errors", ""},
       {f.actClearAll, "Clear all errors", "Clear all errors"},
       {f.actClearExtractSchema, "Clear Extract Schema errors", "Clear Extract Schema errors"},
       {f.actClearCheckDb, "Clear Check errors", "Clear Check errors"},
       {f.actClearUpdate, "Clear Update errors", "Clear Update errors"},
       {f.actDeleteCurrent, "Delete current error", "Delete current error"},
       {f.actExit, "Exit", "Close Error manager window"}});
  std::vector<std::string> titles;
  for (int c = 0; c < f.DBGrid1->columnCount(); ++c) {
    titles.push_back(f.DBGrid1->horizontalHeaderItem(c)->text().toStdString());
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Id", "Description", "context", "handled"}));
  std::vector<std::string> contexts;
  for (int i = 0; i < f.cbContext->count(); ++i)
    contexts.push_back(f.cbContext->itemText(i).toStdString());
  EXPECT_EQ(contexts, (std::vector<std::string>{"dbcUnknown", "dbcExtractSchema", "dbcCheckDb",
                                                "dbcUpdate"}));
  std::vector<std::string> fields;
  for (int i = 0; i < f.qErrors.FieldCount(); ++i)
    fields.push_back(f.qErrors.Fields(i).FieldName());
  EXPECT_EQ(fields, (std::vector<std::string>{"Description", "eMessage", "InstructionNo",
                                              "CommandText", "context", "handled", "id"}));
  // An empty list: only the always-enabled actions.
  for (QAction* a :
       {f.actShowCurrentInstruction, f.actSaveErrors, f.actClearAll, f.actClearExtractSchema,
        f.actClearCheckDb, f.actClearUpdate, f.actDeleteCurrent}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
  for (QAction* a :
       {f.actShowInstructions, f.actConsole, f.actShowAll, f.actShowCheckDb, f.actExit}) {
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  }
  EXPECT_TRUE(f.actShowAll->isChecked());
  EXPECT_EQ(f.SqlFile().FileName(), dir_ + "/instructions.xml");
  // A relative folder is taken from the executable's folder, as the engine takes it.
  FakeUpdater relative(".\\schemas\\");
  TErrorManagerFrm other(relative);
  EXPECT_EQ(other.SqlFile().FileName(), paths::ExecutableFolder() + "/schemas/instructions.xml");
  EXPECT_EQ(f.SqlFile().aq.RecordCount(), 3);
  EXPECT_TRUE(dialogs_->Questions().empty());
}

TEST_F(ErrorManagerWindow, GridDetailAndFilters) {
  AddErrorsOfEveryPhase();
  TErrorManagerFrm& f = Open();
  EXPECT_EQ(GridDescriptions(), ListDescriptions());
  EXPECT_EQ(f.DBGrid1->item(0, 0)->text(), "2");
  EXPECT_EQ(f.DBGrid1->item(0, 2)->text(), "dbcUpdate");
  EXPECT_EQ(f.DBGrid1->item(2, 3)->text(), "True");
  ChooseRow(3);
  EXPECT_EQ(f.edtInstructionNo->value(), 3);
  EXPECT_EQ(f.edtDescription->text(), "Update 2");
  EXPECT_EQ(f.memEMessage->toPlainText(), "refused");
  EXPECT_EQ(f.memCommandText->toPlainText(), "DROP VIEW v");
  EXPECT_EQ(f.cbContext->currentText(), "dbcUpdate");
  EXPECT_FALSE(f.chkHandled->isChecked());
  // Edits in the panel change the grid's data set, never the list.
  f.edtDescription->selectAll();
  QTest::keyClicks(f.edtDescription, "mine");
  f.cbContext->setCurrentIndex(1);
  f.chkHandled->setChecked(true);
  EXPECT_EQ(f.qErrors.FieldByName("Description").AsString(), "mine");
  EXPECT_EQ(f.qErrors.FieldByName("context").AsString(), "dbcExtractSchema");
  EXPECT_EQ(f.DBGrid1->item(3, 1)->text(), "mine");
  EXPECT_EQ(updater_->errors.Items()[3]->Description, "Update 2");
  EXPECT_EQ(updater_->errors.Items()[3]->Context, dbcUpdate);
  EXPECT_FALSE(updater_->errors.Items()[3]->Handled);
  // Edits in the grid too.
  f.DBGrid1->item(3, 1)->setText("from the grid");
  f.DBGrid1->item(3, 0)->setText("x");
  f.DBGrid1->item(3, 0)->setText("12");
  EXPECT_EQ(f.edtDescription->text(), "from the grid");
  EXPECT_EQ(f.edtInstructionNo->value(), 12);
  EXPECT_EQ(f.qErrors.FieldByName("InstructionNo").AsInteger(), 12);
  EXPECT_FALSE(f.DBGrid1->item(3, 2)->flags().testFlag(Qt::ItemIsEditable));
  EXPECT_EQ(updater_->errors.Items()[3]->Description, "Update 2");
  EXPECT_EQ(updater_->errors.Items()[3]->InstrNumber, 3);

  // The filters: one checked at a time, also in the drop-down menu.
  const QList<QAction*> qmenu = f.btnFilter->menu()->actions();
  const std::vector<QAction*> menu(qmenu.begin(), qmenu.end());
  EXPECT_EQ(menu, (std::vector<QAction*>{f.actShowAll, f.actShowExtractSchema, f.actShowCheckDb,
                                         f.actShowUpdate}));
  f.actShowCheckDb->trigger();
  EXPECT_EQ(GridDescriptions(), (std::vector<std::string>{"Check 1", "Check 2"}));
  EXPECT_EQ(f.qErrors.FieldByName("id").AsInteger(), 1);
  for (QAction* a : menu) EXPECT_EQ(a->isChecked(), a == f.actShowCheckDb);
  menu[1]->trigger();
  EXPECT_EQ(GridDescriptions(), std::vector<std::string>{"Extract 1"});
  EXPECT_EQ(f.Filter(), dbcExtractSchema);
  for (QAction* a : menu) EXPECT_EQ(a->isChecked(), a == f.actShowExtractSchema);
  f.actShowUpdate->trigger();
  EXPECT_EQ(GridDescriptions(), (std::vector<std::string>{"Update 1", "Update 2"}));
  f.actShowAll->trigger();
  EXPECT_EQ(GridDescriptions().size(), 6u);
  EXPECT_TRUE(dialogs_->Questions().empty());
  SavePicture(f, "error_manager.png");
}

TEST_F(ErrorManagerWindow, ClearActions) {
  struct Case {
    QAction* TErrorManagerFrm::*action;
    const char* question;
    const char* done;
    std::vector<std::string> left;
  };
  const std::vector<Case> cases = {
      {&TErrorManagerFrm::actClearCheckDb,
       "Are you sure you want to erase all CheckDb Errors?",
       "Clear Check Errors done...",
       {"Update 1", "Extract 1", "Update 2", "Generic 1"}},
      {&TErrorManagerFrm::actClearUpdate,
       "Are you sure you want to erase all Update Errors?",
       "Clear Update Errors done...",
       {"Check 1", "Extract 1", "Check 2", "Generic 1"}},
      {&TErrorManagerFrm::actClearExtractSchema,
       "Are you sure you want to erase all Extract Schema errors?",
       "Clear Extract schemas errors done...",
       {"Update 1", "Check 1", "Update 2", "Check 2", "Generic 1"}},
      {&TErrorManagerFrm::actClearAll,
       "Are you sure you want to erase all errors?",
       "Clear all errors done...",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.question);
    updater_->errors.Clear();
    AddErrorsOfEveryPhase();
    TErrorManagerFrm& f = Open();
    QAction* action = f.*c.action;
    ASSERT_TRUE(action->isEnabled());
    f.actShowCheckDb->trigger();
    action->trigger();  // unscripted: No changes nothing
    EXPECT_EQ(ListDescriptions().size(), 6u);
    dialogs_->AnswerConfirm(true);
    action->trigger();
    EXPECT_EQ(dialogs_.TakeTexts(), (std::vector<std::string>{c.question, c.question, c.done}));
    EXPECT_EQ(ListDescriptions(), c.left);
    EXPECT_FALSE(action->isEnabled());
    f.actShowAll->trigger();
    EXPECT_EQ(GridDescriptions(), c.left);
    EXPECT_EQ(f.actShowCurrentInstruction->isEnabled(), !c.left.empty());
    EXPECT_EQ(f.actDeleteCurrent->isEnabled(), !c.left.empty());
    f.actExit->trigger();
    ProcessDeletes();
    EXPECT_TRUE(frm_.isNull());
  }
}

TEST_F(ErrorManagerWindow, DeleteCurrentError) {
  AddErrorsOfEveryPhase();
  TErrorManagerFrm& f = Open();
  f.actShowUpdate->trigger();
  ChooseRow(1);
  f.actDeleteCurrent->trigger();  // unscripted: No
  EXPECT_EQ(ListDescriptions().size(), 6u);
  // Two deletes in a row remove the two chosen errors.
  dialogs_->AnswerConfirm(true);
  f.actDeleteCurrent->trigger();
  f.actShowAll->trigger();
  ChooseRow(1);
  dialogs_->AnswerConfirm(true);
  f.actDeleteCurrent->trigger();
  EXPECT_EQ(ListDescriptions(),
            (std::vector<std::string>{"Update 1", "Extract 1", "Check 2", "Generic 1"}));
  EXPECT_EQ(updater_->errors.UpdateErrors().size(), 1u);
  EXPECT_EQ(updater_->errors.CheckDbErrors().size(), 1u);
  EXPECT_EQ(GridDescriptions(), ListDescriptions());
  EXPECT_EQ(dialogs_.TakeTexts(),
            std::vector<std::string>(3, "Are you sure you want to delete current Error?"));

  // Regression: a run that changed the list left the rows' ids pointing at other errors. The
  // grid is rebuilt first and nothing is deleted until the user chooses again.
  ChooseRow(3);  // "Generic 1" at 3
  updater_->errors.ClearUpdateErrors();
  updater_->errors.Add(dbcUpdate, "Update 3", "", 0, "", false);
  dialogs_->AnswerConfirm(true);
  f.actDeleteCurrent->trigger();
  EXPECT_TRUE(dialogs_.TakeTexts().empty());
  EXPECT_EQ(ListDescriptions(),
            (std::vector<std::string>{"Extract 1", "Check 2", "Generic 1", "Update 3"}));
  EXPECT_EQ(GridDescriptions(), ListDescriptions());
  ChooseRow(2);
  f.actDeleteCurrent->trigger();
  EXPECT_EQ(ListDescriptions(), (std::vector<std::string>{"Extract 1", "Check 2", "Update 3"}));
}

TEST_F(ErrorManagerWindow, SaveErrorLog) {
  AddErrorsOfEveryPhase();
  TErrorManagerFrm& f = Open();
  const std::string log = dir_ + "/errors.log";
  dialogs_->AnswerSaveFile(log);
  dialogs_->AnswerSaveFile(dir_);  // a folder
  // Regression: a write failure raised out of the window.
  dialogs_->AnswerSaveFile(dir_ + "/missing/errors.log");
  f.actSaveErrors->trigger();
  f.actSaveErrors->trigger();
  f.actSaveErrors->trigger();
  f.actSaveErrors->trigger();  // cancelled: nothing
  EXPECT_EQ(dialogs_.TakeTexts(),
            (std::vector<std::string>{"", "File saved successfully!", "", "File save failed!", "",
                                      "File save failed!", ""}));
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str().rfind("ERROR LOG\n", 0), 0u);
  EXPECT_NE(text.str().find("TOTAL ERRORS: 6"), std::string::npos);
  EXPECT_EQ(updater_->errors.Count(), 6);
}

TEST_F(ErrorManagerWindow, ConsoleAndInstructionWindows) {
  AddErrorsOfEveryPhase();
  TErrorManagerFrm& f = Open();
  f.actConsole->trigger();
  EXPECT_TRUE(updater_->console.isVisible());
  EXPECT_EQ(f.actConsole->text(), "Hide console");
  EXPECT_EQ(f.actConsole->toolTip(), "Close console window");
  f.actConsole->trigger();
  EXPECT_TRUE(updater_->console.isHidden());
  EXPECT_EQ(f.actConsole->text(), "Show console");
  EXPECT_EQ(f.actConsole->toolTip(), "Open console window");
  updater_->console.show();  // the console follows on its own too
  EXPECT_EQ(f.actConsole->text(), "Hide console");
  updater_->console.close();
  EXPECT_EQ(f.actConsole->text(), "Show console");

  f.actShowInstructions->trigger();
  EXPECT_TRUE(f.SqlFile().isVisible());
  EXPECT_EQ(f.actShowInstructions->text(), "Close instruction window");
  f.actShowInstructions->trigger();
  EXPECT_TRUE(f.SqlFile().isHidden());
  EXPECT_EQ(f.actShowInstructions->text(), "Open instruction window");

  // The failing instruction: the editor opens on it.
  ChooseRow(3);
  f.actShowCurrentInstruction->trigger();
  EXPECT_TRUE(f.SqlFile().isVisible());
  EXPECT_EQ(f.SqlFile().aq.FieldByName("id").AsInteger(), 3);
  EXPECT_EQ(f.SqlFile().memo->toPlainText(), "DROP VIEW v");
  EXPECT_EQ(f.actShowInstructions->text(), "Close instruction window");
  // The editor's Close hides it and the caption returns.
  f.SqlFile().actExit->trigger();
  EXPECT_TRUE(f.SqlFile().isHidden());
  EXPECT_EQ(f.actShowInstructions->text(), "Open instruction window");
  ChooseRow(2);  // an extraction error: no instruction
  f.actShowCurrentInstruction->trigger();
  EXPECT_TRUE(f.SqlFile().isHidden());
  EXPECT_EQ(dialogs_.TakeTexts(),
            std::vector<std::string>{"Instruction n. 0 not found in the instruction file!"});
  EXPECT_EQ(dialogs_->Questions().back().kind, "message");
}

TEST_F(ErrorManagerWindow, ClosingFreesWindowAndEditor) {
  AddErrorsOfEveryPhase();
  TErrorManagerFrm& f = Open();
  QPointer<TSqlFileFrm> editor(&f.SqlFile());
  EXPECT_EQ(updater_->Window(), &f);
  f.actExit->trigger();
  ProcessDeletes();
  EXPECT_TRUE(frm_.isNull());
  EXPECT_TRUE(editor.isNull());
  EXPECT_EQ(updater_->Window(), nullptr);
  EXPECT_EQ(updater_->errors.Count(), 6);
}

TEST_F(ErrorManagerWindow, UpdaterGoneFirst) {
  // Regression: the window kept pointers to the updater's list and console after the updater
  // was freed. Now it lets go of them and closes.
  AddErrorsOfEveryPhase();
  TErrorManagerFrm& f = Open();
  QPointer<TSqlFileFrm> editor(&f.SqlFile());
  updater_.reset();
  EXPECT_TRUE(frm_.isNull() || frm_->isHidden());
  if (frm_) {
    frm_->actDeleteCurrent->trigger();
    frm_->actClearAll->trigger();
    frm_->actConsole->trigger();
    frm_->actSaveErrors->trigger();
  }
  ProcessDeletes();
  EXPECT_TRUE(frm_.isNull());
  EXPECT_TRUE(editor.isNull());
  EXPECT_TRUE(dialogs_->Questions().empty());
}
