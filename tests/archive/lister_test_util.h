// Helpers shared by the lister tests: running the installed archivers, scratch folders, and
// walking an archive with the header readers.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive/pakvoHeaders.h"

namespace listertest {

namespace fs = std::filesystem;

inline std::string Formats() {
  return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/formats/";
}
inline std::string Archives() { return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/"; }

// Runs a shell command (archivers get TZ=UTC and no terminal); answers its output and exit code.
inline std::string Shell(const std::string& cmd, int* rc = nullptr) {
  std::string full = "TZ=UTC " + cmd + " </dev/null 2>&1";
  std::string out;
  if (FILE* p = popen(full.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    if (rc) *rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return out;
}

// The lines of a command's output, as Shell runs it.
inline std::vector<std::string> ShellLines(const std::string& cmd) {
  std::istringstream out(Shell(cmd));
  std::vector<std::string> lines;
  for (std::string l; std::getline(out, l);) lines.push_back(l);
  return lines;
}

// A scratch folder removed at the end of the test, with a few files in it.
struct Scratch {
  fs::path dir;
  Scratch() {
    static int counter = 0;
    dir = fs::temp_directory_path() /
          ("pakvo_lister_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    fs::remove_all(dir);
    fs::create_directories(dir / "src" / "sub");
    fs::create_directories(dir / "src" / "emptydir");
    std::ofstream(dir / "src" / "text.txt") << std::string(3000, 'a') << "lorem ipsum\n";
    std::mt19937 rng(7);
    std::string noise(5000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::ofstream(dir / "src" / "sub" / "noise.bin", std::ios::binary) << noise;
    std::ofstream(dir / "src" / "sub" / "empty.dat");
    // Fixed, even-second stamps so that DOS and Unix dates compare exactly.
    Shell("touch -d '2021-03-04 05:06:08' " + (dir / "src" / "text.txt").string());
    Shell("touch -d '2019-11-12 13:14:16' " + (dir / "src" / "sub" / "noise.bin").string());
    Shell("touch -d '2018-01-02 03:04:06' " + (dir / "src" / "sub" / "empty.dat").string());
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string In(const std::string& cmd) const {
    return Shell("cd " + (dir / "src").string() + " && " + cmd);
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
};

struct Walked {
  std::vector<TPakvoEntry> entries;
  int rc = 0;
};

inline Walked WalkSource(THeaderFamily family, TPakvoByteSource& src, THeaderContext ctx,
                         std::function<TPakvoByteSource*()> next = nullptr) {
  Walked w;
  auto reader = MakeHeaderReader(family, src, ctx);
  THeaderWalkHooks hooks;
  hooks.OnEntry = [&](const TPakvoEntry& e, int64_t) {
    w.entries.push_back(e);
    return w.entries.size() < 100000;
  };
  hooks.OnNextVolume = next;
  w.rc = WalkHeaders(*reader, src, hooks);
  return w;
}

inline Walked WalkFile(THeaderFamily family, const std::string& path, int64_t start = 0) {
  auto src = TPakvoFileSource::Open(path);
  if (!src) return Walked{{}, -1};
  THeaderContext ctx;
  ctx.ArchiveStart = start;
  ctx.ArchiveFileName = path;
  return WalkSource(family, *src, ctx);
}

// "YYYY-MM-DD hh:mm:ss" of an entry's stamp (DOS stamps as they stand, Unix stamps in UTC).
inline std::string StampText(const TPakvoEntry& e) {
  char buf[32];
  if (e.DateKind == edkDos) {
    uint32_t d = e.DosDate;
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (d >> 25),
                  (d >> 21) & 15, (d >> 16) & 31, (d >> 11) & 31, (d >> 5) & 63, (d & 31) * 2);
  } else {
    std::time_t t = static_cast<std::time_t>(e.UnixTime);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  }
  return buf;
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace listertest
