// Test support for the ZIP reader: an extractor wired to record its events, and small file helpers.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoUnZip.h"
#include "zip_test_support.h"

namespace unziptest {

using ziptest::ReadFile;
inline int Shell(const std::string& command) { return ziptest::Run(command); }
using ziptest::TempFolder;
using ziptest::WriteFile;

inline std::string Sample(const std::string& rel) {
  return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/" + rel;
}

// True when no password of `wrong` passes the one-byte check of any encrypted entry of the
// archive. A wrong password passes it 1 time in 256 by the format, and archivers write random
// headers: a test that needs a wrong password refused makes its archive again until this holds.
inline bool WrongPasswordsFailTheCheck(const std::string& zipPath,
                                       const std::vector<std::string>& wrong) {
  const std::string zip = ReadFile(zipPath);
  for (const auto& e : ziptest::ListZip(zip)) {
    if ((e.flags & 1) == 0 || e.dataOffset + kEncryptionHeaderSize > zip.size()) continue;
    for (const std::string& pw : wrong)
      if (CheckEncryptionHeader(zip.data() + e.dataOffset, e.flags, e.crc, e.dosTime, pw))
        return false;
  }
  return true;
}

struct ErrorRecord {
  std::string FileName;
  std::string ExtendedMsg;
  std::string VolumeID;
  int ECode;
};

// A TUnZip whose errors and CRC verdicts are collected.
class RecordingUnZip : public TUnZip {
 public:
  RecordingUnZip() {
    OnError = [this](TObject*, const std::string& f, const std::string& x, const std::string& v,
                     int code) {
      errors.push_back({f, x, v, code});
    };
  }
  // Codes of the errors reported so far, in order.
  std::vector<int> Codes() const {
    std::vector<int> c;
    for (const auto& e : errors) c.push_back(e.ECode);
    return c;
  }
  bool HasCode(int code) const {
    for (const auto& e : errors)
      if (e.ECode == code) return true;
    return false;
  }
  std::vector<ErrorRecord> errors;
};

// Every regular file below `root`, by path relative to it, with its content.
inline std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) {
      files[std::filesystem::relative(e.path(), root).string()] = ReadFile(e.path().string());
    }
  }
  return files;
}

// Every entry (files and directories) below `root`, relative.
inline std::vector<std::string> AllPaths(const std::string& root) {
  std::vector<std::string> paths;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    paths.push_back(std::filesystem::relative(e.path(), root).string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

inline int64_t MTime(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

}  // namespace unziptest
