// Packing and unpacking a schema folder (the catalogue files of a 4,000-table master and a
// 200,000-row data file) with the file utilities, against `zip -j -6` and `unzip -o` in the same
// run. Goal: at least as fast as the real archivers.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "app/dmFilesUtils.h"

namespace fs = std::filesystem;

namespace {

struct WorkFolder {
  fs::path path = fs::temp_directory_path() / ("schemion-package-bench-" + std::to_string(::getpid()));
  ~WorkFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

const fs::path& Work() {
  static const WorkFolder folder;
  return folder.path;
}

// One persisted-recordset file of `rows` rows shaped like the catalogue files.
void WriteRowset(const fs::path& file, int rows, const std::string& kind) {
  std::ofstream out(file, std::ios::binary);
  out << "<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' xmlns:rs='urn:schemas-microsoft-com:rowset' "
         "xmlns:z='#RowsetSchema'>\n<rs:data>\n";
  for (int i = 0; i < rows; ++i) {
    out << "<z:row TABLE_NAME='T" << (i % 4000) << "' NAME='" << kind << i << "' ORDINAL='" << (i % 37)
        << "' TYPE_NAME='varchar' LENGTH='" << (i * 7 % 255) << "' NULLABLE='" << (i & 1) << "'/>\n";
  }
  out << "</rs:data>\n</xml>\n";
}

// The schema folder, made once: the 15 catalogue files, the directives and a 200,000-row data file.
const fs::path& SchemaFolder() {
  static const fs::path folder = [] {
    const fs::path dir = Work() / "schema";
    fs::create_directories(dir);
    const std::pair<const char*, int> files[] = {
        {"Tables", 4000},       {"Columns", 40000},  {"Indexes", 6000},    {"IndexColumns", 9000},
        {"ForeignKeys", 3000},  {"FkColumns", 3500}, {"Views", 300},       {"Procedures", 500},
        {"Functions", 100},     {"Triggers", 200},   {"Defaults", 2000},   {"Checks", 400},
        {"Users", 20},          {"Roles", 10},       {"Properties", 5000}};
    for (const auto& [kind, rows] : files) WriteRowset(dir / ("vsi" + std::string(kind) + ".xml"), rows, kind);
    std::ofstream(dir / "UpdaterDirectives.xml") << "<directives/>";
    WriteRowset(dir / "CPFP_Data.xml", 200000, "row");
    return dir;
  }();
  return folder;
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

void BM_ZipFiles(benchmark::State& state) {
  TdmFilesUtils utils;
  const std::string spec = SchemaFolder().string() + "/*.*";
  const std::string package = (Work() / "ours.upd").string();
  std::string result;
  for (auto _ : state) utils.ZipFiles(package, spec, result, false);
}
BENCHMARK(BM_ZipFiles)->Unit(benchmark::kMillisecond);

void BM_ZipPeer(benchmark::State& state) {
  const std::string package = (Work() / "peer.zip").string();
  const std::string command = "cd '" + SchemaFolder().string() + "' && zip -q -j -6 '" + package + "' *";
  for (auto _ : state) {
    fs::remove(package);
    Shell(command);
  }
}
BENCHMARK(BM_ZipPeer)->Unit(benchmark::kMillisecond);

void BM_UnzipPackage(benchmark::State& state) {
  TdmFilesUtils utils;
  const std::string package = (Work() / "ours.upd").string();
  std::string result;
  utils.ZipFiles(package, SchemaFolder().string() + "/*.*", result, false);
  const fs::path target = Work() / "out-ours";
  fs::create_directories(target);
  std::string first;
  for (auto _ : state) utils.UnzipPackage(package, target.string(), first, false);
}
BENCHMARK(BM_UnzipPackage)->Unit(benchmark::kMillisecond);

void BM_UnzipPeer(benchmark::State& state) {
  const std::string package = (Work() / "ours.upd").string();
  const fs::path target = Work() / "out-peer";
  fs::create_directories(target);
  const std::string command = "unzip -q -o '" + package + "' -d '" + target.string() + "'";
  for (auto _ : state) Shell(command);
}
BENCHMARK(BM_UnzipPeer)->Unit(benchmark::kMillisecond);

}  // namespace
