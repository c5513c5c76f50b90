// A check of clients of the embedded SQL Server that hold 2,000 and 4,000 tables and as many
// procedures the master lacks, with the delete policy open: every table and procedure is queued
// for its drop in an undo-delete block of its own. The 4,000 check should take no more than 2.5
// times the 2,000 one.
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
#include "engine/uDm.h"

namespace {

namespace fs = std::filesystem;

struct BenchRoot : bench::ServerFolder {
  std::string schemas;
  std::map<int, std::string> clients;  // surplus objects -> connection string
  BenchRoot() : bench::ServerFolder("delete") {
    schemas = dir + "/schemas";
    fs::create_directories(schemas);
  }
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// A new database holding table K and, for `surplus` > 0, tables T0 ... and procedures P0 ....
std::string Build(const std::string& name, int surplus) {
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  c.Execute("CREATE TABLE K (id int NOT NULL PRIMARY KEY)");
  for (int i = 0; i < surplus; ++i) {
    const std::string n = std::to_string(i);
    c.Execute("CREATE TABLE T" + n + " (id int NOT NULL CONSTRAINT PK_T" + n + " PRIMARY KEY, v int NULL)");
    c.Execute("CREATE PROCEDURE P" + n + " AS SELECT " + n);
  }
  c.CommitTrans();
  return cs;
}

// The master's schema files, extracted once.
void ProduceMaster() {
  static bool produced = false;
  if (produced) return;
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = Root().schemas;
  producer.SetConnectionString(Build("Source", 0));
  producer.Initialize();
  producer.SetConnected(true);
  produced = producer.ExtractSchema();
}

std::string Client(int surplus) {
  auto found = Root().clients.find(surplus);
  if (found != Root().clients.end()) return found->second;
  return Root().clients[surplus] = Build("Client" + std::to_string(surplus), surplus);
}

void BM_CheckSurplusTablesAndProcedures(benchmark::State& state) {
  ProduceMaster();
  const std::string client = Client(static_cast<int>(state.range(0)));
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = Root().schemas;
  updater.DirSql = Root().dir;
  updater.UpdaterDirectives().DeletePolicy.Enabled = beYes;
  updater.SetConnectionString(client);
  updater.Initialize();
  updater.SetConnected(true);
  for (auto _ : state) {
    if (!updater.dm()->CheckDb(true)) state.SkipWithError("check failed");
  }
}

}  // namespace

BENCHMARK(BM_CheckSurplusTablesAndProcedures)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
