// The delete confirmation inside a real update on each embedded server: the producer allows
// deletions and asks for confirmation, a check writes the undo-delete blocks, and the window the
// update shows decides what is deleted: saved marks keep their objects, discarded marks do not,
// and an abort runs nothing.
#include <gtest/gtest.h>

#include <QTableView>
#include <algorithm>
#include <string>
#include <vector>

#include "../engine/UpdateDbSupport.h"
#include "WindowTestSupport.h"
#include "components/uDeleteObjects.h"

using namespace update_test;

namespace {

const char* kSaveQuestion = "Data has been changed.\r\nDo you wish to save data?";
const char* kAbortQuestion =
    "The procedure selected allow to abort the update of the database. \r\nIf you proceed the update will not be "
    "performed!!!\r\n Are you sure you want to quit the update?";

// Master: T and the new table N. Client: T with a surplus field a, and the surplus tables D1 and
// D2, each with a primary key and a row.
std::vector<std::string> MasterScript(const ServerSql& s) {
  const std::string integer = s.integer;
  return {"CREATE TABLE T (id " + integer + " NOT NULL PRIMARY KEY, s varchar(20) NULL)",
          "CREATE TABLE N (id " + integer + " NULL)"};
}

std::vector<std::string> ClientScript(const ServerSql& s) {
  const std::string integer = s.integer;
  return {"CREATE TABLE T (id " + integer + " NOT NULL PRIMARY KEY, s varchar(20) NULL, a " + integer + " NULL)",
          "INSERT INTO T (id, s, a) VALUES (1, 'one', 5)",
          "CREATE TABLE D1 (id " + integer + " NOT NULL PRIMARY KEY, v varchar(20) NULL)",
          "INSERT INTO D1 (id, v) VALUES (1, 'kept')",
          "CREATE TABLE D2 (id " + integer + " NOT NULL PRIMARY KEY)",
          "INSERT INTO D2 (id) VALUES (2)"};
}

void AllowAndConfirmDeletions(TOrvDbSchemaProducer& producer) {
  TDeletePolicy& policy = producer.UpdaterDirectives().DeletePolicy;
  policy.Enabled = policy.DeleteTables = policy.DeleteFields = beYes;
  policy.ConfirmOnDelete = beYes;
}

std::vector<std::string> Column(TDeleteObjectsFrm& w, int aColumn) {
  std::vector<std::string> cells;
  for (int r = 0; r < w.grdElem->model()->rowCount(); ++r) {
    cells.push_back(w.grdElem->model()->index(r, aColumn).data().toString().toStdString());
  }
  return cells;
}

// Selects the grid row of the object and flips its mark.
void Mark(TDeleteObjectsFrm& w, const std::string& aName) {
  const std::vector<std::string> names = Column(w, 1);
  const auto it = std::find(names.begin(), names.end(), aName);
  ASSERT_NE(it, names.end()) << "no row " << aName;
  w.grdElem->setCurrentIndex(w.grdElem->model()->index(static_cast<int>(it - names.begin()), 1));
  w.actToggle->trigger();
}

// The names of the blocks marked for undo in the folder's block file, sorted.
std::vector<std::string> SavedMarks(const std::string& folder) {
  ado::TDataSet set;
  set.LoadFromFile(folder + "/BlockUndoDelete.xml");
  std::vector<std::string> names;
  for (set.First(); !set.Eof(); set.Next()) {
    const ado::TField& undo = set.FieldByName("undoDelete");
    if (!undo.IsNull() && undo.AsBoolean()) names.push_back(set.FieldByName("ObjectName").AsString());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The snapshot lines of one table: its name, columns, indexes and rows.
std::vector<std::string> TableLines(const std::vector<std::string>& snapshot, const std::string& table) {
  std::vector<std::string> lines;
  for (const std::string& line : snapshot) {
    if (line == "table " + table || line.starts_with("column " + table + " ") ||
        line.starts_with("index " + table + ".") || line.starts_with("SELECT * FROM " + table + ":")) {
      lines.push_back(line);
    }
  }
  return lines;
}

enum class Ending { SaveAndExit, FrameYes, FrameNo, Abort };

}  // namespace

TEST(UpdateConfirmDelete, TheWindowDecidesWhatTheUpdateDeletes) {
  windowtest::ScriptedDialogs dialogs;
  struct Case {
    const char* name;
    Ending ending;
    std::vector<std::string> questions;  // asked by the window after the marks
    bool saved;                          // the marks reach the block file
  };
  const Case cases[] = {
      {"SaveAndExit", Ending::SaveAndExit, {}, true},
      {"FrameYes", Ending::FrameYes, {kSaveQuestion}, true},
      {"FrameNo", Ending::FrameNo, {kSaveQuestion}, false},
      {"Abort", Ending::Abort, {kAbortQuestion}, false},
  };
  const std::vector<std::string> expectedBlocks = {"D1|ikDropTable", "D2|ikDropTable", "T.a|ikDropField"};
  for (const ServerSql& server : kServers) {
    const std::string serverName = round_trip::ServerName(server.server);
    const std::string master = round_trip::CreateDatabase(server.server, "Cf" + serverName + "M", MasterScript(server));
    for (const Case& c : cases) {
      SCOPED_TRACE(serverName + " " + c.name);
      const std::string name = "Cf" + serverName + c.name;
      const std::string client = round_trip::CreateDatabase(server.server, name, ClientScript(server));
      const std::string folder = round_trip::NewFolder(name);
      round_trip::Produce(master, folder, AllowAndConfirmDeletions);
      const round_trip::CheckResult check = round_trip::Check(client, folder);
      ASSERT_TRUE(check.ok) << testing::PrintToString(check.errors);
      std::vector<std::string> blocks = check.blocks;
      std::sort(blocks.begin(), blocks.end());
      ASSERT_EQ(blocks, expectedBlocks);
      const std::vector<std::string> before = Snapshot(client);


      int shown = 0;
      dialogs->AnswerModal([&](QDialog& d) {
        auto& w = dynamic_cast<TDeleteObjectsFrm&>(d);
        ++shown;
        // Every block, in id order.
        EXPECT_EQ(Column(w, 0), (std::vector<std::string>{"1", "2", "3"}));
        std::vector<std::string> listed;
        for (size_t r = 0; r < Column(w, 1).size(); ++r) listed.push_back(Column(w, 1)[r] + "|" + Column(w, 2)[r]);
        EXPECT_EQ(listed, check.blocks);
        Mark(w, "T.a");
        Mark(w, "D1");
        dialogs.TakeTexts();
        w.show();
        switch (c.ending) {
          case Ending::SaveAndExit: w.actSaveAndExit->trigger(); break;
          case Ending::FrameYes:
          case Ending::FrameNo:
            dialogs->AnswerConfirm(c.ending == Ending::FrameYes);
            w.close();
            break;
          case Ending::Abort:
            dialogs->AnswerConfirm(true);
            w.actAbortUpdate->trigger();
            break;
        }
        EXPECT_EQ(dialogs.TakeTexts(), c.questions);
        return w.result();
      });
      round_trip::Update(client, folder);
      EXPECT_EQ(shown, 1);
      EXPECT_EQ(SavedMarks(folder), c.saved ? (std::vector<std::string>{"D1", "T.a"}) : std::vector<std::string>{});

      const std::vector<std::string> after = Snapshot(client);
      if (c.ending == Ending::Abort) {
        EXPECT_EQ(after, before) << "an aborted update executed something";
        continue;
      }
      EXPECT_NE(std::find(after.begin(), after.end(), "table N"), after.end()) << "the master's new table is missing";
      EXPECT_EQ(TableLines(after, "D2"), std::vector<std::string>{});
      if (c.saved) {
        // The kept objects keep their rows and keys.
        EXPECT_EQ(TableLines(after, "D1"), TableLines(before, "D1"));
        EXPECT_EQ(TableLines(after, "T"), TableLines(before, "T"));
      } else {
        EXPECT_EQ(TableLines(after, "D1"), std::vector<std::string>{});
        EXPECT_EQ(round_trip::Rows(client, "SELECT * FROM T"), std::vector<std::string>{"1|one"});
      }
    }
  }
}
