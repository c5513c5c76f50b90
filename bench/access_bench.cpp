// The Access stand-in beside the SQL Server stand-in on the same work: the
// COLUMNS and INDEXES rowsets of databases of 2,000 tables of 20 columns with a
// key and an index each, and 100,000 INSERTs in one transaction. Access should
// stay within 2x (rowsets) and 1.5x (INSERTs).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/data/Provider.h"
#include "platform/data/SchemaRowsets.h"
#include "servers/EmbeddedServers.h"

namespace {

constexpr int kTables = 2000;

// The bench's folder and its open databases; the sessions close before the
// folder goes.
struct BenchFolder {
  struct Folder {
    std::string path;
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } folder;
  std::unique_ptr<ado::IProviderSession> access, sqlServer;
  int counter = 0;

  BenchFolder() {
    char tmpl[] = "/tmp/schm_access_bench_XXXXXX";
    folder.path = mkdtemp(tmpl);
    setenv("SCHEMION_SERVERS", folder.path.c_str(), 1);
    servers::RegisterEmbeddedServers();
  }
};

BenchFolder &Bench() {
  static BenchFolder bench;
  return bench;
}

// A new database of the server, empty.
std::unique_ptr<ado::IProviderSession> NewDatabase(bool access) {
  auto &registry = ado::ProviderRegistry::Instance();
  const std::string name = "db" + std::to_string(++Bench().counter);
  if (access) {
    const std::string cs =
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + Bench().folder.path +
        "/" + name + ".mdb";
    registry.CreateDatabase(cs);
    return registry.Open(cs);
  }
  registry
      .Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data "
            "Source=bench;Initial Catalog=master")
      ->Execute("CREATE DATABASE [" + name + "]");
  return registry.Open("Provider=SQLOLEDB.1;Integrated Security=SSPI;Data "
                       "Source=bench;Initial Catalog=" +
                       name);
}

// The database of 2,000 tables on either server, built once.
ado::IProviderSession &Tables(bool access) {
  auto &s = access ? Bench().access : Bench().sqlServer;
  if (s)
    return *s;
  s = NewDatabase(access);
  s->BeginTrans();
  for (int t = 0; t < kTables; ++t) {
    const std::string table = "T" + std::to_string(t);
    std::string sql =
        "CREATE TABLE [" + table + "] ([Id] int IDENTITY NOT NULL";
    for (int c = 1; c < 20; ++c)
      sql += ", [C" + std::to_string(c) + "] " +
             (c % 3 == 0   ? "int NULL"
              : c % 3 == 1 ? "nvarchar (40) NULL"
                           : "datetime NULL");
    sql += ", CONSTRAINT [PK_" + table + "] PRIMARY KEY ([Id]))";
    s->Execute(sql);
    s->Execute("CREATE INDEX [IX_" + table + "] ON [" + table +
               "] ([C1], [C3])");
  }
  s->CommitTrans();
  return *s;
}

void Rowset(benchmark::State &state, bool access, ado::TSchemaInfo kind) {
  ado::IProviderSession &s = Tables(access);
  for (auto _ : state)
    benchmark::DoNotOptimize(s.OpenSchema(kind, {}).Rows.size());
}

void Inserts(benchmark::State &state, bool access) {
  for (auto _ : state) {
    state.PauseTiming();
    auto s = NewDatabase(access);
    s->Execute("CREATE TABLE T (id int NOT NULL, name nvarchar (40) NULL, "
               "CONSTRAINT pk PRIMARY KEY (id))");
    state.ResumeTiming();
    s->BeginTrans();
    for (int i = 0; i < 100000; ++i)
      s->Execute("INSERT INTO T (id, name) VALUES (" + std::to_string(i) +
                 ", 'name " + std::to_string(i) + "')");
    s->CommitTrans();
  }
}

void BM_AccessColumns(benchmark::State &state) {
  Rowset(state, true, ado::siColumns);
}
void BM_SqlServerColumns(benchmark::State &state) {
  Rowset(state, false, ado::siColumns);
}
void BM_AccessIndexes(benchmark::State &state) {
  Rowset(state, true, ado::siIndexes);
}
void BM_SqlServerIndexes(benchmark::State &state) {
  Rowset(state, false, ado::siIndexes);
}
void BM_AccessInserts(benchmark::State &state) { Inserts(state, true); }
void BM_SqlServerInserts(benchmark::State &state) { Inserts(state, false); }

BENCHMARK(BM_AccessColumns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerColumns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccessIndexes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerIndexes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccessInserts)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SqlServerInserts)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
