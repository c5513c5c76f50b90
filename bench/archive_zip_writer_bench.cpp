// Packing one folder of mixed files (many small text files, some large mixed files) with our ZIP
// writer and with Info-ZIP `zip -r -6`, in the same run: times and archive sizes.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "archive/pakvoZip.h"

namespace fs = std::filesystem;

namespace {

std::string Words(size_t n, std::mt19937& rng) {
  static const char* kWords[] = {"schema ", "table ", "column ", "index ", "update ", "client ",
                                 "master ", "package ", "archive ", "deflate ", "\r\n", "key "};
  std::string s;
  while (s.size() < n) s += kWords[rng() % 12];
  s.resize(n);
  return s;
}

// The folder, made once: 3,000 small files of 2-16 KB and four files of 48 MiB.
const std::string& Folder() {
  static const std::string dir = [] {
    const std::string root = (fs::temp_directory_path() / ("pakvo_bench_" + std::to_string(::getpid()))).string();
    fs::create_directories(root + "/small");
    std::mt19937 rng(17);
    for (int i = 0; i < 3000; ++i) {
      std::ofstream(root + "/small/f" + std::to_string(i) + ".txt", std::ios::binary)
          << Words(2048 + rng() % 14336, rng);
    }
    for (int i = 0; i < 4; ++i) {
      std::ofstream out(root + "/large" + std::to_string(i) + ".dat", std::ios::binary);
      for (int block = 0; block < 48 * 16; ++block) {
        if (block % 4 == 0) {
          std::string random(65536, '\0');
          for (char& c : random) c = static_cast<char>(rng());
          out << random;
        } else {
          out << Words(65536, rng);
        }
      }
    }
    // Removed at exit. (An atexit handler reading dir would run after dir is destroyed, since it
    // is registered while dir is still being made, and would leave the folder behind.)
    static struct Remover {
      std::string path;
      ~Remover() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
      }
    } remover;
    remover.path = root;
    return root;
  }();
  return dir;
}

// Times pack, which makes the archive from the folder; each iteration starts without the archive
// (its removal is not timed). With countArchiveBytes the archive's size is reported as well.
template <class Pack>
void TimePacking(benchmark::State& state, const std::string& suffix, bool countArchiveBytes, Pack pack,
                 const std::string& subFolder = std::string()) {
  const std::string archive = Folder() + suffix;
  int64_t bytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(Folder() + subFolder)) {
    if (e.is_regular_file()) bytes += static_cast<int64_t>(e.file_size());
  }
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(archive);
    state.ResumeTiming();
    pack(archive);
  }
  if (countArchiveBytes) state.counters["archive_bytes"] = static_cast<double>(fs::file_size(archive));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
  fs::remove(archive);
}

// Packs the folder with our writer, as configure sets it up.
template <class Configure>
void PackOurs(benchmark::State& state, const std::string& archive, Configure configure,
              const std::string& subFolder = std::string()) {
  TZip z;
  z.SetArcFile(archive);
  z.FileSpec = {Folder() + subFolder + "/*.*"};
  configure(z);
  if (z.Compress() == 0) state.SkipWithError("nothing packed");
}

void BM_PackFolderOurs(benchmark::State& state) {
  TimePacking(state, ".ours.zip", true, [&](const std::string& archive) {
    PackOurs(state, archive, [](TZip& z) { z.DeflateType = dtDeflateN; });
  });
}

void BM_PackFolderInfoZip(benchmark::State& state) {
  TimePacking(state, ".infozip.zip", true, [&](const std::string& archive) {
    const int rc = std::system(("cd '" + Folder() + "' && zip -q -r -6 '" + archive + "' .").c_str());
    if (!WIFEXITED(rc) || WEXITSTATUS(rc) != 0) state.SkipWithError("zip failed");
  });
}

void BM_PackFolderStored(benchmark::State& state) {
  TimePacking(state, ".stored.zip", false, [&](const std::string& archive) {
    PackOurs(state, archive, [](TZip& z) { z.CompressMethod = cmStore; });
  });
}

// The small files alone: what each entry costs beyond its data.
void BM_PackSmallFilesOurs(benchmark::State& state) {
  TimePacking(
      state, ".small.ours.zip", true,
      [&](const std::string& archive) {
        PackOurs(state, archive, [](TZip& z) { z.DeflateType = dtDeflateN; }, "/small");
      },
      "/small");
}

void BM_PackSmallFilesInfoZip(benchmark::State& state) {
  TimePacking(
      state, ".small.infozip.zip", true,
      [&](const std::string& archive) {
        const int rc = std::system(("cd '" + Folder() + "/small' && zip -q -r -6 '" + archive + "' .").c_str());
        if (!WIFEXITED(rc) || WEXITSTATUS(rc) != 0) state.SkipWithError("zip failed");
      },
      "/small");
}

}  // namespace

BENCHMARK(BM_PackFolderOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PackFolderInfoZip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PackFolderStored)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PackSmallFilesOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PackSmallFilesInfoZip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
