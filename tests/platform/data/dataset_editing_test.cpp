// Data sets as the engine fills and walks them: creation from field definitions, the cursor,
// appending, inserting, editing, cancelling and deleting rows, field access by name.
#include <gtest/gtest.h>

#include "platform/data/DataErrors.h"
#include "platform/data/DataSet.h"

using namespace ado;

namespace {

void CreateInstructions(TDataSet& ds) {
  ds.FieldDefs() = {{"id", FieldType::ftInteger},
                    {"instruction", FieldType::ftMemo},
                    {"IdBlockUndoDelete", FieldType::ftInteger}};
  ds.CreateDataSet();
}

void AddInstruction(TDataSet& ds, int id, const std::string& sql, int block = 0) {
  ds.Append();
  ds.FieldByName("id").SetAsInteger(id);
  ds.FieldByName("instruction").SetAsString(sql);
  ds.FieldByName("IdBlockUndoDelete").SetAsInteger(block);
  ds.Post();
}

std::vector<int64_t> Ids(TDataSet& ds) {
  std::vector<int64_t> ids;
  for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(ds.FieldByName("id").AsInteger());
  return ids;
}

}  // namespace

TEST(DataSetEditing, AppendWalkAndFieldAccessIgnoringCase) {
  TDataSet ds;
  EXPECT_FALSE(ds.Active());
  EXPECT_THROW(ds.First(), EDatabaseError);
  CreateInstructions(ds);
  EXPECT_TRUE(ds.Active());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 0);

  AddInstruction(ds, 1, "CREATE TABLE t (a int)");
  AddInstruction(ds, 2, "DROP TABLE u", 1);
  AddInstruction(ds, 3, "SELECT 1");
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.RecNo(), 3);  // the appended row is current
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{1, 2, 3}));

  ds.First();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.FieldByName("INSTRUCTION").AsString(), "CREATE TABLE t (a int)");
  EXPECT_EQ(ds.FieldByName("idblockundodelete").AsInteger(), 0);
  EXPECT_EQ(ds.Fields(0).FieldName(), "id");
  EXPECT_EQ(ds.FindField("nope"), nullptr);
  EXPECT_NE(ds.FindField("Id"), nullptr);
  try {
    ds.FieldByName("table_nam");
    FAIL() << "missing field must raise";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'table_nam' not found");
  }
  EXPECT_THROW(ds.Fields(3), EDatabaseError);
  const TDataSet& view = ds;
  EXPECT_EQ(view.FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(view.FindField("x"), nullptr);

  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 3);
  ds.Prior();
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 2);
  EXPECT_EQ(ds.RecNo(), 2);
  ds.SetRecNo(1);
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 1);
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 1);
}

TEST(DataSetEditing, PostCancelDeleteAndStates) {
  TDataSet ds;
  CreateInstructions(ds);
  AddInstruction(ds, 1, "a");
  AddInstruction(ds, 2, "b");
  AddInstruction(ds, 3, "c");

  // Values can be set only while editing.
  ds.First();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_THROW(ds.FieldByName("instruction").SetAsString("x"), EDatabaseError);

  // Edit + Cancel leaves the row as it was; Edit + Post changes it.
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  ds.FieldByName("instruction").SetAsString("changed");
  EXPECT_EQ(ds.FieldByName("instruction").AsString(), "changed");
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("instruction").AsString(), "a");
  ds.Edit();
  ds.FieldByName("instruction").SetAsString("a2");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("instruction").AsString(), "a2");

  // Moving while editing posts the pending change.
  ds.Edit();
  ds.FieldByName("IdBlockUndoDelete").SetAsInteger(7);
  ds.Next();
  ds.First();
  EXPECT_EQ(ds.FieldByName("IdBlockUndoDelete").AsInteger(), 7);

  // Insert puts the row before the current one; Cancel of an insert adds nothing.
  ds.SetRecNo(2);
  ds.Insert();
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_TRUE(ds.FieldByName("id").IsNull());
  ds.FieldByName("id").SetAsInteger(-1);
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{1, -1, 2, 3}));
  ds.Insert();
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 4);

  // Delete removes the current row and moves to the next one (or the new last one).
  ds.SetRecNo(2);
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 2);
  ds.Last();
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 2);
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{1, 2}));
  ds.First();
  ds.Delete();
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof());
  EXPECT_THROW(ds.Delete(), EDatabaseError);

  // Edit on an empty set inserts, as the engine's data sets do.
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("id").SetAsInteger(9);
  ds.Post();
  EXPECT_EQ(Ids(ds), (std::vector<int64_t>{9}));

  ds.EmptyDataSet();
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.RecordCount(), 0);
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldDefs().size(), 3u);  // definitions survive Close
}

TEST(DataSetEditing, ValuesConvertToTheFieldTypeAndRequiredFieldsMustBeFilled) {
  TDataSet ds;
  FieldDef name{"ObjectName", FieldType::ftString, 40};
  name.Required = true;
  ds.FieldDefs() = {{"id", FieldType::ftInteger}, name, {"Kind", FieldType::ftString, 20},
                    {"undoDelete", FieldType::ftBoolean}, {"amount", FieldType::ftCurrency},
                    {"created", FieldType::ftDateTime}};
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("id").SetAsString("12");
  EXPECT_EQ(ds.FieldByName("id").Value().Type(), VarType::Int);
  EXPECT_THROW(ds.FieldByName("id").SetAsString("twelve"), EVariantError);
  ds.FieldByName("undoDelete").SetAsString("False");
  ds.FieldByName("amount").SetAsString("12.345");
  ds.FieldByName("created").SetAsString("2024-02-29T10:11:12");
  try {
    ds.Post();
    FAIL() << "a required field without value must stop Post";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'ObjectName' must have a value");
  }
  // A name longer than the declared size is kept whole, never cut.
  const std::string longName(60, 'n');
  ds.FieldByName("ObjectName").SetAsString(longName);
  ds.Post();
  EXPECT_EQ(ds.FieldByName("ObjectName").AsString(), longName);
  EXPECT_FALSE(ds.FieldByName("undoDelete").AsBoolean());
  EXPECT_EQ(ds.FieldByName("amount").AsCurrency().scaled, 123450);
  EXPECT_EQ(DateTimeToIso(ds.FieldByName("created").AsDateTime()), "2024-02-29T10:11:12");
  EXPECT_TRUE(ds.FieldByName("Kind").IsNull());
  ds.Edit();
  ds.FieldByName("id").Clear();
  ds.Post();
  EXPECT_TRUE(ds.FieldByName("id").IsNull());

  TDataSet dup;
  dup.FieldDefs() = {{"a", FieldType::ftInteger}, {"A", FieldType::ftString, 5}};
  EXPECT_THROW(dup.CreateDataSet(), EDatabaseError);
  TDataSet none;
  EXPECT_THROW(none.CreateDataSet(), EDatabaseError);
}

TEST(DataSetEditing, CloneIsAnIndependentCopyAndBookmarksFollowRows) {
  TDataSet ds;
  CreateInstructions(ds);
  for (int i = 1; i <= 5; ++i) AddInstruction(ds, i, "s" + std::to_string(i));
  ds.SetRecNo(4);
  const TBookmark mark = ds.GetBookmark();
  ds.SetSort("id DESC");
  ds.GotoBookmark(mark);
  EXPECT_EQ(ds.FieldByName("id").AsInteger(), 4);
  EXPECT_EQ(ds.RecNo(), 2);

  TDataSet copy;
  copy.Clone(ds);
  EXPECT_EQ(Ids(copy), (std::vector<int64_t>{1, 2, 3, 4, 5}));  // natural order, no sort
  copy.First();
  copy.Delete();
  EXPECT_EQ(copy.RecordCount(), 4);
  EXPECT_EQ(ds.RecordCount(), 5);

  ds.GotoBookmark(mark);
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(mark));
  EXPECT_THROW(ds.GotoBookmark(mark), EDatabaseError);
}
