// Speed of persisted recordsets and Locate: a 100,000-row file is loaded and saved by the data
// set and, for reference, parsed and walked by pugixml alone in the same run. The memory a loaded
// wide, sparse recordset holds is reported per field.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <pugixml.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/data/DataSet.h"

using namespace ado;

namespace {

constexpr int kRows = 100000;

// A file shaped like a schema file of columns: text, numbers, flags, a memo and a date.
// A file of the bench, removed when the program ends.
struct BenchFile {
  std::string path;
  ~BenchFile() { std::remove(path.c_str()); }
};

const std::string& SampleFile() {
  static const BenchFile file{[] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "schemion_persist_bench.xml").string();
    TDataSet ds;
    ds.FieldDefs() = {{"TABLE_SCHEMA", FieldType::ftString, 50},
                      {"TABLE_NAME", FieldType::ftString, 100},
                      {"COLUMN_NAME", FieldType::ftString, 100},
                      {"ORDINAL_POSITION", FieldType::ftInteger},
                      {"COLUMN_DEFAULT", FieldType::ftMemo},
                      {"IS_NULLABLE", FieldType::ftInteger},
                      {"COLUMN_TYPE_NAME", FieldType::ftString, 50},
                      {"SIZE", FieldType::ftInteger},
                      {"IS_IDENTITY", FieldType::ftBoolean},
                      {"DATE_CREATED", FieldType::ftDateTime}};
    ds.CreateDataSet();
    for (int i = 0; i < kRows; ++i) {
      ds.Append();
      ds.Fields(0).SetAsString("dbo");
      ds.Fields(1).SetAsString("Table_" + std::to_string(i / 20));
      ds.Fields(2).SetAsString("Column_" + std::to_string(i % 20));
      ds.Fields(3).SetAsInteger(i % 20 + 1);
      if (i % 3 == 0) ds.Fields(4).SetAsString("(getdate() & 'x')");
      ds.Fields(5).SetAsInteger(i % 2);
      ds.Fields(6).SetAsString(i % 2 ? "varchar" : "int");
      ds.Fields(7).SetAsInteger(i % 255);
      ds.Fields(8).SetAsBoolean(i % 20 == 0);
      ds.Fields(9).SetAsDateTime(EncodeDateTime(2020, 1 + i % 12, 1 + i % 28, i % 24, i % 60, 0));
      ds.Post();
    }
    ds.SaveToFile(p);
    return p;
  }()};
  return file.path;
}

void BM_PugixmlParseAndWalk(benchmark::State& state) {
  const std::string& file = SampleFile();
  for (auto _ : state) {
    auto doc = std::make_unique<pugi::xml_document>();
    doc->load_file(file.c_str());
    size_t total = 0;
    for (pugi::xml_node row : doc->document_element().child("rs:data").children()) {
      for (pugi::xml_attribute a : row.attributes()) total += std::char_traits<char>::length(a.value());
    }
    benchmark::DoNotOptimize(total);
    state.PauseTiming();  // freeing is not part of loading, here or below
    doc.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PugixmlParseAndWalk)->Unit(benchmark::kMillisecond);

void BM_DataSetLoadFromFile(benchmark::State& state) {
  const std::string& file = SampleFile();
  for (auto _ : state) {
    auto ds = std::make_unique<TDataSet>();
    ds->LoadFromFile(file);
    benchmark::DoNotOptimize(ds->RecordCount());
    state.PauseTiming();
    ds.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetLoadFromFile)->Unit(benchmark::kMillisecond);

// A file of 1,024 columns whose rows hold one value each; argument: rows. Reports the heap bytes
// the loaded data set holds per field.
void BM_LoadWideSparse(benchmark::State& state) {
  constexpr int kColumns = 1024;
  const int rows = static_cast<int>(state.range(0));
  const BenchFile file{(std::filesystem::temp_directory_path() / "schemion_wide_bench.xml").string()};
  {
    TDataSet ds;
    for (int c = 0; c < kColumns; ++c) ds.FieldDefs().push_back({"c" + std::to_string(c), FieldType::ftInteger});
    ds.CreateDataSet();
    for (int i = 0; i < rows; ++i) {
      ds.Append();
      ds.Fields(i % kColumns).SetAsInteger(i);
      ds.Post();
    }
    ds.SaveToFile(file.path);
  }
  double held = 0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    TDataSet ds;
    ds.LoadFromFile(file.path);
    held = static_cast<double>(mallinfo2().uordblks - before);
  }
  state.counters["bytes_per_field"] = held / (static_cast<double>(rows) * kColumns);
  state.counters["MB_held"] = held / 1e6;
}
BENCHMARK(BM_LoadWideSparse)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DataSetSaveToFile(benchmark::State& state) {
  TDataSet ds;
  ds.LoadFromFile(SampleFile());
  const std::string out = SampleFile() + ".out.xml";
  for (auto _ : state) ds.SaveToFile(out);
  std::remove(out.c_str());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetSaveToFile)->Unit(benchmark::kMillisecond);

// The engine's pattern: one Locate per name on a key list, thousands of times over.
void BM_LocateRepeatedOnKeyList(benchmark::State& state) {
  TDataSet ds;
  ds.LoadFromFile(SampleFile());
  int i = 0;
  for (auto _ : state) {
    const VariantArray key{"TABLE_" + std::to_string(i % (kRows / 20)), "column_" + std::to_string(i % 20)};
    benchmark::DoNotOptimize(ds.Locate("table_name;column_name", Variant(key), loCaseInsensitive));
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocateRepeatedOnKeyList);

// The engine's LocateDestTable: filter off, Locate by name, filter on again. The view and the
// index of each setting are kept aside while no row changes, so no step scans the rows.
void BM_LocateBetweenFilterSwitches(benchmark::State& state) {
  TDataSet ds;
  ds.LoadFromFile(SampleFile());
  ds.SetFilter("table_name = 'TABLE_7' or is_identity = True");
  ds.SetFiltered(true);
  int i = 0;
  for (auto _ : state) {
    ds.SetFiltered(false);
    const VariantArray key{"table_" + std::to_string(i % (kRows / 20)), "COLUMN_" + std::to_string(i % 20)};
    benchmark::DoNotOptimize(ds.Locate("table_name;column_name", Variant(key), loCaseInsensitive));
    ds.SetFiltered(true);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocateBetweenFilterSwitches)->Unit(benchmark::kMicrosecond);

// The engine's per-table pass: filter the columns by one table name after another and walk
// the filtered rows. After the first two filters an index serves them.
void BM_FilterByTableName(benchmark::State& state) {
  TDataSet ds;
  ds.LoadFromFile(SampleFile());
  ds.SetFiltered(true);
  int i = 0;
  for (auto _ : state) {
    ds.SetFilter("table_name = 'Table_" + std::to_string(i % (kRows / 20)) + "'");
    int64_t sum = 0;
    for (ds.First(); !ds.Eof(); ds.Next()) sum += ds.FieldByName("ORDINAL_POSITION").AsInteger();
    benchmark::DoNotOptimize(sum);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FilterByTableName)->Unit(benchmark::kMicrosecond);

}  // namespace
