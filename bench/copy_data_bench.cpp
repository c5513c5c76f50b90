// The copy-data phase on the embedded SQL Server with a data file of 200,000 rows, cdtUnchange and
// cdtUpdate into an empty and a full client, in one run:
// - the check (CheckDb) against loading the data file and saving an instruction file of as many
//   rows (goal: within 3x), with the component's echo of every instruction and without it;
// - the update (UpdateDb of that check's list) against the plain INSERTs or UPDATEs through
//   TConnection::Execute in one transaction (goal: within 2.5x).
// And the update (UpdateDb) of a copy of 20,000 and 100,000 rows on each of the three embedded servers,
// with the rows per second as a counter (goal: at least 30,000 rows/s everywhere).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "BenchProduce.h"
#include "BenchServers.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/uDbSpecific.h"
#include "engine/uDm.h"

namespace {

namespace fs = std::filesystem;

const int kRows = [] {
  const char* rows = getenv("SCHEMION_COPY_ROWS");
  return rows != nullptr && atoi(rows) > 0 ? atoi(rows) : 200000;
}();

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}
constexpr char kServer[] = "CopyBench";
constexpr char kCreate[] = "CREATE TABLE Items (id int NOT NULL PRIMARY KEY, name varchar(40) NULL, qty float NULL)";

std::string Literal(int i) { return "'item " + std::to_string(i) + "'"; }

struct BenchRoot : bench::ServerFolder {
  std::string folder;  // the schema folder of the master, with its CPFP_Items.xml
  BenchRoot() : bench::ServerFolder("copy") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// A new database with table Items, empty or holding the 200,000 rows.
std::string NewDatabase(const std::string& name, bool full) {
  Root();
  const std::string cs = bench::NewSqlServerDatabase(name, kServer);
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  c.Execute(kCreate);
  if (full) {
    for (int i = 0; i < kRows; ++i) {
      c.Execute("INSERT INTO Items (id, name, qty) VALUES (" + std::to_string(i) + ", " + Literal(i) + ", 1.5)");
    }
  }
  c.CommitTrans();
  return cs;
}

// Extracts `master` into `folder` with the copy item of Items by `treatment`.
void ProduceItems(const std::string& master, const std::string& folder, TCopyDataTreatment treatment) {
  bench::Produce(master, folder, [treatment](TOrvDbSchemaProducer& producer) {
    TCopyDataElem& item = producer.CopyData.Add();
    item.TableName = "Items";
    item.Treatment = treatment;
  });
}

// The master's schema folder with the copy item of the treatment (extracted once per treatment).
std::string SchemaFolder(TCopyDataTreatment treatment) {
  static std::map<int, std::string> folders;
  static const std::string master = NewDatabase("CopyMaster", true);
  if (auto found = folders.find(treatment); found != folders.end()) return found->second;
  const std::string folder = Root().dir + "/schemas" + std::to_string(treatment);
  fs::create_directories(folder);
  ProduceItems(master, folder, treatment);
  return folders[treatment] = folder;
}

int Counter() {
  static int n = 0;
  return ++n;
}

void Prepare(TOrvDbSchemaUpdater& updater, const std::string& client, const std::string& folder,
             const std::string& sqlFolder) {
  updater.DirSchemas = folder;
  updater.DirSql = sqlFolder;
  updater.DirBackup = sqlFolder;
  updater.UpdaterDirectives().BackupBeforeUpdate = beNo;
  updater.UpdaterDirectives().ProgressInfoKind = pikSilent;  // no window echoes the 200,000 rows
  updater.SetConnectionString(client);
  updater.Initialize();
  updater.SetConnected(true);
}

// Baseline of the check: the data file loaded, and an instruction file of as many rows saved.
void BM_LoadDataAndSaveList(benchmark::State& state) {
  const std::string folder = SchemaFolder(cdtUnchange);
  const std::string list = Root().dir + "/baseline.xml";
  for (auto _ : state) {
    ado::TDataSet data;
    data.LoadFromFile(folder + "/CPFP_Items.xml");
    ado::TDataSet instructions;
    instructions.FieldDefs() = {{"id", ado::FieldType::ftInteger, 0},
                                {"instruction", ado::FieldType::ftMemo, 0},
                                {"IdBlockUndoDelete", ado::FieldType::ftInteger, 0}};
    instructions.CreateDataSet();
    int id = 1;
    for (data.First(); !data.Eof(); data.Next()) {
      instructions.Append();
      instructions.Fields(0).SetAsInteger(id++);
      instructions.Fields(1).SetAsString("INSERT INTO dbo.Items (id, name, qty) VALUES (" +
                                         data.Fields(0).AsString() + ", '" + data.Fields(1).AsString() + "', " +
                                         data.Fields(2).AsString() + ")");
      instructions.Fields(2).SetAsInteger(0);
      instructions.Post();
    }
    instructions.SaveToFile(list);
  }
}
BENCHMARK(BM_LoadDataAndSaveList)->Unit(benchmark::kMillisecond)->Iterations(2);

// CheckDb of a client; arguments: treatment (0 cdtUnchange, 1 cdtUpdate), client full (1) or empty.
void BM_Check(benchmark::State& state) {
  const auto treatment = static_cast<TCopyDataTreatment>(state.range(0));
  const std::string folder = SchemaFolder(treatment);
  const std::string client = NewDatabase("CheckClient" + std::to_string(Counter()), state.range(1) != 0);
  const std::string sqlFolder = Root().dir + "/check" + std::to_string(Counter());
  fs::create_directories(sqlFolder);
  for (auto _ : state) {
    TOrvDbSchemaUpdater updater;
    Prepare(updater, client, folder, sqlFolder);
    if (!updater.dm()->CheckDb(true)) state.SkipWithError("the check failed");
  }
}
BENCHMARK(BM_Check)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

// An updater whose console lines go nowhere: the check's own work, without the echo of every
// instruction into the (hidden) console and progress windows.
class QuietUpdater : public TOrvDbSchemaUpdater {
 public:
  void WriteMessage(const std::string&) override {}
  void SetProgressInfoText(const std::string&) override {}
  void ProgressStepUpdateLevel1(const std::string&) override {}
};

// CheckDb as BM_Check, by a QuietUpdater.
void BM_CheckQuiet(benchmark::State& state) {
  const auto treatment = static_cast<TCopyDataTreatment>(state.range(0));
  const std::string folder = SchemaFolder(treatment);
  const std::string client = NewDatabase("QuietClient" + std::to_string(Counter()), state.range(1) != 0);
  const std::string sqlFolder = Root().dir + "/quiet" + std::to_string(Counter());
  fs::create_directories(sqlFolder);
  for (auto _ : state) {
    QuietUpdater updater;
    Prepare(updater, client, folder, sqlFolder);
    if (!updater.dm()->CheckDb(true)) state.SkipWithError("the check failed");
  }
}
BENCHMARK(BM_CheckQuiet)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

// UpdateDb of the check's list on a fresh client; same arguments.
void BM_Update(benchmark::State& state) {
  const auto treatment = static_cast<TCopyDataTreatment>(state.range(0));
  const std::string folder = SchemaFolder(treatment);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string client = NewDatabase("UpdateClient" + std::to_string(Counter()), state.range(1) != 0);
    const std::string sqlFolder = Root().dir + "/update" + std::to_string(Counter());
    fs::create_directories(sqlFolder);
    TOrvDbSchemaUpdater updater;
    Prepare(updater, client, folder, sqlFolder);
    updater.dm()->CheckDb(true);
    state.ResumeTiming();
    if (!updater.dm()->UpdateDb(true)) state.SkipWithError("the update failed");
  }
}
BENCHMARK(BM_Update)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

// UpdateDb as BM_Update, by a QuietUpdater.
void BM_UpdateQuiet(benchmark::State& state) {
  const auto treatment = static_cast<TCopyDataTreatment>(state.range(0));
  const std::string folder = SchemaFolder(treatment);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string client = NewDatabase("QuietUpdate" + std::to_string(Counter()), state.range(1) != 0);
    const std::string sqlFolder = Root().dir + "/quietupdate" + std::to_string(Counter());
    fs::create_directories(sqlFolder);
    QuietUpdater updater;
    Prepare(updater, client, folder, sqlFolder);
    updater.dm()->CheckDb(true);
    state.ResumeTiming();
    if (!updater.dm()->UpdateDb(true)) state.SkipWithError("the update failed");
  }
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_UpdateQuiet)->Args({0, 0})->Args({1, 1})->Unit(benchmark::kMillisecond)->Iterations(1);

// The baseline of the update: the plain INSERTs (empty client) or UPDATEs (full client) in one
// transaction.
void BM_PlainStatements(benchmark::State& state) {
  const bool full = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string client = NewDatabase("PlainClient" + std::to_string(Counter()), full);
    ado::TConnection c(client);
    c.Open();
    state.ResumeTiming();
    c.BeginTrans();
    for (int i = 0; i < kRows; ++i) {
      const std::string key = std::to_string(i);
      c.Execute(full ? "UPDATE dbo.Items SET id = " + key + ", name = " + Literal(i) + ", qty = 1.5 WHERE id = " + key
                     : "INSERT INTO dbo.Items (id, name, qty) VALUES (" + key + ", " + Literal(i) + ", 1.5)");
    }
    c.CommitTrans();
  }
}
BENCHMARK(BM_PlainStatements)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The three embedded servers of the copy by server: 0 SQL Server, 1 Adaptive Server Anywhere, 2 Access.
std::string NewServerDatabase(int server, const std::string& name) {
  if (server == 0) return bench::NewSqlServerDatabase(name, kServer);
  if (server == 1) {
    bench::MakeServer("Provider=ASAProv.90;Eng=CopyAsa");
    ado::TConnection engine("Provider=ASAProv.90;Eng=CopyAsa");
    engine.Open();
    engine.Execute("CREATE DATABASE '" + Root().dir + "/" + name + ".db'");
    engine.Execute("START DATABASE '" + Root().dir + "/" + name + ".db'");
    return "Provider=ASAProv.90;Eng=CopyAsa;dbn=" + name;
  }
  const std::string cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + Root().dir + "/" + name + ".mdb";
  ado::ProviderRegistry::Instance().CreateDatabase(cs);
  return cs;
}

// A new database of the server with table Items, empty or holding `rows` rows.
std::string NewItems(int server, const std::string& name, int rows) {
  Root();
  const std::string cs = NewServerDatabase(server, name);
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  c.Execute(server == 0   ? kCreate
            : server == 1 ? "CREATE TABLE Items (id integer NOT NULL PRIMARY KEY, name varchar(40) NULL, qty double NULL)"
                          : "CREATE TABLE Items (id INTEGER NOT NULL PRIMARY KEY, name TEXT(40) NULL, qty DOUBLE NULL)");
  for (int i = 0; i < rows; ++i)
    c.Execute("INSERT INTO Items (id, name, qty) VALUES (" + std::to_string(i) + ", " + Literal(i) + ", 1.5)");
  c.CommitTrans();
  return cs;
}

// The schema folder of a master of the server with `rows` rows, copied by `treatment`.
std::string ServerSchemaFolder(int server, int rows, TCopyDataTreatment treatment) {
  static std::map<std::string, std::string> folders;
  const std::string key = std::to_string(server) + "_" + std::to_string(rows) + "_" + std::to_string(treatment);
  if (auto found = folders.find(key); found != folders.end()) return found->second;
  const std::string folder = Root().dir + "/schemas_" + key;
  fs::create_directories(folder);
  ProduceItems(NewItems(server, "Master" + key, rows), folder, treatment);
  return folders[key] = folder;
}

// UpdateDb of a copy by a QuietUpdater; arguments: server, rows, and whether the client already holds
// them all (cdtUpdate of a full client) or none (cdtUnchange into an empty one).
void BM_CopyOnServer(benchmark::State& state) {
  const int server = static_cast<int>(state.range(0));
  const int rows = static_cast<int>(state.range(1));
  const bool full = state.range(2) != 0;
  const std::string folder = ServerSchemaFolder(server, rows, full ? cdtUpdate : cdtUnchange);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string client = NewItems(server, "CopyClient" + std::to_string(Counter()), full ? rows : 0);
    const std::string sqlFolder = Root().dir + "/copy" + std::to_string(Counter());
    fs::create_directories(sqlFolder);
    QuietUpdater updater;
    Prepare(updater, client, folder, sqlFolder);
    updater.dm()->CheckDb(true);
    state.ResumeTiming();
    if (!updater.dm()->UpdateDb(true)) state.SkipWithError("the update failed");
  }
  state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CopyOnServer)
    ->ArgsProduct({{0, 1, 2}, {20000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
