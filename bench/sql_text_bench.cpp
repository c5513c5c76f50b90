// Speed of the engine's SQL text routines: 5,000 schema-prefix lookups among 5,000 and 10,000
// client tables (goal: 10,000 within 2.5x of 5,000), 5,000 rename lookups in lists of 1,000
// entries, and FieldToSql over a 100,000-row data file against loading that file in the same run
// (goal: no slower than the load).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "components/DbSchemaProducer.h"
#include "engine/uDm.h"

namespace {

constexpr int kCalls = 5000;
constexpr int kRenames = 1000;
constexpr int kRows = 100000;

std::string Table(int i) { return "Table_" + std::to_string(i); }

void FillDestTables(Tdm& dm, int tables) {
  dm.qDestTables.Close();
  dm.qDestTables.FieldDefs() = {{"table_name", ado::FieldType::ftString, 128},
                                {"table_schema", ado::FieldType::ftString, 128},
                                {"table_type", ado::FieldType::ftString, 20}};
  dm.qDestTables.CreateDataSet();
  for (int i = 0; i < tables; ++i) {
    dm.qDestTables.Append();
    dm.qDestTables.FieldByName("table_name").SetAsString(Table(i));
    dm.qDestTables.FieldByName("table_schema").SetAsString(i % 2 ? "dbo" : "sales");
    dm.qDestTables.FieldByName("table_type").SetAsString("TABLE");
    dm.qDestTables.Post();
  }
  dm.qDestTables.SetFilter("table_type = 'TABLE'");
  dm.qDestTables.SetFiltered(true);
}

void SelectSqlServer(Tdm& dm) {
  dm.SetConnectionString("Provider=SQLOLEDB.1;Data Source=bench;Initial Catalog=bench", false);
  dm.SelectDbSpecific();
}

void BM_DestTableSchemaPrefix(benchmark::State& state) {
  Tdm dm;
  SelectSqlServer(dm);
  const int tables = static_cast<int>(state.range(0));
  FillDestTables(dm, tables);
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      benchmark::DoNotOptimize(dm.GetDestTableSchemaPrefix("dbo", Table((i * 7919) % tables)));
    }
  }
}
BENCHMARK(BM_DestTableSchemaPrefix)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_RenameLookups(benchmark::State& state) {
  TOrvDbSchemaProducer producer;
  for (int i = 0; i < kRenames; ++i) {
    producer.RenamedTables.push_back(Table(i) + "=New_" + Table(i));
    producer.RenamedFields.push_back(Table(i) + ".Col=New_" + Table(i) + ".NewCol");
  }
  Tdm dm;
  dm.Producer = &producer;
  std::string field, table;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      benchmark::DoNotOptimize(dm.OldTableName("New_" + Table(i % (2 * kRenames))));
      dm.NewFieldName(Table(i % (2 * kRenames)), "Col", field, table);
      benchmark::DoNotOptimize(field);
    }
  }
}
BENCHMARK(BM_RenameLookups)->Unit(benchmark::kMillisecond);

std::string DataFile() {
  static const std::string file = [] {
    const std::string path =
        (std::filesystem::temp_directory_path() / "schemion_sql_text_bench.xml").string();
    ado::TDataSet rows;
    rows.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                        {"name", ado::FieldType::ftString, 50},
                        {"price", ado::FieldType::ftFloat},
                        {"amount", ado::FieldType::ftCurrency},
                        {"created", ado::FieldType::ftDateTime},
                        {"active", ado::FieldType::ftBoolean},
                        {"note", ado::FieldType::ftMemo}};
    rows.CreateDataSet();
    for (int i = 0; i < kRows; ++i) {
      rows.Append();
      rows.FieldByName("id").SetAsInteger(i);
      rows.FieldByName("name").SetAsString("O'Name " + std::to_string(i));
      rows.FieldByName("price").SetAsFloat(i / 7.0);
      rows.FieldByName("amount").SetAsCurrency(ado::Currency{i * 12345LL});
      rows.FieldByName("created").SetAsDateTime(ado::EncodeDateTime(2000 + i % 20, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, i % 1000));
      rows.FieldByName("active").SetAsBoolean(i % 2 == 0);
      if (i % 3) rows.FieldByName("note").SetAsString("note " + std::to_string(i));
      rows.Post();
    }
    rows.SaveToFile(path);
    return path;
  }();
  return file;
}

void BM_LoadDataFile(benchmark::State& state) {
  const std::string file = DataFile();
  for (auto _ : state) {
    ado::TDataSet rows;
    rows.LoadFromFile(file);
    benchmark::DoNotOptimize(rows.RecordCount());
  }
}
BENCHMARK(BM_LoadDataFile)->Unit(benchmark::kMillisecond);

void BM_FieldToSqlOverDataFile(benchmark::State& state) {
  Tdm dm;
  SelectSqlServer(dm);
  dm.CurrentDialect()->DateFormat = "dmy";
  ado::TDataSet rows;
  rows.LoadFromFile(DataFile());
  for (auto _ : state) {
    size_t length = 0;
    for (rows.First(); !rows.Eof(); rows.Next()) {
      for (int f = 0; f < rows.FieldCount(); ++f) length += dm.FieldToSql(rows.Fields(f)).size();
    }
    benchmark::DoNotOptimize(length);
  }
}
BENCHMARK(BM_FieldToSqlOverDataFile)->Unit(benchmark::kMillisecond);

}  // namespace
