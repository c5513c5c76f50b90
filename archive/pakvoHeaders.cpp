// Entry-header readers of the archive lister (see pakvoHeaders.h).
#include "archive/pakvoHeaders.h"

#include "archive/pakvoGbls.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

#include "archive/pakvoErrors.h"
#include "common/Text.h"

namespace {

constexpr int kBadFileHeader = kErrBadFileHeader;
constexpr int kReadError = kErrErrorReadingFile;
constexpr int kNoBeginLine = kErrNoBEGINLine;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

// A DOS stamp from its two little-endian words, wherever a format keeps them: date (high word),
// time (low word).
uint32_t DosStamp(const uint8_t* date, const uint8_t* time) {
  return (static_cast<uint32_t>(Le16(date)) << 16) | Le16(time);
}

// A zero-terminated text in a field of len bytes; the whole field when it holds no zero.
std::string FieldText(const uint8_t* p, size_t len) {
  size_t n = 0;
  while (n < len && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

// A stored directory whose separators are 0xFF bytes, with '/' separators and ending in one
// (empty stays empty); a final character found in tails already counts as the separator.
std::string DirFromFFSeparated(std::string dir, std::string_view tails) {
  for (char& c : dir)
    if (static_cast<uint8_t>(c) == 0xFF) c = '/';
  if (!dir.empty() && tails.find(dir.back()) == std::string_view::npos) dir += '/';
  return dir;
}

// Reads exactly count bytes at pos; false when the source holds fewer.
bool ReadExact(TPakvoByteSource& src, int64_t pos, void* buf, size_t count) {
  if (pos < 0) return false;
  return src.ReadAt(pos, buf, count) == count;
}

// Reads a zero-terminated text of at most maxLen bytes at pos; the text ends at the end of the
// source too. Answers the number of bytes the text and its terminator take (text length when no
// terminator was found within maxLen).
size_t ReadZString(TPakvoByteSource& src, int64_t pos, size_t maxLen, std::string& out) {
  std::vector<char> buf(maxLen + 1, 0);
  size_t n = pos < 0 ? 0 : src.ReadAt(pos, buf.data(), maxLen + 1);
  size_t len = 0;
  while (len < n && len < maxLen && buf[len] != 0) ++len;
  out.assign(buf.data(), len);
  return (len < n && buf[len] == 0) ? len + 1 : len;
}

// Adds two non-negative offsets; answers -1 on overflow so that the walk's bounds stop it.
int64_t AddOff(int64_t a, int64_t b) {
  if (a < 0 || b < 0 || a > std::numeric_limits<int64_t>::max() - b) return -1;
  return a + b;
}

THeaderStep Step(THeaderStatus status, int64_t next = 0, uint32_t block = 0, int code = 0) {
  THeaderStep s;
  s.Status = status;
  s.NextOffset = next;
  s.NextBlock = block;
  s.ErrorCode = code;
  return s;
}
THeaderStep Error(int code) { return Step(hsError, 0, 0, code); }
THeaderStep End() { return Step(hsEnd); }

// ---------------------------------------------------------------------------------------------
// ZIP: central directory records, or local headers when the archive has no directory.

constexpr uint32_t kSigLocal = 0x04034B50;
constexpr uint32_t kSigCentral = 0x02014B50;
constexpr uint32_t kSigEnd = 0x06054B50;
constexpr uint32_t kSigLargeEnd = 0x06055B50;
constexpr uint32_t kSigSpanMarker = 0x08074B50;
constexpr uint32_t kSigZip64Locator = 0x07064B50;
constexpr uint32_t kSigZip64End = 0x06064B50;

// Walks an extra field: block 100 (the library's own high words) and Zip64 (id 1).
struct ZipExtra {
  uint16_t highPacked = 0, highUnpacked = 0, highOffset = 0;
  bool has100 = false;
};

// A 64-bit size or offset from its stored low word and the high word of block 100.
int64_t WithHighWord(uint32_t low, uint16_t high) {
  return static_cast<int64_t>(low) | (static_cast<int64_t>(high) << 32);
}

// The packed size of an encrypted entry leaves out its 12-byte encryption header.
void DropEncryptionHeader(TPakvoEntry& e) {
  if (e.Encrypted && e.PackedSize >= 12) e.PackedSize -= 12;
}

bool EndsWithSeparator(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

void ParseZipExtra(const uint8_t* p, size_t size, bool central, ZipExtra& x, TPakvoEntry& e,
                   uint32_t rawPacked, uint32_t rawUnpacked, uint32_t rawOffset, uint16_t rawDisk,
                   int64_t& offset) {
  size_t pos = 0;
  while (pos + 4 <= size) {
    uint16_t id = Le16(p + pos);
    uint16_t len = Le16(p + pos + 2);
    pos += 4;
    if (len > size - pos) break;  // a block running past the extra field ends the walk
    const uint8_t* d = p + pos;
    if (id == 100) {
      size_t want = central ? 6 : 4;
      if (len >= want) {
        x.has100 = true;
        x.highPacked = Le16(d);
        x.highUnpacked = Le16(d + 2);
        if (central) x.highOffset = Le16(d + 4);
      }
    } else if (id == 1) {
      // Zip64: the 8-byte values stand for the fields that hold all ones, in this order.
      size_t q = 0;
      if (rawUnpacked == 0xFFFFFFFFu && q + 8 <= len) {
        e.UnpackedSize = static_cast<int64_t>(Le64(d + q) & 0x7FFFFFFFFFFFFFFFull);
        q += 8;
      }
      if (rawPacked == 0xFFFFFFFFu && q + 8 <= len) {
        e.PackedSize = static_cast<int64_t>(Le64(d + q) & 0x7FFFFFFFFFFFFFFFull);
        q += 8;
      }
      if (central && rawOffset == 0xFFFFFFFFu && q + 8 <= len) {
        offset = static_cast<int64_t>(Le64(d + q) & 0x7FFFFFFFFFFFFFFFull);
        q += 8;
      }
      if (central && rawDisk == 0xFFFF && q + 4 <= len) e.DiskNumberStart = Le32(d + q);
    } else if (id == 0x7075 && len > 5 && d[0] == 1) {
      // Info-ZIP Unicode path: the UTF-8 name, valid while the stored name is the one it was
      // made for (CRC-32 of the stored name).
      uint32_t crc =
          static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(e.StoredName.data()),
                                      static_cast<uInt>(e.StoredName.size())));
      if (crc == Le32(d + 1)) {
        e.StoredName.assign(reinterpret_cast<const char*>(d + 5), len - 5);
        e.NameIsUtf8 = true;
      }
    }
    pos += len;
  }
}

class TZipReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override {
    count_ = 0;
    if (!ctx_.ZipWalkLocal) {
      TZipEndInfo end = FindZipEnd(Src(), ctx_.ZipDiskStarts);
      if (end.Empty) return End();
      if (end.Found && end.CentralFound) {
        start_ = end.ArchiveStart;
        int64_t cd = AddOff(DiskBase(end.CentralDisk), end.CentralOffset);
        if (cd >= 0) return Step(hsSkip, cd, 46);
      }
    }
    local_ = true;
    int64_t pos = ctx_.ArchiveStart;
    uint8_t sig[4];
    if (ReadExact(Src(), pos, sig, 4) && Le32(sig) == kSigSpanMarker) pos += 4;
    start_ = ctx_.ArchiveStart;
    return Step(hsSkip, pos, 30);
  }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    return local_ ? ReadLocal(b, n, off, e) : ReadCentral(b, n, off, e);
  }

 private:
  int64_t DiskBase(uint32_t disk) const {
    if (ctx_.ZipDiskStarts.empty()) return start_;
    if (disk >= ctx_.ZipDiskStarts.size()) return -1;
    return ctx_.ZipDiskStarts[disk];
  }

  // A record of the kind walked but cut short is damage; another record (the end of the walk)
  // is damage only where no entry was found yet.
  THeaderStep BadHeader(const uint8_t* b, size_t n, uint32_t sig) {
    if (n >= 4 && Le32(b) == sig) return Error(kBadFileHeader);
    return count_ == 0 ? Error(kBadFileHeader) : End();
  }

  THeaderStep ReadCentral(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) {
    if (n < 46 || Le32(b) != kSigCentral) return BadHeader(b, n, kSigCentral);
    uint16_t nameLen = Le16(b + 28), extraLen = Le16(b + 30), commentLen = Le16(b + 32);
    std::vector<uint8_t> var(static_cast<size_t>(nameLen) + extraLen);
    if (!ReadExact(Src(), off + 46, var.data(), var.size())) return Error(kBadFileHeader);
    e = TPakvoEntry{};
    e.VersionMadeBy = Le16(b + 4);
    e.VersionNeeded = Le16(b + 6);
    e.MethodFlags = Le16(b + 8);
    e.Method = Le16(b + 10);
    e.DosDate = Le32(b + 12);
    e.Crc = Le32(b + 16);
    uint32_t rawPacked = Le32(b + 20), rawUnpacked = Le32(b + 24);
    e.PackedSize = rawPacked;
    e.UnpackedSize = rawUnpacked;
    uint16_t rawDisk = Le16(b + 34);
    e.DiskNumberStart = rawDisk;
    e.Attr16 = Le16(b + 36);
    e.Attr32 = Le32(b + 38);
    uint32_t rawOffset = Le32(b + 42);
    int64_t localOffset = rawOffset;
    e.StoredName.assign(reinterpret_cast<const char*>(var.data()), nameLen);
    // Bit 11 marks UTF-8; names written on Unix or macOS are in the writer's (UTF-8) charset.
    const int host = e.VersionMadeBy >> 8;
    e.NameIsUtf8 =
        (e.MethodFlags & 0x0800) != 0 || ((host == 3 || host == 19) && IsValidUtf8(e.StoredName));
    ZipExtra x;
    ParseZipExtra(var.data() + nameLen, extraLen, true, x, e, rawPacked, rawUnpacked, rawOffset,
                  rawDisk, localOffset);
    if (x.has100) {
      e.PackedSize = WithHighWord(rawPacked, x.highPacked);
      e.UnpackedSize = WithHighWord(rawUnpacked, x.highUnpacked);
      localOffset = WithHighWord(rawOffset, x.highOffset);
    }
    e.Encrypted = (e.MethodFlags & 1) != 0;
    DropEncryptionHeader(e);
    e.HasMethodName = (e.Attr32 & 0x18) == 0;
    e.IsDir = (e.Attr32 & 0x10) != 0 || EndsWithSeparator(e.StoredName);
    e.DateKind = edkDos;
    e.HeaderOffset = localOffset;  // recorded offsets already exclude the stub
    ++count_;
    int64_t next = AddOff(off, 46 + static_cast<int64_t>(nameLen) + extraLen + commentLen);
    return Step(hsEntry, next, 46);
  }

  THeaderStep ReadLocal(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) {
    if (n < 30 || Le32(b) != kSigLocal) return BadHeader(b, n, kSigLocal);
    uint16_t nameLen = Le16(b + 26), extraLen = Le16(b + 28);
    std::vector<uint8_t> var(static_cast<size_t>(nameLen) + extraLen);
    if (!ReadExact(Src(), off + 30, var.data(), var.size())) return Error(kBadFileHeader);
    e = TPakvoEntry{};
    e.VersionNeeded = e.VersionMadeBy = Le16(b + 4);
    e.MethodFlags = Le16(b + 6);
    e.Method = Le16(b + 8);
    e.DosDate = Le32(b + 10);
    e.Crc = Le32(b + 14);
    uint32_t rawPacked = Le32(b + 18), rawUnpacked = Le32(b + 22);
    e.PackedSize = rawPacked;
    e.UnpackedSize = rawUnpacked;
    e.StoredName.assign(reinterpret_cast<const char*>(var.data()), nameLen);
    e.NameIsUtf8 = (e.MethodFlags & 0x0800) != 0;
    ZipExtra x;
    int64_t unused = 0;
    ParseZipExtra(var.data() + nameLen, extraLen, false, x, e, rawPacked, rawUnpacked, 0, 0,
                  unused);
    if (x.has100) {
      e.PackedSize = WithHighWord(rawPacked, x.highPacked);
      e.UnpackedSize = WithHighWord(rawUnpacked, x.highUnpacked);
    }
    int64_t dataStart = AddOff(off, 30 + static_cast<int64_t>(nameLen) + extraLen);
    int64_t storedPacked = e.PackedSize;
    e.Encrypted = (e.MethodFlags & 1) != 0;
    DropEncryptionHeader(e);
    e.IsDir = EndsWithSeparator(e.StoredName);
    e.HeaderOffset = off - start_;
    ++count_;
    int64_t next = AddOff(dataStart, storedPacked);
    if ((e.MethodFlags & 8) != 0) next = SkipDescriptor(dataStart, next, storedPacked, e);
    return Step(hsEntry, next, 30);
  }

  // Data written with a trailing descriptor: the sizes may be known only from the descriptor.
  int64_t SkipDescriptor(int64_t dataStart, int64_t dataEnd, int64_t packed, TPakvoEntry& e) {
    uint8_t d[24];
    if (packed > 0 || e.Crc != 0) {
      if (!ReadExact(Src(), dataEnd, d, 4)) return dataEnd;
      if (Le32(d) == kSigSpanMarker) return AddOff(dataEnd, 16);
      if (Le32(d) == kSigLocal || Le32(d) == kSigCentral) return dataEnd;
      return AddOff(dataEnd, 12);
    }
    // Sizes unknown: look for a descriptor whose compressed size matches where it stands.
    const int64_t size = Src().Size();
    std::vector<uint8_t> buf(64 * 1024);
    for (int64_t pos = dataStart; pos + 16 <= size;) {
      size_t got = Src().ReadAt(pos, buf.data(), buf.size());
      if (got < 16) break;
      for (size_t i = 0; i + 16 <= got; ++i) {
        if (Le32(buf.data() + i) != kSigSpanMarker) continue;
        int64_t at = pos + static_cast<int64_t>(i);
        if (!ReadExact(Src(), at, d, 16)) continue;
        if (static_cast<int64_t>(Le32(d + 8)) == at - dataStart) {
          e.Crc = Le32(d + 4);
          e.PackedSize = Le32(d + 8);
          e.UnpackedSize = Le32(d + 12);
          DropEncryptionHeader(e);
          return at + 16;
        }
      }
      pos += static_cast<int64_t>(got) - 15;
    }
    return -1;  // nothing found: the walk ends
  }

  bool local_ = false;
  int64_t start_ = 0;
  uint64_t count_ = 0;
};

// ---------------------------------------------------------------------------------------------
// ARJ

class TArjReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override {
    int64_t pos = ctx_.ArchiveStart;
    uint8_t head[4];
    if (!ReadExact(Src(), pos, head, 4) || Le16(head) != 0xEA60) return Error(kBadFileHeader);
    uint16_t size = Le16(head + 2);
    if (size == 0 || size > kMaxHeader) return Error(kBadFileHeader);
    std::vector<uint8_t> hdr(size);
    if (!ReadExact(Src(), pos + 4, hdr.data(), size)) return Error(kBadFileHeader);
    mainFlags_ = size > 4 ? hdr[4] : 0;
    int64_t next = SkipExtended(AddOff(pos, 4 + static_cast<int64_t>(size) + 4));
    if (next < 0) return Error(kBadFileHeader);
    return Step(hsSkip, next, 4);
  }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (n < 4 || Le16(b) != 0xEA60) return Error(kBadFileHeader);
    uint16_t size = Le16(b + 2);
    if (size == 0) return (mainFlags_ & 0x04) ? Step(hsNextVolume) : End();
    if (size > kMaxHeader || size < 30) return Error(kBadFileHeader);
    std::array<uint8_t, kMaxHeader + 4> hdr{};  // id and size, then the basic header
    std::memcpy(hdr.data(), b, 4);
    if (!ReadExact(Src(), off + 4, hdr.data() + 4, size)) return Error(kBadFileHeader);
    const uint8_t* h = hdr.data();
    uint8_t firstSize = h[4];
    if (firstSize < 30 || firstSize > size) return Error(kBadFileHeader);
    e = TPakvoEntry{};
    e.VersionMadeBy = h[5];
    e.VersionNeeded = h[6];
    uint8_t flags = h[8];
    e.Method = h[9];
    uint8_t fileType = h[10];
    e.DosDate = Le32(h + 12);
    uint32_t packed = Le32(h + 16);
    e.PackedSize = packed;
    e.UnpackedSize = Le32(h + 20);
    e.Crc = Le32(h + 24);
    e.Attr16 = Le16(h + 30);
    e.Attr32 = e.Attr16;
    e.Encrypted = (flags & 0x01) != 0;
    e.ContinuedFromPrevious = (flags & 0x08) != 0;
    e.IsDir = fileType == 3;
    if (h[7] == kHostUnix) {
      // Written on Unix: the stamp is in seconds since 1970 and the access mode is a Unix mode,
      // whose bits say nothing about DOS attributes.
      e.DateKind = edkUnix;
      e.UnixTime = e.DosDate;
      e.DosDate = 0;
      e.Attr16 = e.IsDir ? 0x10 : 0x20;
      if ((Le16(h + 30) & 0200) == 0) e.Attr16 |= 0x01;
      e.Attr32 = e.Attr16;
    }
    // Name: zero-terminated inside the basic header, after the first header part.
    e.StoredName = FieldText(h + 4 + firstSize, static_cast<size_t>(size) - firstSize);
    e.HeaderOffset = off - ctx_.ArchiveStart;
    int64_t next = SkipExtended(AddOff(off, 4 + static_cast<int64_t>(size) + 4));
    if (next < 0) return Error(kBadFileHeader);
    next = AddOff(next, packed);
    // Volume labels and chapter marks carry no file.
    return Step(fileType == 4 ? hsSkip : hsEntry, next, 4);
  }

 private:
  static constexpr uint16_t kMaxHeader = 2600;
  static constexpr uint8_t kHostUnix = 2;

  // Skips the extended headers that follow a basic header; -1 when they run past the end.
  int64_t SkipExtended(int64_t pos) {
    for (int i = 0; pos >= 0; ++i) {
      uint8_t sz[2];
      if (!ReadExact(Src(), pos, sz, 2)) return -1;
      uint16_t ext = Le16(sz);
      if (ext == 0) return pos + 2;
      pos = AddOff(pos, 2 + static_cast<int64_t>(ext) + 4);
      if (pos > Src().Size()) return -1;
    }
    return -1;
  }

  uint8_t mainFlags_ = 0;
};

// ---------------------------------------------------------------------------------------------
// LHA / LZH, header levels 0 to 3

class TLhaReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override { return Step(hsSkip, ctx_.ArchiveStart, 22); }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (b[0] == 0) return End();  // the closing zero byte
    if (n < 22) return Error(kBadFileHeader);
    if (b[2] != '-' || b[6] != '-') return End();
    uint8_t level = b[20];
    e = TPakvoEntry{};
    e.Method = b[5];
    uint32_t packed = Le32(b + 7);
    e.UnpackedSize = Le32(b + 11);
    uint32_t stamp = Le32(b + 15);
    e.Attr32 = b[19];
    e.Attr16 = 32;
    e.IsDir = b[3] == 'l' && b[4] == 'h' && b[5] == 'd';
    std::string dir;
    std::string name;
    int64_t headerTotal = 0;  // bytes of all headers of this entry
    int64_t dataSize = packed;
    if (level == 0 || level == 1) {
      headerTotal = static_cast<int64_t>(b[0]) + 2;
      uint8_t nameLen = b[21];
      std::vector<uint8_t> h(static_cast<size_t>(headerTotal));
      if (headerTotal < 24 + nameLen || !ReadExact(Src(), off, h.data(), h.size()))
        return Error(kBadFileHeader);
      // The path of the base header separates its folders with 0xFF bytes (or backslashes).
      name.assign(reinterpret_cast<const char*>(h.data() + 22), nameLen);
      std::replace(name.begin(), name.end(), '\xFF', '/');
      e.Crc = Le16(h.data() + 22 + nameLen);
      e.DateKind = edkDos;
      e.DosDate = stamp;
      if (level == 1) {
        // Extended headers follow the base header; the packed size counts them.
        int64_t pos = off + headerTotal;
        uint32_t extSize = Le16(h.data() + headerTotal - 2);
        int64_t extTotal = 0;
        if (!WalkExtended(pos, extSize, 2, dir, name, extTotal, e)) return Error(kBadFileHeader);
        headerTotal += extTotal;
        dataSize = static_cast<int64_t>(packed) - extTotal;
        if (dataSize < 0) return Error(kBadFileHeader);
      }
    } else if (level == 2 || level == 3) {
      uint8_t h[32];
      size_t fixed = level == 2 ? 26 : 32;
      if (!ReadExact(Src(), off, h, fixed)) return Error(kBadFileHeader);
      headerTotal = level == 2 ? Le16(h) : Le32(h + 24);
      e.Crc = Le16(h + 21);
      e.DateKind = edkUnix;
      e.UnixTime = stamp;
      if (headerTotal < static_cast<int64_t>(fixed)) return Error(kBadFileHeader);
      uint32_t extSize = level == 2 ? Le16(h + 24) : Le32(h + 28);
      int64_t extTotal = 0;
      if (!WalkExtended(off + static_cast<int64_t>(fixed), extSize, level == 2 ? 2 : 4, dir, name,
                        extTotal, e))
        return Error(kBadFileHeader);
      if (static_cast<int64_t>(fixed) + extTotal > headerTotal) return Error(kBadFileHeader);
    } else {
      return End();
    }
    e.StoredName = DirFromFFSeparated(dir, "/\\") + name;
    e.PackedSize = std::min<int64_t>(dataSize, e.UnpackedSize);
    e.HeaderOffset = off - ctx_.ArchiveStart;
    int64_t next = AddOff(AddOff(off, headerTotal), dataSize);
    return Step(hsEntry, next, 22);
  }

 private:
  // Walks extended headers (size fields of sizeWidth bytes counting the whole header); takes
  // the file name (1), directory name (2) and MS-DOS attributes (0x40).
  bool WalkExtended(int64_t pos, uint32_t size, int sizeWidth, std::string& dir, std::string& name,
                    int64_t& total, TPakvoEntry& e) {
    const int64_t limit = Src().Size();
    while (size != 0) {
      if (size < static_cast<uint32_t>(1 + sizeWidth) || pos < 0 || pos + size > limit)
        return false;
      std::vector<uint8_t> x(size);
      if (!ReadExact(Src(), pos, x.data(), size)) return false;
      uint8_t type = x[0];
      size_t dataLen = size - 1 - static_cast<size_t>(sizeWidth);
      const char* data = reinterpret_cast<const char*>(x.data() + 1);
      if (type == 0x01) name.assign(data, dataLen);
      if (type == 0x02) dir.assign(data, dataLen);
      if (type == 0x40 && dataLen >= 2) e.Attr32 = Le16(x.data() + 1);
      total += size;
      pos += size;
      const uint8_t* nx = x.data() + size - sizeWidth;
      size = sizeWidth == 2 ? Le16(nx) : Le32(nx);
    }
    return true;
  }
};

// ---------------------------------------------------------------------------------------------
// ARC and PAK

class TArcReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override { return Step(hsSkip, ctx_.ArchiveStart, 29); }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (b[0] != 0x1A) return End();
    if (n < 2) return Error(kBadFileHeader);
    if (b[1] == 0) return End();  // the end marker
    uint8_t method = b[1];
    bool old = method == 1;  // the first ARC headers lack the unpacked size
    if (n < (old ? 25u : 29u)) return Error(kBadFileHeader);
    uint32_t packed = Le32(b + 15);
    int64_t next = AddOff(off, (old ? 25 : 29) + static_cast<int64_t>(packed));
    if (method == 31) return Step(hsSkip, next, 29);                 // end of a directory level
    if (method > 20 && method != 30) return Step(hsSkip, next, 29);  // information records
    e = TPakvoEntry{};
    e.StoredName = FieldText(b + 2, 13);
    e.Method = method;
    e.PackedSize = packed;
    e.DosDate = DosStamp(b + 19, b + 21);
    e.Crc = Le16(b + 23);
    e.UnpackedSize = old ? packed : Le32(b + 25);
    e.IsDir = method == 30;
    e.Attr16 = e.IsDir ? 16 : 32;
    e.Attr32 = e.Attr16;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    // A directory record holds the entries of that directory as its data: go inside.
    if (e.IsDir) next = AddOff(off, 29);
    return Step(hsEntry, next, 29);
  }
};

// ---------------------------------------------------------------------------------------------
// Microsoft cabinet

class TCabReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override {
    const int64_t base = ctx_.ArchiveStart;
    uint8_t h[36];
    if (!ReadExact(Src(), base, h, 36) || std::memcmp(h, "MSCF", 4) != 0)
      return Error(kBadFileHeader);
    madeBy_ = h[24];
    needed_ = h[25];
    uint16_t folders = Le16(h + 26);
    files_ = Le16(h + 28);
    uint16_t flags = Le16(h + 30);
    int64_t pos = base + 36;
    if (flags & 4) {  // reserve sizes; the header reserve is skipped
      uint8_t r[4];
      if (!ReadExact(Src(), pos, r, 4)) return Error(kBadFileHeader);
      pos += 4 + Le16(r);
    }
    std::string s;
    for (int k = 0; k < 2; ++k) {  // previous, then next cabinet: its name and its disk
      if (!(flags & (1 << k))) continue;
      for (int j = 0; j < 2; ++j) {
        if (pos >= Src().Size()) return Error(kBadFileHeader);
        pos += static_cast<int64_t>(ReadZString(Src(), pos, 255, s));
      }
    }
    method_ = 0;
    if (folders > 0) {
      uint8_t f[8];
      if (!ReadExact(Src(), pos, f, 8)) return Error(kBadFileHeader);
      method_ = Le16(f + 6);
    }
    if (files_ == 0) return End();
    int64_t first = AddOff(base, Le32(h + 16));
    return Step(hsSkip, first, 16);
  }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (files_ == 0) return End();
    if (n < 16) return Error(kBadFileHeader);
    std::string name;
    size_t used = ReadZString(Src(), off + 16, 256, name);
    if (used == name.size()) return Error(kBadFileHeader);  // no terminator: not a file record
    e = TPakvoEntry{};
    e.StoredName = name;
    e.UnpackedSize = e.PackedSize = Le32(b);
    e.DosDate = DosStamp(b + 10, b + 12);
    e.Attr16 = Le16(b + 14);
    e.Attr32 = e.Attr16;
    e.NameIsUtf8 = (e.Attr16 & 0x80) != 0;  // _A_NAME_IS_UTF
    e.Method = method_;
    e.VersionMadeBy = madeBy_;
    e.VersionNeeded = needed_;
    uint16_t folder = Le16(b + 8);
    e.ContinuedFromPrevious = folder == 0xFFFD || folder == 0xFFFF;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    --files_;
    return Step(hsEntry, AddOff(off, 16 + static_cast<int64_t>(used)), files_ ? 16 : 0);
  }

 private:
  uint8_t madeBy_ = 0, needed_ = 0;
  uint16_t files_ = 0;
  int method_ = 0;
};

// ---------------------------------------------------------------------------------------------
// gzip (and the older compressors that share its first byte)

std::string NameFromArchive(const std::string& path) {
  std::string base = path;
  size_t cut = base.find_last_of("/\\");
  if (cut != std::string::npos) base = base.substr(cut + 1);
  // Ignoring case; a suffix alone is no name to shorten.
  auto endsWith = [&](std::string_view suffix) {
    return base.size() > suffix.size() && text::EndsWithText(base, suffix);
  };
  if (endsWith(".tgz") || endsWith(".taz")) return base.substr(0, base.size() - 4) + ".tar";
  for (std::string_view s : {".gz", ".z", "-gz", "-z", "_z"})
    if (endsWith(s)) return base.substr(0, base.size() - s.size());
  return base;
}

class TGZipReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override { return Step(hsSkip, ctx_.ArchiveStart, 10); }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (n < 10) return Error(kBadFileHeader);
    uint16_t magic = Le16(b);
    if (magic != 0x8B1F && magic != 0x9E1F && magic != 0x9D1F && magic != 0xA01F && magic != 0x1E1F)
      return End();
    e = TPakvoEntry{};
    const int64_t size = Src().Size();
    uint8_t trailer[8];
    if (size >= 18 && ReadExact(Src(), size - 8, trailer, 8)) {
      e.Crc = Le32(trailer);
      e.UnpackedSize = Le32(trailer + 4);
    }
    e.PackedSize = std::max<int64_t>(0, size - 10);
    e.Attr16 = 0;
    // The method: gzip's own byte; "compress" output is LZW (144); the older packers are named
    // after their magic word, kept in MethodFlags.
    e.MethodFlags = magic;
    if (magic == 0x9D1F) {
      e.DateKind = edkArchiveDate;
      e.Method = 144;
    } else {
      e.DateKind = edkUnix;
      e.UnixTime = Le32(b + 4);
      e.Method = magic == 0x8B1F ? b[2] : -1;
    }
    std::string name;
    if (magic == 0x8B1F && (b[3] & 0x08)) {
      int64_t pos = off + 10;
      if (b[3] & 0x04) {  // FEXTRA comes before the name
        uint8_t xl[2];
        if (!ReadExact(Src(), pos, xl, 2)) return Error(kBadFileHeader);
        pos += 2 + Le16(xl);
      }
      ReadZString(Src(), pos, 255, name);
    }
    e.StoredName = name.empty() ? NameFromArchive(ctx_.ArchiveFileName) : name;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    return Step(hsEntry, off + 10, 0);  // one entry: no further header
  }
};

// ---------------------------------------------------------------------------------------------
// tar (v7, ustar, GNU, pax)

int64_t OctalField(const uint8_t* p, size_t len) {
  if (len > 0 && (p[0] & 0x80)) {  // GNU base-256
    int64_t v = p[0] & 0x3F;
    for (size_t i = 1; i < len; ++i) {
      if (v > (std::numeric_limits<int64_t>::max() >> 8)) return -1;
      v = (v << 8) | p[i];
    }
    return v;
  }
  int64_t v = 0;
  for (size_t i = 0; i < len && p[i] != 0; ++i) {
    if (p[i] >= '0' && p[i] <= '7') {
      if (v > (std::numeric_limits<int64_t>::max() >> 3)) return -1;
      v = v * 8 + (p[i] - '0');
    }
  }
  return v;
}

bool IsZeroBlock(const uint8_t* h) {
  return std::all_of(h, h + 512, [](uint8_t c) { return c == 0; });
}

bool TarChecksumOk(const uint8_t* h) {
  int64_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : h[i];
  return sum == OctalField(h + 148, 8);
}

class TTarReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override { return Step(hsSkip, ctx_.ArchiveStart, 512); }

  THeaderStep Read(const uint8_t* h, size_t n, int64_t off, TPakvoEntry& e) override {
    if (n < 512) return Error(kBadFileHeader);
    // Only two zero blocks end the archive; a lone zero block is passed over.
    if (IsZeroBlock(h)) return AtEndMarker(off) ? End() : Step(hsSkip, off + 512, 512);
    if (!TarChecksumOk(h)) return End();
    char type = static_cast<char>(h[156]);
    int64_t size = OctalField(h + 124, 12);
    if (size < 0) return Error(kBadFileHeader);
    bool noData =
        type == '1' || type == '2' || type == '3' || type == '4' || type == '5' || type == '6';
    int64_t dataSize = noData ? 0 : size;
    const int64_t blocks = dataSize / 512 + (dataSize % 512 != 0 ? 1 : 0);
    if (blocks > std::numeric_limits<int64_t>::max() / 512 - 1) return Error(kBadFileHeader);
    int64_t next = AddOff(off, 512 + blocks * 512);
    if (type == 'L' || type == 'x' || type == 'g' || type == 'K' || type == 'V' || type == 'X') {
      if (type == 'L' || type == 'x') {
        std::string data;
        if (dataSize > 0 && dataSize <= 1 << 20) {
          data.resize(static_cast<size_t>(dataSize));
          if (!ReadExact(Src(), off + 512, data.data(), data.size())) return Error(kBadFileHeader);
        }
        if (type == 'L') {
          pendingName_ = data.substr(0, data.find('\0'));
        } else {
          TakePax(data);
        }
      }
      return Step(hsSkip, next, 512);
    }
    e = TPakvoEntry{};
    std::string name = FieldText(h, 100);
    if (std::memcmp(h + 257, "ustar", 5) == 0) {
      std::string prefix = FieldText(h + 345, 155);
      if (!prefix.empty() && std::memcmp(h + 257, "ustar\0", 6) == 0) name = prefix + "/" + name;
    }
    if (!pendingName_.empty()) name = pendingName_;
    pendingName_.clear();
    e.StoredName = name;
    e.NameIsUtf8 = true;  // pax names are UTF-8, and so are the names tar writes here
    e.UnpackedSize = e.PackedSize = dataSize;
    if (pendingSize_ >= 0 && !noData) e.UnpackedSize = e.PackedSize = pendingSize_;
    pendingSize_ = -1;
    e.DateKind = edkUnix;
    e.UnixTime = OctalField(h + 136, 12);
    if (pendingTime_ >= 0) e.UnixTime = pendingTime_;
    pendingTime_ = -1;
    e.Crc = static_cast<uint32_t>(OctalField(h + 148, 8));
    e.Method = 0;
    e.IsDir = type == '5' || (!name.empty() && name.back() == '/');
    e.Attr16 = e.IsDir ? 16 : 0;
    e.Attr32 = e.Attr16;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    return Step(hsEntry, next, 512);
  }

 private:
  // The zero block at off is followed by a second one, or by the end of the archive.
  bool AtEndMarker(int64_t off) {
    std::array<uint8_t, 512> h{};
    size_t got = Src().ReadAt(off + 512, h.data(), h.size());
    return std::all_of(h.begin(), h.begin() + static_cast<long>(got),
                       [](uint8_t c) { return c == 0; });
  }

  // pax records: "len key=value\n"; path, size and mtime apply to the next entry.
  void TakePax(const std::string& data) {
    size_t pos = 0;
    while (pos < data.size()) {
      size_t sp = data.find(' ', pos);
      if (sp == std::string::npos) break;
      int64_t len = 0;
      for (size_t i = pos; i < sp; ++i) {
        if (data[i] < '0' || data[i] > '9' || len > (1 << 20)) return;
        len = len * 10 + (data[i] - '0');
      }
      if (len <= 0 || pos + static_cast<size_t>(len) > data.size() ||
          static_cast<size_t>(len) <= sp - pos + 1)
        return;
      std::string rec = data.substr(sp + 1, pos + static_cast<size_t>(len) - sp - 2);
      size_t eq = rec.find('=');
      if (eq != std::string::npos) {
        std::string key = rec.substr(0, eq), value = rec.substr(eq + 1);
        if (key == "path") pendingName_ = value;
        if (key == "size") pendingSize_ = std::strtoll(value.c_str(), nullptr, 10);
        if (key == "mtime") pendingTime_ = std::strtoll(value.c_str(), nullptr, 10);
      }
      pos += static_cast<size_t>(len);
    }
  }

  std::string pendingName_;
  int64_t pendingSize_ = -1;
  int64_t pendingTime_ = -1;
};

// ---------------------------------------------------------------------------------------------
// RAR 1.5-4.x and RAR 5

bool ReadVint(const uint8_t* p, size_t n, size_t& pos, uint64_t& v) {
  v = 0;
  for (int shift = 0; shift < 64 && pos < n; shift += 7) {
    uint8_t byte = p[pos++];
    v |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return true;
  }
  return false;
}

class TRarReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override {
    uint8_t sig[8];
    int64_t pos = ctx_.ArchiveStart;
    if (!ReadExact(Src(), pos, sig, 7) || std::memcmp(sig, "Rar!\x1a\x07", 6) != 0)
      return Error(kReadError);
    splitAfter_ = false;
    if (sig[6] == 0x00) {
      rar5_ = false;
      return Step(hsSkip, pos + 7, 7);
    }
    if (sig[6] == 0x01 && ReadExact(Src(), pos, sig, 8) && sig[7] == 0x00) {
      rar5_ = true;
      return Step(hsSkip, pos + 8, 7);
    }
    return Error(kReadError);
  }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    return rar5_ ? Read5(off, e) : Read4(b, n, off, e);
  }

 private:
  THeaderStep Read4(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) {
    if (n < 7) return Error(kReadError);
    uint8_t type = b[2];
    uint16_t flags = Le16(b + 3);
    uint16_t size = Le16(b + 5);
    if (size < 7) return Error(kReadError);
    std::vector<uint8_t> h(size);
    if (!ReadExact(Src(), off, h.data(), size)) return Error(kReadError);
    if (type == 0x73) volume_ = (flags & 0x0001) != 0;
    if (type == 0x7B) return (flags & 0x0001) ? Step(hsNextVolume) : End();
    if (type != 0x74) {
      int64_t add = 0;
      if (flags & 0x8000) {
        if (size < 11) return Error(kReadError);
        add = Le32(h.data() + 7);
      }
      return Step(hsSkip, AddOff(off, size + add), 7);
    }
    if (size < 32) return Error(kReadError);
    const uint8_t* p = h.data();
    e = TPakvoEntry{};
    int64_t packed = Le32(p + 7);
    int64_t unpacked = Le32(p + 11);
    size_t nameAt = 32;
    if (flags & 0x0100) {
      if (size < 40) return Error(kReadError);
      packed |= static_cast<int64_t>(Le32(p + 32)) << 32;
      unpacked |= static_cast<int64_t>(Le32(p + 36)) << 32;
      nameAt = 40;
    }
    if (packed < 0 || unpacked < 0) return Error(kReadError);
    uint16_t nameSize = Le16(p + 26);
    if (nameAt + nameSize > size) return Error(kReadError);
    std::string name(reinterpret_cast<const char*>(p + nameAt), nameSize);
    if (flags & 0x0200) name = name.substr(0, name.find('\0'));
    e.StoredName = name;
    e.Crc = Le32(p + 16);
    e.DosDate = Le32(p + 20);
    e.VersionMadeBy = p[24];
    e.Method = p[25];
    e.Attr32 = Le32(p + 28);
    e.Attr16 = static_cast<uint16_t>(e.Attr32);
    e.Encrypted = (flags & 0x0004) != 0;
    e.IsDir = (flags & 0x00E0) == 0x00E0;
    if (p[15] == 3) e.Attr16 = e.IsDir ? 0x10 : 0x20;  // Unix host: the attributes are a mode
    e.ContinuedFromPrevious = (flags & 0x0001) != 0;
    e.UnpackedSize = unpacked;
    e.PackedSize = e.ContinuedFromPrevious ? 0 : packed;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    splitAfter_ = (flags & 0x0002) != 0;
    return Step(hsEntry, AddOff(AddOff(off, size), packed), 7);
  }

  THeaderStep Read5(int64_t off, TPakvoEntry& e) {
    uint8_t pre[7];
    size_t got = Src().ReadAt(off, pre, sizeof pre);
    size_t pos = 4;
    uint64_t headSize = 0;
    if (got < 5 || !ReadVint(pre, got, pos, headSize) || headSize == 0 || headSize > (2u << 20))
      return Error(kReadError);
    size_t total = pos + static_cast<size_t>(headSize);
    std::vector<uint8_t> h(total);
    if (!ReadExact(Src(), off, h.data(), total)) return Error(kReadError);
    const uint8_t* p = h.data();
    uint64_t type = 0, flags = 0, extraSize = 0, dataSize = 0;
    if (!ReadVint(p, total, pos, type) || !ReadVint(p, total, pos, flags)) return Error(kReadError);
    if ((flags & 1) && !ReadVint(p, total, pos, extraSize)) return Error(kReadError);
    if ((flags & 2) && !ReadVint(p, total, pos, dataSize)) return Error(kReadError);
    if (dataSize > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return Error(kReadError);
    // Each size alone fits; their sum may not: a header claiming that much is damage.
    int64_t next = AddOff(AddOff(off, static_cast<int64_t>(total)), static_cast<int64_t>(dataSize));
    if (next < 0) return Error(kReadError);
    if (type == 1) {  // main archive header
      uint64_t arcFlags = 0;
      if (ReadVint(p, total, pos, arcFlags)) volume_ = (arcFlags & 1) != 0;
      return Step(hsSkip, next, 7);
    }
    if (type == 4) return End();  // encrypted headers: nothing readable follows
    if (type == 5) {
      uint64_t endFlags = 0;
      ReadVint(p, total, pos, endFlags);
      return (endFlags & 1) ? Step(hsNextVolume) : End();
    }
    if (type != 2) return Step(hsSkip, next, 7);
    uint64_t fileFlags = 0, unpacked = 0, attr = 0, compInfo = 0, host = 0, nameLen = 0;
    uint32_t mtime = 0, crc = 0;
    if (!ReadVint(p, total, pos, fileFlags) || !ReadVint(p, total, pos, unpacked) ||
        !ReadVint(p, total, pos, attr))
      return Error(kReadError);
    if (fileFlags & 2) {
      if (pos + 4 > total) return Error(kReadError);
      mtime = Le32(p + pos);
      pos += 4;
    }
    if (fileFlags & 4) {
      if (pos + 4 > total) return Error(kReadError);
      crc = Le32(p + pos);
      pos += 4;
    }
    if (!ReadVint(p, total, pos, compInfo) || !ReadVint(p, total, pos, host) ||
        !ReadVint(p, total, pos, nameLen) || nameLen > total - pos)
      return Error(kReadError);
    e = TPakvoEntry{};
    e.StoredName.assign(reinterpret_cast<const char*>(p + pos), static_cast<size_t>(nameLen));
    e.NameIsUtf8 = true;
    pos += static_cast<size_t>(nameLen);
    // Extra area: an encryption record marks the entry encrypted.
    size_t extraEnd =
        std::min(total, pos + static_cast<size_t>(std::min<uint64_t>(extraSize, total)));
    while (pos < extraEnd) {
      uint64_t recSize = 0, recType = 0;
      size_t at = pos;
      if (!ReadVint(p, extraEnd, at, recSize) || recSize == 0 || recSize > extraEnd - at) break;
      size_t recEnd = at + static_cast<size_t>(recSize);
      if (ReadVint(p, recEnd, at, recType)) {
        if (recType == 1) e.Encrypted = true;
        uint64_t timeFlags = 0;
        if (recType == 3 && ReadVint(p, recEnd, at, timeFlags) && (timeFlags & 2)) {
          if ((timeFlags & 1) && at + 4 <= recEnd) {  // Unix seconds
            mtime = Le32(p + at);
            fileFlags |= 2;
          } else if (!(timeFlags & 1) && at + 8 <= recEnd) {  // Windows file time
            int64_t ft = static_cast<int64_t>(Le64(p + at) & 0x7FFFFFFFFFFFFFFFull);
            int64_t unix = ft / 10000000 - 11644473600LL;
            if (unix > 0 && unix <= 0xFFFFFFFFLL) {
              mtime = static_cast<uint32_t>(unix);
              fileFlags |= 2;
            }
          }
        }
      }
      pos = recEnd;
    }
    e.IsDir = (fileFlags & 1) != 0;
    e.UnpackedSize =
        (fileFlags & 8) || unpacked > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
            ? 0
            : static_cast<int64_t>(unpacked);
    e.ContinuedFromPrevious = (flags & 0x08) != 0;
    e.PackedSize = e.ContinuedFromPrevious ? 0 : static_cast<int64_t>(dataSize);
    e.Crc = crc;
    e.DateKind = (fileFlags & 2) ? edkUnix : edkArchiveDate;
    e.UnixTime = mtime;
    e.Method = '0' + static_cast<int>((compInfo >> 7) & 7);
    e.VersionMadeBy = static_cast<uint16_t>(compInfo & 0x3F);
    e.Attr32 = static_cast<uint32_t>(attr);
    if (host == 0) e.Attr16 = static_cast<uint16_t>(attr);
    if (e.IsDir) e.Attr16 |= 0x10;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    return Step(hsEntry, next, 7);
  }

  // Archives without an end block: a volume whose last file goes on in the next one.
  bool ContinuesInNextVolume() const override { return volume_ && splitAfter_; }
  int CutShortError() const override { return kReadError; }

  bool rar5_ = false;
  bool volume_ = false;
  bool splitAfter_ = false;
};

// ---------------------------------------------------------------------------------------------
// ACE 1.x/2.x

class TAceReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override {
    uint8_t h[31];
    int64_t pos = ctx_.ArchiveStart;
    if (!ReadExact(Src(), pos, h, sizeof h) || std::memcmp(h + 7, "**ACE**", 7) != 0 || h[4] != 0)
      return Error(kBadFileHeader);
    version_ = Le16(h + 15);
    mainFlags_ = Le16(h + 5);
    splitSeen_ = false;
    return Step(hsSkip, AddOff(pos, 4 + static_cast<int64_t>(Le16(h + 2))), 7);
  }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (n < 7) return Error(kBadFileHeader);
    uint16_t size = Le16(b + 2);
    uint8_t type = b[4];
    uint16_t flags = Le16(b + 5);
    if (size < 3) return Error(kBadFileHeader);
    int64_t add = 0;
    if (flags & 1) {
      uint8_t a[4];
      if (!ReadExact(Src(), off + 7, a, 4)) return Error(kBadFileHeader);
      add = Le32(a);
    }
    int64_t next = AddOff(off, 4 + static_cast<int64_t>(size) + add);
    if (type != 1) return Step(hsSkip, next, 7);
    if (size < 31) return Error(kBadFileHeader);
    std::vector<uint8_t> h(4 + static_cast<size_t>(size));
    if (!ReadExact(Src(), off, h.data(), h.size())) return Error(kBadFileHeader);
    const uint8_t* p = h.data();
    uint16_t nameLen = Le16(p + 33);
    if (35 + static_cast<size_t>(nameLen) > h.size()) return Error(kBadFileHeader);
    e = TPakvoEntry{};
    e.StoredName.assign(reinterpret_cast<const char*>(p + 35), nameLen);
    e.PackedSize = Le32(p + 7);
    e.UnpackedSize = Le32(p + 11);
    e.DosDate = Le32(p + 15);
    e.Attr32 = Le32(p + 19);
    e.Attr16 = static_cast<uint16_t>(e.Attr32);
    e.Crc = ~Le32(p + 23);  // stored without the final inversion
    e.Method = p[28];
    e.Encrypted = (flags & (1 << 14)) != 0;
    e.ContinuedFromPrevious = (flags & (1 << 12)) != 0;
    e.IsDir = (e.Attr32 & 0x10) != 0;
    e.VersionMadeBy = e.VersionNeeded = version_;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    splitSeen_ = (flags & (1 << 13)) != 0;
    return Step(hsEntry, next, 7);
  }

  // A volume of a set whose last file goes on in the next volume.
  bool ContinuesInNextVolume() const override { return (mainFlags_ & (1 << 11)) && splitSeen_; }

 private:
  uint16_t version_ = 0;
  uint16_t mainFlags_ = 0;
  bool splitSeen_ = false;
};

// ---------------------------------------------------------------------------------------------
// ZOO

class TZooReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override {
    uint8_t h[34];
    if (!ReadExact(Src(), ctx_.ArchiveStart, h, sizeof h) || Le32(h + 20) != 0xFDC4A7DC)
      return End();
    return Step(hsSkip, AddOff(ctx_.ArchiveStart, Le32(h + 24)), 58);
  }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (n < 4 || Le32(b) != 0xFDC4A7DC) return End();
    if (n < 58) return Error(kBadFileHeader);
    uint32_t next = Le32(b + 6);
    if (next == 0) return End();  // the closing, empty entry
    int64_t nextPos = AddOff(ctx_.ArchiveStart, next);
    if (b[30] != 0) return Step(hsSkip, nextPos, 58);  // deleted
    e = TPakvoEntry{};
    std::string name = FieldText(b + 38, 13);
    if (b[4] == 2) {
      uint8_t nameLen = b[56], dirLen = b[57];
      std::vector<uint8_t> var(static_cast<size_t>(nameLen) + dirLen);
      if (!ReadExact(Src(), off + 58, var.data(), var.size())) return Error(kBadFileHeader);
      std::string longName = FieldText(var.data(), nameLen);
      std::string dir = FieldText(var.data() + nameLen, dirLen);
      if (!longName.empty()) name = longName;
      if (!dir.empty()) name = dir + (dir.back() == '/' ? "" : "/") + name;
    }
    e.StoredName = name;
    e.Method = b[5];
    e.DosDate = DosStamp(b + 14, b + 16);
    e.Crc = Le16(b + 18);
    e.UnpackedSize = Le32(b + 20);
    e.PackedSize = Le32(b + 24);
    e.VersionMadeBy = b[28];
    e.VersionNeeded = b[29];
    e.HeaderOffset = off - ctx_.ArchiveStart;
    return Step(hsEntry, nextPos, 58);
  }
};

// ---------------------------------------------------------------------------------------------
// HA

class THaReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override { return Step(hsSkip, AddOff(ctx_.ArchiveStart, 4), 18); }

  THeaderStep Read(const uint8_t* b, size_t n, int64_t off, TPakvoEntry& e) override {
    if (n < 18) return Error(kBadFileHeader);
    e = TPakvoEntry{};
    e.Method = b[0] & 0x0F;
    e.VersionMadeBy = e.VersionNeeded = b[0] >> 4;
    e.PackedSize = Le32(b + 1);
    e.UnpackedSize = Le32(b + 5);
    e.Crc = Le32(b + 9);
    e.DateKind = edkUnix;
    e.UnixTime = Le32(b + 13);
    std::string path, name;
    int64_t pos = off + 17;
    size_t used = ReadZString(Src(), pos, 4096, path);
    if (used == path.size()) return Error(kBadFileHeader);
    pos += static_cast<int64_t>(used);
    used = ReadZString(Src(), pos, 4096, name);
    if (used == name.size()) return Error(kBadFileHeader);
    pos += static_cast<int64_t>(used);
    uint8_t mdiLen;
    if (!ReadExact(Src(), pos, &mdiLen, 1)) return Error(kBadFileHeader);
    pos += 1 + mdiLen;
    e.StoredName = DirFromFFSeparated(path, "/") + name;
    e.IsDir = e.Method == 14;
    e.Attr16 = e.IsDir ? 16 : 32;
    e.Attr32 = 32;
    e.HeaderOffset = off - ctx_.ArchiveStart;
    return Step(hsEntry, AddOff(pos, e.PackedSize), 18);
  }
};

// ---------------------------------------------------------------------------------------------
// UUE: one entry named on the "begin" line.

class TUueReader : public THeaderReader {
 public:
  using THeaderReader::THeaderReader;

  THeaderStep Open() override { return Step(hsSkip, 0, 1); }

  THeaderStep Read(const uint8_t*, size_t, int64_t, TPakvoEntry& e) override {
    std::vector<char> buf(32 * 1024);
    size_t got = Src().ReadAt(0, buf.data(), buf.size());
    std::string text(buf.data(), got);
    size_t at = std::string::npos;
    for (size_t pos = 0; pos < text.size();) {
      if (text.compare(pos, 6, "begin ") == 0) {
        at = pos;
        break;
      }
      size_t lf = text.find('\n', pos);
      if (lf == std::string::npos) break;
      pos = lf + 1;
    }
    if (at == std::string::npos) return Error(kNoBeginLine);
    size_t p = at + 6;
    size_t blank = text.find(' ', p);
    size_t eol = text.find_first_of("\r\n", p);
    if (eol == std::string::npos) eol = text.size();
    if (blank == std::string::npos || blank > eol) return Error(kNoBeginLine);
    e = TPakvoEntry{};
    e.StoredName = text.substr(blank + 1, std::min<size_t>(eol - blank - 1, 255));
    e.DateKind = edkArchiveDate;
    e.PackedSize = e.UnpackedSize = Src().Size();
    e.Attr16 = 32;
    e.Attr32 = 32;
    e.HeaderOffset = 0;
    return Step(hsEntry, 1, 0);
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------

size_t TPakvoMemorySource::ReadAt(int64_t pos, void* buffer, size_t count) {
  if (pos < 0 || pos >= Size() || count == 0) return 0;
  size_t n = std::min(count, bytes_.size() - static_cast<size_t>(pos));
  std::memcpy(buffer, bytes_.data() + pos, n);
  return n;
}

std::unique_ptr<TPakvoFileSource> TPakvoFileSource::Open(const std::string& path) {
  std::unique_ptr<TPakvoFileSource> src(new TPakvoFileSource());
  src->file_.reset(std::fopen(path.c_str(), "rb"));
  if (!src->file_) return nullptr;
  if (fseeko(src->file_.get(), 0, SEEK_END) != 0) return nullptr;
  src->size_ = ftello(src->file_.get());
  if (src->size_ < 0) return nullptr;
  return src;
}

size_t TPakvoFileSource::ReadAt(int64_t pos, void* buffer, size_t count) {
  if (pos < 0 || pos >= size_ || count == 0) return 0;
  if (fseeko(file_.get(), pos, SEEK_SET) != 0) return 0;
  return std::fread(buffer, 1, count, file_.get());
}

TPakvoVolumeSet::TPakvoVolumeSet(std::vector<int64_t> sizes,
                                 std::function<std::unique_ptr<TPakvoByteSource>(size_t)> opener)
    : sizes_(std::move(sizes)), open_(sizes_.size()), opener_(std::move(opener)) {
  for (int64_t s : sizes_) {
    starts_.push_back(total_);
    total_ += std::max<int64_t>(0, s);
  }
}

int64_t TPakvoVolumeSet::VolumeStart(size_t index) const {
  return index < starts_.size() ? starts_[index] : total_;
}

size_t TPakvoVolumeSet::ReadAt(int64_t pos, void* buffer, size_t count) {
  size_t done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count && pos >= 0 && pos < total_) {
    size_t v = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), pos) -
                                   starts_.begin()) -
               1;
    if (!open_[v]) {
      open_[v] = opener_ ? opener_(v) : nullptr;
      if (!open_[v]) {
        if (missing_ < 0) missing_ = static_cast<int>(v);
        return done;
      }
    }
    int64_t inVol = pos - starts_[v];
    size_t want = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(count - done), sizes_[v] - inVol));
    size_t got = open_[v]->ReadAt(inVol, out + done, want);
    done += got;
    pos += static_cast<int64_t>(got);
    if (got < want) break;
  }
  return done;
}

TZipEndInfo FindZipEnd(TPakvoByteSource& src, const std::vector<int64_t>& diskStarts) {
  TZipEndInfo info;
  const int64_t size = src.Size();
  if (size < 22) return info;
  const int64_t span = std::min<int64_t>(size, 65535 + 26);
  std::vector<uint8_t> tail(static_cast<size_t>(span));
  if (!ReadExact(src, size - span, tail.data(), tail.size())) return info;
  for (int64_t i = span - 22; i >= 0; --i) {
    const uint8_t* p = tail.data() + i;
    uint32_t sig = Le32(p);
    if (sig != kSigEnd && sig != kSigLargeEnd) continue;
    if (sig == kSigLargeEnd && i + 26 > span) continue;
    info.Found = true;
    info.EndPos = size - span + i;
    info.ThisDisk = Le16(p + 4);
    info.CentralDisk = Le16(p + 6);
    info.Entries = Le16(p + 10);
    info.CentralSize = Le32(p + 12);
    info.CentralOffset = sig == kSigLargeEnd
                             ? static_cast<int64_t>(Le64(p + 16) & 0x7FFFFFFFFFFFFFFFull)
                             : static_cast<int64_t>(Le32(p + 16));
    // Zip64: the locator stands right before the end record.
    if (sig == kSigEnd &&
        (info.CentralOffset == 0xFFFFFFFF || info.CentralSize == 0xFFFFFFFF ||
         info.Entries == 0xFFFF || info.ThisDisk == 0xFFFF) &&
        info.EndPos >= 20) {
      uint8_t loc[20];
      if (ReadExact(src, info.EndPos - 20, loc, 20) && Le32(loc) == kSigZip64Locator) {
        int64_t z64 = static_cast<int64_t>(Le64(loc + 8) & 0x7FFFFFFFFFFFFFFFull);
        uint32_t z64Disk = Le32(loc + 4);
        if (!diskStarts.empty() && z64Disk < diskStarts.size())
          z64 = AddOff(z64, diskStarts[z64Disk]);
        uint8_t rec[56];
        if (ReadExact(src, z64, rec, 56) && Le32(rec) == kSigZip64End) {
          info.ThisDisk = Le32(rec + 16);
          info.CentralDisk = Le32(rec + 20);
          info.Entries = Le64(rec + 32);
          info.CentralSize = static_cast<int64_t>(Le64(rec + 40) & 0x7FFFFFFFFFFFFFFFull);
          info.CentralOffset = static_cast<int64_t>(Le64(rec + 48) & 0x7FFFFFFFFFFFFFFFull);
        }
      }
    }
    break;
  }
  if (!info.Found) return info;
  info.Empty = info.Entries == 0 && info.CentralSize == 0;
  uint8_t rec[46];
  if (!diskStarts.empty()) {
    if (info.CentralDisk >= diskStarts.size()) return info;
    int64_t cd = AddOff(diskStarts[info.CentralDisk], info.CentralOffset);
    info.CentralFound = ReadExact(src, cd, rec, 46) && Le32(rec) == kSigCentral;
  } else {
    int64_t cd = info.CentralOffset;
    info.CentralFound = ReadExact(src, cd, rec, 46) && Le32(rec) == kSigCentral;
    if (!info.CentralFound) {
      // Data in front of the ZIP: the directory really ends where the end record starts.
      int64_t real = info.EndPos - info.CentralSize;
      if (real >= 0 && ReadExact(src, real, rec, 46) && Le32(rec) == kSigCentral) {
        info.ArchiveStart = real - info.CentralOffset;
        info.CentralOffset = real - info.ArchiveStart;
        info.CentralFound = true;
      }
    }
  }
  if (info.CentralFound) {
    int64_t local = AddOff(Le32(rec + 42), diskStarts.empty() ? info.ArchiveStart : 0);
    uint16_t disk = Le16(rec + 34);
    if (!diskStarts.empty())
      local = disk < diskStarts.size() ? AddOff(local, diskStarts[disk]) : -1;
    uint8_t sig[4];
    info.LocalFound = ReadExact(src, local, sig, 4) && Le32(sig) == kSigLocal;
  }
  return info;
}

std::unique_ptr<THeaderReader> MakeHeaderReader(THeaderFamily family, TPakvoByteSource& source,
                                                THeaderContext context) {
  switch (family) {
    case hfAce: return std::make_unique<TAceReader>(source, std::move(context));
    case hfArc: return std::make_unique<TArcReader>(source, std::move(context));
    case hfArj: return std::make_unique<TArjReader>(source, std::move(context));
    case hfCab: return std::make_unique<TCabReader>(source, std::move(context));
    case hfGZip: return std::make_unique<TGZipReader>(source, std::move(context));
    case hfHA: return std::make_unique<THaReader>(source, std::move(context));
    case hfLha: return std::make_unique<TLhaReader>(source, std::move(context));
    case hfRar: return std::make_unique<TRarReader>(source, std::move(context));
    case hfTar: return std::make_unique<TTarReader>(source, std::move(context));
    case hfUUE: return std::make_unique<TUueReader>(source, std::move(context));
    case hfZip: return std::make_unique<TZipReader>(source, std::move(context));
    case hfZoo: return std::make_unique<TZooReader>(source, std::move(context));
    case hfNone: break;
  }
  return nullptr;
}

int THeaderReader::CutShortError() const { return kBadFileHeader; }

int WalkHeaders(THeaderReader& reader, TPakvoByteSource& first, const THeaderWalkHooks& hooks) {
  TPakvoByteSource* src = &first;
  THeaderStep step = reader.Open();
  if (step.Status == hsError) return step.ErrorCode;
  if (step.Status == hsEnd) return 0;
  int64_t offset = step.NextOffset;
  uint32_t block = step.NextBlock;
  if (hooks.OnFirstHeader) hooks.OnFirstHeader(offset);
  std::vector<uint8_t> buf;
  TPakvoEntry entry;
  for (;;) {
    if (hooks.Cancelled && hooks.Cancelled()) return 0;
    if (block == 0) return 0;
    if (offset < 0) return reader.CutShortError();  // sizes beyond any file
    const int64_t size = src->Size();
    if (offset > size - static_cast<int64_t>(block) && reader.ContinuesInNextVolume()) {
      step.Status = hsNextVolume;  // the end of a volume whose set goes on
    } else if (offset >= size) {
      // Nothing left: the archive ends here, or a header claimed more bytes than it holds.
      return offset == size ? 0 : reader.CutShortError();
    } else {
      // A block that does not fit is read as far as it goes: the reader tells an end marker
      // or trailing bytes from a header cut short.
      buf.resize(block);
      size_t got = src->ReadAt(offset, buf.data(), block);
      if (got == 0) return reader.CutShortError();
      step = reader.Read(buf.data(), got, offset, entry);
    }
    switch (step.Status) {
      case hsError: return step.ErrorCode;
      case hsEnd: return 0;
      case hsNextVolume: {
        TPakvoByteSource* next = hooks.OnNextVolume ? hooks.OnNextVolume() : nullptr;
        if (next == nullptr) return 0;
        src = next;
        reader.SetSource(*src);
        step = reader.Open();
        if (step.Status == hsError) return step.ErrorCode;
        if (step.Status == hsEnd) return 0;
        offset = step.NextOffset;
        block = step.NextBlock;
        continue;
      }
      case hsEntry:
        if (hooks.OnEntry && !hooks.OnEntry(entry, offset)) return 0;
        break;
      case hsSkip: break;
    }
    // Every header must lead further on: a pointer backwards or to itself would loop.
    if (step.NextBlock != 0 && step.NextOffset <= offset) return kBadFileHeader;
    offset = step.NextOffset;
    block = step.NextBlock;
  }
}
