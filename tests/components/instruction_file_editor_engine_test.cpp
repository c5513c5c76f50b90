// The instruction-file editor on a file the engine wrote: what the editor saves, the engine
// loads back equal, field names and undo-delete blocks kept.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "WindowTestSupport.h"
#include "common/Paths.h"
#include "components/DbSchemaUpdater.h"
#include "components/uSqlFile.h"
#include "engine/uDm.h"

using namespace windowtest;

TEST(InstructionFileEditorEngine, EditorSavesWhatTheEngineLoads) {
  ScriptedDialogs dialogs;
  const std::string folder = TestFolder("engine-roundtrip");
  TOrvDbSchemaUpdater updater;
  updater.DirSql = folder;
  ASSERT_TRUE(updater.Initialize());
  Tdm& dm = *updater.dm();
  dm.RestartInstructionList();
  dm.AddInstruction("CREATE LOGIN [u] WITH PASSWORD = 'p'", true);  // 0
  dm.AddInstruction("CREATE TABLE t (n int)", false);              // 1
  dm.AddBlockUndoDelete("old", ikDropTable);
  dm.BeginUndoDeleteBlock();
  dm.AddInstruction("DROP TABLE old", false);  // 2, block 1
  dm.EndUndoDeleteBlock();
  dm.AddInstruction("INSERT INTO t VALUES (1)", false);  // 3
  dm.SaveInstructionFile();

  TSqlFileFrm frm;
  frm.SetFileName(paths::ResolveFolder(dm.InstructionFileName()));
  frm.Load();
  ASSERT_TRUE(frm.aq.Active());
  EXPECT_EQ(Ids(frm.aq), (std::vector<int>{0, 1, 2, 3}));
  // Edit instruction 1 and insert before 2: every block stays with its row.
  ASSERT_TRUE(frm.LocateInstruction(1));
  frm.actEdit->trigger();
  frm.memo->setPlainText("CREATE TABLE t (n int, s nvarchar(10))");
  frm.actAccept->trigger();
  ASSERT_TRUE(frm.LocateInstruction(2));
  frm.actInsert->trigger();
  frm.memo->setPlainText("UPDATE t SET s = N'\xC3\xA9'");
  frm.actAccept->trigger();
  frm.actSave->trigger();
  EXPECT_TRUE(dialogs->Questions().empty());
  const std::vector<Instruction> saved = Rows(frm.aq);

  dm.LoadInstructionFile();
  dm.qInstructions.SetSort("id");
  const std::vector<Instruction> loaded = Rows(dm.qInstructions);
  ASSERT_EQ(loaded.size(), saved.size());
  for (size_t i = 0; i < saved.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(loaded[i].id, saved[i].id);
    EXPECT_EQ(loaded[i].instruction, saved[i].instruction);
    EXPECT_EQ(loaded[i].block, saved[i].block);
  }
  EXPECT_EQ(Ids(dm.qInstructions), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(loaded[3].instruction, "DROP TABLE old");
  EXPECT_EQ(loaded[3].block, 1);
  EXPECT_EQ(loaded[2].block, 0);
  EXPECT_EQ(dm.qInstructions.Fields(2).FieldName(), "IdBlockUndoDelete");
  updater.Finalize();
}
