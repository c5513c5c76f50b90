// Speed of the instruction-file editor on a 200,000-instruction file: inserting and deleting at
// instruction 1 (every number after it changes) and finding the last row's text, against
// loading the same file through the data set in the same run.
#include <benchmark/benchmark.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "components/uSqlFile.h"
#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

constexpr int kInstructions = 200000;

std::string InstructionText(int i) {
  return "ALTER TABLE [dbo].[Table_" + std::to_string(i / 20) + "] ADD [Column_" +
         std::to_string(i) + "] varchar(50) NULL";
}

// The bench's instruction file, removed when the program ends.
struct BenchFile {
  std::string path;
  ~BenchFile() { std::remove(path.c_str()); }
};

const std::string& InstructionFile() {
  static const BenchFile file{[] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "schemion_editor_bench.xml").string();
    ado::TDataSet ds;
    ds.FieldDefs() = {{"id", ado::FieldType::ftInteger, 0},
                      {"instruction", ado::FieldType::ftMemo, 0},
                      {"IdBlockUndoDelete", ado::FieldType::ftInteger, 0}};
    ds.CreateDataSet();
    for (int i = 1; i <= kInstructions; ++i) {
      ds.Append();
      ds.Fields(0).SetAsInteger(i);
      ds.Fields(1).SetAsString(InstructionText(i));
      ds.Fields(2).SetAsInteger(0);
      ds.Post();
    }
    ds.SaveToFile(p);
    return p;
  }()};
  return file.path;
}

// An editor on the file, with questions answered Yes.
struct Editor {
  ui::ScriptedDialogService* dialogs = new ui::ScriptedDialogService();
  ui::ScopedDialogService scope{std::unique_ptr<ui::IDialogService>(dialogs)};
  TSqlFileFrm frm;
  Editor() {
    frm.SetFileName(InstructionFile());
    frm.Load();
  }
};

void BM_LoadThroughDataSet(benchmark::State& state) {
  const std::string& file = InstructionFile();
  for (auto _ : state) {
    ado::TDataSet ds;
    ds.SetSort("id");
    ds.LoadFromFile(file);
    benchmark::DoNotOptimize(ds.RecordCount());
  }
}
BENCHMARK(BM_LoadThroughDataSet)->Unit(benchmark::kMillisecond);

void BM_EditorInsertAt1(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) {
    editor.frm.LocateInstruction(1);
    editor.frm.actInsert->trigger();
    editor.frm.memo->setPlainText("CREATE TABLE t (n int)");
    editor.frm.actAccept->trigger();
  }
  state.counters["rows"] = editor.frm.aq.RecordCount();
}
BENCHMARK(BM_EditorInsertAt1)->Unit(benchmark::kMillisecond);

void BM_EditorDeleteAt1(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) {
    editor.frm.LocateInstruction(1);
    editor.dialogs->AnswerConfirm(true);
    editor.frm.actDelete->trigger();
  }
  state.counters["rows"] = editor.frm.aq.RecordCount();
}
BENCHMARK(BM_EditorDeleteAt1)->Unit(benchmark::kMillisecond);

void BM_EditorFindLastText(benchmark::State& state) {
  Editor editor;
  editor.frm.edtSearchText->setText(QString::fromStdString(InstructionText(kInstructions)));
  for (auto _ : state) {
    editor.frm.LocateInstruction(1);
    editor.frm.actSearch->trigger();
    if (editor.frm.aq.FieldByName("id").AsInteger() != kInstructions) {
      state.SkipWithError("last row not found");
    }
  }
}
BENCHMARK(BM_EditorFindLastText)->Unit(benchmark::kMillisecond);

}  // namespace
