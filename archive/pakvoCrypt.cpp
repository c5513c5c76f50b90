#include "archive/pakvoCrypt.h"

#include <chrono>
#include <cstring>
#include <random>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The register after byte b passes through the reflected CRC of polynomial poly.
constexpr uint32_t ReflectedByteCrc(uint32_t b, uint32_t poly) {
  for (int k = 0; k < 8; ++k) b = (b & 1) ? poly ^ (b >> 1) : b >> 1;
  return b;
}

// Slicing-by-8 tables: t[k][b] is the CRC of byte b followed by k zero bytes.
struct Crc32Tables {
  uint32_t t[8][256];
  Crc32Tables() {
    for (uint32_t b = 0; b < 256; ++b) t[0][b] = ReflectedByteCrc(b, 0xEDB88320u);
    for (uint32_t b = 0; b < 256; ++b) {
      for (int k = 1; k < 8; ++k) t[k][b] = t[0][t[k - 1][b] & 0xFF] ^ (t[k - 1][b] >> 8);
    }
  }
};

const Crc32Tables& Tables32() {
  static const Crc32Tables tables;
  return tables;
}

struct Crc16Tables {
  uint16_t t[256];
  Crc16Tables() {
    for (uint32_t b = 0; b < 256; ++b) t[b] = static_cast<uint16_t>(ReflectedByteCrc(b, 0xA001u));
  }
};

#if defined(__x86_64__)
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i acc, __m128i next,
                                                               __m128i k) {
  const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), hi), next);
}

// Carry-less multiplication folding of the reflected CRC-32 (Intel's PCLMULQDQ method): four
// 128-bit lanes fold 64 bytes per step, then one lane, then a Barrett reduction to 32 bits.
// Takes a running register, a 16-byte aligned buffer and a length that is a multiple of 16 and
// at least 64; returns the new register.
__attribute__((target("pclmul,sse4.1"))) uint32_t Crc32Folded(uint32_t crc, const uint8_t* p,
                                                                size_t len) {
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124LL);
  const __m128i poly = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
  __m128i x2 = _mm_load_si128(reinterpret_cast<const __m128i*>(p + 16));
  __m128i x3 = _mm_load_si128(reinterpret_cast<const __m128i*>(p + 32));
  __m128i x4 = _mm_load_si128(reinterpret_cast<const __m128i*>(p + 48));
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
  p += 64;
  len -= 64;
  while (len >= 64) {
    const __m128i h1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
    const __m128i h2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
    const __m128i h3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
    const __m128i h4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k1k2, 0x00), h1);
    x2 = _mm_xor_si128(_mm_clmulepi64_si128(x2, k1k2, 0x00), h2);
    x3 = _mm_xor_si128(_mm_clmulepi64_si128(x3, k1k2, 0x00), h3);
    x4 = _mm_xor_si128(_mm_clmulepi64_si128(x4, k1k2, 0x00), h4);
    x1 = _mm_xor_si128(x1, _mm_load_si128(reinterpret_cast<const __m128i*>(p)));
    x2 = _mm_xor_si128(x2, _mm_load_si128(reinterpret_cast<const __m128i*>(p + 16)));
    x3 = _mm_xor_si128(x3, _mm_load_si128(reinterpret_cast<const __m128i*>(p + 32)));
    x4 = _mm_xor_si128(x4, _mm_load_si128(reinterpret_cast<const __m128i*>(p + 48)));
    p += 64;
    len -= 64;
  }
  x1 = Fold(x1, x2, k3k4);
  x1 = Fold(x1, x3, k3k4);
  x1 = Fold(x1, x4, k3k4);
  while (len >= 16) {
    x1 = Fold(x1, _mm_load_si128(reinterpret_cast<const __m128i*>(p)), k3k4);
    p += 16;
    len -= 16;
  }
  // 128 to 64 bits, appending 32 zero bits.
  x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  // 64 to 32 bits.
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_and_si128(x1, mask32);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k5, 0x00), x2);
  // Barrett reduction.
  x2 = x1;
  x1 = _mm_and_si128(x1, mask32);
  x1 = _mm_clmulepi64_si128(x1, poly, 0x10);
  x1 = _mm_and_si128(x1, mask32);
  x1 = _mm_clmulepi64_si128(x1, poly, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif

// The three keys of the cipher (process-wide, see the header).
uint32_t gKeys[3] = {0x12345678u, 0x23456789u, 0x34567890u};

}  // namespace

const uint32_t* Crc32Table() { return Tables32().t[0]; }

const uint16_t* Crc16Table() {
  static const Crc16Tables table;
  return table.t;
}

void UpdateCrc32(const void* buffer, size_t count, uint32_t& crc) {
  const auto& t = Tables32().t;
  const auto* p = static_cast<const uint8_t*>(buffer);
  uint32_t c = crc;
  while (count > 0 && (reinterpret_cast<uintptr_t>(p) & 7) != 0) {
    c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    --count;
  }
#if defined(__x86_64__)
  if (count >= 256 && HasCarrylessMultiply()) {
    while ((reinterpret_cast<uintptr_t>(p) & 15) != 0) {
      c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
      --count;
    }
    const size_t bulk = count & ~static_cast<size_t>(15);
    c = Crc32Folded(c, p, bulk);
    p += bulk;
    count -= bulk;
  }
#endif
  while (count >= 8) {
    uint32_t lo;
    uint32_t hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    lo ^= c;
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    p += 8;
    count -= 8;
  }
  while (count-- > 0) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  crc = c;
}

void UpdateCrc16(const void* buffer, size_t count, uint32_t& crc) {
  const uint16_t* t = Crc16Table();
  const auto* p = static_cast<const uint8_t*>(buffer);
  uint32_t c = crc & 0xFFFF;
  while (count-- > 0) c = t[(c ^ *p++) & 0xFF] ^ (c >> 8);
  crc = c;
}

uint32_t Crc32Of(const void* buffer, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  UpdateCrc32(buffer, count, crc);
  return crc ^ 0xFFFFFFFFu;
}

void UpdateKeys(uint8_t plain) {
  gKeys[0] = UpdateCrc32Byte(plain, gKeys[0]);
  gKeys[1] = (gKeys[1] + (gKeys[0] & 0xFF)) * 134775813u + 1;
  gKeys[2] = UpdateCrc32Byte(static_cast<uint8_t>(gKeys[1] >> 24), gKeys[2]);
}

void InitKeys(std::string_view password) {
  gKeys[0] = 0x12345678u;
  gKeys[1] = 0x23456789u;
  gKeys[2] = 0x34567890u;
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

uint8_t DecryptByte() {
  const uint32_t temp = (gKeys[2] & 0xFFFF) | 2;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void DecryptBuffer(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) {
    p[i] ^= DecryptByte();
    UpdateKeys(p[i]);
  }
}

uint8_t EncryptByte(uint8_t plain) {
  const uint8_t k = DecryptByte();
  UpdateKeys(plain);
  return plain ^ k;
}

void EncryptBuffer(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) p[i] = EncryptByte(p[i]);
}

std::string MakeEncryptionHeader(std::string_view password, uint32_t crc) {
  InitKeys(password);
  std::mt19937 random(static_cast<uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count() ^ std::random_device{}()));
  std::uniform_int_distribution<int> below(0, 32766);
  uint8_t header[kEncryptionHeaderSize];
  for (int i = 0; i < 10; ++i) header[i] = static_cast<uint8_t>(below(random) >> 7);
  header[10] = static_cast<uint8_t>(crc >> 16);
  header[11] = static_cast<uint8_t>(crc >> 24);
  for (uint8_t& b : header) b = EncryptByte(b);
  return std::string(reinterpret_cast<const char*>(header), sizeof header);
}

bool CheckEncryptionHeader(const void* header, uint16_t flags, uint32_t crc, uint16_t dosTime,
                           std::string_view password) {
  if (password.empty()) return false;
  InitKeys(password);
  uint8_t h[kEncryptionHeaderSize];
  std::memcpy(h, header, sizeof h);
  DecryptBuffer(h, sizeof h);
  const uint8_t expected =
      (flags & 0x0008) != 0 ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
  return h[11] == expected;
}
