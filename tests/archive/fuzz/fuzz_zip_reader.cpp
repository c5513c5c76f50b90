// libFuzzer target: the ZIP reader's directory walk, local-header walk and every decoder, on an
// archive made of the fuzzer's bytes, extracted into a scratch folder. A file written anywhere but
// under the target folder aborts the run.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/pakvoUnZip.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path root =
      fs::exists("/dev/shm")
          ? fs::path("/dev/shm") / ("pakvo-fuzz-" + std::to_string(::getpid()))
          : fs::temp_directory_path() / ("pakvo-fuzz-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "in");
  const fs::path archive = root / "in" / "a.zip";
  {
    std::ofstream out(archive, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TUnZip unzip;
  unzip.SetArcFile(archive.string());
  unzip.SetExtractDir((root / "out").string());
  unzip.CreateStoredDirs = true;
  unzip.Passwords = {"pw"};
  unzip.OnGetPassword = [](TObject*, const std::string&, std::string& pw, bool&) { pw = "x"; };
  try {
    unzip.Extract();
  } catch (const E_RAISE&) {
    // the legacy decoders raise their errors
  }
  for (const auto& e : fs::directory_iterator(root)) {
    const std::string name = e.path().filename().string();
    if (name != "in" && name != "out") std::abort();
  }
  for (const auto& e : fs::directory_iterator(root / "in")) {
    if (e.path() != archive) std::abort();
  }
  fs::remove_all(root);
  return 0;
}
