#include "archive/pakvoLegacy.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "archive/pakvoErrors.h"

namespace {

constexpr std::size_t kInputBufferSize = 32768;
constexpr std::size_t kOutputBufferSize = 32768;

// Unwinds a decoder after its error was reported (or raised while the run was cancelled).
struct StopDecoding {};

// Input, output and sliding window shared by the three decoders. Input is bounded by the entry's
// compressed size, output by its uncompressed size; every copy goes through the window, which
// starts zero-filled so that references before the start of the output yield zeros.
class LegacyCoder {
 public:
  LegacyCoder(TLegacyHost& host, std::uint64_t packedSize, std::uint64_t unpackedSize,
              std::uint32_t windowSize)
      : host_(host),
        packedLeft_(packedSize),
        unpackedSize_(unpackedSize),
        window_(windowSize, 0),
        windowMask_(windowSize - 1),
        input_(kInputBufferSize),
        output_(kOutputBufferSize) {}

  // The next compressed byte, or -1 at the end of the data (which also sets the end flag).
  int ReadByte() {
    if (inPos_ == inLen_) {
      if (!Refill()) {
        eof_ = true;
        return -1;
      }
    }
    return input_[inPos_++];
  }

  // `count` bits (at most 24), least significant first; all ones when the data ends first.
  std::uint32_t ReadBits(int count) {
    while (bitCount_ < count) {
      int byte = ReadByte();
      if (byte < 0) {
        return (1u << count) - 1;
      }
      bitBuffer_ |= static_cast<std::uint32_t>(byte) << bitCount_;
      bitCount_ += 8;
    }
    std::uint32_t value = bitBuffer_ & ((1u << count) - 1);
    bitBuffer_ >>= count;
    bitCount_ -= count;
    return value;
  }

  bool Eof() const { return eof_; }
  // True when the entry is complete or its input has run out.
  bool Done() const { return eof_ || produced_ >= unpackedSize_; }

  void Put(std::uint8_t byte) {
    if (produced_ >= unpackedSize_) {
      return;
    }
    window_[windowPos_] = byte;
    windowPos_ = (windowPos_ + 1) & windowMask_;
    output_[outLen_++] = byte;
    ++produced_;
    if (outLen_ == output_.size()) {
      Flush();
    }
  }

  // Copies `length` bytes starting `distance` bytes back in the window (1 = the last byte).
  void CopyMatch(std::uint32_t distance, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length && produced_ < unpackedSize_; ++i) {
      Put(window_[(windowPos_ - distance) & windowMask_]);
    }
  }

  void Flush() {
    if (outLen_ == 0) {
      return;
    }
    std::size_t count = outLen_;
    outLen_ = 0;
    if (!host_.LegacyWrite(output_.data(), count)) {
      Raise(kErrErrorWritingToFile);
    }
    host_.LegacyProgress(count);
  }

  // Flush on an error path: a second failure is not reported again.
  void FlushQuietly() noexcept {
    if (outLen_ == 0) {
      return;
    }
    std::size_t count = outLen_;
    outLen_ = 0;
    try {
      host_.LegacyWrite(output_.data(), count);
    } catch (...) {
    }
  }

  [[noreturn]] void Raise(int code) {
    host_.LegacyRaise(code);
    throw StopDecoding{};
  }

  [[noreturn]] void Report(int code) {
    host_.LegacyReport(code);
    throw StopDecoding{};
  }

 private:
  bool Refill() {
    if (packedLeft_ == 0) {
      return false;
    }
    if (host_.LegacyCancelled()) {
      packedLeft_ = 0;
      return false;
    }
    std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(packedLeft_, input_.size()));
    std::size_t got = host_.LegacyRead(input_.data(), want);
    if (got == 0) {
      packedLeft_ = 0;
      return false;
    }
    got = std::min(got, want);
    packedLeft_ -= got;
    inPos_ = 0;
    inLen_ = got;
    return true;
  }

  TLegacyHost& host_;
  std::uint64_t packedLeft_;
  std::uint64_t unpackedSize_;
  std::uint64_t produced_ = 0;
  std::vector<std::uint8_t> window_;
  std::uint32_t windowMask_;
  std::uint32_t windowPos_ = 0;
  std::vector<std::uint8_t> input_;
  std::size_t inPos_ = 0;
  std::size_t inLen_ = 0;
  std::vector<std::uint8_t> output_;
  std::size_t outLen_ = 0;
  std::uint32_t bitBuffer_ = 0;
  int bitCount_ = 0;
  bool eof_ = false;
};

// Runs one decoder body; the output written so far is flushed whatever happens.
template <typename Body>
bool RunDecoder(LegacyCoder& coder, Body body) {
  try {
    body();
    coder.Flush();
    return true;
  } catch (const StopDecoding&) {
    coder.FlushQuietly();
    return false;
  } catch (...) {
    coder.FlushQuietly();
    throw;
  }
}

// ---- Unshrink -------------------------------------------------------------------------------

constexpr int kShrinkCodes = 8192;
constexpr int kShrinkControl = 256;
constexpr int kShrinkFirstFree = 257;
constexpr int kShrinkMaxBits = 13;
constexpr std::int32_t kFreeNode = -1;
constexpr int kShrinkStackLimit = 8191;

struct ShrinkTables {
  std::array<std::int32_t, kShrinkCodes> parent{};
  std::array<std::uint8_t, kShrinkCodes> character{};
  std::array<std::uint8_t, kShrinkCodes> stack{};
};

// Frees every node 257-8191 that no used node names as its parent.
void PartialClear(ShrinkTables& t) {
  std::array<bool, kShrinkCodes> isParent{};
  for (int code = kShrinkFirstFree; code < kShrinkCodes; ++code) {
    std::int32_t p = t.parent[code];
    if (p >= 0) {
      isParent[p] = true;
    }
  }
  for (int code = kShrinkFirstFree; code < kShrinkCodes; ++code) {
    if (!isParent[code]) {
      t.parent[code] = kFreeNode;
    }
  }
}

}  // namespace

bool Unshrink(TLegacyHost& host, std::uint64_t packedSize, std::uint64_t unpackedSize) {
  if (unpackedSize == 0) {
    return true;
  }
  LegacyCoder coder(host, packedSize, unpackedSize, 8192);
  auto t = std::make_unique<ShrinkTables>();
  return RunDecoder(coder, [&] {
    for (int code = 0; code < kShrinkCodes; ++code) {
      t->parent[code] = code < kShrinkFirstFree ? 0 : kFreeNode;
      t->character[code] = static_cast<std::uint8_t>(code < 256 ? code : 0);
    }
    int codeSize = 9;
    int nextFree = kShrinkFirstFree;

    int previous = static_cast<int>(coder.ReadBits(codeSize));
    if (coder.Eof() || previous >= kShrinkControl) {
      coder.Raise(kErrBadBlock);
    }
    std::uint8_t previousFirst = static_cast<std::uint8_t>(previous);
    coder.Put(previousFirst);

    while (!coder.Done()) {
      int code = static_cast<int>(coder.ReadBits(codeSize));
      if (coder.Eof()) {
        break;
      }
      if (code == kShrinkControl) {
        int sub = static_cast<int>(coder.ReadBits(codeSize));
        if (coder.Eof()) {
          break;
        }
        if (sub == 1) {
          if (codeSize >= kShrinkMaxBits) {
            coder.Raise(kErrBadBlock);
          }
          ++codeSize;
        } else if (sub == 2) {
          PartialClear(*t);
          nextFree = kShrinkFirstFree;
        } else {
          coder.Raise(kErrBadBlock);
        }
        continue;
      }
      if (code >= kShrinkCodes) {
        coder.Raise(kErrBadBlock);
      }

      // Expand the code onto the stack, last character first.
      int depth = 0;
      int walk = code;
      if (code >= kShrinkFirstFree && t->parent[code] == kFreeNode) {
        // The code being defined by this very step: previous string + its first character.
        t->stack[depth++] = previousFirst;
        walk = previous;
      }
      while (walk >= kShrinkFirstFree) {
        if (depth >= kShrinkStackLimit) {
          coder.Flush();
          coder.Raise(kErrStackOverflow);
        }
        t->stack[depth++] = t->character[walk];
        std::int32_t p = t->parent[walk];
        if (p == kFreeNode) {
          // A cleared node keeps its character and ends the string.
          walk = -1;
          break;
        }
        walk = p;
      }
      if (walk == kShrinkControl) {
        coder.Raise(kErrBadBlock);
      }
      if (walk >= 0) {
        t->stack[depth++] = static_cast<std::uint8_t>(walk);
      }
      std::uint8_t first = t->stack[depth - 1];
      for (int i = depth - 1; i >= 0; --i) {
        coder.Put(t->stack[i]);
      }

      // Add previous string + first character at the lowest free code.
      while (nextFree < kShrinkCodes && t->parent[nextFree] != kFreeNode) {
        ++nextFree;
      }
      if (nextFree < kShrinkCodes) {
        t->parent[nextFree] = previous;
        t->character[nextFree] = first;
        ++nextFree;
      }
      previous = code;
      previousFirst = first;
    }
  });
}

// ---- Unreduce -------------------------------------------------------------------------------

namespace {

// Bits needed for an index into a follower set of n entries.
int FollowerIndexBits(int n) {
  if (n > 16) return 5;
  if (n > 8) return 4;
  if (n > 4) return 3;
  if (n > 2) return 2;
  return 1;
}

constexpr std::uint8_t kDle = 144;

}  // namespace

bool Unreduce(TLegacyHost& host, int factor, std::uint64_t packedSize, std::uint64_t unpackedSize) {
  if (factor < 1 || factor > 4) {
    host.LegacyReport(kErrUnsupportedCompressionMethod);
    return false;
  }
  if (unpackedSize == 0) {
    return true;
  }
  LegacyCoder coder(host, packedSize, unpackedSize, 4096);
  return RunDecoder(coder, [&] {
    std::array<std::array<std::uint8_t, 32>, 256> followers{};
    std::array<int, 256> counts{};
    for (int j = 255; j >= 0; --j) {
      int n = static_cast<int>(coder.ReadBits(6));
      if (coder.Eof()) {
        return;
      }
      if (n > 32) {
        coder.Raise(kErrBadBlock);
      }
      counts[j] = n;
      for (int i = 0; i < n; ++i) {
        followers[j][i] = static_cast<std::uint8_t>(coder.ReadBits(8));
      }
    }

    const std::uint32_t lengthMask = 0xFFu >> factor;
    std::uint8_t last = 0;
    int state = 0;
    std::uint32_t value = 0;
    std::uint32_t length = 0;
    while (!coder.Done()) {
      std::uint8_t c;
      int n = counts[last];
      if (n == 0 || coder.ReadBits(1) != 0) {
        c = static_cast<std::uint8_t>(coder.ReadBits(8));
      } else {
        std::uint32_t index = coder.ReadBits(FollowerIndexBits(n));
        c = followers[last][index & 31];
      }
      if (coder.Eof()) {
        break;
      }
      last = c;
      switch (state) {
        case 0:
          if (c != kDle) {
            coder.Put(c);
          } else {
            state = 1;
          }
          break;
        case 1:
          if (c == 0) {
            coder.Put(kDle);
            state = 0;
          } else {
            value = c;
            length = value & lengthMask;
            state = length == lengthMask ? 2 : 3;
          }
          break;
        case 2:
          length += c;
          state = 3;
          break;
        default: {
          std::uint32_t distance = ((value >> (8 - factor)) * 256) + c + 1;
          coder.CopyMatch(distance, length + 3);
          state = 0;
          break;
        }
      }
    }
  });
}

// ---- Explode --------------------------------------------------------------------------------

namespace {

// Shannon-Fano decoding tree: node 0 is the root; a link is empty, a leaf (symbol) or a node.
class ShannonFanoTree {
 public:
  explicit ShannonFanoTree(int symbols) : nodes_(static_cast<std::size_t>(symbols) * 2) {
    for (auto& n : nodes_) {
      n = {kEmpty, kEmpty};
    }
    used_ = 1;
  }

  // Reads the tree in its compressed form and builds it.
  void Read(LegacyCoder& coder, int symbols) {
    std::vector<int> lengths;
    lengths.reserve(static_cast<std::size_t>(symbols));
    int bytes = static_cast<int>(coder.ReadBits(8)) + 1;
    for (int i = 0; i < bytes; ++i) {
      std::uint32_t b = coder.ReadBits(8);
      if (coder.Eof()) {
        return;  // truncated (or cancelled): the caller stops at the end of the data
      }
      int count = static_cast<int>(b >> 4) + 1;
      int length = static_cast<int>(b & 15) + 1;
      if (static_cast<int>(lengths.size()) + count > symbols) {
        coder.Raise(kErrAmbiguousShannonFanoTree);
      }
      lengths.insert(lengths.end(), static_cast<std::size_t>(count), length);
    }
    if (static_cast<int>(lengths.size()) != symbols) {
      coder.Raise(kErrAmbiguousShannonFanoTree);
    }

    // Codes as the ZIP note builds them: ascending by length (stable), then from the longest
    // code down, each code the previous plus 2^(16 - length).
    std::vector<int> order(static_cast<std::size_t>(symbols));
    for (int i = 0; i < symbols; ++i) {
      order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lengths[a] < lengths[b]; });
    std::uint32_t code = 0;
    std::uint32_t increment = 0;
    int lastLength = 0;
    for (int i = symbols - 1; i >= 0; --i) {
      int symbol = order[i];
      code += increment;
      if (code > 0xFFFF) {
        coder.Raise(kErrAmbiguousShannonFanoTree);
      }
      if (lengths[symbol] != lastLength) {
        lastLength = lengths[symbol];
        increment = 1u << (16 - lastLength);
      }
      Insert(coder, symbol, code, lengths[symbol]);
    }
  }

  // Decodes one symbol, one bit at a time from the root; -1 when the data ended.
  int Decode(LegacyCoder& coder) const {
    int node = 0;
    for (;;) {
      std::uint32_t bit = coder.ReadBits(1);
      if (coder.Eof()) {
        return -1;
      }
      std::int32_t link = nodes_[node][bit];
      if (link == kEmpty) {
        coder.Raise(kErrAmbiguousShannonFanoTree);
      }
      if (link >= kLeaf) {
        return link - kLeaf;
      }
      node = link;
    }
  }

 private:
  static constexpr std::int32_t kEmpty = -1;
  static constexpr std::int32_t kLeaf = 0x10000;

  void Insert(LegacyCoder& coder, int symbol, std::uint32_t code, int length) {
    int node = 0;
    for (int bitIndex = 15; bitIndex > 16 - length; --bitIndex) {
      std::uint32_t bit = (code >> bitIndex) & 1;
      std::int32_t link = nodes_[node][bit];
      if (link >= kLeaf) {
        coder.Raise(kErrAmbiguousShannonFanoTree);
      }
      if (link == kEmpty) {
        if (used_ >= nodes_.size()) {
          // Out of internal nodes: the entry yields no data.
          coder.Report(kErrAmbiguousShannonFanoTree);
        }
        link = static_cast<std::int32_t>(used_++);
        nodes_[node][bit] = link;
      }
      node = link;
    }
    std::uint32_t bit = (code >> (16 - length)) & 1;
    if (nodes_[node][bit] != kEmpty) {
      coder.Raise(kErrAmbiguousShannonFanoTree);
    }
    nodes_[node][bit] = kLeaf + symbol;
  }

  std::vector<std::array<std::int32_t, 2>> nodes_;
  std::size_t used_;
};

}  // namespace

bool Explode(TLegacyHost& host, std::uint16_t flags, std::uint64_t packedSize,
             std::uint64_t unpackedSize) {
  const std::uint32_t windowSize = (flags & 2) != 0 ? 8192 : 4096;
  const bool literalTree = (flags & 4) != 0;
  const int minMatch = literalTree ? 3 : 2;
  const int lowDistanceBits = windowSize == 8192 ? 7 : 6;
  if (unpackedSize == 0) {
    return true;
  }
  LegacyCoder coder(host, packedSize, unpackedSize, windowSize);
  return RunDecoder(coder, [&] {
    std::unique_ptr<ShannonFanoTree> literals;
    if (literalTree) {
      literals = std::make_unique<ShannonFanoTree>(256);
      literals->Read(coder, 256);
    }
    ShannonFanoTree lengths(64);
    lengths.Read(coder, 64);
    ShannonFanoTree distances(64);
    distances.Read(coder, 64);
    if (coder.Eof()) {
      return;
    }

    while (!coder.Done()) {
      if (coder.ReadBits(1) != 0) {
        int literal = literals ? literals->Decode(coder) : static_cast<int>(coder.ReadBits(8));
        if (coder.Eof() || literal < 0) {
          break;
        }
        coder.Put(static_cast<std::uint8_t>(literal));
        continue;
      }
      if (coder.Eof()) {
        break;
      }
      std::uint32_t low = coder.ReadBits(lowDistanceBits);
      int high = distances.Decode(coder);
      if (high < 0) {
        break;
      }
      std::uint32_t distance =
          ((static_cast<std::uint32_t>(high) << lowDistanceBits) | low) & (windowSize - 1);
      int length = lengths.Decode(coder);
      if (length < 0) {
        break;
      }
      if (length == 63) {
        length += static_cast<int>(coder.ReadBits(8));
      }
      if (coder.Eof()) {
        break;
      }
      coder.CopyMatch(distance + 1, static_cast<std::uint32_t>(length + minMatch));
    }
  });
}
