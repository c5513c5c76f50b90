// Schema extraction on the embedded SQL Server and Adaptive Server Anywhere: the 15 catalogue
// reads alone against the whole Tdm.ExtractSchema (directives, schema files, no copy list) for
// masters of 2,000 and 4,000 tables of 20 columns with a key, two indexes and a foreign key each;
// and one table of 200,000 rows written to its CPFP_ file against opening its select * into a
// data set. Goals: extraction within 1.5 times the reads, 4,000 tables within 2.5 times 2,000.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "BenchServers.h"
#include "components/DbSchemaProducer.h"
#include "engine/uDm.h"
#include "dialects/uDbSpecific.h"

namespace {

namespace fs = std::filesystem;

struct BenchRoot : bench::ServerFolder {
  std::map<int, std::string> databases;  // tables (0: the big data table) -> connection string
  BenchRoot() : bench::ServerFolder("extraction") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// A master on Adaptive Server Anywhere takes minutes to build (every definition renews the
// server's foreign-key triggers, so the time grows with the square of the tables). It is kept
// between runs in a cache folder, valid for this build of the bench; a cached file of another
// build is removed.
std::string AsaCacheFile(int tables) {
  std::error_code ec;
  const auto stamp = static_cast<uint64_t>(
      fs::last_write_time(fs::read_symlink("/proc/self/exe", ec), ec).time_since_epoch().count());
  const fs::path folder = fs::temp_directory_path() / "schemion-extraction-bench-cache";
  fs::create_directories(folder, ec);
  const std::string prefix = "asa" + std::to_string(tables) + "_";
  const std::string name = prefix + std::to_string(stamp);
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string file = entry.path().filename().string();
    if (file.starts_with(prefix) && !file.starts_with(name + ".")) fs::remove(entry.path(), ec);
  }
  return (folder / (name + ".db")).string();
}

void BuildAsaTables(const std::string& cs, int tables) {
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < tables; ++i) {
    const std::string t = "T" + std::to_string(i);
    std::string sql = "CREATE TABLE " + t + " (Id integer NOT NULL, P integer NULL";
    for (int col = 2; col < 20; ++col) sql += ", C" + std::to_string(col) + " varchar (40) NULL";
    sql += ", PRIMARY KEY (Id)";
    if (i > 0) sql += ", CONSTRAINT FK_" + t + " FOREIGN KEY (P) REFERENCES T" + std::to_string(i / 2) + " (Id)";
    c.Execute(sql + ")");
    c.Execute("CREATE INDEX IX_" + t + "_1 ON " + t + " (C2)");
    c.Execute("CREATE INDEX IX_" + t + "_2 ON " + t + " (C3 DESC)");
  }
  c.CommitTrans();
}

// Masters on Adaptive Server Anywhere, keyed by their number of tables.
std::string BuildAsa(int tables) {
  static std::map<int, std::string> built;
  Root();  // the servers' folder and registration
  if (auto found = built.find(tables); found != built.end()) return found->second;
  const std::string file = AsaCacheFile(tables);
  const std::string done = file + ".done";
  bench::MakeServer("Provider=ASAProv.90;Eng=BenchAsa");
  ado::TConnection server("Provider=ASAProv.90;Eng=BenchAsa");
  server.Open();
  std::error_code ec;
  if (!fs::exists(done, ec)) {
    fs::remove(file, ec);
    fs::remove(fs::path(file).replace_extension(".log"), ec);
    server.Execute("CREATE DATABASE '" + file + "'");
  }
  server.Execute("START DATABASE '" + file + "'");
  const std::string cs = "Provider=ASAProv.90;Eng=BenchAsa;dbn=" + fs::path(file).stem().string();
  if (!fs::exists(done, ec)) {
    BuildAsaTables(cs, tables);
    std::ofstream(done).flush();
  }
  return built[tables] = cs;
}

std::string Build(int tables) {
  auto found = Root().databases.find(tables);
  if (found != Root().databases.end()) return found->second;
  const std::string name = "Extract" + std::to_string(tables);
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  if (tables == 0) {
    c.Execute("CREATE TABLE Big (id int NOT NULL PRIMARY KEY, name nvarchar (40) NULL, amount decimal (12, 2) NULL,"
              " at datetime NULL, note varchar (60) NULL)");
    for (int i = 0; i < 200000; ++i) {
      c.Execute("INSERT INTO Big VALUES (" + std::to_string(i) + ", N'name " + std::to_string(i) + "', " +
                std::to_string(i % 1000) + ".25, '2024-01-01 10:00:00.123', 'note')");
    }
  } else {
    for (int i = 0; i < tables; ++i) {
      const std::string t = "T" + std::to_string(i);
      std::string sql = "CREATE TABLE [" + t + "] ([Id] int NOT NULL, [P] int NULL";
      for (int col = 2; col < 20; ++col) sql += ", [C" + std::to_string(col) + "] nvarchar (40) NULL";
      sql += ", CONSTRAINT [PK_" + t + "] PRIMARY KEY ([Id])";
      if (i > 0) sql += ", CONSTRAINT [FK_" + t + "] FOREIGN KEY ([P]) REFERENCES [T" + std::to_string(i / 2) + "] ([Id])";
      c.Execute(sql + ")");
      c.Execute("CREATE INDEX [IX_" + t + "_1] ON [" + t + "] ([C2])");
      c.Execute("CREATE INDEX [IX_" + t + "_2] ON [" + t + "] ([C3] DESC)");
    }
  }
  c.CommitTrans();
  return Root().databases[tables] = cs;
}

struct Producer {
  TOrvDbSchemaProducer producer;
  explicit Producer(const std::string& cs) {
    producer.DirSchemas = Root().dir + "/schemas";
    fs::create_directories(producer.DirSchemas);
    producer.SetConnectionString(cs);
    producer.Initialize();
    producer.SetConnected(true);
  }
};

void BM_SchemaReads(benchmark::State& state) {
  Producer p(Build(static_cast<int>(state.range(0))));
  Tdm& dm = *p.producer.dm();
  for (auto _ : state) {
    for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
      dm.CurrentDialect()->OpenSchema(static_cast<TOrvSchemaInfo>(k), {}, {}, dm.aq);
    }
    dm.aq.Close();
  }
}

void BM_ExtractSchema(benchmark::State& state) {
  Producer p(Build(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    if (!p.producer.dm()->ExtractSchema()) state.SkipWithError("extraction failed");
  }
}

void BM_AsaSchemaReads(benchmark::State& state) {
  Producer p(BuildAsa(static_cast<int>(state.range(0))));
  Tdm& dm = *p.producer.dm();
  for (auto _ : state) {
    for (int k = 0; k < EnumCount<TOrvSchemaInfo>(); ++k) {
      dm.CurrentDialect()->OpenSchema(static_cast<TOrvSchemaInfo>(k), {}, {}, dm.aq);
    }
    dm.aq.Close();
  }
}

void BM_AsaExtractSchema(benchmark::State& state) {
  Producer p(BuildAsa(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    if (!p.producer.dm()->ExtractSchema()) state.SkipWithError("extraction failed");
  }
}

void BM_OpenBigSelect(benchmark::State& state) {
  Producer p(Build(0));
  for (auto _ : state) {
    ado::TDataSet d;
    d.SetConnection(&p.producer.dm()->ac);
    d.SetCommandText("select * from dbo.Big");
    d.Open();
    benchmark::DoNotOptimize(d.RecordCount());
  }
}

void BM_CopyBigTable(benchmark::State& state) {
  Producer p(Build(0));
  p.producer.CopyData.Add().TableName = "Big";
  for (auto _ : state) {
    if (!p.producer.dm()->CopyData()) state.SkipWithError("copy failed");
  }
}

BENCHMARK(BM_SchemaReads)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ExtractSchema)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_AsaSchemaReads)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_AsaExtractSchema)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OpenBigSelect)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CopyBigTable)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
