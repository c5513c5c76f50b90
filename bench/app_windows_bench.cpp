// Speed of the application's windows: the instruction log filled with 1,000,000 instructions
// against loading the same instruction file through the data set in the same run, and the main
// window's log pane mirroring 20,000 and 40,000 log lines (it must grow linearly).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "app/dmMain.h"
#include "app/ufrmInstructions.h"
#include "app/ufrmMain.h"
#include "platform/data/DataSet.h"
#include "platform/ui/DialogService.h"

namespace {

namespace fs = std::filesystem;
constexpr int kInstructions = 1000000;

struct BenchFile {
  std::string path;
  ~BenchFile() { std::remove(path.c_str()); }
};

const std::string& InstructionFile() {
  static const BenchFile file{[] {
    const std::string p = (fs::temp_directory_path() / "schemion_app_windows_bench.xml").string();
    ado::TDataSet ds;
    ds.FieldDefs() = {{"id", ado::FieldType::ftInteger, 0},
                      {"instruction", ado::FieldType::ftMemo, 0},
                      {"IdBlockUndoDelete", ado::FieldType::ftInteger, 0}};
    ds.CreateDataSet();
    for (int i = 1; i <= kInstructions; ++i) {
      ds.Append();
      ds.Fields(0).SetAsInteger(i);
      ds.Fields(1).SetAsString("ALTER TABLE dbo.Table_" + std::to_string(i) + " ADD Column_" + std::to_string(i) +
                               " varchar (40) NULL");
      ds.Fields(2).SetAsInteger(0);
      ds.Post();
    }
    ds.SaveToFile(p);
    return p;
  }()};
  return file.path;
}

void BM_LoadInstructionFile(benchmark::State& state) {
  for (auto _ : state) {
    ado::TDataSet ds;
    ds.LoadFromFile(InstructionFile());
    benchmark::DoNotOptimize(ds.RecordCount());
  }
}
BENCHMARK(BM_LoadInstructionFile)->Unit(benchmark::kMillisecond);

void BM_InstructionLogFill(benchmark::State& state) {
  ado::TDataSet ds;
  ds.LoadFromFile(InstructionFile());
  for (auto _ : state) {
    TfrmInstructions window;
    window.ShowInstructions(&ds);
    benchmark::DoNotOptimize(window.ds.RecordCount());
  }
}
BENCHMARK(BM_InstructionLogFill)->Unit(benchmark::kMillisecond);

void BM_LogMirror(benchmark::State& state) {
  ui::ScopedDialogService scope(std::make_unique<ui::ScriptedDialogService>());
  const std::string folder = (fs::temp_directory_path() / "schemion_app_windows_bench").string();
  const int lines = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    {
      TdmMain dm(folder);
      TfrmMain window(dm);
      state.ResumeTiming();
      for (int i = 0; i < lines; ++i) dm.Log("Load settings: \"line " + std::to_string(i) + "\"");
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_LogMirror)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
