// Builds small ZIP archives byte by byte, so that tests can write the odd and hostile records that
// no archiver writes: lying sizes, names that climb out of the target, overlapping entries.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zipbuild {

struct Entry {
  std::string name;
  std::string data;  // the bytes stored in the archive (already compressed)
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint32_t packed = 0;  // written as is
  uint32_t unpacked = 0;
  uint32_t externalAttr = 0x20;
  int64_t localOffset = -1;  // central record's offset; -1 = where the header was written
  bool writeLocal = true;    // false: only a central record (pointing at localOffset)
  std::string localExtra;    // extra fields, written as given
  std::string centralExtra;
};

inline void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

inline uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Raw deflate of `data` at level 9.
inline std::string Deflate(const std::string& data) {
  z_stream zs{};
  deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, data.size()) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// A stored entry with honest sizes and CRC.
inline Entry Stored(const std::string& name, const std::string& data) {
  Entry e;
  e.name = name;
  e.data = data;
  e.crc = Crc(data);
  e.packed = e.unpacked = static_cast<uint32_t>(data.size());
  return e;
}

// A deflated entry with honest sizes and CRC.
inline Entry Deflated(const std::string& name, const std::string& data) {
  Entry e;
  e.name = name;
  e.data = Deflate(data);
  e.method = 8;
  e.crc = Crc(data);
  e.packed = static_cast<uint32_t>(e.data.size());
  e.unpacked = static_cast<uint32_t>(data.size());
  return e;
}

// The library's extra block 100: bits 32-47 of the compressed and uncompressed sizes (and, in a
// central record, of the local header's offset).
inline std::string Block100(uint16_t packedHigh, uint16_t unpackedHigh, bool central,
                            uint16_t offsetHigh = 0) {
  std::string b;
  Put16(b, 100);
  Put16(b, central ? 6 : 4);
  Put16(b, packedHigh);
  Put16(b, unpackedHigh);
  if (central) Put16(b, offsetHigh);
  return b;
}

inline std::string Build(std::vector<Entry> entries) {
  std::string zip;
  const uint32_t dosTime = 0x5000, dosDate = 0x52CF;  // 2021-06-15 10:00:00
  // Fields the local and the central record share, from the flags to the name length.
  auto PutSharedFields = [&](std::string& out, const Entry& e) {
    Put16(out, e.flags);
    Put16(out, e.method);
    Put16(out, dosTime);
    Put16(out, dosDate);
    Put32(out, e.crc);
    Put32(out, e.packed);
    Put32(out, e.unpacked);
    Put16(out, static_cast<uint32_t>(e.name.size()));
  };
  for (Entry& e : entries) {
    if (!e.writeLocal) continue;
    if (e.localOffset < 0) e.localOffset = static_cast<int64_t>(zip.size());
    Put32(zip, 0x04034B50);
    Put16(zip, 20);
    PutSharedFields(zip, e);
    Put16(zip, static_cast<uint32_t>(e.localExtra.size()));
    zip += e.name;
    zip += e.localExtra;
    zip += e.data;
  }
  const uint32_t cdStart = static_cast<uint32_t>(zip.size());
  for (const Entry& e : entries) {
    Put32(zip, 0x02014B50);
    Put16(zip, 20);
    Put16(zip, 20);
    PutSharedFields(zip, e);
    Put16(zip, static_cast<uint32_t>(e.centralExtra.size()));
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 0);
    Put32(zip, e.externalAttr);
    Put32(zip, static_cast<uint32_t>(e.localOffset < 0 ? 0 : e.localOffset));
    zip += e.name;
    zip += e.centralExtra;
  }
  const uint32_t cdSize = static_cast<uint32_t>(zip.size()) - cdStart;
  Put32(zip, 0x06054B50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put32(zip, cdSize);
  Put32(zip, cdStart);
  Put16(zip, 0);
  return zip;
}

}  // namespace zipbuild
