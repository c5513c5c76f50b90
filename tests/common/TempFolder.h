// A test's own folder in the system's temporary folder: unique, and removed with everything in it
// when its owner ends, also when the test fails part-way.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace test_support {

class TempFolder {
 public:
  explicit TempFolder(const std::string& aPrefix = "schemion-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (aPrefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("Cannot make a folder like " + pattern);
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // An empty folder `aName` inside (emptied when it was there).
  std::string Sub(const std::string& aName) const {
    const std::filesystem::path folder = std::filesystem::path(path_) / aName;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
  }

 private:
  std::string path_;
};

// The test program's own temporary folder, removed when the program ends.
inline const TempFolder& ProgramTempFolder() {
  static const TempFolder folder;
  return folder;
}

}  // namespace test_support
