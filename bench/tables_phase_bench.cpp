// The check of an identical client on the embedded SQL Server as the tables grow: masters and
// clients of 2,000 and 4,000 tables of 20 columns plus one table of 200,000 rows. Goals, same run:
// the 4,000-table check within 2.5x of the 2,000-table one, and the 2,000-table check within 3x of
// the producer's extraction of its master.
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

constexpr int kBigRows = 200000;

struct BenchRoot : bench::ServerFolder {
  std::map<std::string, std::string> databases;  // name -> connection string
  BenchRoot() : bench::ServerFolder("tables") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// Database `name` with `tables` tables of 20 columns and Big with its rows.
std::string Build(const std::string& name, int tables) {
  if (auto found = Root().databases.find(name); found != Root().databases.end()) return found->second;
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < tables; ++i) c.Execute(bench::KeyedTableSql("T" + std::to_string(i), 20, "varchar (40)"));
  c.Execute("CREATE TABLE Big (id int NOT NULL PRIMARY KEY, name varchar (40) NULL, amount decimal (12, 2) NULL)");
  for (int i = 0; i < 1000; ++i) {
    c.Execute("INSERT INTO Big VALUES (" + std::to_string(i) + ", 'name " + std::to_string(i) + "', 1.25)");
  }
  for (int k = 1; k < kBigRows / 1000; ++k) {
    c.Execute("INSERT INTO Big SELECT id + " + std::to_string(k * 1000) + ", name, amount FROM Big WHERE id < 1000");
  }
  c.CommitTrans();
  return Root().databases[name] = cs;
}

std::string SchemaFolder(int tables) {
  const std::string folder = Root().dir + "/schemas" + std::to_string(tables);
  fs::create_directories(folder);
  return folder;
}

bool Extract(int tables) {
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = SchemaFolder(tables);
  producer.SetConnectionString(Build("Master" + std::to_string(tables), tables));
  producer.Initialize();
  producer.SetConnected(true);
  return producer.ExtractSchema();
}

void BM_ExtractMaster(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (!Extract(tables)) state.SkipWithError("extraction failed");
  }
}

void BM_CheckIdenticalClient(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  if (!fs::exists(SchemaFolder(tables) + "/vsiTables.xml") && !Extract(tables)) {
    state.SkipWithError("extraction failed");
    return;
  }
  const std::string client = Build("Client" + std::to_string(tables), tables);
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = SchemaFolder(tables);
  updater.DirSql = Root().dir;
  updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater.Initialize();
  for (auto _ : state) {
    if (!updater.CheckDb(client)) state.SkipWithError("check failed");
  }
}

BENCHMARK(BM_ExtractMaster)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CheckIdenticalClient)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
