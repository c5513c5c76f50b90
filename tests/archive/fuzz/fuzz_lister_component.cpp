// libFuzzer target: the lister component on a file made of the fuzzer's bytes. The first byte
// picks the file's extension (which steers detection and volume naming); the rest is the file.
// Every event handler is assigned, so the whole walk runs: totals, volumes, damaged ZIP headers.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/pakvoPakvo.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path root =
      (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
      ("pakvo-lister-fuzz-" + std::to_string(::getpid()));
  static const char* const kExtensions[] = {".zip", ".arj", ".lzh", ".rar", ".cab", ".tar",
                                            ".gz",  ".ace", ".arc", ".zoo", ".ha",  ".uue",
                                            ".jar", ".exe", ".z01", ".bin"};
  if (size < 1) return 0;
  fs::remove_all(root);
  fs::create_directories(root);
  const fs::path file = root / (std::string("a") + kExtensions[data[0] % 16]);
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  TPakvo lister;
  lister.SetArcFile(file.string());
  lister.OnRead = [](TObject*, int, int) {};
  lister.OnNextVolume = [](TObject*, std::string&, const std::string&, bool exists,
                           bool& cancel) { cancel = !exists; };
  lister.OnCorruptZipHeader = [](TObject*, THeaderTypeState, bool& cancel) { cancel = false; };
  lister.OnTotals = [](TObject*, int64_t, int64_t, int, int) {};
  try {
    lister.Activate();
  } catch (const E_RAISE&) {
    // errors the component raises by design
  }
  fs::remove_all(root);
  return 0;
}
