// Speed of the delete confirmation window on 20,000 undo-delete blocks: showing (load, sort by
// id, fill the grid), ordering by name and finding the last name, against loading the same
// block file through the data set in the same run.
#include <benchmark/benchmark.h>

#include <QLineEdit>
#include <QRadioButton>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "components/uDeleteObjects.h"
#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

constexpr int kBlocks = 20000;

std::string ObjectName(int i) { return "Table_" + std::to_string(kBlocks - i) + "_x"; }

// The bench's block file, removed when the program ends.
struct BenchFile {
  std::string path;
  ~BenchFile() { std::remove(path.c_str()); }
};

const std::string& BlockFile() {
  static const BenchFile file{[] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "schemion_delete_objects_bench.xml").string();
    ado::TDataSet ds;
    ds.FieldDefs() = {{"id", ado::FieldType::ftInteger, 0},
                      {"ObjectName", ado::FieldType::ftString, 40},
                      {"Kind", ado::FieldType::ftString, 20},
                      {"undoDelete", ado::FieldType::ftBoolean, 0}};
    ds.CreateDataSet();
    for (int i = 1; i <= kBlocks; ++i) {
      ds.Append();
      ds.Fields(0).SetAsInteger(i);
      ds.Fields(1).SetAsString(ObjectName(i));
      ds.Fields(2).SetAsString(i % 2 ? "ikDropTable" : "ikDropView");
      ds.Fields(3).SetAsBoolean(false);
      ds.Post();
    }
    ds.SaveToFile(p);
    return p;
  }()};
  return file.path;
}

struct Window {
  ui::ScriptedDialogService* dialogs = new ui::ScriptedDialogService();
  ui::ScopedDialogService scope{std::unique_ptr<ui::IDialogService>(dialogs)};
  TDeleteObjectsFrm frm;
  Window() { frm.SetFileName(BlockFile()); }
};

void BM_LoadThroughDataSet(benchmark::State& state) {
  const std::string& file = BlockFile();
  for (auto _ : state) {
    ado::TDataSet ds;
    ds.LoadFromFile(file);
    benchmark::DoNotOptimize(ds.RecordCount());
  }
}
BENCHMARK(BM_LoadThroughDataSet)->Unit(benchmark::kMillisecond);

void BM_Show(benchmark::State& state) {
  Window window;
  for (auto _ : state) {
    if (window.frm.Execute() != ui::mrCancel) state.SkipWithError("unexpected result");
  }
  state.counters["rows"] = window.frm.aq.RecordCount();
}
BENCHMARK(BM_Show)->Unit(benchmark::kMillisecond);

void BM_OrderByName(benchmark::State& state) {
  Window window;
  window.frm.Load();
  for (auto _ : state) {
    window.frm.rbOrderId->setChecked(true);
    window.frm.aq.SetSort("id");
    window.frm.rbOrderName->setChecked(true);
    window.frm.actOrderBy->trigger();
  }
}
BENCHMARK(BM_OrderByName)->Unit(benchmark::kMillisecond);

void BM_FindLastName(benchmark::State& state) {
  Window window;
  window.frm.Load();
  window.frm.edtObjectName->setText(QString::fromStdString(ObjectName(kBlocks)));
  for (auto _ : state) {
    window.frm.aq.First();
    window.frm.actSearch->trigger();
    if (window.frm.aq.FieldByName("id").AsInteger() != kBlocks) {
      state.SkipWithError("last name not found");
    }
  }
}
BENCHMARK(BM_FindLastName)->Unit(benchmark::kMillisecond);

}  // namespace
