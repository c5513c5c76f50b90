// The application's package work against the components doing the same in process, same run: a
// batch run of Schemion32 (a child process: unpack, check and update) against CheckAndUpdate on
// the unpacked schema folder, and a package build against the producer's extraction alone, on a
// master of 20-column tables and a client equal to it. Goals: each within 1.2x.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "BenchServers.h"
#include "app/dmMain.h"
#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "dialects/uDbSpecific.h"
#include "platform/data/Connection.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct BenchRoot : bench::ServerFolder {
  std::map<std::string, std::string> databases;  // name -> connection string
  BenchRoot() : bench::ServerFolder("batch") {}
};

BenchRoot& Root() {
  static BenchRoot root;
  return root;
}

// Database `name` of `tables` tables of 20 columns, each with a key.
std::string Build(const std::string& name, int tables) {
  auto found = Root().databases.find(name);
  if (found != Root().databases.end()) return found->second;
  const std::string cs = bench::NewSqlServerDatabase(name, "Batch");
  if (cs.empty()) return {};
  ado::TConnection c(cs);
  c.Open();
  c.BeginTrans();
  for (int i = 0; i < tables; ++i) c.Execute(bench::KeyedTableSql("T" + std::to_string(i), 20, "varchar (40)"));
  c.CommitTrans();
  return Root().databases[name] = cs;
}

std::string AppFolder(const std::string& name) {
  const std::string folder = Root().dir + "/" + name;
  fs::create_directories(folder);
  return folder;
}

int Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_BuildPackage(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  const std::string master = Build("Master" + std::to_string(tables), tables);
  TdmMain dm(AppFolder("build" + std::to_string(tables)));
  for (auto _ : state) {
    if (dm.BuildPackage(master).empty()) state.SkipWithError("no package");
  }
}

void BM_ExtractionAlone(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  const std::string master = Build("Master" + std::to_string(tables), tables);
  TOrvDbSchemaProducer producer;
  producer.DirSchemas = AppFolder("extract" + std::to_string(tables));
  producer.SetConnectionString(master);
  producer.Initialize();
  producer.SetConnected(true);
  for (auto _ : state) {
    if (!producer.ExtractSchema()) state.SkipWithError("extraction failed");
  }
}

void BM_BatchRun(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  const std::string master = Build("Master" + std::to_string(tables), tables);
  const std::string client = Build("Client" + std::to_string(tables), tables);
  const std::string app = AppFolder("batch" + std::to_string(tables));
  std::string package;
  {
    TdmMain dm(app);
    package = dm.BuildPackage(master);
  }
  const std::string program = app + "/Schemion32";
  fs::copy_file(std::string(SCHEMION_BINARY_DIR) + "/app/Schemion32", program, fs::copy_options::overwrite_existing);
  for (auto _ : state) {
    if (Run({program, "connection=" + client, "upd=" + package}) != 0) state.SkipWithError("the run failed");
  }
}

void BM_CheckAndUpdateInProcess(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  const std::string master = Build("Master" + std::to_string(tables), tables);
  const std::string client = Build("Client" + std::to_string(tables), tables);
  const std::string app = AppFolder("inprocess" + std::to_string(tables));
  TdmMain dm(app);
  const std::string package = dm.BuildPackage(master);
  std::string first;
  dm.FilesUtils().UnzipPackage(package, dm.SchemaFolder(), first, false);
  dm.ResetUpdater();
  for (auto _ : state) {
    if (!dm.Updater.CheckAndUpdate(client)) state.SkipWithError("the update failed");
  }
}

}  // namespace

BENCHMARK(BM_BuildPackage)->Arg(200)->Arg(2000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractionAlone)->Arg(200)->Arg(2000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BatchRun)->Arg(200)->Arg(2000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CheckAndUpdateInProcess)->Arg(200)->Arg(2000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
