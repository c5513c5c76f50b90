// Helpers of the window tests: the scripted dialog service, instruction files written through
// the data layer, pictures for review.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QPixmap>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"
#include "platform/ui/DialogService.h"

namespace windowtest {

// Installs a scripted dialog service for the test and gives access to it.
class ScriptedDialogs {
 public:
  ScriptedDialogs()
      : service_(new ui::ScriptedDialogService()),
        scope_(std::unique_ptr<ui::IDialogService>(service_)) {}
  ui::ScriptedDialogService& operator*() { return *service_; }
  ui::ScriptedDialogService* operator->() { return service_; }
  // Texts of the questions asked since the last call.
  std::vector<std::string> TakeTexts() {
    std::vector<std::string> texts;
    const auto& asked = service_->Questions();
    for (size_t i = seen_; i < asked.size(); ++i) texts.push_back(asked[i].text);
    seen_ = asked.size();
    return texts;
  }

 private:
  ui::ScriptedDialogService* service_;
  ui::ScopedDialogService scope_;
  size_t seen_ = 0;
};

// A fresh folder under the test build folder.
inline std::string TestFolder(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::path(SCHEMION_TEST_BUILD_DIR) / "work" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

struct Instruction {
  int id;
  std::string instruction;
  int block = 0;
};

// Writes an instruction file as the engine does: id, instruction, IdBlockUndoDelete.
inline void WriteInstructions(const std::string& file, const std::vector<Instruction>& rows) {
  ado::TDataSet ds;
  ds.FieldDefs() = {{"id", ado::FieldType::ftInteger, 0},
                    {"instruction", ado::FieldType::ftMemo, 0},
                    {"IdBlockUndoDelete", ado::FieldType::ftInteger, 0}};
  ds.CreateDataSet();
  for (const Instruction& r : rows) {
    ds.Append();
    ds.FieldByName("id").SetAsInteger(r.id);
    ds.FieldByName("instruction").SetAsString(r.instruction);
    ds.FieldByName("IdBlockUndoDelete").SetAsInteger(r.block);
    ds.Post();
  }
  ds.SaveToFile(file);
}

// The rows of a data set in its order, the cursor kept.
inline std::vector<Instruction> Rows(ado::TDataSet& ds) {
  std::vector<Instruction> rows;
  if (!ds.Active() || ds.IsEmpty()) return rows;
  const int recNo = ds.RecNo();
  for (ds.First(); !ds.Eof(); ds.Next()) {
    rows.push_back({static_cast<int>(ds.FieldByName("id").AsInteger()),
                    ds.FieldByName("instruction").AsString(),
                    static_cast<int>(ds.FieldByName("IdBlockUndoDelete").AsInteger())});
  }
  ds.SetRecNo(recNo);
  return rows;
}

inline std::vector<int> Ids(ado::TDataSet& ds) {
  std::vector<int> ids;
  for (const Instruction& r : Rows(ds)) ids.push_back(r.id);
  return ids;
}

inline std::vector<std::string> Texts(ado::TDataSet& ds) {
  std::vector<std::string> texts;
  for (const Instruction& r : Rows(ds)) texts.push_back(r.instruction);
  return texts;
}

// Caption, hint and enabled state of an action.
struct ActionLook {
  QAction* action;
  std::string caption;
  std::string hint;
};

inline void ExpectLooks(const std::vector<ActionLook>& looks) {
  for (const ActionLook& l : looks) {
    SCOPED_TRACE(l.caption);
    EXPECT_EQ(l.action->text().toStdString(), l.caption);
    EXPECT_EQ(l.action->toolTip().toStdString(), l.hint.empty() ? l.caption : l.hint);
  }
}

// Runs the deletions that closed windows asked for.
inline void ProcessDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ui::ProcessPendingMessages();
}

// Saves the window's picture in the test build folder for review.
inline void SavePicture(QWidget& window, const std::string& name) {
  window.show();
  ui::ProcessPendingMessages();
  const QPixmap picture = window.grab();
  const std::string path = std::string(SCHEMION_TEST_BUILD_DIR) + "/" + name;
  std::filesystem::remove(path);
  ASSERT_TRUE(picture.save(QString::fromStdString(path), "PNG"));
}

}  // namespace windowtest
