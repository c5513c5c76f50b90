// The check's validation of the master's schema files beside the whole check, for a client
// identical to its master of 2,000 tables on the embedded SQL Server (eight columns, a key, an
// index and a foreign key each). Goal: the validation under 10 % of the check.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "BenchProduce.h"
#include "BenchServers.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"
#include "platform/data/Connection.h"

namespace {

constexpr int kTables = 2000;

struct BenchRoot : bench::ServerFolder {
  BenchRoot() : bench::ServerFolder("validation") {}
};

std::string Build(const std::string& name) {
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < kTables; ++i) {
    const std::string t = "T" + std::to_string(i);
    c.Execute(bench::KeyedTableSql(t, 8, "nvarchar (40)"));
    c.Execute("CREATE INDEX [IX_" + t + "] ON [" + t + "] ([C1])");
    if (i > 0) {
      c.Execute("ALTER TABLE [" + t + "] ADD CONSTRAINT [FK_" + t + "] FOREIGN KEY ([Id]) REFERENCES [T0] ([Id])");
    }
  }
  c.CommitTrans();
  return cs;
}

// The master's schema folder and a client identical to the master, built once.
struct Pair {
  BenchRoot root;
  std::string folder, client;
  Pair() {
    folder = root.dir + "/schemas";
    std::filesystem::create_directories(folder);
    const std::string master = Build("ValidationMaster");
    client = Build("ValidationClient");
    bench::Produce(master, folder);
  }
};

Pair& ThePair() {
  static Pair pair;
  return pair;
}

std::unique_ptr<TOrvDbSchemaUpdater> Updater() {
  auto updater = std::make_unique<TOrvDbSchemaUpdater>();
  updater->DirSchemas = ThePair().folder;
  updater->DirSql = ThePair().folder;
  updater->UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater->SetConnectionString(ThePair().client);
  updater->Initialize();
  updater->SetConnected(true);
  return updater;
}

void BM_CheckDb(benchmark::State& state) {
  auto updater = Updater();
  for (auto _ : state) {
    if (!updater->dm()->CheckDb(true)) state.SkipWithError("check failed");
  }
}

// The validation alone, on the master files as the check has loaded them.
void BM_SchemaValidation(benchmark::State& state) {
  auto updater = Updater();
  Tdm& dm = *updater->dm();
  dm.LoadMasterSchema();
  // The master's server, which the check reads from the package: the rules on column types ask it.
  dm.CurrentDialect()->SetMasterDbType(dbtSqlServer);
  for (auto _ : state) {
    if (!dm.ValidateMasterSchema()) state.SkipWithError("validation refused the package");
  }
}

BENCHMARK(BM_CheckDb)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SchemaValidation)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
