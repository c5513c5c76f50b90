// The keys and indexes phase on the embedded SQL Server: the index, unique-constraint and
// primary-key steps over identical master and client of 2,000 and 4,000 tables with a key and
// three indexes each (goal: 4,000 within 2.5x of 2,000); and the duplicate-key resolver on a
// 200,000-row table with 5,000 and 10,000 groups of duplicates, its check and the run of what it
// queued (goal: 10,000 within 2.5x of 5,000).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "BenchServers.h"
#include "components/DbSchemaProducer.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDm.h"

namespace {

namespace fs = std::filesystem;

struct BenchRoot : bench::ServerFolder {
  std::map<std::string, std::string> databases;  // name -> connection string
  BenchRoot() : bench::ServerFolder("keys") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// A database of the bench server, built once by `build` on an open connection in one transaction.
template <typename Build>
std::string Database(const std::string& name, Build build) {
  auto found = Root().databases.find(name);
  if (found != Root().databases.end()) return found->second;
  const std::string cs = bench::NewSqlServerDatabase(name, "Bench");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  build(c);
  c.CommitTrans();
  return Root().databases[name] = cs;
}

std::string Tables(int tables) {
  return Database("Keys" + std::to_string(tables), [tables](ado::TConnection& c) {
    for (int i = 0; i < tables; ++i) {
      const std::string t = "T" + std::to_string(i);
      c.Execute("CREATE TABLE " + t + " (Id int NOT NULL, A int NULL, B varchar (20) NULL, C int NULL, CONSTRAINT PK_" +
                t + " PRIMARY KEY (Id))");
      c.Execute("CREATE INDEX IX_" + t + "_A ON " + t + " (A)");
      c.Execute("CREATE UNIQUE INDEX UX_" + t + " ON " + t + " (B)");
      c.Execute("CREATE INDEX IX_" + t + "_C ON " + t + " (C DESC, A)");
    }
  });
}

// R of 200,000 rows; the first 2 * groups rows share their k two by two. The master adds a
// unique index on k.
std::string Duplicates(int groups, bool master) {
  const std::string name = std::string(master ? "DupMaster" : "Dup") + std::to_string(groups);
  return Database(name, [groups, master](ado::TConnection& c) {
    c.Execute("CREATE TABLE R (id int NOT NULL PRIMARY KEY, k int NULL, v varchar (20) NULL)");
    if (master) {
      c.Execute("CREATE UNIQUE INDEX UX_K ON R (k)");
      return;
    }
    for (int i = 0; i < 200000; ++i) {
      const int k = i < 2 * groups ? i % groups : i;
      c.Execute("INSERT INTO R VALUES (" + std::to_string(i) + ", " + std::to_string(k) + ", 'row " +
                std::to_string(i) + "')");
    }
  });
}

// An engine on `client` with the master files of `master` loaded and the client's catalogue
// read, as the check has them when its key steps start.
struct Engine {
  TOrvDbSchemaProducer producer;
  Tdm dm;
  Engine(const std::string& master, const std::string& client) {
    const std::string folder = Root().dir + "/schemas";
    fs::remove_all(folder);
    fs::create_directories(folder);
    TOrvDbSchemaProducer extractor;
    extractor.DirSchemas = folder;
    extractor.SetConnectionString(master);
    extractor.Initialize();
    extractor.SetConnected(true);
    extractor.ExtractSchema();
    dm.SetConnectionString(client, false);
    dm.SetConnected(true);
    dm.CurrentDialect()->SetMasterDbType(dbtSqlServer);
    dm.Producer = &producer;
    for (auto [set, kind] : {std::pair{&dm.qTables, "vsiTables"}, {&dm.qIndexes, "vsiIndexes"},
                             {&dm.qConstraints, "vsiTableConstraints"}, {&dm.qClusterIdxSrc, "vsiClusterIndexes"}}) {
      set->LoadFromFile(folder + "/" + kind + ".xml");
    }
    for (auto [set, kind] : {std::pair{&dm.qDestTables, vsiTables}, {&dm.qDestIndexes, vsiIndexes},
                             {&dm.qDestConstraints, vsiTableConstraints}}) {
      dm.OpenSchemaOf(kind, ado::Variant(), *set);
    }
  }
  void KeySteps() {
    dm.RestartInstructionList();
    dm.UpdateIndexes();
    dm.UpdateKeyConstraints("UNIQUE");
    dm.UpdateKeyConstraints("PRIMARY KEY");
  }
};

void BM_KeyStepsIdentical(benchmark::State& state) {
  const std::string database = Tables(static_cast<int>(state.range(0)));
  Engine engine(database, database);
  for (auto _ : state) {
    engine.KeySteps();
    if (engine.dm.qInstructions.RecordCount() != 0) state.SkipWithError("an identical client got instructions");
  }
}

void BM_ResolverCheck(benchmark::State& state) {
  const int groups = static_cast<int>(state.range(0));
  Engine engine(Duplicates(groups, true), Duplicates(groups, false));
  for (auto _ : state) {
    engine.KeySteps();
    if (engine.dm.qInstructions.RecordCount() < 2) state.SkipWithError("nothing resolved");
  }
}

void BM_ResolverUpdate(benchmark::State& state) {
  const int groups = static_cast<int>(state.range(0));
  Engine engine(Duplicates(groups, true), Duplicates(groups, false));
  engine.KeySteps();
  std::vector<std::string> statements;
  for (engine.dm.qInstructions.First(); !engine.dm.qInstructions.Eof(); engine.dm.qInstructions.Next()) {
    statements.push_back(engine.dm.qInstructions.FieldByName("instruction").AsString());
  }
  ado::TConnection c(Duplicates(groups, false));
  c.Open();
  for (auto _ : state) {
    c.BeginTrans();
    for (const std::string& sql : statements) c.Execute(sql);
    state.PauseTiming();
    c.RollbackTrans();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_KeyStepsIdentical)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ResolverCheck)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ResolverUpdate)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
