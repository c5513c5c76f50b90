// Test support: reads files, runs shell commands and walks a ZIP's central directory to find
// each entry's data, so that decoders can be checked before the ZIP reader exists.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace ziptest {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Exit code of a shell command (its output discarded).
inline int Run(const std::string& command) {
  const int rc = std::system(("(" + command + ") >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// Readable text with long repeats, so that deflate finds matches.
inline std::string SampleText(size_t n, uint32_t seed = 7) {
  static const char* kWords[] = {"schema ", "table ",  "column ", "index ", "update ", "client ",
                                 "master ", "package ", "archive ", "deflate ", "\r\n",  "key "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += kWords[rng() % 12];
  s.resize(n);
  return s;
}

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag) {
    path_ = std::filesystem::temp_directory_path() /
            (tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter()++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Path(const std::string& name = {}) const {
    return name.empty() ? path_.string() : (path_ / name).string();
  }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }
  std::filesystem::path path_;
};

struct ZipEntry {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint64_t packedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
  uint64_t dataOffset = 0;  // first byte after the local header, name and extra field
};

inline uint32_t Get16(const std::string& s, size_t at) {
  if (at + 2 > s.size()) throw std::runtime_error("zip: read past end");
  return static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8);
}
inline uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | (Get16(s, at + 2) << 16); }

// Entries of a ZIP held in memory, from its central directory (no Zip64).
inline std::vector<ZipEntry> ListZip(const std::string& zip) {
  size_t end = std::string::npos;
  for (size_t i = zip.size() >= 22 ? zip.size() - 22 : 0;; --i) {
    if (Get32(zip, i) == 0x06054b50u) {
      end = i;
      break;
    }
    if (i == 0) break;
  }
  if (end == std::string::npos) throw std::runtime_error("zip: no end record");
  const uint32_t count = Get16(zip, end + 10);
  size_t at = Get32(zip, end + 16);
  std::vector<ZipEntry> entries;
  for (uint32_t k = 0; k < count; ++k) {
    if (Get32(zip, at) != 0x02014b50u) throw std::runtime_error("zip: bad central record");
    ZipEntry e;
    e.flags = static_cast<uint16_t>(Get16(zip, at + 8));
    e.method = static_cast<uint16_t>(Get16(zip, at + 10));
    e.dosTime = static_cast<uint16_t>(Get16(zip, at + 12));
    e.dosDate = static_cast<uint16_t>(Get16(zip, at + 14));
    e.crc = Get32(zip, at + 16);
    e.packedSize = Get32(zip, at + 20);
    e.size = Get32(zip, at + 24);
    const uint32_t nameLen = Get16(zip, at + 28);
    const uint32_t extraLen = Get16(zip, at + 30);
    const uint32_t commentLen = Get16(zip, at + 32);
    e.localOffset = Get32(zip, at + 42);
    e.name = zip.substr(at + 46, nameLen);
    const size_t local = e.localOffset;
    if (Get32(zip, local) != 0x04034b50u) throw std::runtime_error("zip: bad local header");
    e.dataOffset = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
    entries.push_back(e);
    at += 46 + nameLen + extraLen + commentLen;
  }
  return entries;
}

inline std::string EntryData(const std::string& zip, const ZipEntry& e) {
  return zip.substr(e.dataOffset, e.packedSize);
}

inline ZipEntry FindEntry(const std::vector<ZipEntry>& entries, const std::string& name) {
  for (const ZipEntry& e : entries) {
    if (e.name == name) return e;
  }
  throw std::runtime_error("zip: no entry " + name);
}

}  // namespace ziptest
