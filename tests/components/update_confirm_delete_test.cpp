// The updater's delete confirmation as an update asks it: the window's saved marks cancel
// deletions, an abort runs nothing, and a block file that is gone is an error naming it.
#include <gtest/gtest.h>

#include <QTableView>
#include <filesystem>
#include <string>
#include <vector>

#include "../engine/UpdateDbSupport.h"
#include "WindowTestSupport.h"
#include "components/ComponentError.h"
#include "components/uDeleteObjects.h"

using namespace update_test;

namespace {

// Selects the grid row of the object and flips its mark.
void Mark(TDeleteObjectsFrm& w, const std::string& aName) {
  QAbstractItemModel& model = *w.grdElem->model();
  for (int r = 0; r < model.rowCount(); ++r) {
    if (model.index(r, 1).data().toString().toStdString() == aName) {
      w.grdElem->setCurrentIndex(model.index(r, 1));
      w.actToggle->trigger();
      return;
    }
  }
  ADD_FAILURE() << "no row " << aName;
}

}  // namespace

TEST(UpdateConfirmDelete, TheWindowDecidesWhatIsDeleted) {
  windowtest::ScriptedDialogs dialogs;
  struct Case {
    const char* name;
    bool abort;
    std::vector<std::string> tables;
  };
  for (const Case& c : {Case{"Kept", false, {"B", "C"}}, Case{"Aborted", true, {"A", "B"}}}) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string("Confirm") + c.name;
    const std::string client = round_trip::CreateDatabase(
        Server::SqlServer, name, {"CREATE TABLE A (x int NULL)", "CREATE TABLE B (x int NULL)"});
    const std::string folder = round_trip::NewFolder(name);
    WriteInstructions(folder, {{1, "DROP TABLE A", 1}, {2, "DROP TABLE B", 2}, {3, "CREATE TABLE C (x int NULL)", 0}});
    WriteBlocks(folder, {{1, "A", "ikDropTable", false}, {2, "B", "ikDropTable", false}});
    dialogs->AnswerConfirm(true);
    dialogs->AnswerModal([&](QDialog& d) {
      auto& w = dynamic_cast<TDeleteObjectsFrm&>(d);
      if (c.abort) {
        w.actAbortUpdate->trigger();
      } else {
        Mark(w, "B");
        w.actSaveAndExit->trigger();
      }
      return w.result();
    });
    auto updater = NewUpdater(client, folder, [](RecordingUpdater& u) {
      u.UpdaterDirectives().DeletePolicy.ConfirmOnDelete = beYes;
    });
    EXPECT_TRUE(updater->dm()->UpdateDb(false)) << testing::PrintToString(updater->ErrorTexts());
    EXPECT_EQ(updater->confirmCalls, 1);
    updater.reset();
    std::vector<std::string> tables;
    for (const std::string& line : Snapshot(client)) {
      if (line.rfind("table ", 0) == 0) tables.push_back(line.substr(6));
    }
    EXPECT_EQ(tables, c.tables);
  }

  TOrvDbSchemaUpdater updater;
  updater.DirSql = round_trip::NewFolder("ConfirmGone") + "\\";
  try {
    updater.ConfirmDelete();
    ADD_FAILURE() << "no error";
  } catch (const EComponentError& e) {
    EXPECT_EQ(std::string(e.what()),
              DbFormat(updater.LanguageOptions().MsgNoFile, {round_trip::NewFolder("ConfirmGone") + "\\BlockUndoDelete.xml"}));
  }
}
