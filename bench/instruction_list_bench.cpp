// Speed of the engine's instruction list: 100,000 instructions appended (each echoed to the
// console and the progress window, offscreen) and both files saved, against the same 100,000
// lines written to the two windows alone plus the data layer's save of the same rows, in the same
// run. Goal: the engine's own work adds at most 50 %.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "components/DbSchemaUpdater.h"
#include "components/uConsole.h"
#include "components/uProgressInfo.h"
#include "engine/uDm.h"

namespace {

constexpr int kInstructions = 100000;

std::string Sql(int i) {
  return "ALTER TABLE [dbo].[Table_" + std::to_string(i / 20) + "] ADD [Column_" +
         std::to_string(i % 20) + "] varchar(50) NULL";
}

std::string Folder() {
  const std::string folder =
      (std::filesystem::temp_directory_path() / "schemion_instruction_bench").string();
  std::filesystem::create_directories(folder);
  return folder;
}

std::unique_ptr<TOrvDbSchemaUpdater> NewUpdater(const std::string& folder) {
  auto updater = std::make_unique<TOrvDbSchemaUpdater>();
  updater->DirSql = folder;
  updater->Initialize();
  updater->dm()->RestartInstructionList();
  return updater;
}

void BM_EngineAppendAndSave(benchmark::State& state) {
  const std::string folder = Folder();
  for (auto _ : state) {
    state.PauseTiming();
    auto updater = NewUpdater(folder);
    Tdm& dm = *updater->dm();
    state.ResumeTiming();
    for (int i = 0; i < kInstructions; ++i) {
      if (i % 1000 == 0) {
        dm.AddBlockUndoDelete("Table_" + std::to_string(i), ikDropTable);
        dm.BeginUndoDeleteBlock();
      }
      dm.AddInstruction(Sql(i), false);
      if (i % 1000 == 0) dm.EndUndoDeleteBlock();
    }
    dm.SaveInstructionFile();
    dm.SaveBlockUndoDeleteFile();
  }
  std::filesystem::remove_all(folder);
}

void BM_WindowsAndDataLayerAlone(benchmark::State& state) {
  const std::string folder = Folder();
  for (auto _ : state) {
    state.PauseTiming();
    auto updater = NewUpdater(folder);
    TConsoleFrm& console = *updater->ConsoleFrm();
    TProgressInfoFrm& progress = *updater->ProgressInfoFrm();
    ado::TDataSet rows;
    rows.FieldDefs() = updater->dm()->qInstructions.FieldDefs();
    rows.CreateDataSet();
    for (int i = 0; i < kInstructions; ++i) {
      rows.Append();
      rows.Fields(0).SetAsInteger(i + 1);
      rows.Fields(1).SetAsString(Sql(i));
      rows.Fields(2).SetAsInteger(0);
      rows.Post();
    }
    state.ResumeTiming();
    for (int i = 0; i < kInstructions; ++i) {
      const std::string line = "NEW INSTRUCTION: (" + std::to_string(i + 1) + ") " + Sql(i);
      console.AddLine(line);
      progress.SetInfoText(line);
    }
    rows.SaveToFile(folder + "/instructions.xml");
  }
  std::filesystem::remove_all(folder);
}

// The console's share of the echo: the same lines to the hidden console alone, 10,000 and
// 100,000 of them; pending window events are processed once per tick, not per line.
void BM_HiddenConsoleAlone(benchmark::State& state) {
  const std::string folder = Folder();
  for (auto _ : state) {
    state.PauseTiming();
    auto updater = NewUpdater(folder);
    TConsoleFrm& console = *updater->ConsoleFrm();
    state.ResumeTiming();
    for (int i = 0; i < state.range(0); ++i) {
      console.AddLine("NEW INSTRUCTION: (" + std::to_string(i + 1) + ") " + Sql(i));
    }
    console.FlushLines();
  }
  std::filesystem::remove_all(folder);
}

}  // namespace

BENCHMARK(BM_EngineAppendAndSave)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowsAndDataLayerAlone)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HiddenConsoleAlone)->Arg(10000)->Arg(kInstructions)->Iterations(1)->Unit(benchmark::kMillisecond);

// The windows run offscreen unless the caller chose a platform.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
