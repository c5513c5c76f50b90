// Creating a schema on the SQL Server stand-in against the same DDL in plain SQLite, one
// statement at a time as the SQL client runs a script: 1,000, 2,000 and 4,000 tables of 5 to 20
// columns with a primary key, indexes and foreign keys (added by ALTER TABLE as a schema tool
// writes them; plain SQLite declares them in CREATE TABLE), also inside one transaction. Then
// opening a connection to the database of 4,000 tables and running its first catalogue query,
// against SQLite opening the plain database and reading its own catalogue. The server's own
// work per statement stays flat as the schema grows; SQLite's own cost of each CREATE grows with
// the number of objects already in the schema, in both runs alike.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/data/Provider.h"
#include "servers/EmbeddedServers.h"
#include "servers/sqlserver/Sqlite.h"

namespace {

namespace fs = std::filesystem;

struct Script {
  std::vector<std::string> server;  // T-SQL as a schema tool writes it
  std::vector<std::string> sqlite;  // the same schema in SQLite's DDL
};

// A deterministic schema of `tables` tables: about 70% reference an earlier table, 30% a second
// one, a few tables are referenced by many.
Script Generate(int tables) {
  uint32_t seed = 20261207;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  static const char* const kTypes[] = {"int NULL", "nvarchar (40) NULL", "datetime NULL", "decimal (12, 2) NULL",
                                       "varchar (20) NOT NULL"};
  Script s;
  std::vector<std::string> foreignKeys;
  for (int i = 0; i < tables; ++i) {
    std::string t = "T" + std::to_string(i);
    int columns = 5 + static_cast<int>(next(16));
    std::vector<int> parents;
    if (i > 0 && next(10) < 7) parents.push_back(next(4) == 0 ? static_cast<int>(next(std::min(i, 20))) : static_cast<int>(next(static_cast<uint32_t>(i))));
    if (i > 1 && next(10) < 3) parents.push_back(static_cast<int>(next(static_cast<uint32_t>(i))));
    std::string cols;
    for (int c = 1; c < columns; ++c) {
      if (c <= static_cast<int>(parents.size())) cols += ", [P" + std::to_string(c) + "] int NULL";
      else cols += ", [C" + std::to_string(c) + "] " + kTypes[c % 5];
    }
    s.server.push_back("CREATE TABLE [" + t + "] ([Id] int IDENTITY (1, 1) NOT NULL" + cols + ", CONSTRAINT [PK_" + t +
                       "] PRIMARY KEY CLUSTERED ([Id]))");
    std::string inlineKeys;
    for (size_t k = 0; k < parents.size(); ++k) {
      std::string fk = "CONSTRAINT [FK_" + t + "_" + std::to_string(k + 1) + "] FOREIGN KEY ([P" + std::to_string(k + 1) +
                       "]) REFERENCES [T" + std::to_string(parents[k]) + "] ([Id])";
      inlineKeys += ", " + fk;
      foreignKeys.push_back("ALTER TABLE [" + t + "] ADD " + fk);
    }
    s.sqlite.push_back("CREATE TABLE [" + t + "] ([Id] int NOT NULL" + cols + ", CONSTRAINT [PK_" + t +
                       "] PRIMARY KEY ([Id])" + inlineKeys + ")");
    std::vector<std::string> indexes{"CREATE INDEX [IX_" + t + "] ON [" + t + "] ([C" + std::to_string(columns - 1) + "])"};
    if (!parents.empty()) indexes.push_back("CREATE INDEX [IX_" + t + "_P1] ON [" + t + "] ([P1])");
    for (const auto& ix : indexes) {
      s.server.push_back(ix);
      s.sqlite.push_back(ix);
    }
  }
  s.server.insert(s.server.end(), foreignKeys.begin(), foreignKeys.end());
  return s;
}

// The servers folder of the run, removed at exit once every connection is closed.
struct BenchRoot {
  std::string dir;
  std::map<int, std::string> serverDatabases;  // tables -> database of that many, made outside a transaction
  std::map<int, std::string> sqliteFiles;
  BenchRoot() {
    char tmpl[] = "/tmp/schm_schema_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    setenv("SCHEMION_SERVERS", dir.c_str(), 1);
    servers::RegisterEmbeddedServers();
    ado::ProviderRegistry::Instance().CreateServer("Provider=SQLOLEDB.1;Data Source=bench");
  }
  ~BenchRoot() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

std::unique_ptr<ado::IProviderSession> Connect(const std::string& database) {
  return ado::ProviderRegistry::Instance().Open("Provider=SQLOLEDB.1;Data Source=bench;Initial Catalog=" + database);
}

// Runs the server script into a new database; returns its name.
std::string RunServerScript(const Script& script, int tables, bool oneTransaction, benchmark::State* state) {
  static int counter = 0;
  std::string name = "schema" + std::to_string(tables) + "_" + std::to_string(++counter);
  Connect("master")->Execute("CREATE DATABASE [" + name + "]");
  auto s = Connect(name);
  if (state) state->ResumeTiming();
  if (oneTransaction) s->BeginTrans();
  for (const auto& sql : script.server) s->Execute(sql);
  if (oneTransaction) s->CommitTrans();
  if (state) state->PauseTiming();
  return name;
}

servers::SqliteDbPtr OpenPlain(const std::string& path, bool create) {
  auto db = servers::OpenSqlite(path, create);
  servers::ExecSql(db.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
  return db;
}

std::string RunSqliteScript(const Script& script, int tables, bool oneTransaction, benchmark::State* state) {
  static int counter = 0;
  std::string path = Root().dir + "/plain" + std::to_string(tables) + "_" + std::to_string(++counter) + ".sqlite";
  auto db = OpenPlain(path, true);
  if (state) state->ResumeTiming();
  if (oneTransaction) servers::ExecSql(db.get(), "BEGIN");
  for (const auto& sql : script.sqlite) servers::ExecSql(db.get(), sql);
  if (oneTransaction) servers::ExecSql(db.get(), "COMMIT");
  if (state) state->PauseTiming();
  return path;
}

const Script& ScriptOf(int tables) {
  static std::map<int, Script> scripts;
  auto it = scripts.find(tables);
  if (it == scripts.end()) it = scripts.emplace(tables, Generate(tables)).first;
  return it->second;
}

void BM_ServerScript(benchmark::State& state) {
  int tables = static_cast<int>(state.range(0));
  bool transaction = state.range(1) != 0;
  const Script& script = ScriptOf(tables);
  Root();
  for (auto _ : state) {
    state.PauseTiming();
    std::string name = RunServerScript(script, tables, transaction, &state);
    if (!transaction) Root().serverDatabases[tables] = name;
    state.ResumeTiming();
  }
  state.counters["statements"] = static_cast<double>(script.server.size());
}

void BM_SqliteScript(benchmark::State& state) {
  int tables = static_cast<int>(state.range(0));
  bool transaction = state.range(1) != 0;
  const Script& script = ScriptOf(tables);
  for (auto _ : state) {
    state.PauseTiming();
    std::string path = RunSqliteScript(script, tables, transaction, &state);
    if (!transaction) Root().sqliteFiles[tables] = path;
    state.ResumeTiming();
  }
  state.counters["statements"] = static_cast<double>(script.sqlite.size());
}

// Connect, then the first catalogue query: the tables of the database.
void BM_ServerOpen(benchmark::State& state) {
  int tables = static_cast<int>(state.range(0));
  auto& databases = Root().serverDatabases;
  if (!databases.count(tables)) databases[tables] = RunServerScript(ScriptOf(tables), tables, false, nullptr);
  const std::string& name = databases[tables];
  int64_t found = 0;
  for (auto _ : state) {
    auto s = Connect(name);
    found = s->Execute("SELECT count(*) FROM sysobjects WHERE xtype = 'U'").at(0).Rows.Rows.at(0).at(0).AsInt();
  }
  state.counters["tables"] = static_cast<double>(found);
}

// SQLite opens the plain database and reads its own catalogue.
void BM_SqliteOpen(benchmark::State& state) {
  int tables = static_cast<int>(state.range(0));
  auto& files = Root().sqliteFiles;
  if (!files.count(tables)) files[tables] = RunSqliteScript(ScriptOf(tables), tables, false, nullptr);
  const std::string& path = files[tables];
  int64_t found = 0;
  for (auto _ : state) {
    auto db = OpenPlain(path, false);
    found = servers::QueryInt(db.get(), "SELECT count(*) FROM sqlite_master WHERE type = 'table'");
  }
  state.counters["tables"] = static_cast<double>(found);
}

void ScriptSizes(benchmark::internal::Benchmark* b) {
  for (int tables : {1000, 2000, 4000}) b->Args({tables, 0});
  for (int tables : {1500, 3000}) b->Args({tables, 1});
  b->ArgNames({"tables", "in_transaction"})->Iterations(1)->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ServerScript)->Apply(ScriptSizes);
BENCHMARK(BM_SqliteScript)->Apply(ScriptSizes);
BENCHMARK(BM_ServerOpen)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteOpen)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);
