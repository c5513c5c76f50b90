// Scale of the embedded SQL Server's DDL on generated schemas (bench/GeneratedSchema.h):
// - the load of a schema's script through schemion-sql against the same DDL run by SQLite itself,
//   statement by statement in the same run (goal: within 10x at 2,000 tables);
// - the apply (UpdateDb) of the instructions the check writes for a client differing in a tenth
//   of its tables (goal: ten times the tables for at most twelve times the time), beside the same
//   tables remade by SQLite itself: each CREATE and DROP reads SQLite's whole schema table, so
//   that part grows with the schema in any case.
// CPU time; each iteration loads into a new database.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchProduce.h"
#include "BenchServers.h"
#include "GeneratedSchema.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"
#include "servers/client/SqlClient.h"

namespace {

namespace fs = std::filesystem;

bench::ServerFolder& Root() {
  static bench::ServerFolder root("scale");
  return root;
}

int serial = 0;

// A new database loaded with the script; its connection string, empty on failure.
std::string Load(const std::string& name, const std::string& script) {
  Root();
  const std::string cs = bench::NewSqlServerDatabase(name + "_" + std::to_string(serial++), "Scale");
  if (cs.empty()) return {};
  std::istringstream in(script);
  std::ostringstream out, err;
  if (sqlclient::RunSqlClient({"-c", cs}, in, out, err) != 0) return {};
  return cs;
}

void BM_LoadThroughSchemionSql(benchmark::State& state) {
  const std::string script = bench::SchemaScript({static_cast<int>(state.range(0))});
  for (auto _ : state) {
    if (Load("Load", script).empty()) state.SkipWithError("the script failed");
  }
}

void BM_LoadThroughSqlite(benchmark::State& state) {
  const std::string script = bench::SchemaScript({static_cast<int>(state.range(0)), false, true});
  for (auto _ : state) {
    const std::string file = Root().dir + "/plain" + std::to_string(serial++) + ".db";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    // The storage settings of the servers' files.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      state.SkipWithError(sqlite3_errmsg(db));
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix);
  }
}

// The plain SQLite floor of the apply: the tables of the client's difference made anew with a
// column more and their indexes, then the missing index, on the same schema loaded into SQLite.
void BM_ApplyThroughSqlite(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  const std::string script = bench::SchemaScript({tables, false, true});
  for (auto _ : state) {
    state.PauseTiming();
    const std::string file = Root().dir + "/plain" + std::to_string(serial++) + ".db";
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr);
    std::string change = "BEGIN;";
    for (int t = 5; t < tables; t += 10) {
      const std::string n = "T" + std::to_string(t);
      std::string create;
      {
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(db, ("SELECT sql FROM sqlite_master WHERE name = '" + n + "'").c_str(), -1, &q, nullptr);
        if (sqlite3_step(q) == SQLITE_ROW) create = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
        sqlite3_finalize(q);
      }
      create.insert(create.rfind(", FOREIGN KEY"), ", Added int");
      change += "DROP TABLE " + n + "; " + create + "; CREATE INDEX IX_" + n + "_C1 ON " + n + " (C1); CREATE INDEX IX_" +
                n + "_C2 ON " + n + " (C2, C3);";
    }
    state.ResumeTiming();
    if (sqlite3_exec(db, (change + "COMMIT").c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      state.SkipWithError(sqlite3_errmsg(db));
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix);
  }
}

// The master's schema files and the client's script of `tables` tables, with the instruction
// list the check writes; made once.
struct Apply {
  std::string folder, clientScript;
};

const Apply& ApplyOf(int tables) {
  static std::map<int, Apply> made;
  if (auto found = made.find(tables); found != made.end()) return found->second;
  Apply a;
  a.folder = Root().dir + "/apply" + std::to_string(tables);
  fs::create_directories(a.folder);
  a.clientScript = bench::SchemaScript({tables, true});
  bench::Produce(Load("Master", bench::SchemaScript({tables})), a.folder);
  TOrvDbSchemaUpdater updater;
  updater.DirSchemas = updater.DirSql = a.folder;
  updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
  updater.SetConnectionString(Load("Client", a.clientScript));
  updater.Initialize();
  updater.SetConnected(true);
  updater.dm()->CheckDb(true);
  return made[tables] = a;
}

void BM_ApplyDifference(benchmark::State& state) {
  const Apply& a = ApplyOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    TOrvDbSchemaUpdater updater;
    updater.DirSchemas = updater.DirSql = updater.DirBackup = a.folder;
    updater.UpdaterDirectives().ProgressInfoKind = pikSilent;
    updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
    updater.SetConnectionString(Load("Client", a.clientScript));
    updater.Initialize();
    updater.SetConnected(true);
    state.ResumeTiming();
    if (!updater.dm()->UpdateDb(false)) state.SkipWithError("the update failed");
  }
}

}  // namespace

BENCHMARK(BM_LoadThroughSqlite)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadThroughSchemionSql)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplyThroughSqlite)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplyDifference)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
