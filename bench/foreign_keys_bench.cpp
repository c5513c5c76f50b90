// Foreign keys and default values on the embedded SQL Server: a check of clients identical to
// their masters of 2,000 and 4,000 tables (two foreign keys and two default constraints each);
// and 20,000 composite orphans among 200,000 rows removed by a check plus the run of its
// instructions, beside one hand-written DELETE ... WHERE NOT EXISTS through TConnection::Execute.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>

#include "BenchProduce.h"
#include "BenchServers.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDm.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"

namespace {

namespace fs = std::filesystem;

constexpr int kOrphanRows = 200000;
constexpr int kOrphans = 20000;

struct BenchRoot : bench::ServerFolder {
  BenchRoot() : bench::ServerFolder("fk") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

std::string NewDatabase(const std::string& name) {
  Root();
  return bench::NewSqlServerDatabase(name, "FkBench");
}

// Tables T0 ... with two foreign keys and two default constraints each.
std::string BuildKeyed(const std::string& name, int tables) {
  const std::string cs = NewDatabase(name);
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < tables; ++i) {
    const std::string t = "T" + std::to_string(i);
    c.Execute("CREATE TABLE " + t + " (Id int NOT NULL PRIMARY KEY, P int NULL, Q int NULL, A int NULL CONSTRAINT DF_" +
              t + "_A DEFAULT (0), B varchar (10) NULL CONSTRAINT DF_" + t + "_B DEFAULT ('x'), CONSTRAINT FK_" + t +
              "_P FOREIGN KEY (P) REFERENCES T" + std::to_string(i / 2) + " (Id), CONSTRAINT FK_" + t +
              "_Q FOREIGN KEY (Q) REFERENCES T" + std::to_string(i / 3) + " (Id))");
  }
  c.CommitTrans();
  return cs;
}

// The parent P2 (1,000 keys) and the child C of 200,000 rows; `keyed` gives C its composite key,
// else 20,000 of the rows are orphans, kept aside in Orphans to be put back.
std::string BuildOrphans(const std::string& name, bool keyed) {
  const std::string cs = NewDatabase(name);
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  c.Execute("CREATE TABLE P2 (a int NOT NULL, b int NOT NULL, CONSTRAINT PK_P2 PRIMARY KEY (a, b))");
  c.Execute("CREATE TABLE C (id int NOT NULL PRIMARY KEY, a int NULL, b int NULL)");
  c.Execute("CREATE TABLE Orphans (id int NOT NULL PRIMARY KEY, a int NULL, b int NULL)");
  for (int i = 0; i < 1000; ++i) c.Execute("INSERT INTO P2 VALUES (" + std::to_string(i / 10) + ", " + std::to_string(i % 10) + ")");
  if (keyed) {
    c.Execute("ALTER TABLE C ADD CONSTRAINT FK_C_P2 FOREIGN KEY (a, b) REFERENCES P2 (a, b)");
  } else {
    for (int i = 0; i < kOrphanRows; ++i) {
      const bool orphan = i % (kOrphanRows / kOrphans) == 0;
      const int key = i % 1000;
      c.Execute(std::string("INSERT INTO ") + (orphan ? "Orphans" : "C") + " VALUES (" + std::to_string(i) + ", " +
                std::to_string(key / 10 + (orphan ? 500 : 0)) + ", " + std::to_string(key % 10) + ")");
    }
  }
  c.CommitTrans();
  return cs;
}

std::string Folder(const std::string& name) {
  const std::string folder = Root().dir + "/" + name;
  fs::create_directories(folder);
  return folder;
}

void Produce(const std::string& master, const std::string& folder) { bench::Produce(master, folder); }

bool Check(const std::string& client, const std::string& folder) {
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = folder;
  updater.DirSql = folder;
  updater.SetConnectionString(client);
  updater.Initialize();
  updater.SetConnected(true);
  return updater.dm()->CheckDb(true);
}

// The saved instructions run in id order in one transaction.
void Execute(const std::string& client, const std::string& folder) {
  ado::TDataSet list;
  list.LoadFromFile(folder + "/instructions.xml");
  list.SetSort("id");
  ado::TConnection c(client);
  c.Open();
  c.BeginTrans();
  for (list.First(); !list.Eof(); list.Next()) c.Execute(list.FieldByName("instruction").AsString());
  c.CommitTrans();
}

struct KeyedPair {
  std::string client, folder;
};

const KeyedPair& Keyed(int tables) {
  static std::map<int, KeyedPair> built;
  if (auto found = built.find(tables); found != built.end()) return found->second;
  const std::string name = "Keyed" + std::to_string(tables);
  KeyedPair pair{BuildKeyed(name + "C", tables), Folder(name)};
  Produce(BuildKeyed(name + "M", tables), pair.folder);
  return built[tables] = pair;
}

void BM_CheckIdenticalClient(benchmark::State& state) {
  const KeyedPair& pair = Keyed(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (!Check(pair.client, pair.folder)) state.SkipWithError("check failed");
  }
}

struct OrphanPair {
  std::string client, folder;
};

const OrphanPair& Orphans() {
  static OrphanPair pair = [] {
    OrphanPair made{BuildOrphans("OrphansC", false), Folder("Orphans")};
    Produce(BuildOrphans("OrphansM", true), made.folder);
    return made;
  }();
  return pair;
}

// Puts the orphans back (and takes the key away) between runs, outside the timing.
void ResetOrphans(const std::string& client) {
  ado::TConnection c(client);
  c.Open();
  ado::TDataSet keys;
  keys.SetConnection(&c);
  keys.SetCommandText("SELECT count(*) FROM sysobjects WHERE name = 'FK_C_P2'");
  keys.Open();
  if (keys.Fields(0).AsInteger() > 0) c.Execute("ALTER TABLE C DROP CONSTRAINT FK_C_P2");
  c.Execute("DELETE FROM C WHERE id IN (SELECT id FROM Orphans)");
  c.Execute("INSERT INTO C SELECT id, a, b FROM Orphans");
}

void BM_OrphansByCheckAndUpdate(benchmark::State& state) {
  const OrphanPair& pair = Orphans();
  for (auto _ : state) {
    state.PauseTiming();
    ResetOrphans(pair.client);
    state.ResumeTiming();
    if (!Check(pair.client, pair.folder)) state.SkipWithError("check failed");
    Execute(pair.client, pair.folder);
  }
}

void BM_OrphansByHand(benchmark::State& state) {
  const OrphanPair& pair = Orphans();
  for (auto _ : state) {
    state.PauseTiming();
    ResetOrphans(pair.client);
    ado::TConnection c(pair.client);
    c.Open();
    state.ResumeTiming();
    c.Execute("DELETE FROM C WHERE NOT EXISTS (SELECT * FROM P2 WHERE P2.a = C.a AND P2.b = C.b)");
  }
}

BENCHMARK(BM_CheckIdenticalClient)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OrphansByCheckAndUpdate)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OrphansByHand)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
