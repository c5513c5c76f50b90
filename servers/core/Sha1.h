// The SHA-1 digest the servers keep password hashes with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>

namespace servers {

// SHA-1 of one message (FIPS 180-4).
class Sha1 {
 public:
  static constexpr size_t kDigestSize = 20;
  using Digest = std::array<uint8_t, kDigestSize>;

  void Update(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      block_[used_++] = data[i];
      if (used_ == block_.size()) Compress();
    }
    length_ += size;
  }

  Digest Final() {
    const uint64_t bits = length_ * 8;
    const uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (used_ != 56) Update(&zero, 1);
    for (int i = 7; i >= 0; --i) {
      const uint8_t b = static_cast<uint8_t>(bits >> (i * 8));
      Update(&b, 1);
    }
    Digest out{};
    for (size_t i = 0; i < kDigestSize; ++i) out[i] = static_cast<uint8_t>(h_[i / 4] >> (24 - 8 * (i % 4)));
    return out;
  }

 private:
  static uint32_t RotateLeft(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

  void Compress() {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
      w[t] = uint32_t{block_[static_cast<size_t>(4 * t)]} << 24 | uint32_t{block_[static_cast<size_t>(4 * t + 1)]} << 16 |
             uint32_t{block_[static_cast<size_t>(4 * t + 2)]} << 8 | uint32_t{block_[static_cast<size_t>(4 * t + 3)]};
    for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int t = 0; t < 80; ++t) {
      uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const uint32_t temp = RotateLeft(a, 5) + f + e + k + w[t];
      e = d;
      d = c;
      c = RotateLeft(b, 30);
      b = a;
      a = temp;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
    used_ = 0;
  }

  std::array<uint32_t, 5> h_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::array<uint8_t, 64> block_{};
  size_t used_ = 0;
  uint64_t length_ = 0;
};

// Fills `size` bytes with a random salt.
inline void FillSalt(uint8_t* salt, size_t size) {
  std::random_device random;
  for (size_t i = 0; i < size; ++i) salt[i] = static_cast<uint8_t>(random());
}

// Whether the digest equals the digest's size of bytes at `stored`, compared in constant time.
inline bool DigestMatches(const Sha1::Digest& digest, const char* stored) {
  uint8_t differ = 0;
  for (size_t i = 0; i < digest.size(); ++i) differ |= static_cast<uint8_t>(digest[i] ^ static_cast<uint8_t>(stored[i]));
  return differ == 0;
}

}  // namespace servers
