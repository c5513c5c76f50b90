// Test support for the ZIP reader: an extractor wired to record its events, and small file helpers.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

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
