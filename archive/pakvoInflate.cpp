#include "archive/pakvoInflate.h"

#include <cstring>
#include <new>

bool Deflate64Mode = false;
uint8_t FixedDistanceCodes = 30;

void SetDeflate64Mode(bool on) {
  Deflate64Mode = on;
  FixedDistanceCodes = on ? 32 : 30;
}

namespace {

constexpr unsigned kFastBits = 10;
constexpr unsigned kFastMask = (1u << kFastBits) - 1;
constexpr unsigned kMaxBits = 15;

// Canonical Huffman code: a direct table for codes up to kFastBits bits, entries (length << 9) |
// symbol (0 = longer or unassigned code), and the per-length counts and sorted symbols for the
// bit-by-bit walk of longer codes.
struct Huffman {
  uint16_t fast[1u << kFastBits];
  uint16_t count[kMaxBits + 1];
  uint16_t symbol[320];
};

enum BuildResult { kBuilt, kEmpty, kBadCode };

// Builds a code from its lengths. An over-subscribed code is bad; an incomplete one is accepted
// only when allowIncomplete is set or it is a single code of one bit (as zlib accepts it).
BuildResult BuildHuffman(const uint16_t* lengths, unsigned n, Huffman& h, bool allowIncomplete) {
  std::memset(h.count, 0, sizeof h.count);
  for (unsigned i = 0; i < n; ++i) h.count[lengths[i]]++;
  std::memset(h.fast, 0, sizeof h.fast);
  if (h.count[0] == n) {
    h.count[0] = 0;
    return kEmpty;
  }
  int left = 1;
  unsigned maxLen = 0;
  for (unsigned len = 1; len <= kMaxBits; ++len) {
    left <<= 1;
    left -= h.count[len];
    if (left < 0) return kBadCode;
    if (h.count[len]) maxLen = len;
  }
  if (left > 0 && !allowIncomplete && maxLen != 1) return kBadCode;
  uint16_t offs[kMaxBits + 2];
  offs[1] = 0;
  for (unsigned len = 1; len < kMaxBits; ++len) offs[len + 1] = offs[len] + h.count[len];
  for (unsigned i = 0; i < n; ++i) {
    if (lengths[i]) h.symbol[offs[lengths[i]]++] = static_cast<uint16_t>(i);
  }
  h.count[0] = 0;
  // Direct entries: codes are canonical, sent most significant bit first.
  unsigned code = 0;
  unsigned index = 0;
  for (unsigned len = 1; len <= kFastBits; ++len) {
    for (unsigned k = 0; k < h.count[len]; ++k, ++code, ++index) {
      unsigned rev = 0;
      for (unsigned b = 0; b < len; ++b) rev |= ((code >> b) & 1u) << (len - 1 - b);
      const auto entry = static_cast<uint16_t>((len << 9) | h.symbol[index]);
      for (unsigned fill = rev; fill <= kFastMask; fill += 1u << len) h.fast[fill] = entry;
    }
    code <<= 1;
  }
  return kBuilt;
}

constexpr int kNeedBits = -1;
constexpr int kInvalidCode = -2;

// Decodes one symbol from the low bits of hold (bits of them valid); sets used.
inline int DecodeSymbol(const Huffman& h, uint64_t hold, unsigned bits, unsigned& used) {
  const unsigned e = h.fast[hold & kFastMask];
  if (e) {
    used = e >> 9;
    return used <= bits ? static_cast<int>(e & 511u) : kNeedBits;
  }
  int code = 0;
  int first = 0;
  int index = 0;
  for (unsigned len = 1; len <= kMaxBits; ++len) {
    if (len > bits) return kNeedBits;
    code |= static_cast<int>((hold >> (len - 1)) & 1u);
    const int count = h.count[len];
    if (code - count < first) {
      used = len;
      return h.symbol[index + (code - first)];
    }
    index += count;
    first += count;
    first <<= 1;
    code <<= 1;
  }
  return kInvalidCode;
}

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// The fixed codes, built on first use; each variant keeps its own pair.
struct FixedCodes {
  Huffman lit;
  Huffman dist;
  explicit FixedCodes(unsigned distanceCodes) {
    uint16_t lengths[288];
    for (unsigned i = 0; i < 144; ++i) lengths[i] = 8;
    for (unsigned i = 144; i < 256; ++i) lengths[i] = 9;
    for (unsigned i = 256; i < 280; ++i) lengths[i] = 7;
    for (unsigned i = 280; i < 288; ++i) lengths[i] = 8;
    BuildHuffman(lengths, 288, lit, false);
    for (unsigned i = 0; i < distanceCodes; ++i) lengths[i] = 5;
    BuildHuffman(lengths, distanceCodes, dist, true);
  }
};

const FixedCodes& FixedFor(bool deflate64) {
  if (deflate64) {
    static const FixedCodes codes64(32);
    return codes64;
  }
  static const FixedCodes codes(30);
  return codes;
}

constexpr uint64_t kRingSize = 1u << 17;
constexpr uint64_t kRingMask = kRingSize - 1;

}  // namespace

struct TInflater::State {
  enum Mode { kHeader, kStoredLen, kStored, kTable, kLenLens, kCodeLens, kLen, kDist, kMatch, kDone, kBad };

  bool deflate64 = false;
  uint32_t dmax = 0;
  Mode mode = kHeader;
  bool last = false;
  uint64_t hold = 0;
  unsigned bits = 0;
  uint32_t storedLeft = 0;
  unsigned nlen = 0, ndist = 0, ncode = 0, have = 0;
  uint16_t lens[320] = {};
  Huffman codeCode, lenCode, distCode;
  const Huffman* lcode = nullptr;
  const Huffman* dcode = nullptr;
  uint32_t length = 0;
  uint32_t dist = 0;
  std::unique_ptr<uint8_t[]> ring;
  uint64_t wpos = 0;  // bytes decoded since the start
  uint64_t fpos = 0;  // bytes handed to the caller

  uint64_t Space() const { return kRingSize - dmax - (wpos - fpos); }

  // Copies decoded bytes to the caller's buffer.
  void Flush(uint8_t*& out, uint32_t& left) {
    while (left > 0 && fpos < wpos) {
      const uint64_t at = fpos & kRingMask;
      uint64_t n = wpos - fpos;
      if (n > left) n = left;
      if (n > kRingSize - at) n = kRingSize - at;
      std::memcpy(out, ring.get() + at, n);
      out += n;
      left -= static_cast<uint32_t>(n);
      fpos += n;
    }
  }

  void CopyMatch(uint32_t n) {
    uint8_t* r = ring.get();
    uint64_t src = (wpos - dist) & kRingMask;
    uint64_t dst = wpos & kRingMask;
    wpos += n;
    if (dist >= n && src + n <= kRingSize && dst + n <= kRingSize) {
      std::memcpy(r + dst, r + src, n);
      return;
    }
    if (src + n <= kRingSize && dst + n <= kRingSize) {
      uint8_t* d = r + dst;
      const uint8_t* s = r + src;
      for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
      return;
    }
    for (uint32_t i = 0; i < n; ++i) {
      r[dst] = r[src];
      dst = (dst + 1) & kRingMask;
      src = (src + 1) & kRingMask;
    }
  }
};

TInflater::TInflater() = default;
TInflater::~TInflater() = default;

bool TInflater::IsDeflate64() const { return s_ && s_->deflate64; }

int TInflater::Init(int windowBits) {
  s_.reset();
  if (windowBits >= 0) return Z_STREAM_ERROR;
  const bool d64 = Deflate64Mode;
  int w = -windowBits;
  if (d64) ++w;
  if (w < 8 || w > (d64 ? 16 : 15)) return Z_STREAM_ERROR;
  auto state = std::unique_ptr<State>(new (std::nothrow) State);
  if (!state) return Z_MEM_ERROR;
  state->ring.reset(new (std::nothrow) uint8_t[kRingSize]);
  if (!state->ring) return Z_MEM_ERROR;
  state->deflate64 = d64;
  state->dmax = 1u << w;
  s_ = std::move(state);
  return Reset();
}

int TInflater::Reset() {
  if (!s_) return Z_STREAM_ERROR;
  State& s = *s_;
  s.mode = State::kHeader;
  s.last = false;
  s.hold = 0;
  s.bits = 0;
  s.wpos = 0;
  s.fpos = 0;
  s.length = 0;
  s.dist = 0;
  return Z_OK;
}

void TInflater::End() { s_.reset(); }

int TInflater::Inflate(z_stream& strm) {
  if (!s_ || !strm.next_out || (!strm.next_in && strm.avail_in != 0)) return Z_STREAM_ERROR;
  State& s = *s_;
  const uint8_t* in = strm.next_in;
  uint32_t avail = strm.avail_in;
  uint8_t* out = strm.next_out;
  uint32_t left = strm.avail_out;
  uint64_t hold = s.hold;
  unsigned bits = s.bits;
  uint8_t* ring = s.ring.get();

  auto refill = [&] {
    if (avail >= 8) {
      uint64_t v;
      std::memcpy(&v, in, 8);
      hold |= v << bits;
      const unsigned take = (63 - bits) >> 3;
      in += take;
      avail -= take;
      bits += take << 3;
    } else {
      while (bits < 56 && avail > 0) {
        hold |= static_cast<uint64_t>(*in++) << bits;
        --avail;
        bits += 8;
      }
    }
  };
  auto drop = [&](unsigned n) {
    hold >>= n;
    bits -= n;
  };
  auto bad = [&] { s.mode = State::kBad; };

  bool needInput = false;
  bool starved = false;
  for (;;) {
    s.Flush(out, left);
    if (s.mode == State::kDone || s.mode == State::kBad || left == 0) break;
    if (needInput) {
      if (avail == 0) {
        starved = true;
        break;
      }
      needInput = false;
    }
    // Stored data is copied straight from the input, not through the bit buffer.
    if (s.mode != State::kStored) refill();
    switch (s.mode) {
      case State::kHeader: {
        if (bits < 3) {
          needInput = true;
          break;
        }
        s.last = (hold & 1u) != 0;
        const unsigned type = (hold >> 1) & 3u;
        drop(3);
        if (type == 0) {
          drop(bits & 7u);
          s.mode = State::kStoredLen;
        } else if (type == 1) {
          const FixedCodes& fixed = FixedFor(s.deflate64);
          s.lcode = &fixed.lit;
          s.dcode = &fixed.dist;
          s.mode = State::kLen;
        } else if (type == 2) {
          s.mode = State::kTable;
        } else {
          bad();
        }
        break;
      }
      case State::kStoredLen: {
        if (bits < 32) {
          needInput = true;
          break;
        }
        const auto len = static_cast<uint32_t>(hold & 0xFFFFu);
        const auto nlen = static_cast<uint32_t>((hold >> 16) & 0xFFFFu);
        drop(32);
        if (len != (~nlen & 0xFFFFu)) {
          bad();
          break;
        }
        s.storedLeft = len;
        s.mode = len ? State::kStored : (s.last ? State::kDone : State::kHeader);
        break;
      }
      case State::kStored: {
        uint64_t space = s.Space();
        // Whole bytes still in the bit buffer come first.
        while (s.storedLeft > 0 && space > 0 && bits >= 8) {
          ring[s.wpos++ & kRingMask] = static_cast<uint8_t>(hold);
          drop(8);
          --s.storedLeft;
          --space;
        }
        // The read-ahead may have left bits of a later byte above the count; they must not
        // mix with what is loaded after the stored bytes.
        if (bits == 0) hold = 0;
        while (s.storedLeft > 0 && space > 0 && avail > 0 && bits == 0) {
          const uint64_t at = s.wpos & kRingMask;
          uint64_t n = s.storedLeft;
          if (n > space) n = space;
          if (n > avail) n = avail;
          if (n > kRingSize - at) n = kRingSize - at;
          std::memcpy(ring + at, in, n);
          in += n;
          avail -= static_cast<uint32_t>(n);
          s.wpos += n;
          s.storedLeft -= static_cast<uint32_t>(n);
          space -= n;
        }
        if (s.storedLeft == 0) {
          s.mode = s.last ? State::kDone : State::kHeader;
        } else if (space > 0) {
          needInput = true;
        }
        break;
      }
      case State::kTable: {
        if (bits < 14) {
          needInput = true;
          break;
        }
        s.nlen = static_cast<unsigned>(hold & 31u) + 257;
        s.ndist = static_cast<unsigned>((hold >> 5) & 31u) + 1;
        s.ncode = static_cast<unsigned>((hold >> 10) & 15u) + 4;
        drop(14);
        if (!s.deflate64 && (s.nlen > 286 || s.ndist > 30)) {
          bad();
          break;
        }
        s.have = 0;
        s.mode = State::kLenLens;
        break;
      }
      case State::kLenLens: {
        while (s.have < s.ncode && bits >= 3) {
          s.lens[kCodeLengthOrder[s.have++]] = static_cast<uint16_t>(hold & 7u);
          drop(3);
        }
        if (s.have < s.ncode) {
          needInput = true;
          break;
        }
        while (s.have < 19) s.lens[kCodeLengthOrder[s.have++]] = 0;
        if (BuildHuffman(s.lens, 19, s.codeCode, false) != kBuilt) {
          bad();
          break;
        }
        s.have = 0;
        s.mode = State::kCodeLens;
        break;
      }
      case State::kCodeLens: {
        const unsigned total = s.nlen + s.ndist;
        while (s.have < total) {
          unsigned used = 0;
          const int sym = DecodeSymbol(s.codeCode, hold, bits, used);
          if (sym == kNeedBits) break;
          if (sym < 0) {
            bad();
            break;
          }
          if (sym < 16) {
            drop(used);
            s.lens[s.have++] = static_cast<uint16_t>(sym);
            continue;
          }
          const unsigned extra = sym == 16 ? 2 : sym == 17 ? 3 : 7;
          if (bits < used + extra) break;
          const unsigned value = static_cast<unsigned>((hold >> used) & ((1u << extra) - 1));
          drop(used + extra);
          uint16_t repeat = 0;
          unsigned count = 0;
          if (sym == 16) {
            if (s.have == 0) {
              bad();
              break;
            }
            repeat = s.lens[s.have - 1];
            count = 3 + value;
          } else {
            count = (sym == 17 ? 3 : 11) + value;
          }
          if (s.have + count > total) {
            bad();
            break;
          }
          while (count--) s.lens[s.have++] = repeat;
        }
        if (s.mode == State::kBad) break;
        if (s.have < total) {
          needInput = true;
          break;
        }
        if (s.lens[256] == 0 || BuildHuffman(s.lens, s.nlen, s.lenCode, false) != kBuilt) {
          bad();
          break;
        }
        const BuildResult d = BuildHuffman(s.lens + s.nlen, s.ndist, s.distCode, false);
        // No distance code at all is accepted for a block of literals only.
        if (d == kBadCode || (d == kEmpty && s.nlen > 257)) {
          bad();
          break;
        }
        s.lcode = &s.lenCode;
        s.dcode = &s.distCode;
        s.mode = State::kLen;
        break;
      }
      case State::kLen: {
        // The hot loop: literals and lengths while room and bits last.
        const Huffman& lcode = *s.lcode;
        for (;;) {
          if (s.Space() == 0) break;
          if (bits < 32) {
            refill();
          }
          unsigned used = 0;
          const int sym = DecodeSymbol(lcode, hold, bits, used);
          if (sym < 256) {
            if (sym == kNeedBits) {
              needInput = true;
              break;
            }
            if (sym < 0) {
              bad();
              break;
            }
            drop(used);
            ring[s.wpos++ & kRingMask] = static_cast<uint8_t>(sym);
            continue;
          }
          if (sym == 256) {
            drop(used);
            s.mode = s.last ? State::kDone : State::kHeader;
            break;
          }
          if (sym > 285) {
            bad();
            break;
          }
          const unsigned code = static_cast<unsigned>(sym) - 257;
          unsigned base = kLengthBase[code];
          unsigned extra = kLengthExtra[code];
          if (code == 28 && s.deflate64) {
            base = 3;
            extra = 16;
          }
          if (bits < used + extra) {
            needInput = true;
            break;
          }
          s.length = base + static_cast<unsigned>((hold >> used) & ((1u << extra) - 1));
          drop(used + extra);
          s.mode = State::kDist;
          break;
        }
        break;
      }
      case State::kDist: {
        unsigned used = 0;
        const int sym = DecodeSymbol(*s.dcode, hold, bits, used);
        if (sym == kNeedBits) {
          needInput = true;
          break;
        }
        if (sym < 0 || sym >= (s.deflate64 ? 32 : 30)) {
          bad();
          break;
        }
        const unsigned extra = kDistExtra[sym];
        if (bits < used + extra) {
          needInput = true;
          break;
        }
        const uint32_t dist = kDistBase[sym] + static_cast<uint32_t>((hold >> used) & ((1u << extra) - 1));
        drop(used + extra);
        if (dist > s.dmax || dist > s.wpos) {
          bad();
          break;
        }
        s.dist = dist;
        s.mode = State::kMatch;
        break;
      }
      case State::kMatch: {
        const uint64_t space = s.Space();
        uint32_t n = s.length;
        if (n > space) n = static_cast<uint32_t>(space);
        s.CopyMatch(n);
        s.length -= n;
        if (s.length == 0) s.mode = State::kLen;
        break;
      }
      case State::kDone:
      case State::kBad:
        break;
    }
  }

  // Whole bytes read ahead go back to the input, so that it stands just behind what was used;
  // when the step under way still needs more input, every bit held belongs to it.
  unsigned back = starved ? 0 : bits >> 3;
  if (back > in - strm.next_in) back = static_cast<unsigned>(in - strm.next_in);
  in -= back;
  avail += back;
  bits -= back << 3;
  hold = bits ? (hold & ((uint64_t{1} << bits) - 1)) : 0;
  s.hold = hold;
  s.bits = bits;

  const auto consumed = static_cast<uint32_t>(in - strm.next_in);
  const auto produced = static_cast<uint32_t>(out - strm.next_out);
  strm.next_in = const_cast<Bytef*>(in);
  strm.avail_in = avail;
  strm.total_in += consumed;
  strm.next_out = out;
  strm.avail_out = left;
  strm.total_out += produced;

  if (s.mode == State::kBad) return Z_DATA_ERROR;
  if (s.mode == State::kDone && s.fpos == s.wpos) return Z_STREAM_END;
  if (consumed == 0 && produced == 0) return Z_BUF_ERROR;
  return Z_OK;
}
