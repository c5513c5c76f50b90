// Record layouts and small helpers shared by the ZIP writer's source files (entries, records of
// an existing archive, spanned output). Not part of the library's interface.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"

namespace zipfmt {

constexpr int kLocalSize = 30;
constexpr int kCentralSize = 46;
constexpr int kEndSize = 22;
constexpr int kLargeEndSize = 26;
constexpr int64_t kCopyBlock = 102400;
constexpr uint64_t k4GiB = uint64_t{1} << 32;
// Extra block 100: the bits 32-47 of the sizes (and, in a central record, of the local header's
// offset) of entries beyond what the 32-bit fields hold.
constexpr uint16_t kBlock100 = 100;
constexpr int kBlock100Local = 8;
constexpr int kBlock100Central = 10;

inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}
inline void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline uint32_t Get16(const uint8_t* p) { return p[0] | (static_cast<uint32_t>(p[1]) << 8); }
inline uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }
inline uint64_t Get64(const uint8_t* p) { return Get32(p) | (uint64_t{Get32(p + 4)} << 32); }

inline std::string FileNamePart(const std::string& path) {
  const size_t slash = path.rfind(kPathDelim);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The three high words of block 100 found in an extra field (zero when it has none). A block whose
// size runs past the field ends the walk.
struct THigh {
  uint16_t Packed = 0;
  uint16_t Unpacked = 0;
  uint16_t Offset = 0;
  bool Found = false;
};
inline THigh ReadBlock100(const std::string& extra, bool central) {
  THigh h;
  const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const uint32_t id = Get16(p + pos);
    const uint32_t size = Get16(p + pos + 2);
    pos += 4;
    if (size > extra.size() - pos) break;
    if (id == kBlock100 && size >= (central ? 6u : 4u)) {
      h.Found = true;
      h.Packed = static_cast<uint16_t>(Get16(p + pos));
      h.Unpacked = static_cast<uint16_t>(Get16(p + pos + 2));
      if (central) h.Offset = static_cast<uint16_t>(Get16(p + pos + 4));
    }
    pos += size;
  }
  return h;
}

// The 10-byte central form of block 100.
inline std::string CentralBlock100(uint64_t packed, uint64_t unpacked, uint64_t offset) {
  uint8_t b[kBlock100Central];
  Put16(b, kBlock100);
  Put16(b + 2, 6);
  Put16(b + 4, static_cast<uint32_t>(packed >> 32));
  Put16(b + 6, static_cast<uint32_t>(unpacked >> 32));
  Put16(b + 8, static_cast<uint32_t>(offset >> 32));
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

// Sizes and offset of an entry: the central record's 32-bit fields with block 100's words.
inline uint64_t EntryPacked(const TZipEntryRecord& rec) {
  return Get32(rec.Central + 20) | (uint64_t{ReadBlock100(rec.Extra, true).Packed} << 32);
}
inline uint64_t EntryUnpacked(const TZipEntryRecord& rec) {
  return Get32(rec.Central + 24) | (uint64_t{ReadBlock100(rec.Extra, true).Unpacked} << 32);
}

// Sets the entry's local-header offset: the low word in the central record, the high word in
// block 100 of its central extra field (added when the offset needs it, updated when present).
inline void SetEntryOffset(TZipEntryRecord& rec, uint64_t offset) {
  Put32(rec.Central + 42, static_cast<uint32_t>(offset));
  auto* p = reinterpret_cast<uint8_t*>(rec.Extra.data());
  size_t pos = 0;
  while (pos + 4 <= rec.Extra.size()) {
    const uint32_t id = Get16(p + pos);
    const uint32_t size = Get16(p + pos + 2);
    pos += 4;
    if (size > rec.Extra.size() - pos) break;
    if (id == kBlock100 && size >= 6) {
      Put16(p + pos + 4, static_cast<uint32_t>(offset >> 32));
      return;
    }
    pos += size;
  }
  if (offset >= k4GiB) rec.Extra += CentralBlock100(EntryPacked(rec), EntryUnpacked(rec), offset);
}

// Copies count bytes of input to output; a short read raises the read error.
inline void CopyBytes(TStream& input, TStream& output, uint64_t count) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(count, kCopyBlock)) + 1);
  while (count > 0) {
    const auto n = static_cast<int64_t>(std::min<uint64_t>(count, kCopyBlock));
    if (input.Read(buf.data(), n) != n) throw E_RAISE(std::string(LoadErrorText(kErrErrorReadingFile)));
    output.WriteBuffer(buf.data(), n);
    count -= static_cast<uint64_t>(n);
  }
}

// The entry's central record with the lengths of its name, extra field and comment filled in,
// followed by those three.
inline std::string CentralRecordOf(TZipEntryRecord& rec) {
  Put16(rec.Central + 28, static_cast<uint32_t>(rec.StoredName.size()));
  Put16(rec.Central + 30, static_cast<uint32_t>(rec.Extra.size()));
  Put16(rec.Central + 32, static_cast<uint32_t>(rec.Comment.size()));
  std::string out(reinterpret_cast<const char*>(rec.Central), kCentralSize);
  return out + rec.StoredName + rec.Extra + rec.Comment;
}

// Fills the 22-byte end record. The entry counts keep their low 16 bits: readers that meet more
// entries walk the directory by its signatures.
inline void PutEndRecord(uint8_t (&end)[kEndSize], uint32_t disk, uint32_t cdDisk, uint32_t entries, uint32_t cdSize,
                         uint32_t cdOffset, uint32_t commentSize) {
  std::memset(end, 0, kEndSize);
  Put32(end, kSigEnd);
  Put16(end + 4, disk);
  Put16(end + 6, cdDisk);
  Put16(end + 8, entries & 0xFFFF);
  Put16(end + 10, entries & 0xFFFF);
  Put32(end + 12, cdSize);
  Put32(end + 16, cdOffset);
  Put16(end + 20, commentSize);
}

// Code of one of the fixed texts raised by the streams.
inline int CodeOfText(const std::string& text) {
  for (int code : {kErrDiskFull, kErrErrorWritingToFile, kErrErrorReadingFile, kErrErrorOpeningFile,
                   kErrOutOfMemory, kErrOutOfMemoryExpandingStream}) {
    if (LoadErrorText(code) == text) return code;
  }
  if (text == "Stream read error") return kErrErrorReadingFile;
  return kErrErrorUpdatingArchive;
}

}  // namespace zipfmt
