// The instruction list and the undo-delete blocks of an initialised updater's engine: ids of
// prepended and appended instructions, blocks, the echo of every instruction, and the files
// instructions.xml and BlockUndoDelete.xml in the updater's SQL folder.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "components/DbSchemaUpdater.h"
#include "components/uConsole.h"
#include "components/uProgressInfo.h"
#include "engine/uDm.h"
#include "platform/data/DataErrors.h"

namespace {

namespace fs = std::filesystem;

class InstructionList : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "schemion-instructions-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    // A trailing backslash doubles the separator of the composed names: it folds to one.
    updater_.DirSql = folder_ + "\\";
    ASSERT_TRUE(updater_.Initialize());
    dm().RestartInstructionList();
  }
  void TearDown() override {
    updater_.Finalize();
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  Tdm& dm() { return *updater_.dm(); }
  std::string File(const std::string& name) const { return folder_ + "/" + name; }

  // (id, instruction, IdBlockUndoDelete) of every row, sorted by id as the update runs them.
  std::vector<std::tuple<int, std::string, int>> Rows(ado::TDataSet& q) {
    q.SetSort("id");
    std::vector<std::tuple<int, std::string, int>> rows;
    for (q.First(); !q.Eof(); q.Next()) {
      rows.emplace_back(static_cast<int>(q.FieldByName("id").AsInteger()),
                        q.FieldByName("instruction").AsString(),
                        static_cast<int>(q.FieldByName("IdBlockUndoDelete").AsInteger()));
    }
    q.SetSort("");
    return rows;
  }

  std::string folder_;
  TOrvDbSchemaUpdater updater_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST_F(InstructionList, NumberingBlocksAndEcho) {
  dm().AddInstruction("a1", false);
  dm().AddInstruction("p1", true);
  dm().AddInstruction("a2", false);
  dm().AddInstruction("p2", true);
  dm().AddInstruction("a3", false);
  EXPECT_EQ(Rows(dm().qInstructions),
            (std::vector<std::tuple<int, std::string, int>>{
                {-1, "p2", 0}, {0, "p1", 0}, {1, "a1", 0}, {2, "a2", 0}, {3, "a3", 0}}));
  // Every instruction is a console line and the progress info text.
  EXPECT_EQ(updater_.ConsoleFrm()->LineCount(), 5);
  updater_.ConsoleFrm()->FlushLines();
  EXPECT_NE(updater_.ConsoleFrm()->txtConsole->toPlainText().toStdString().find(
                "Console:>NEW INSTRUCTION: (-1) p2"),
            std::string::npos);
  EXPECT_EQ(updater_.ProgressInfoFrm()->InfoText(), "NEW INSTRUCTION: (3) a3");

  // A block alone is not opened; Begin opens the last one, End closes it.
  dm().AddBlockUndoDelete("T1", ikDropTable);
  dm().AddInstruction("after add", false);
  dm().BeginUndoDeleteBlock();
  dm().AddInstruction("inside 1", false);
  dm().EndUndoDeleteBlock();
  dm().AddInstruction("after end", false);
  auto rows = Rows(dm().qInstructions);
  EXPECT_EQ(rows[5], std::make_tuple(4, std::string("after add"), 0));
  EXPECT_EQ(rows[6], std::make_tuple(5, std::string("inside 1"), 1));
  EXPECT_EQ(rows[7], std::make_tuple(6, std::string("after end"), 0));

  // A second check: ids start again at 1 and 0, both sets empty, blocks number on.
  dm().RestartInstructionList();
  EXPECT_EQ(dm().qInstructions.RecordCount(), 0);
  EXPECT_EQ(dm().qBlockUndoDelete.RecordCount(), 0);
  dm().AddInstruction("p", true);
  dm().AddBlockUndoDelete("T2.F", ikDropField);
  dm().BeginUndoDeleteBlock();
  dm().AddInstruction("drop field", false);
  EXPECT_EQ(Rows(dm().qInstructions),
            (std::vector<std::tuple<int, std::string, int>>{{0, "p", 0}, {1, "drop field", 2}}));
  dm().qBlockUndoDelete.First();
  EXPECT_EQ(dm().qBlockUndoDelete.FieldByName("id").AsInteger(), 2);
  EXPECT_EQ(dm().qBlockUndoDelete.FieldByName("ObjectName").AsString(), "T2.F");
  EXPECT_EQ(dm().qBlockUndoDelete.FieldByName("Kind").AsString(), "ikDropField");
  EXPECT_FALSE(dm().qBlockUndoDelete.FieldByName("undoDelete").AsBoolean());
  EXPECT_FALSE(dm().IsUndoDelete(0));
  EXPECT_FALSE(dm().IsUndoDelete(2));
  EXPECT_FALSE(dm().IsUndoDelete(99));
}

TEST_F(InstructionList, FilesLoadBackEqualAndCancelOnlyTheirBlock) {
  const std::string longName(60, 'N');
  const std::string big(1 << 20, 'x');
  const std::vector<std::string> texts = {
      "INSERT INTO T VALUES ('it''s', \"q\")", "line 1\r\nline 2\nline 3", "a ]]> b",
      "CREATE TABLE Città (Größe int) -- ẞ", big};
  dm().AddInstruction("EXEC sp_adduser 'u'", true);
  for (const std::string& t : texts) dm().AddInstruction(t, false);
  dm().AddBlockUndoDelete(longName, ikDropTable);
  dm().BeginUndoDeleteBlock();
  dm().AddInstruction("DROP TABLE " + longName, false);
  dm().EndUndoDeleteBlock();
  dm().AddBlockUndoDelete("V", ikDropView);
  dm().BeginUndoDeleteBlock();
  dm().AddInstruction("DROP VIEW V", false);
  dm().AddInstruction("-- second of the block", false);
  dm().EndUndoDeleteBlock();

  EXPECT_EQ(dm().InstructionFileName(), folder_ + "\\instructions.xml");
  dm().SaveInstructionFile();
  EXPECT_EQ(updater_.ProgressInfoFrm()->InfoText(),
            "Saving instruction file " + folder_ + "\\instructions.xml");
  dm().SaveBlockUndoDeleteFile();
  EXPECT_EQ(updater_.ProgressInfoFrm()->InfoText(),
            "Saving Block Undo Delete file " + folder_ + "\\BlockUndoDelete.xml");

  // The persisted XML form with the list's fields.
  const std::string blocks = ReadFile(File("BlockUndoDelete.xml"));
  EXPECT_EQ(blocks.rfind("<xml", 0), 0u);
  EXPECT_NE(blocks.find("name='Kind'"), std::string::npos);
  EXPECT_NE(blocks.find("dt:maxLength='20'"), std::string::npos) << blocks.substr(0, 2000);
  EXPECT_NE(blocks.find("dt:maxLength='60'"), std::string::npos);  // the long name, kept whole
  EXPECT_NE(blocks.find("dt:type='boolean'"), std::string::npos);
  EXPECT_EQ(ReadFile(File("instructions.xml")).rfind("<xml", 0), 0u);

  const auto saved = Rows(dm().qInstructions);
  dm().RestartInstructionList();
  dm().LoadInstructionFile();
  dm().LoadBlockUndoDeleteFile();
  EXPECT_EQ(Rows(dm().qInstructions), saved);
  const ado::FieldDefs& defs = dm().qBlockUndoDelete.FieldDefs();
  ASSERT_EQ(defs.size(), 5u);  // the fifth links blocks that share a drop
  EXPECT_EQ(defs[4].Name, "LinkedBlock");
  EXPECT_EQ(defs[0].Type, ado::FieldType::ftInteger);
  EXPECT_EQ(defs[2].Type, ado::FieldType::ftString);
  EXPECT_EQ(defs[2].Size, 20);
  EXPECT_EQ(defs[3].Type, ado::FieldType::ftBoolean);
  ASSERT_TRUE(Tdm::LocateRecord(dm().qBlockUndoDelete, "id", ado::Variant(1LL), 0));
  EXPECT_EQ(dm().qBlockUndoDelete.FieldByName("ObjectName").AsString(), longName);
  EXPECT_EQ(dm().qInstructions.FieldDefs()[1].Type, ado::FieldType::ftMemo);

  // The user cancels the view's deletion by hand: only its two instructions are skipped.
  ado::TDataSet edit;
  edit.LoadFromFile(File("BlockUndoDelete.xml"));
  ASSERT_TRUE(edit.Locate("id", ado::Variant(2LL), 0));
  edit.Edit();
  edit.FieldByName("undoDelete").SetAsBoolean(true);
  edit.Post();
  edit.SaveToFile(File("BlockUndoDelete.xml"), ado::pfADTG);
  dm().LoadBlockUndoDeleteFile();
  std::vector<std::string> cancelled;
  for (const auto& [id, sql, block] : Rows(dm().qInstructions)) {
    if (dm().IsUndoDelete(block)) cancelled.push_back(sql);
  }
  EXPECT_EQ(cancelled, (std::vector<std::string>{"DROP VIEW V", "-- second of the block"}));

  // Whatever form a caller names, a name ending ".XML" gets the XML form.
  dm().qBlockUndoDelete.SaveToFile(File("COPY.XML"), ado::pfADTG);
  EXPECT_EQ(ReadFile(File("COPY.XML")).rfind("<xml", 0), 0u);
}

TEST_F(InstructionList, BadFilesNameTheFileAndAFailedSaveKeepsTheOldOne) {
  dm().AddInstruction("SELECT 1", false);
  dm().SaveInstructionFile();
  dm().AddBlockUndoDelete("T", ikDropTable);
  dm().SaveBlockUndoDeleteFile();
  const std::string good = ReadFile(File("instructions.xml"));
  const std::string goodBlocks = ReadFile(File("BlockUndoDelete.xml"));

  auto expectLoadFails = [&](const std::string& what, auto load, const std::string& name) {
    SCOPED_TRACE(what);
    try {
      load();
      ADD_FAILURE() << "no exception";
    } catch (const ado::EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
  };
  auto loadInstructions = [&] { dm().LoadInstructionFile(); };
  auto loadBlocks = [&] { dm().LoadBlockUndoDeleteFile(); };

  fs::remove(File("instructions.xml"));
  expectLoadFails("missing", loadInstructions, "instructions.xml");
  WriteFile(File("instructions.xml"), good.substr(0, good.size() / 2));
  expectLoadFails("truncated", loadInstructions, "instructions.xml");
  WriteFile(File("instructions.xml"), "<settings><Directive/></settings>");
  expectLoadFails("not a recordset", loadInstructions, "instructions.xml");
  // A recordset whose schema lacks "Kind".
  ado::TDataSet partial;
  partial.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                         {"ObjectName", ado::FieldType::ftString, 40},
                         {"undoDelete", ado::FieldType::ftBoolean}};
  partial.CreateDataSet();
  partial.SaveToFile(File("BlockUndoDelete.xml"));
  expectLoadFails("field missing", loadBlocks, "BlockUndoDelete.xml");
  EXPECT_FALSE(dm().qBlockUndoDelete.Active());

  // A text the XML form cannot carry fails the save; the earlier file stays as it was.
  WriteFile(File("BlockUndoDelete.xml"), goodBlocks);
  dm().RestartInstructionList();
  dm().AddInstruction(std::string("SELECT '\0'", 10), false);
  WriteFile(File("instructions.xml"), good);
  EXPECT_THROW(dm().SaveInstructionFile(), ado::EDatabaseError);
  EXPECT_EQ(ReadFile(File("instructions.xml")), good);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"BlockUndoDelete.xml", "instructions.xml"}));
}
