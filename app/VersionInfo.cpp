#include "app/VersionInfo.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace version {
namespace {

// Little-endian field of `size` bytes at `pos`; 0 when outside the buffer.
uint64_t Le(std::string_view bytes, uint64_t pos, int size) {
  if (pos > bytes.size() || bytes.size() - pos < static_cast<uint64_t>(size)) return 0;
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[pos + i]);
  return value;
}

bool ReadAt(std::ifstream& in, uint64_t pos, uint64_t count, std::string& out) {
  out.assign(count, '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(pos));
  in.read(out.data(), static_cast<std::streamsize>(count));
  return in.gcount() == static_cast<std::streamsize>(count);
}

// Where an ELF file's section headers lie, for its class (32 or 64 bits).
struct ElfLayout {
  bool is64 = false;
  uint64_t shoff = 0;
  uint64_t shentsize = 0;
  uint64_t shnum = 0;
  uint64_t shstrndx = 0;
};

struct Section {
  uint64_t nameOffset = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

Section SectionAt(const ElfLayout& elf, std::string_view header) {
  if (elf.is64) return {Le(header, 0, 4), Le(header, 24, 8), Le(header, 32, 8)};
  return {Le(header, 0, 4), Le(header, 16, 4), Le(header, 20, 4)};
}

constexpr uint64_t kMaxSectionHeaders = 65535;
constexpr uint64_t kMaxBlockSize = 1 << 20;

}  // namespace

std::string ReadVersionBlock(const std::string& aFile) {
  std::ifstream in(aFile, std::ios::binary);
  std::string ident;
  if (!in || !ReadAt(in, 0, 64, ident) || ident.compare(0, 4, "\x7f" "ELF") != 0) return {};
  if (ident[5] != 1) return {};  // little-endian files only
  ElfLayout elf;
  elf.is64 = ident[4] == 2;
  if (elf.is64) {
    elf = {true, Le(ident, 40, 8), Le(ident, 58, 2), Le(ident, 60, 2), Le(ident, 62, 2)};
  } else {
    elf = {false, Le(ident, 32, 4), Le(ident, 46, 2), Le(ident, 48, 2), Le(ident, 50, 2)};
  }
  const uint64_t minEntry = elf.is64 ? 64 : 40;
  if (elf.shentsize < minEntry || elf.shnum == 0 || elf.shnum > kMaxSectionHeaders || elf.shstrndx >= elf.shnum) {
    return {};
  }
  std::string table;
  if (!ReadAt(in, elf.shoff, elf.shentsize * elf.shnum, table)) return {};
  auto header = [&](uint64_t i) { return std::string_view(table).substr(i * elf.shentsize, elf.shentsize); };
  const Section names = SectionAt(elf, header(elf.shstrndx));
  std::string nameTable;
  if (names.size > kMaxBlockSize * 16 || !ReadAt(in, names.offset, names.size, nameTable)) return {};
  for (uint64_t i = 0; i < elf.shnum; ++i) {
    const Section s = SectionAt(elf, header(i));
    if (s.nameOffset >= nameTable.size()) continue;
    const std::string_view name(nameTable.c_str() + s.nameOffset);
    if (name != kVersionSectionName) continue;
    std::string block;
    if (s.size > kMaxBlockSize || !ReadAt(in, s.offset, s.size, block)) return {};
    return block;
  }
  return {};
}

std::optional<std::string> QueryValue(std::string_view aBlock, std::string_view aKey) {
  if (aBlock.substr(0, kVersionBlockMagic.size()) != kVersionBlockMagic) return std::nullopt;
  std::size_t pos = kVersionBlockMagic.size();
  while (pos < aBlock.size()) {
    const std::size_t end = aBlock.find('\0', pos);
    if (end == std::string_view::npos || aBlock.size() - end < 3) return std::nullopt;
    const std::string_view key = aBlock.substr(pos, end - pos);
    if (key.empty()) return std::nullopt;  // the padding after the last record
    const std::size_t length = Le(aBlock, end + 1, 2);
    const std::size_t valueStart = end + 3;
    if (aBlock.size() - valueStart < length) return std::nullopt;
    if (key == aKey) return std::string(aBlock.substr(valueStart, length));
    pos = valueStart + length;
  }
  return std::nullopt;
}

std::string FileVersionOf(std::string_view aBlock) {
  const std::string fallback = "0.0.0.0";
  const auto translation = QueryValue(aBlock, "\\VarFileInfo\\Translation");
  if (!translation || translation->size() < 4) return fallback;
  const auto word = static_cast<uint32_t>(Le(*translation, 0, 4));
  char table[9];
  std::snprintf(table, sizeof table, "%04X%04X", word & 0xFFFFu, word >> 16);
  const auto text = QueryValue(aBlock, std::string("\\StringFileInfo\\") + table + "\\FileVersion");
  return text ? *text : fallback;
}

}  // namespace version
