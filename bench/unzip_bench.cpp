// Extraction speed of the ZIP reader against the real archivers, in the same run: a deflated
// archive against `unzip` (goal: at least as fast) and a Deflate64 archive against `7zz x`
// (goal: within 1.2x).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "archive/pakvoUnZip.h"

namespace fs = std::filesystem;

namespace {

// The bench's work folder, removed with everything in it when the program ends (the object that
// names it also removes it, so no destruction order can leave it behind).
struct WorkFolder {
  fs::path path = fs::temp_directory_path() / ("pakvo-bench-" + std::to_string(::getpid()));
  ~WorkFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

const fs::path& Work() {
  static const WorkFolder folder;
  return folder.path;
}

// A 40 MB set of text and binary files, zipped once at level 6.
const std::string& DeflateArchive() {
  static const std::string zip = [] {
    fs::create_directories(Work() / "src");
    std::mt19937 rng(11);
    static const char* kWords[] = {"schema ", "table ",  "column ",
                                   "index ",  "update ", "client\r\n"};
    for (int f = 0; f < 8; ++f) {
      std::ofstream out(Work() / "src" / ("file" + std::to_string(f) + ".txt"), std::ios::binary);
      std::string text;
      while (text.size() < 4'000'000) text += kWords[rng() % 6];
      out << text;
      std::string bin(1'000'000, '\0');
      for (char& c : bin) c = static_cast<char>(rng() % 32);
      std::ofstream(Work() / "src" / ("file" + std::to_string(f) + ".bin"), std::ios::binary)
          << bin;
    }
    const std::string path = (Work() / "set.zip").string();
    std::system(("cd " + (Work() / "src").string() + " && zip -q -6 -r " + path + " .").c_str());
    return path;
  }();
  return zip;
}

std::string Deflate64Archive() {
  return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/deflate64/deflate64.zip";
}

void ExtractOurs(benchmark::State& state, const std::string& archive) {
  const fs::path out = Work() / "ours";
  for (auto _ : state) {
    fs::remove_all(out);
    TUnZip unzip;
    unzip.SetArcFile(archive);
    unzip.SetExtractDir(out.string());
    bool failed = false;
    unzip.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int) {
      failed = true;
    };
    benchmark::DoNotOptimize(unzip.Extract());
    if (failed) {
      state.SkipWithError("extraction reported an error");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fs::file_size(archive)));
}

void ExtractTool(benchmark::State& state, const std::string& command) {
  const fs::path out = Work() / "tool";
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("tool failed");
      break;
    }
  }
}

void BM_DeflateOurs(benchmark::State& state) { ExtractOurs(state, DeflateArchive()); }
void BM_DeflateUnzip(benchmark::State& state) {
  ExtractTool(state, "unzip -qq -o " + DeflateArchive() + " -d " + (Work() / "tool").string());
}
void BM_Deflate64Ours(benchmark::State& state) { ExtractOurs(state, Deflate64Archive()); }
void BM_Deflate64SevenZip(benchmark::State& state) {
  ExtractTool(state, "7zz x -y -bd -o" + (Work() / "tool").string() + " " + Deflate64Archive() +
                         " >/dev/null");
}

BENCHMARK(BM_DeflateOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeflateUnzip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Deflate64Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Deflate64SevenZip)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
