// The engine's check of a client identical to its master, 2,000 and 4,000 tables on the embedded
// SQL Server, with producer rename lists of 1,000 table and 1,000 field entries, beside the nine
// client catalogue reads the check makes. Goals: the check within 3x of the reads, and 4,000
// tables within 2.5x of 2,000.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchServers.h"
#include "BenchProduce.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDm.h"
#include "platform/data/Connection.h"

namespace {

namespace fs = std::filesystem;

struct BenchRoot : bench::ServerFolder {
  BenchRoot() : bench::ServerFolder("check") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// Database `name` of `tables` tables of eight columns, a key and an index each.
std::string Build(const std::string& name, int tables) {
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < tables; ++i) {
    const std::string t = "T" + std::to_string(i);
    c.Execute(bench::KeyedTableSql(t, 8, "nvarchar (40)"));
    c.Execute("CREATE INDEX [IX_" + t + "] ON [" + t + "] ([C1])");
  }
  c.CommitTrans();
  return cs;
}

// One pair of `tables` tables with its schema folder, built once.
struct Pair {
  std::string client, folder;
};

const Pair& PairOf(int tables) {
  static std::map<int, Pair> pairs;
  if (auto found = pairs.find(tables); found != pairs.end()) return found->second;
  const std::string n = std::to_string(tables);
  Pair pair;
  pair.folder = Root().dir + "/schemas" + n;
  fs::create_directories(pair.folder);
  const std::string master = Build("Master" + n, tables);
  pair.client = Build("Client" + n, tables);
  bench::Produce(master, pair.folder, [](TOrvDbSchemaProducer& producer) {
    std::vector<std::string> renamedTables, renamedFields;
    for (int i = 0; i < 1000; ++i) {
      renamedTables.push_back("Old" + std::to_string(i) + "=T" + std::to_string(i));
      renamedFields.push_back("T" + std::to_string(i) + ".Old=T" + std::to_string(i) + ".C1");
    }
    producer.SetRenamedTables(renamedTables);
    producer.SetRenamedFields(renamedFields);
  });
  return pairs[tables] = pair;
}

std::unique_ptr<TOrvDbSchemaUpdater> Updater(const Pair& pair) {
  auto updater = std::make_unique<TOrvDbSchemaUpdater>();
  updater->DirSchemas = pair.folder;
  updater->DirSql = pair.folder;
  updater->UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater->SetConnectionString(pair.client);
  updater->Initialize();
  updater->SetConnected(true);
  return updater;
}

void BM_CheckDb(benchmark::State& state) {
  const Pair& pair = PairOf(static_cast<int>(state.range(0)));
  auto updater = Updater(pair);
  for (auto _ : state) {
    if (!updater->dm()->CheckDb(true)) state.SkipWithError("check failed");
  }
}

// The nine client reads of the check, through the same dialect and connection.
void BM_ClientReads(benchmark::State& state) {
  const Pair& pair = PairOf(static_cast<int>(state.range(0)));
  auto updater = Updater(pair);
  Tdm& dm = *updater->dm();
  ado::TDataSet* sets[] = {&dm.qDestTables, &dm.qDestIndexes, &dm.qDestColumns, &dm.qDestConstraints,
                           &dm.qDestPrimaryKeys, &dm.qDestForeignKeys, &dm.qDestProcedures, &dm.qDestUsers,
                           &dm.qDestClusterIdx};
  const TOrvSchemaInfo kinds[] = {vsiTables, vsiIndexes, vsiColumns, vsiTableConstraints, vsiPrimaryKeys,
                                  vsiForeignKeys, vsiProcedures, vsiUsers, vsiClusterIndexes};
  for (auto _ : state) {
    for (int i = 0; i < 9; ++i) {
      sets[i]->Close();
      dm.OpenSchemaOf(kinds[i], ado::Variant(), *sets[i]);
    }
  }
}

// The check of generated schemas of mixed columns, defaults, foreign keys and views, the client
// differing in a tenth of its tables: 500 and 5,000 tables. Goals: 5,000 tables under 2 s of CPU,
// and 10x the schema for at most 10.5x the time.
const Pair& MixedPairOf(int tables) {
  static std::map<int, Pair> pairs;
  if (auto found = pairs.find(tables); found != pairs.end()) return found->second;
  const std::string n = std::to_string(tables);
  Pair pair;
  pair.folder = Root().dir + "/mixed" + n;
  fs::create_directories(pair.folder);
  std::string databases[2];
  for (int client = 0; client < 2; ++client) {
    databases[client] = bench::NewSqlServerDatabase((client ? "MixedClient" : "MixedMaster") + n, "Bench");
    ado::TConnection c(databases[client]);
    c.Open();
    c.BeginTrans();
    for (const std::string& sql : bench::MixedSchema(tables, client != 0)) c.Execute(sql);
    c.CommitTrans();
  }
  pair.client = databases[1];
  bench::Produce(databases[0], pair.folder);
  return pairs[tables] = pair;
}

void BM_CheckMixed(benchmark::State& state) {
  const Pair& pair = MixedPairOf(static_cast<int>(state.range(0)));
  auto updater = Updater(pair);
  for (auto _ : state) {
    if (!updater->dm()->CheckDb(true)) state.SkipWithError("check failed");
  }
}
BENCHMARK(BM_CheckMixed)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK(BM_ClientReads)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CheckDb)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
