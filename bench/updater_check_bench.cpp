// The updater's run on the embedded SQL Server against a master of 2,000 tables of 20 columns and
// one table of 200,000 rows: the producer's extraction of the master, a check of an identical
// client, a check of a client with a tenth of its tables changed (a column narrower, one missing),
// and the check and update of that client. The check's goal is within 3x of the extraction.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "BenchServers.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTables = 2000;
constexpr int kBigRows = 200000;

struct BenchRoot : bench::ServerFolder {
  std::map<std::string, std::string> databases;  // name -> connection string
  BenchRoot() : bench::ServerFolder("updater") {
    fs::create_directories(dir + "/schemas");
  }
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// Builds database `name`: the 2,000 tables (every tenth changed when `changed`) and Big with its
// rows (doubled up from a first thousand).
std::string Build(const std::string& name, bool changed) {
  if (auto found = Root().databases.find(name); found != Root().databases.end()) return found->second;
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < kTables; ++i) {
    const std::string t = "T" + std::to_string(i);
    const bool differs = changed && i % 10 == 0;
    std::string sql = "CREATE TABLE [" + t + "] ([Id] int NOT NULL";
    for (int col = 1; col < (differs ? 19 : 20); ++col) {
      sql += ", [C" + std::to_string(col) + "] nvarchar (" + (differs && col == 1 ? "20" : "40") + ") NULL";
    }
    c.Execute(sql + ", CONSTRAINT [PK_" + t + "] PRIMARY KEY ([Id]))");
  }
  c.Execute("CREATE TABLE Big (id int NOT NULL PRIMARY KEY, name nvarchar (40) NULL, amount decimal (12, 2) NULL)");
  for (int i = 0; i < 1000; ++i) {
    c.Execute("INSERT INTO Big VALUES (" + std::to_string(i) + ", N'name " + std::to_string(i) + "', 1.25)");
  }
  for (int k = 1; k < kBigRows / 1000; ++k) {
    c.Execute("INSERT INTO Big SELECT id + " + std::to_string(k * 1000) + ", name, amount FROM Big WHERE id < 1000");
  }
  c.CommitTrans();
  return Root().databases[name] = cs;
}

std::string SchemaFolder() { return Root().dir + "/schemas"; }

void BM_ExtractMaster(benchmark::State& state) {
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = SchemaFolder();
  producer.SetConnectionString(Build("UpdMaster", false));
  producer.Initialize();
  producer.SetConnected(true);
  for (auto _ : state) {
    if (!producer.ExtractSchema()) state.SkipWithError("extraction failed");
  }
}

void Check(benchmark::State& state, const std::string& client, bool update) {
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = SchemaFolder();
  updater.DirSql = Root().dir;
  updater.DirBackup = Root().dir;
  updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
  updater.Initialize();
  for (auto _ : state) {
    const bool ok = update ? updater.CheckAndUpdate(client) : updater.CheckDb(client);
    if (!ok) state.SkipWithError(update ? "check and update failed" : "check failed");
  }
}

void BM_CheckIdentical(benchmark::State& state) { Check(state, Build("UpdSame", false), false); }
void BM_CheckTenthChanged(benchmark::State& state) { Check(state, Build("UpdChanged", true), false); }
// One iteration: the update changes the client.
void BM_CheckAndUpdateTenthChanged(benchmark::State& state) { Check(state, Build("UpdUpdated", true), true); }

// The extraction first: the checks read its schema folder.
BENCHMARK(BM_ExtractMaster)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CheckIdentical)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CheckTenthChanged)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CheckAndUpdateTenthChanged)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
