// Speed of the update executor: 20,000 instructions (ALTERs adding columns to 2,000 tables and
// UPDATEs of a 200,000-row table) run by UpdateDb with every instruction event assigned and the
// windows offscreen, against the same statements in one transaction through the connection
// alone, in the same run, on the embedded SQL Server. Goal: UpdateDb within 1.3x. The same at a
// tenth of the size (2,000 instructions, 200 tables, 20,000 rows) gives a quick reading; the
// server's ALTER grows with its catalogue, so the full size runs for many minutes.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "components/DbSchemaUpdater.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDm.h"
#include "platform/data/Connection.h"
#include "platform/data/DataSet.h"
#include "servers/EmbeddedServers.h"

namespace {

namespace fs = std::filesystem;

// The sizes of a run of `instructions` instructions.
struct Size {
  int instructions;
  int tables() const { return instructions / 10; }
  int rows() const { return instructions * 10; }
};
const char* const kServer = "UpdateBench";

// The bench's folder, under which the servers keep their files; removed last.
struct Folder {
  std::string path;
  Folder() {
    char tmpl[] = "/tmp/schm_update_db_bench_XXXXXX";
    path = mkdtemp(tmpl);
    fs::create_directories(path + "/servers");
    setenv("SCHEMION_SERVERS", (path + "/servers").c_str(), 1);
    servers::RegisterEmbeddedServers();
    ado::ProviderRegistry::Instance().CreateServer(std::string("Provider=SQLOLEDB.1;Data Source=") + kServer);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

Folder& BenchFolder() {
  static Folder folder;
  return folder;
}

std::string ConnectionString(const std::string& database) {
  return "Provider=SQLOLEDB.1;Integrated Security=SSPI;Initial Catalog=" + database + ";Data Source=" + kServer;
}

// Alternately a column added to one of the 2,000 tables and an UPDATE of 20 rows of the big table.
std::vector<std::string> Statements(Size size) {
  std::vector<std::string> statements;
  for (int i = 0; i < size.instructions / 2; ++i) {
    statements.push_back("ALTER TABLE T" + std::to_string(i % size.tables()) + " ADD c" +
                         std::to_string(i / size.tables()) + " int NULL");
    const int from = (i * 20) % size.rows();
    statements.push_back("UPDATE Big SET v = v + 1 WHERE k BETWEEN " + std::to_string(from) + " AND " +
                         std::to_string(from + 19));
  }
  return statements;
}

// A new database with the 2,000 tables and the big table.
std::string NewDatabase(const std::string& name, Size size) {
  TSqlServerSpecific dialect;
  BenchFolder();
  if (dialect.CreateDatabaseInFolder(name, "", "", "", "", kServer) != 2) throw std::runtime_error("no database");
  ado::TConnection connection(ConnectionString(name));
  connection.Open();
  connection.BeginTrans();
  for (int t = 0; t < size.tables(); ++t) {
    connection.Execute("CREATE TABLE T" + std::to_string(t) + " (a int NULL, b varchar(20) NULL)");
  }
  connection.Execute("CREATE TABLE Big (k int NOT NULL PRIMARY KEY, v int NULL)");
  connection.Execute("INSERT INTO Big (k, v) VALUES (0, 0)");
  for (int n = 1; n < size.rows(); n *= 2) {
    connection.Execute("INSERT INTO Big (k, v) SELECT k + " + std::to_string(n) + ", 0 FROM Big WHERE k + " +
                       std::to_string(n) + " < " + std::to_string(size.rows()));
  }
  connection.CommitTrans();
  return ConnectionString(name);
}

void WriteList(const std::string& folder, const std::vector<std::string>& statements) {
  ado::TDataSet rows;
  rows.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                      {"instruction", ado::FieldType::ftMemo},
                      {"IdBlockUndoDelete", ado::FieldType::ftInteger}};
  rows.CreateDataSet();
  for (size_t i = 0; i < statements.size(); ++i) {
    rows.Append();
    rows.Fields(0).SetAsInteger(static_cast<int64_t>(i) + 1);
    rows.Fields(1).SetAsString(statements[i]);
    rows.Fields(2).SetAsInteger(0);
    rows.Post();
  }
  rows.SaveToFile(folder + "/instructions.xml");
  ado::TDataSet blocks;
  blocks.FieldDefs() = {{"id", ado::FieldType::ftInteger},
                        {"ObjectName", ado::FieldType::ftString, 40},
                        {"Kind", ado::FieldType::ftString, 20},
                        {"undoDelete", ado::FieldType::ftBoolean}};
  blocks.CreateDataSet();
  blocks.SaveToFile(folder + "/BlockUndoDelete.xml");
}

void AssignEvents(TOrvDbSchemaUpdater& u, int& fired) {
  const TDbInstructionEvent count = [&fired](void*, TInstruction&, bool&) { ++fired; };
  for (TDbInstructionEvent* event :
       {&u.BeforeCreateDbSpace, &u.AfterCreateDbSpace, &u.BeforeDropDbSpace, &u.AfterDropDbSpace,
        &u.BeforeCreateUser, &u.AfterCreateUser, &u.BeforeDropUser, &u.AfterDropUser, &u.BeforeCreateTable,
        &u.AfterCreateTable, &u.BeforeDropTable, &u.AfterDropTable, &u.BeforeAlterTable, &u.AfterAlterTable,
        &u.BeforeCreateConstraint, &u.AfterCreateConstraint, &u.BeforeDropConstraint, &u.AfterDropConstraint,
        &u.BeforeCreateIndex, &u.AfterCreateIndex, &u.BeforeDropIndex, &u.AfterDropIndex,
        &u.BeforeCreateForeignKey, &u.AfterCreateForeignKey, &u.BeforeCreatePrimaryKey,
        &u.AfterCreatePrimaryKey, &u.BeforeCreateDefaultValue, &u.AfterCreateDefaultValue,
        &u.BeforeUnknownInstruction, &u.AfterUnknownInstruction, &u.BeforeExecuteInstruction,
        &u.AfterExecuteInstruction, &u.BeforeDropField, &u.AfterDropField}) {
    *event = count;
  }
  u.OnError = [](void*, const std::exception&, TDbContext, TInstruction*&, bool&, bool&) {};
}

void BM_UpdateDb(benchmark::State& state) {
  const Size size{static_cast<int>(state.range(0))};
  const std::string folder = BenchFolder().path + "/list" + std::to_string(size.instructions);
  fs::create_directories(folder);
  WriteList(folder, Statements(size));
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TOrvDbSchemaUpdater updater;
    updater.DirSchemas = updater.DirSql = updater.DirBackup = folder;
    updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
    int fired = 0;
    AssignEvents(updater, fired);
    updater.SetConnectionString(NewDatabase("Executor" + std::to_string(size.instructions) + "_" +
                                            std::to_string(run++), size));
    updater.Initialize();
    updater.SetConnected(true);
    state.ResumeTiming();
    if (!updater.dm()->UpdateDb(false) || fired != 4 * size.instructions) state.SkipWithError("the update failed");
  }
}

void BM_ConnectionAlone(benchmark::State& state) {
  const Size size{static_cast<int>(state.range(0))};
  const std::vector<std::string> statements = Statements(size);
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ado::TConnection connection(
        NewDatabase("Plain" + std::to_string(size.instructions) + "_" + std::to_string(run++), size));
    connection.Open();
    state.ResumeTiming();
    connection.BeginTrans();
    for (const std::string& sql : statements) connection.Execute(sql);
    connection.CommitTrans();
  }
}

}  // namespace

BENCHMARK(BM_ConnectionAlone)->Arg(2000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateDb)->Arg(2000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The windows run offscreen unless the caller chose a platform.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
