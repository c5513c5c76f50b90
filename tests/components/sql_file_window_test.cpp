#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "components/uSqlFile.h"

using namespace windowtest;

namespace {

class SqlFileWindow : public ::testing::Test {
 protected:
  // An editor on a file of the given rows.
  void Open(const std::vector<Instruction>& rows) {
    file_ = TestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "/instructions.xml";
    WriteInstructions(file_, rows);
    frm_.SetFileName(file_);
    frm_.Load();
  }
  static std::vector<Instruction> Numbered(int count) {
    std::vector<Instruction> rows;
    for (int i = 1; i <= count; ++i) rows.push_back({i, "SQL " + std::to_string(i)});
    return rows;
  }
  bool Enabled(QAction* a) const { return a->isEnabled(); }

  ScriptedDialogs dialogs_;
  TSqlFileFrm frm_;
  std::string file_;
};

}  // namespace

TEST_F(SqlFileWindow, LooksAndMissingFile) {
  EXPECT_EQ(frm_.windowTitle(), "SQL instruction Manager");
  EXPECT_EQ(frm_.size(), QSize(423, 480));
  ExpectLooks(
      {{frm_.actInsert, "Insert", "Insert new record"},
       {frm_.actAppend, "Append data", "Append record at the end of the file"},
       {frm_.actEdit, "Edit", "Edit current data"},
       {frm_.actAccept, "Save", "Save data"},
       {frm_.actCancel, "Cancel", "Undo current operation"},
       {frm_.actDelete, "Delete", "Delete current record"},
       {frm_.actSearch, "Find", "Find istruction"},
       {frm_.actMoveUp, "Move up", "Move up current instruction"},
       {frm_.actMoveDown, "Move down", "Move down current instruction"},
       {frm_.actSave, "Save", "Save on disk current changes"},
       {frm_.actSaveAndExit, "Save and exit", "Save on disk current changes and close window"},
       {frm_.actClear, "Clear changes", "Undo all changes"},
       {frm_.actExit, "Close", "Close window"}});
  EXPECT_EQ(frm_.grid->model()->headerData(0, Qt::Horizontal).toString(), "Instr. number");
  EXPECT_EQ(frm_.pages->tabText(0), "Info");
  EXPECT_EQ(frm_.pages->tabText(1), "Search");
  EXPECT_TRUE(frm_.rbFromBeginning->isChecked());
  // Regression: the text to find was squeezed to 38 pixels beside the number.
  frm_.pages->setCurrentWidget(frm_.tsSearch);
  frm_.show();
  ui::ProcessPendingMessages();
  EXPECT_GE(frm_.edtSearchText->width(), frm_.width() / 2);
  frm_.hide();

  frm_.SetFileName(TestFolder("missing") + "/instructions.xml");
  frm_.Load();
  EXPECT_EQ(frm_.result(), ui::mrCancel);
  EXPECT_FALSE(frm_.aq.Active());
  EXPECT_FALSE(frm_.LocateInstruction(1));
  for (QAction* a : {frm_.actInsert, frm_.actAppend, frm_.actEdit, frm_.actAccept, frm_.actCancel,
                     frm_.actDelete, frm_.actSearch, frm_.actMoveUp, frm_.actMoveDown, frm_.actSave,
                     frm_.actSaveAndExit, frm_.actClear}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
  EXPECT_TRUE(frm_.actExit->isEnabled());
  EXPECT_TRUE(frm_.memo->isReadOnly());
  EXPECT_TRUE(dialogs_->Questions().empty());
}

TEST_F(SqlFileWindow, EnabledStatesFollowTheCursor) {
  Open(Numbered(3));
  EXPECT_TRUE(frm_.LocateInstruction(1));
  EXPECT_FALSE(frm_.actMoveUp->isEnabled());
  EXPECT_TRUE(frm_.actMoveDown->isEnabled());
  EXPECT_FALSE(frm_.actAccept->isEnabled());
  EXPECT_FALSE(frm_.actSave->isEnabled());
  EXPECT_TRUE(frm_.LocateInstruction(3));
  EXPECT_TRUE(frm_.actMoveUp->isEnabled());
  EXPECT_FALSE(frm_.actMoveDown->isEnabled());
  EXPECT_FALSE(frm_.LocateInstruction(9));
  frm_.actEdit->trigger();
  EXPECT_TRUE(frm_.actAccept->isEnabled());
  EXPECT_TRUE(frm_.actCancel->isEnabled());
  // Typing in the memo edits the row; Cancel drops the edit.
  frm_.memo->selectAll();
  QTest::keyClicks(frm_.memo, "changed");
  EXPECT_EQ(frm_.aq.FieldByName("instruction").AsString(), "changed");
  frm_.actCancel->trigger();
  EXPECT_EQ(Texts(frm_.aq), (std::vector<std::string>{"SQL 1", "SQL 2", "SQL 3"}));
  EXPECT_FALSE(frm_.Changed());
  EXPECT_EQ(frm_.memo->toPlainText(), "SQL 3");
  // Choosing a row of the grid moves the data set.
  frm_.grid->setCurrentIndex(frm_.grid->model()->index(1, 0));
  EXPECT_EQ(frm_.aq.FieldByName("id").AsInteger(), 2);
  EXPECT_EQ(frm_.memo->toPlainText(), "SQL 2");
  // An open file without instructions offers only adding one.
  Open({});
  EXPECT_TRUE(frm_.actInsert->isEnabled());
  EXPECT_TRUE(frm_.actAppend->isEnabled());
  for (QAction* a : {frm_.actEdit, frm_.actAccept, frm_.actCancel, frm_.actDelete, frm_.actSearch,
                     frm_.actMoveUp, frm_.actMoveDown}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
}

// Each case: the file's ids, the row the cursor is on, the command, and the ids and texts after.
TEST_F(SqlFileWindow, NumberingKeepsOrder) {
  struct Case {
    const char* name;
    std::vector<Instruction> rows;
    int current;
    char command;  // i insert, a append, d delete, u move up, w move down
    std::vector<int> ids;
    std::vector<std::string> texts;
    int currentAfter;
  };
  const std::vector<Instruction> five = Numbered(5);
  // Regression: renumbering crossed zero, moving prepended instructions into the transaction.
  const std::vector<Instruction> mixed = {{-1, "A"}, {0, "B"}, {1, "C"}, {2, "D"}};
  const std::vector<Case> cases = {
      {"insert at 3 of 5",
       five,
       3,
       'i',
       {1, 2, 3, 4, 5, 6},
       {"SQL 1", "SQL 2", "NEW", "SQL 3", "SQL 4", "SQL 5"},
       3},
      {"delete 2 of 5", five, 2, 'd', {1, 2, 3, 4}, {"SQL 1", "SQL 3", "SQL 4", "SQL 5"}, 2},
      {"delete the last", five, 5, 'd', {1, 2, 3, 4}, {"SQL 1", "SQL 2", "SQL 3", "SQL 4"}, 4},
      {"move up on 1",
       five,
       1,
       'u',
       {1, 2, 3, 4, 5},
       {"SQL 1", "SQL 2", "SQL 3", "SQL 4", "SQL 5"},
       1},
      {"move up on 3",
       five,
       3,
       'u',
       {1, 2, 3, 4, 5},
       {"SQL 1", "SQL 3", "SQL 2", "SQL 4", "SQL 5"},
       2},
      {"move down on the last",
       five,
       5,
       'w',
       {1, 2, 3, 4, 5},
       {"SQL 1", "SQL 2", "SQL 3", "SQL 4", "SQL 5"},
       5},
      {"move down on 1",
       five,
       1,
       'w',
       {1, 2, 3, 4, 5},
       {"SQL 2", "SQL 1", "SQL 3", "SQL 4", "SQL 5"},
       2},
      {"append to an empty file", {}, 0, 'a', {1}, {"NEW"}, 1},
      {"insert into an empty file", {}, 0, 'i', {1}, {"NEW"}, 1},
      {"append after prepended rows only",
       {{-1, "A"}, {0, "B"}},
       0,
       'a',
       {-1, 0, 1},
       {"A", "B", "NEW"},
       1},
      {"delete -1 of -1, 0, 1, 2", mixed, -1, 'd', {0, 1, 2}, {"B", "C", "D"}, 0},
      {"delete 0 of -1, 0, 1, 2", mixed, 0, 'd', {0, 1, 2}, {"A", "C", "D"}, 1},
      {"delete 1 of -1, 0, 1, 2", mixed, 1, 'd', {-1, 0, 1}, {"A", "B", "D"}, 1},
      {"insert at 0", mixed, 0, 'i', {-2, -1, 0, 1, 2}, {"A", "NEW", "B", "C", "D"}, -1},
      {"insert at 1 after prepended rows",
       mixed,
       1,
       'i',
       {-1, 0, 1, 2, 3},
       {"A", "B", "NEW", "C", "D"},
       1},
      {"move down on 0", mixed, 0, 'w', {-1, 0, 1, 2}, {"A", "B", "C", "D"}, 0},
      {"move up on -1 ... 0", mixed, 0, 'u', {-1, 0, 1, 2}, {"B", "A", "C", "D"}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(c.rows);
    if (!c.rows.empty()) {
      ASSERT_TRUE(frm_.LocateInstruction(c.current));
    }
    dialogs_->AnswerConfirm(true);
    switch (c.command) {
      case 'i':
      case 'a':
        (c.command == 'i' ? frm_.actInsert : frm_.actAppend)->trigger();
        frm_.memo->setPlainText("NEW");
        ASSERT_TRUE(frm_.actAccept->isEnabled());
        frm_.actAccept->trigger();
        break;
      case 'd':
        frm_.actDelete->trigger();
        EXPECT_EQ(dialogs_.TakeTexts(),
                  std::vector<std::string>{"Are you sure you want to delete current record?"});
        break;
      case 'u':
        frm_.actMoveUp->trigger();
        break;
      case 'w':
        frm_.actMoveDown->trigger();
        break;
    }
    EXPECT_EQ(Ids(frm_.aq), c.ids);
    EXPECT_EQ(Texts(frm_.aq), c.texts);
    EXPECT_EQ(frm_.aq.FieldByName("id").AsInteger(), c.currentAfter);
    // The grid shows the numbers in order.
    ASSERT_EQ(frm_.grid->model()->rowCount(), static_cast<int>(c.ids.size()));
    EXPECT_EQ(frm_.grid->model()->index(0, 0).data().toInt(), c.ids.front());
    dialogs_.TakeTexts();
  }
}

TEST_F(SqlFileWindow, DeleteWhileInserting) {
  Open(Numbered(3));
  frm_.LocateInstruction(2);
  frm_.actDelete->trigger();  // unscripted: No
  EXPECT_EQ(Ids(frm_.aq), (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(frm_.Changed());
  // Deleting the row being inserted drops only that row.
  frm_.actInsert->trigger();
  dialogs_->AnswerConfirm(true);
  frm_.actDelete->trigger();
  EXPECT_EQ(Texts(frm_.aq), (std::vector<std::string>{"SQL 1", "SQL 2", "SQL 3"}));
  EXPECT_EQ(frm_.aq.State(), ado::dsBrowse);
}

TEST_F(SqlFileWindow, Find) {
  Open({{1, "CREATE TABLE a"}, {2, "DROP TABLE b"}, {3, "drop table c"}, {4, "DROP VIEW d"}});
  frm_.pages->setCurrentWidget(frm_.tsSearch);
  const auto find = [this](int number, const char* text, bool fromCursor) {
    frm_.edtSearchNumber->setValue(number);
    frm_.edtSearchText->clear();
    QTest::keyClicks(frm_.edtSearchText, text);
    (fromCursor ? frm_.rbFromCursor : frm_.rbFromBeginning)->setChecked(true);
    QTest::mouseClick(frm_.btnFind, Qt::LeftButton);
    return static_cast<int>(frm_.aq.FieldByName("id").AsInteger());
  };
  // By number; a missing number says nothing and stays.
  EXPECT_EQ(find(3, "", false), 3);
  EXPECT_EQ(find(9, "DROP", false), 3);
  EXPECT_TRUE(dialogs_.TakeTexts().empty());
  // By text, case counts, from the beginning.
  EXPECT_EQ(find(0, "DROP", false), 2);
  EXPECT_EQ(find(0, "drop", false), 3);
  // From the cursor the current row itself counts.
  frm_.LocateInstruction(2);
  EXPECT_EQ(find(0, "DROP", true), 2);
  frm_.LocateInstruction(3);
  EXPECT_EQ(find(0, "DROP", true), 4);
  EXPECT_TRUE(dialogs_.TakeTexts().empty());
  // Past the end: the wrap question; Yes searches from the first row up to where it started.
  dialogs_->AnswerConfirm(true);
  EXPECT_EQ(find(0, "CREATE", true), 1);
  EXPECT_EQ(dialogs_.TakeTexts(),
            std::vector<std::string>{
                "Reaching end of file.\r\nDo you wish to search from the beginning?"});
  frm_.LocateInstruction(3);
  dialogs_->AnswerConfirm(true);
  EXPECT_EQ(find(0, "ALTER", true), 3);
  dialogs_->AnswerConfirm(false);
  EXPECT_EQ(find(0, "CREATE", true), 3);
  EXPECT_EQ(dialogs_.TakeTexts().size(), 2u);
  EXPECT_EQ(find(0, "", false), 3);
  EXPECT_EQ(find(0, "ALTER", false), 3);
  EXPECT_EQ(
      dialogs_.TakeTexts(),
      (std::vector<std::string>{"No condition!", "No record found with the current condition!"}));
  SavePicture(frm_, "sql_file_search.png");
  frm_.pages->setCurrentWidget(frm_.tsInfo);
  SavePicture(frm_, "sql_file_info.png");
  frm_.hide();
}

TEST_F(SqlFileWindow, SaveCloseAndClearChanges) {
  Open(Numbered(3));
  frm_.show();
  frm_.LocateInstruction(2);
  frm_.actEdit->trigger();
  frm_.memo->setPlainText("edited");
  frm_.actAccept->trigger();
  EXPECT_TRUE(frm_.Changed());
  for (QAction* a : {frm_.actSave, frm_.actSaveAndExit, frm_.actClear}) EXPECT_TRUE(a->isEnabled());

  // Clear changes: No keeps them; Yes reloads and returns to the row.
  frm_.actClear->trigger();
  EXPECT_EQ(Texts(frm_.aq)[1], "edited");
  frm_.LocateInstruction(3);
  dialogs_->AnswerConfirm(true);
  frm_.actClear->trigger();
  EXPECT_EQ(dialogs_.TakeTexts(),
            (std::vector<std::string>{"Are you sure you want to clear all changes?",
                                      "Are you sure you want to clear all changes?"}));
  EXPECT_EQ(Texts(frm_.aq)[1], "SQL 2");
  EXPECT_EQ(frm_.aq.FieldByName("id").AsInteger(), 3);
  EXPECT_FALSE(frm_.Changed());

  // Close with changes asks; No closes without saving.
  frm_.actDelete->trigger();  // unscripted: No
  dialogs_->AnswerConfirm(true);
  frm_.actDelete->trigger();
  EXPECT_TRUE(frm_.Changed());
  frm_.actExit->trigger();
  EXPECT_EQ(dialogs_.TakeTexts(),
            (std::vector<std::string>{"Are you sure you want to delete current record?",
                                      "Are you sure you want to delete current record?",
                                      "Data has been changed.\r\nDo you wish to save data?"}));
  EXPECT_TRUE(frm_.isHidden());
  EXPECT_EQ(frm_.result(), ui::mrOk);
  ado::TDataSet onDisk;
  onDisk.LoadFromFile(file_);
  EXPECT_EQ(Ids(onDisk), (std::vector<int>{1, 2, 3}));

  // Regression: a failed save raised out of the window. Now an error names the file and
  // the window stays, changed; "Save and exit" closes only after a save that worked.
  frm_.show();
  frm_.setResult(ui::mrNone);
  const std::string good = file_;
  frm_.SetFileName(TestFolder("no-such") + "/gone/instructions.xml");
  frm_.actSaveAndExit->trigger();
  dialogs_->AnswerConfirm(true);
  frm_.actExit->trigger();
  const auto texts = dialogs_.TakeTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_NE(texts[0].find("gone/instructions.xml"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[1], "Data has been changed.\r\nDo you wish to save data?");
  EXPECT_EQ(texts[0], texts[2]);
  EXPECT_TRUE(frm_.isVisible());
  EXPECT_TRUE(frm_.Changed());
  EXPECT_EQ(frm_.result(), ui::mrNone);

  // Yes saves and closes.
  frm_.SetFileName(good);
  dialogs_->AnswerConfirm(true);
  frm_.actExit->trigger();
  EXPECT_TRUE(frm_.isHidden());
  EXPECT_FALSE(frm_.Changed());
  onDisk.LoadFromFile(good);
  EXPECT_EQ(Ids(onDisk), (std::vector<int>{1, 2}));
  EXPECT_EQ(Texts(onDisk), (std::vector<std::string>{"SQL 1", "SQL 2"}));
}

TEST_F(SqlFileWindow, SavedFileKeepsFieldsAndTexts) {
  const std::string big(1 << 20, 'x');
  Open({{-1, "CREATE LOGIN \"a\" 'b'", 0},
        {1, "line 1\r\nline 2\nline 3", 7},
        {2, "UPDATE t SET n = N'\xC3\xA9t\xC3\xA9 \xE2\x82\xAC'", 3},
        {3, big, 2}});
  frm_.LocateInstruction(1);
  frm_.actMoveDown->trigger();
  frm_.actSave->trigger();
  EXPECT_FALSE(frm_.Changed());
  EXPECT_TRUE(dialogs_->Questions().empty());

  ado::TDataSet onDisk;
  onDisk.LoadFromFile(file_);
  ASSERT_EQ(onDisk.FieldCount(), 3);
  EXPECT_EQ(onDisk.Fields(0).FieldName(), "id");
  EXPECT_EQ(onDisk.Fields(1).FieldName(), "instruction");
  EXPECT_EQ(onDisk.Fields(2).FieldName(), "IdBlockUndoDelete");
  EXPECT_EQ(onDisk.Fields(0).DataType(), ado::FieldType::ftInteger);
  EXPECT_EQ(onDisk.Fields(1).DataType(), ado::FieldType::ftMemo);
  EXPECT_EQ(onDisk.Fields(2).DataType(), ado::FieldType::ftInteger);
  onDisk.SetSort("id");
  const std::vector<Instruction> rows = Rows(onDisk);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].instruction, "CREATE LOGIN \"a\" 'b'");
  EXPECT_EQ(rows[1].instruction, "UPDATE t SET n = N'\xC3\xA9t\xC3\xA9 \xE2\x82\xAC'");
  EXPECT_EQ(rows[1].block, 3);
  EXPECT_EQ(rows[2].instruction, "line 1\r\nline 2\nline 3");
  EXPECT_EQ(rows[2].block, 7);
  EXPECT_EQ(rows[3].instruction, big);
  EXPECT_EQ(rows[3].block, 2);
  std::ifstream in(file_);
  std::string head(200, '\0');
  in.read(head.data(), 200);
  EXPECT_NE(head.find("<xml"), std::string::npos);
}
