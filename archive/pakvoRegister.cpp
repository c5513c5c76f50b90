// Archive file binding and type detection.
#include "archive/pakvoRegister.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "archive/pakvoErrors.h"
#include "archive/pakvoFileIo.h"
#include "common/Text.h"

namespace {

constexpr int64_t kBlock = 32768;
constexpr int kScanBlocks = 11;
constexpr int64_t kExeScanStart = 17000;
constexpr int64_t kUueWindow = 5000;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) {
  return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

bool IsZipFamily(TArcType t) {
  return t == atZip || t == atZipExe || t == atJar || t == atJarExe || t == atZipDS ||
         t == atZipMV;
}

// What the signature table says of the bytes at a candidate position.
enum class SigAction { Type, SpannedAfterEnd, Spanned };
struct SigResult {
  TArcType Type = atNA;
  SigAction Action = SigAction::Type;
  int64_t FixedOffset = -1;  // the archive's place when the table fixes it
};

SigResult SignatureType(const uint8_t* b, size_t n, bool embedded) {
  SigResult r;
  auto pick = [&](TArcType start, TArcType emb) { r.Type = embedded ? emb : start; };
  if (n < 2) return r;
  auto is4 = [&](const char* s) { return n >= 4 && std::memcmp(b, s, 4) == 0; };
  if (is4("PKG5")) {
    r.Type = atUnknown;
  } else if (is4("MSCF")) {
    pick(atCab, atCabExe);
  } else if ((b[0] == 0xB7 && (b[1] == 0xDF || b[1] == 0x92))) {
    r.Type = atArcExe;
    r.FixedOffset = 7716;
  } else if (n >= 4 && b[0] == 0x13 && b[1] == 0x5D && b[2] == 0x65 && b[3] == 0x8C) {
    pick(atMsGZ, atUnsupported);
  } else if (n >= 4 && b[0] == 'B' && b[1] == 'H' && b[2] == 0x05 && b[3] == 0x07) {
    pick(atBh, atBhExe);
  } else if (is4("Rar!")) {
    pick(atRar, atRarExe);
  } else if (n >= 4 && b[2] == '-' && b[3] == 'l') {
    pick(atLha, atLhaExe);
  } else if (b[0] == 0x1F && (b[1] == 0x8B || b[1] == 0x9E || b[1] == 0x9D || b[1] == 0xA0 ||
                              b[1] == 0x1E)) {
    pick(atGZip, atNA);
  } else if (b[0] == 0x25 && b[1] == 0x21) {
    pick(atGZip, atNA);
  } else if (b[0] == 0x60 && b[1] == 0xEA) {
    pick(atArj, atArjExe);
  } else if (b[0] == 'Z' && b[1] == 'O') {
    pick(atZoo, atUnsupported);
  } else if (b[0] == 0x1A && (b[1] == 0x1E || b[1] == 0x02)) {
    pick(atArc, atUnsupported);
  } else if (b[0] == 0x1A && (b[1] == 0x09 || b[1] == 0x08)) {
    pick(atArc, atArcExe);
  } else if (b[0] == 0x1A && (b[1] == 0x0A || b[1] == 0x0B)) {
    pick(atPak, atPakExe);
  } else if (b[0] == 'H' && b[1] == 'A') {
    pick(atHA, atUnsupported);
  } else if (b[0] == 'P' && b[1] == 'K' && n >= 4) {
    if (b[2] == 0x01 && b[3] == 0x02) {
      r.Action = SigAction::SpannedAfterEnd;
    } else if (b[2] == 0x07 && b[3] == 0x08) {
      r.Action = SigAction::Spanned;
    } else if ((b[2] == 'G' && b[3] == '4') || (b[2] == 'C' && b[3] == 'I')) {
      r.Type = atNA;
    } else {
      pick(atZip, atZipExe);
    }
  }
  return r;
}

// Reads the archive file through its descriptor and carries out the detection steps.
class Detector {
 public:
  Detector(TRegisterPakvo& owner, int fd, int64_t size) : o_(owner), fd_(fd), size_(size) {}

  TArcType Run();

 private:
  size_t ReadAt(int64_t pos, void* buf, size_t n) const {
    if (pos < 0 || pos >= size_) return 0;
    size_t done = 0;
    while (done < n) {
      ssize_t got = pread(fd_, static_cast<char*>(buf) + done, n - done,
                          static_cast<off_t>(pos + static_cast<int64_t>(done)));
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }
  bool ReadExact(int64_t pos, void* buf, size_t n) const { return ReadAt(pos, buf, n) == n; }

  TArcType RunPlain(const std::vector<uint8_t>& head);
  TArcType RunExecutable(const std::vector<uint8_t>& head, bool isElf);
  int64_t FindZipEnd(bool* found, bool scanWithoutEnd = true);
  int64_t ScanForLocalHeader();
  bool IsUue(const std::vector<uint8_t>& head) const;
  bool IsTar() const;
  TArcType SpannedTest();
  bool OnRemovableDrive();
  TArcType SignatureScan(int64_t start);
  bool ResourceProbe(TArcType& type);
  int64_t ElfImageLength() const;

  TRegisterPakvo& o_;
  int fd_;
  int64_t size_;
};

TArcType Detector::Run() {
  std::vector<uint8_t> head(static_cast<size_t>(std::min<int64_t>(size_, kBlock)));
  head.resize(ReadAt(0, head.data(), head.size()));
  if (head.size() < 20) return atNA;
  if (head[0] == 'M' && head[1] == 'Z') return RunExecutable(head, false);
  if (head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
    return RunExecutable(head, true);
  return RunPlain(head);
}

TArcType Detector::RunPlain(const std::vector<uint8_t>& head) {
  // An LHA archive behind a header of zero bytes.
  size_t zeros = 0;
  while (zeros < head.size() && head[zeros] == 0) ++zeros;
  if (zeros > 0 && size_ - static_cast<int64_t>(zeros) > 132 && zeros + 4 <= head.size() &&
      head[zeros + 2] == '-' && head[zeros + 3] == 'l') {
    o_.Offset = static_cast<int64_t>(zeros);
    return atLha;
  }

  SigResult sig = SignatureType(head.data(), head.size(), false);
  TArcType type = sig.Type;
  if (sig.FixedOffset >= 0) o_.Offset = sig.FixedOffset;
  if (sig.Action == SigAction::SpannedAfterEnd) {
    bool found = false;
    o_.Offset = FindZipEnd(&found);
    type = SpannedTest();
  } else if (sig.Action == SigAction::Spanned) {
    type = SpannedTest();
  } else if (IsZipFamily(type)) {
    bool found = false;
    o_.Offset = FindZipEnd(&found);
  }

  if (IsNoArchiveType(type)) {
    bool found = false;
    if (IsUue(head)) {
      type = atUUE;
    } else if (IsTar()) {
      type = atTar;
    } else if (int64_t off = FindZipEnd(&found, false); found) {
      o_.Offset = off;
      type = OnRemovableDrive() ? SpannedTest() : atZip;
    } else {
      o_.Offset = -1;
      o_.ZipFlags = 0;
      type = SignatureScan(0);
    }
  }
  return type;
}

TArcType Detector::RunExecutable(const std::vector<uint8_t>& head, bool isElf) {
  TArcType type = atNA;
  if (!isElf) {
    // Self-extractors of known stub sizes.
    for (int64_t pos : {6674, 6867, 7716, 8601, 13138}) {
      uint8_t w[2];
      if (pos + 2 > size_ || !ReadExact(pos, w, 2) || w[0] != 0x1A) continue;
      if (w[1] == 0x08 || w[1] == 0x09) type = atArcExe;
      if (w[1] == 0x0A || w[1] == 0x0B) type = atPakExe;
      if (type != atNA) {
        o_.Offset = pos;
        return type;
      }
    }
    uint8_t lh[6];
    if (ReadExact(1947, lh, 6) && lh[0] == 0x2D && lh[1] == 0x6C && lh[2] == 0x68 && lh[4] == 0x2D) {
      o_.Offset = 1945;
      return atLhaExe;
    }
    for (int64_t pos : {7612, 25661}) {
      uint8_t w[4];
      if (ReadExact(pos, w, 4) && Le32(w) == kSigLocal) {
        o_.Offset = pos;
        return atZipExe;
      }
    }
    // A Windows module: its string resources may name where the archive starts. When they name
    // nothing, the archive is looked for as in any other executable.
    if (ResourceProbe(type)) return type;
  }

  int64_t imageLength = 0;
  if (isElf) {
    imageLength = ElfImageLength();
  } else {
    uint16_t lastPage = Le16(&head[2]);
    uint16_t pages = Le16(&head[4]);
    imageLength = (static_cast<int64_t>(pages) - 1) * 512 + lastPage;
  }
  if (imageLength > 0 && size_ > imageLength) {
    uint8_t w[14];
    size_t got = ReadAt(imageLength, w, sizeof w);
    SigResult sig = SignatureType(w, got, true);
    if (!IsNoArchiveType(sig.Type) && sig.Action == SigAction::Type) {
      o_.Offset = sig.FixedOffset >= 0 ? sig.FixedOffset : imageLength;
      return sig.Type;
    }
  }
  bool found = false;
  int64_t off = FindZipEnd(&found, false);
  if (found) {
    o_.Offset = off;
    return atZipExe;
  }
  o_.Offset = -1;
  o_.ZipFlags = 0;
  return SignatureScan(isElf && imageLength > 0 ? std::min(imageLength, size_) : kExeScanStart);
}

// Reads the end record near the end of the file, checks the central record and the first local
// header it points to, and returns the archive's start (data in front of the ZIP moves it), or the
// first local header's place when there is no end record; -1 when neither is found.
int64_t Detector::FindZipEnd(bool* found, bool scanWithoutEnd) {
  *found = false;
  int64_t tailSize = std::min<int64_t>(size_, kBlock);
  int64_t tailStart = size_ - tailSize;
  std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
  if (!ReadExact(tailStart, tail.data(), tail.size())) return -1;
  for (int64_t i = tailSize - 22; i >= 0; --i) {
    uint32_t sig = Le32(&tail[static_cast<size_t>(i)]);
    if (sig != kSigEnd && sig != kSigLargeEnd) continue;
    const bool large = sig == kSigLargeEnd;
    if (large && i + 26 > tailSize) continue;
    const uint8_t* rec = &tail[static_cast<size_t>(i)];
    const int64_t endPos = tailStart + i;
    int64_t cdSize = Le32(rec + 12);
    int64_t cdOffset = large ? static_cast<int64_t>(Le64(rec + 16) & 0x7FFFFFFFFFFFFFFFull)
                             : static_cast<int64_t>(Le32(rec + 16));
    int64_t cdEndPos = endPos;
    // A Zip64 end record stands before the end record when the offsets overflowed.
    if (!large && (Le32(rec + 16) == 0xFFFFFFFFu || Le32(rec + 12) == 0xFFFFFFFFu) && endPos >= 20) {
      uint8_t loc[20];
      uint8_t z64[56];
      if (ReadExact(endPos - 20, loc, 20) && Le32(loc) == 0x07064B50) {
        int64_t z64Pos = static_cast<int64_t>(Le64(loc + 8) & 0x7FFFFFFFFFFFFFFFull);
        if (ReadExact(z64Pos, z64, 56) && Le32(z64) == 0x06064B50) {
          cdSize = static_cast<int64_t>(Le64(z64 + 40) & 0x7FFFFFFFFFFFFFFFull);
          cdOffset = static_cast<int64_t>(Le64(z64 + 48) & 0x7FFFFFFFFFFFFFFFull);
          cdEndPos = z64Pos;
        }
      }
    }
    *found = true;
    o_.ZipFlags |= 4;
    int64_t offset = 0;
    uint8_t central[46];
    if (ReadExact(cdOffset, central, 46) && Le32(central) == kSigCentral) {
      o_.ZipFlags |= 2;
    } else {
      int64_t realCd = cdEndPos - cdSize;
      offset = realCd >= 0 ? realCd - cdOffset : -1;
      if (realCd < 0 || offset < 0 || !ReadExact(realCd, central, 46) ||
          Le32(central) != kSigCentral) {
        // No directory where either place says: keep what the end record tells.
        return offset < 0 ? 0 : offset;
      }
    }
    int64_t local = static_cast<int64_t>(Le32(central + 42)) + offset;
    uint8_t lh[30];
    if (ReadExact(local, lh, 30) && Le32(lh) == kSigLocal) o_.ZipFlags |= 1;
    return offset;
  }
  return scanWithoutEnd ? ScanForLocalHeader() : -1;
}

int64_t Detector::ScanForLocalHeader() {
  std::vector<uint8_t> buf(static_cast<size_t>(kBlock) + 3);
  for (int64_t pos = 0; pos < size_; pos += kBlock) {
    size_t got = ReadAt(pos, buf.data(), buf.size());
    for (size_t i = 0; i + 4 <= got; ++i)
      if (Le32(&buf[i]) == kSigLocal) return pos + static_cast<int64_t>(i);
  }
  return -1;
}

bool Detector::IsUue(const std::vector<uint8_t>& head) const {
  size_t n = std::min<size_t>(head.size(), static_cast<size_t>(kUueWindow));
  bool sawBegin = false;
  for (size_t line = 0; line < n;) {
    size_t end = line;
    while (end < n && head[end] != '\n' && head[end] != '\r') ++end;
    auto startsWith = [&](const char* s) {
      size_t k = std::strlen(s);
      return end - line >= k && std::memcmp(&head[line], s, k) == 0;
    };
    if (startsWith("begin 6") || startsWith("begin 7")) return true;
    if (sawBegin && startsWith("M")) return true;
    if (startsWith("begin")) sawBegin = true;
    line = end;
    while (line < n && (head[line] == '\n' || head[line] == '\r')) ++line;
  }
  return false;
}

bool Detector::IsTar() const {
  if (size_ < 513) return false;
  uint8_t header[512];
  if (!ReadExact(0, header, 512)) return false;
  if (header[156] == 'V') {
    if (!ReadExact(512, header, 512)) return false;
  }
  return TarHeaderChecksumOk(header);
}

bool Detector::OnRemovableDrive() {
  if (o_.ArcFile.empty()) return false;
  platform::files::IVolumes& volumes =
      o_.Volumes() ? *o_.Volumes() : platform::files::SystemVolumes();
  std::error_code ec;
  std::string full = std::filesystem::absolute(o_.ArcFile, ec).string();
  return !ec && volumes.DriveType(volumes.DriveRoot(full)) == platform::files::dkRemovable;
}

TArcType Detector::SpannedTest() {
  if (o_.ArcFile.empty()) return atNA;
  TDiskManager disk(o_.Volumes());
  if (!disk.GetDriveInfo(o_.ArcFile, nullptr, nullptr, nullptr, nullptr)) return atNA;
  std::string firstWord = text::Upper(disk.VolumeLabel.substr(0, disk.VolumeLabel.find(' ')));
  if (disk.DriveType == platform::files::dkRemovable && firstWord == "PKBACK#") return atZipDS;
  return atZipMV;
}

TArcType Detector::SignatureScan(int64_t start) {
  constexpr size_t kLook = 16;
  std::vector<uint8_t> buf(static_cast<size_t>(kBlock) + kLook);
  for (int blockNo = 0; blockNo < kScanBlocks; ++blockNo) {
    int64_t blockPos = start + blockNo * kBlock;
    if (blockPos >= size_) break;
    size_t got = ReadAt(blockPos, buf.data(), buf.size());
    size_t limit = std::min<size_t>(got, static_cast<size_t>(kBlock));
    for (size_t i = 0; i < limit; ++i) {
      const uint8_t* p = &buf[i];
      size_t left = got - i;
      int64_t pos = blockPos + static_cast<int64_t>(i);
      auto result = [&](TArcType plain, TArcType sfx, int64_t archiveStart) {
        if (archiveStart < 0) archiveStart = 0;
        o_.Offset = archiveStart;
        return archiveStart == 0 ? plain : sfx;
      };
      if (left >= 8 && std::memcmp(p, "MSCF", 4) == 0 && Le32(p + 4) == 0)
        return result(atCab, atCabExe, pos);
      if (left >= 7 && std::memcmp(p, "**ACE**", 7) == 0) return result(atAce, atAceExe, pos - 7);
      if (left >= 5 && p[0] == 0x2D && p[1] == 0x6C && p[2] == 0x68 && p[4] == 0x2D)
        return result(atLha, atLhaExe, pos - 2);
      if (left >= 8 && p[0] == 'B' && p[1] == 'H' && p[2] == 0x05 && p[3] == 0x07 &&
          Le32(p + 4) != 0x84C3940F)
        return result(atBh, atBhExe, pos);
      if (left >= 8 && Le32(p) == kSigLocal && Le32(p + 4) != 0x003D0B74) {
        bool found = false;
        int64_t off = FindZipEnd(&found, false);
        o_.Offset = found && off >= 0 ? off : pos;
        return start == 0 ? atZip : atZipExe;
      }
      if (left >= 4 && std::memcmp(p, "Rar!", 4) == 0) return result(atRar, atRarExe, pos);
      if (left >= 4 && p[0] == 0x60 && p[1] == 0xEA) {
        size_t next = i + Le16(p + 2) + 10;
        if (next + 2 <= got && buf[next] == 0x60 && buf[next + 1] == 0xEA)
          return result(atArj, atArjExe, pos);
      }
    }
  }
  o_.Offset = -1;
  return atNA;
}

// Reads string resources 1 to 7 of a Windows module straight from the file. Returns false when
// the file is no readable module or names no ZIP or JAR archive.
bool Detector::ResourceProbe(TArcType& type) {
  uint8_t dos[64];
  if (!ReadExact(0, dos, 64)) return false;
  int64_t pe = Le32(dos + 0x3C);
  uint8_t coff[24];
  if (!ReadExact(pe, coff, 24) || std::memcmp(coff, "PE\0\0", 4) != 0) return false;
  const int sections = Le16(coff + 6);
  const int optSize = Le16(coff + 20);
  const int64_t opt = pe + 24;
  std::vector<uint8_t> optional(static_cast<size_t>(optSize));
  if (optSize < 96 || !ReadExact(opt, optional.data(), optional.size())) return false;
  const uint16_t magic = Le16(optional.data());
  size_t dirBase = magic == 0x20B ? 112 : 96;
  size_t countAt = magic == 0x20B ? 108 : 92;
  if (magic != 0x10B && magic != 0x20B) return false;
  if (countAt + 4 > optional.size() || Le32(&optional[countAt]) < 3) return false;
  if (dirBase + 3 * 8 > optional.size()) return false;
  const uint32_t rsrcRva = Le32(&optional[dirBase + 16]);
  if (rsrcRva == 0) return false;

  struct Section {
    uint32_t Va, VSize, RawSize, RawPtr;
  };
  std::vector<Section> table;
  for (int s = 0; s < sections && s < 96; ++s) {
    uint8_t sh[40];
    if (!ReadExact(opt + optSize + s * 40, sh, 40)) return false;
    table.push_back({Le32(sh + 12), Le32(sh + 8), Le32(sh + 16), Le32(sh + 20)});
  }
  auto rvaToOffset = [&](uint32_t rva) -> int64_t {
    for (const Section& s : table) {
      uint32_t span = std::max(s.VSize, s.RawSize);
      if (rva >= s.Va && rva - s.Va < span && rva - s.Va < s.RawSize)
        return static_cast<int64_t>(s.RawPtr) + (rva - s.Va);
    }
    return -1;
  };
  const int64_t rsrc = rvaToOffset(rsrcRva);
  if (rsrc < 0) return false;

  // Finds the entry with `id` (or the first entry when id < 0) in the directory at `dirOffset`.
  auto findEntry = [&](int64_t dirOffset, int id, uint32_t& target) {
    uint8_t dir[16];
    if (!ReadExact(rsrc + dirOffset, dir, 16)) return false;
    int count = Le16(dir + 12) + Le16(dir + 14);
    for (int k = 0; k < count && k < 4096; ++k) {
      uint8_t e[8];
      if (!ReadExact(rsrc + dirOffset + 16 + k * 8, e, 8)) return false;
      uint32_t name = Le32(e);
      if (id < 0 || (!(name & 0x80000000u) && static_cast<int>(name) == id)) {
        target = Le32(e + 4);
        return true;
      }
    }
    return false;
  };
  uint32_t typeDir = 0, nameDir = 0, langEntry = 0;
  // String ids 1 to 7 lie in block 1 of the string table (resource type 6).
  if (!findEntry(0, 6, typeDir) || !(typeDir & 0x80000000u)) return false;
  if (!findEntry(typeDir & 0x7FFFFFFF, 1, nameDir) || !(nameDir & 0x80000000u)) return false;
  if (!findEntry(nameDir & 0x7FFFFFFF, -1, langEntry) || (langEntry & 0x80000000u)) return false;
  uint8_t data[8];
  if (!ReadExact(rsrc + langEntry, data, 8)) return false;
  const int64_t blockAt = rvaToOffset(Le32(data));
  const uint32_t blockSize = Le32(data + 4);
  if (blockAt < 0 || blockSize > 1 << 20) return false;
  std::vector<uint8_t> block(blockSize);
  block.resize(ReadAt(blockAt, block.data(), block.size()));

  size_t at = 0;
  for (int index = 0; index < 8; ++index) {
    if (at + 2 > block.size()) return false;
    size_t len = Le16(&block[at]);
    at += 2;
    if (index >= 1) {
      // The string as a 6-character buffer would take it: at most five characters.
      std::string value;
      for (size_t c = 0; c < len && c < 5 && at + c * 2 + 1 < block.size(); ++c)
        value.push_back(static_cast<char>(Le16(&block[at + c * 2]) & 0xFF));
      if (value.empty()) return false;
      if (!std::all_of(value.begin(), value.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return false;
      int64_t pos = std::stoll(value);
      if (pos >= size_) return false;
      uint8_t w[14];
      size_t got = ReadAt(pos, w, sizeof w);
      SigResult sig = SignatureType(w, got, true);
      if (IsSfxArchiveType(sig.Type)) {
        bool found = false;
        int64_t off = FindZipEnd(&found, false);
        o_.Offset = found ? off : pos;
        type = sig.Type;
        return true;
      }
    }
    at += len * 2;
  }
  return false;
}

// End of the last part of an ELF file that its headers describe (program segments and the section
// header table); what lies behind it was appended.
int64_t Detector::ElfImageLength() const {
  uint8_t h[64];
  if (!ReadExact(0, h, 64)) return 0;
  const bool is64 = h[4] == 2;
  if (h[5] != 1) return 0;  // big-endian images are not looked into
  int64_t end = 0;
  int64_t phoff, shoff;
  int phentsize, phnum, shentsize, shnum;
  if (is64) {
    phoff = static_cast<int64_t>(Le64(h + 32) & 0x7FFFFFFFFFFFFFFFull);
    shoff = static_cast<int64_t>(Le64(h + 40) & 0x7FFFFFFFFFFFFFFFull);
    phentsize = Le16(h + 54);
    phnum = Le16(h + 56);
    shentsize = Le16(h + 58);
    shnum = Le16(h + 60);
  } else {
    phoff = Le32(h + 28);
    shoff = Le32(h + 32);
    phentsize = Le16(h + 42);
    phnum = Le16(h + 44);
    shentsize = Le16(h + 46);
    shnum = Le16(h + 48);
  }
  if (shoff > 0 && shoff <= size_)
    end = std::max(end, shoff + static_cast<int64_t>(shentsize) * shnum);
  if (phoff <= 0 || phoff > size_) phnum = 0;
  for (int i = 0; i < phnum && i < 256; ++i) {
    uint8_t ph[56];
    size_t want = is64 ? 56 : 32;
    if (phentsize < static_cast<int>(want) || !ReadExact(phoff + i * phentsize, ph, want)) break;
    int64_t off = is64 ? static_cast<int64_t>(Le64(ph + 8) & 0x7FFFFFFFFFFFFFFFull) : Le32(ph + 4);
    int64_t filesz =
        is64 ? static_cast<int64_t>(Le64(ph + 32) & 0x7FFFFFFFFFFFFFFFull) : Le32(ph + 16);
    if (off <= size_ && filesz <= size_) end = std::max(end, off + filesz);
  }
  return end;
}

}  // namespace

uint32_t HeaderSig(THeaderType kind) {
  switch (kind) {
    case htLocal: return kSigLocal;
    case htCentral: return kSigCentral;
    case htEnding: return kSigEnd;
    case htNone: break;
  }
  return kSigSpanMarker;
}

THeaderType HeaderKindOf(uint32_t signature, THeaderType wanted) {
  switch (wanted) {
    case htLocal: return signature == kSigLocal ? htLocal : htNone;
    case htCentral: return signature == kSigCentral ? htCentral : htNone;
    case htEnding: return signature == kSigEnd || signature == kSigLargeEnd ? htEnding : htNone;
    case htNone: break;
  }
  return htNone;
}

bool IsZipHeaderSig(uint32_t signature) {
  return signature == kSigLocal || signature == kSigCentral;
}

bool TarHeaderChecksumOk(const uint8_t* header) {
  int64_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : header[i];
  std::string field(reinterpret_cast<const char*>(header + 148), 8);
  return OctalToInt(field) == sum;
}

TArcType TRegisterPakvo::GetArcType(int fd) {
  Offset = -1;
  ZipFlags = 0;
  ArcFileSize = 0;
  ArcDate = kDosDateUnknown;
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return atNA;
  ArcFileSize = static_cast<int64_t>(st.st_size);
  ArcDate = FileTimeToDos(static_cast<int64_t>(st.st_mtime));
  if (ArcFileSize < 20) return atNA;

  TArcType type = Detector(*this, fd, ArcFileSize).Run();
  if (Offset == -1 && !IsNoArchiveType(type)) Offset = 0;
  if (type == atZip && text::Lower(ArcFile.size() >= 4 ? ArcFile.substr(ArcFile.size() - 4) : "") ==
                           ".jar")
    type = atJar;
  return type;
}

void TRegisterPakvo::SetArcFile(const std::string& name) {
  struct stat st {};
  if (name.empty()) {
    ArcType = atNA;
    return;
  }
  if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    ArcType = atNA;
    ArcFile.clear();
    return;
  }
  ArcFile = name;
  FileDescriptor fd(open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    ArcType = atNA;
    return;
  }
  ArcType = GetArcType(fd.get());
  if (!IsNoArchiveType(ArcType)) ComputeVolumeNumbering();
}

void TRegisterPakvo::Redetect() {
  if (ArcFile.empty()) return;
  FileDescriptor fd(open(ArcFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    ArcType = atNA;
    throw E_RAISE(std::string(LoadErrorText(kErrErrorOpeningFile)));
  }
  ArcType = GetArcType(fd.get());
  if (!IsNoArchiveType(ArcType)) ComputeVolumeNumbering();
}

void TRegisterPakvo::ComputeVolumeNumbering() {
  const char* defaultExt = nullptr;
  char letter = 0;
  switch (ArcType) {
    case atAce:
    case atAceExe: defaultExt = "Ace"; letter = 'C'; break;
    case atArj:
    case atArjExe: defaultExt = "Arj"; letter = 'a'; break;
    case atJar:
    case atJarExe: defaultExt = "Jar"; letter = 'j'; break;
    case atRar:
    case atRarExe: defaultExt = "Rar"; letter = 'q'; break;
    default: return;
  }
  std::string base = ArcFile.substr(ArcFile.find_last_of('/') + 1);
  size_t dot = base.find_last_of('.');
  std::string ext = dot == std::string::npos ? std::string(defaultExt) : base.substr(dot + 1);
  if (ext.empty()) ext = defaultExt;
  size_t digitsFrom = ext.size();
  while (digitsFrom > 0 && ext[digitsFrom - 1] >= '0' && ext[digitsFrom - 1] <= '9') --digitsFrom;
  const bool isArj = ArcType == atArj || ArcType == atArjExe;
  if (digitsFrom == ext.size()) {
    VolumeNumber = isArj ? 1 : 0;
  } else {
    std::string digits = ext.substr(digitsFrom);
    if (digits.size() > 9) digits = digits.substr(digits.size() - 9);
    VolumeNumber = static_cast<uint32_t>(std::stoul(digits)) + 1;
    letter = ext[0];
  }
  VolumeLetter = letter;
}
