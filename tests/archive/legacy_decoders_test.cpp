// The legacy ZIP decoders (shrink, reduce 1-4, implode) against archives and raw streams written
// by other tools, and against damaged input.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/pakvoErrors.h"
#include "archive/pakvoLegacy.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string LegacyDir() { return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/legacy/"; }

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Crc(const Bytes& data) {
  return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

struct Raised {
  int code;
};

// Feeds a byte range to a decoder and collects what it writes.
class MemoryHost : public TLegacyHost {
 public:
  explicit MemoryHost(const Bytes& input, std::size_t begin = 0, std::size_t end = SIZE_MAX)
      : input_(input), pos_(begin), end_(std::min(end, input.size())) {}

  std::size_t LegacyRead(std::uint8_t* buffer, std::size_t count) override {
    std::size_t n = std::min(count, end_ - pos_);
    std::memcpy(buffer, input_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  bool LegacyWrite(const std::uint8_t* buffer, std::size_t count) override {
    ++writes;
    if (failWrites) {
      return false;
    }
    output.insert(output.end(), buffer, buffer + count);
    return true;
  }
  bool LegacyCancelled() override { return cancelled; }
  void LegacyProgress(std::uint64_t block) override { progress += block; }
  void LegacyRaise(int code) override {
    raised.push_back(code);
    if (!cancelled) {
      throw Raised{code};
    }
  }
  void LegacyReport(int code) override { reported.push_back(code); }

  Bytes output;
  std::vector<int> raised;
  std::vector<int> reported;
  std::uint64_t progress = 0;
  int writes = 0;
  bool failWrites = false;
  bool cancelled = false;

 private:
  const Bytes& input_;
  std::size_t pos_;
  std::size_t end_;
};

std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
  return U16(b, at) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

// One entry of a small archive, located through its local header (the samples have no descriptors).
struct RawEntry {
  std::string name;
  std::uint16_t flags;
  std::uint16_t method;
  std::uint32_t crc;
  std::size_t dataBegin;
  std::uint32_t packed;
  std::uint32_t unpacked;
};

std::vector<RawEntry> Entries(const Bytes& zip) {
  std::vector<RawEntry> list;
  std::size_t pos = 0;
  while (pos + 30 <= zip.size() && U32(zip, pos) == 0x04034B50) {
    RawEntry e;
    e.flags = U16(zip, pos + 6);
    e.method = U16(zip, pos + 8);
    e.crc = U32(zip, pos + 14);
    e.packed = U32(zip, pos + 18);
    e.unpacked = U32(zip, pos + 22);
    std::size_t nameLen = U16(zip, pos + 26);
    std::size_t extraLen = U16(zip, pos + 28);
    e.name.assign(reinterpret_cast<const char*>(zip.data() + pos + 30), nameLen);
    e.dataBegin = pos + 30 + nameLen + extraLen;
    list.push_back(e);
    pos = e.dataBegin + e.packed;
  }
  return list;
}

// Packs codes of a fixed width, least significant bit first, as the shrink format stores them.
Bytes PackCodes(const std::vector<std::uint32_t>& codes, int width) {
  Bytes out;
  std::uint64_t buffer = 0;
  int bits = 0;
  for (std::uint32_t code : codes) {
    buffer |= static_cast<std::uint64_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      out.push_back(static_cast<std::uint8_t>(buffer));
      buffer >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) {
    out.push_back(static_cast<std::uint8_t>(buffer));
  }
  return out;
}

bool Decode(TLegacyHost& host, const RawEntry& e) {
  switch (e.method) {
    case 1:
      return Unshrink(host, e.packed, e.unpacked);
    case 2:
    case 3:
    case 4:
    case 5:
      return Unreduce(host, e.method - 1, e.packed, e.unpacked);
    case 6:
      return Explode(host, e.flags, e.packed, e.unpacked);
    default:
      ADD_FAILURE() << "method " << e.method;
      return false;
  }
}

// Decodes every entry of an archive and checks it against its stored CRC and size.
std::vector<std::pair<std::string, Bytes>> DecodeArchive(const std::string& file,
                                                         int expectedEntries) {
  Bytes zip = ReadFile(LegacyDir() + file);
  auto entries = Entries(zip);
  EXPECT_EQ(static_cast<int>(entries.size()), expectedEntries) << file;
  std::vector<std::pair<std::string, Bytes>> result;
  for (const auto& e : entries) {
    MemoryHost host(zip, e.dataBegin, e.dataBegin + e.packed);
    EXPECT_TRUE(Decode(host, e)) << file << " " << e.name;
    EXPECT_EQ(host.output.size(), e.unpacked) << file << " " << e.name;
    EXPECT_EQ(Crc(host.output), e.crc) << file << " " << e.name;
    EXPECT_EQ(host.progress, e.unpacked);
    result.emplace_back(e.name, std::move(host.output));
  }
  return result;
}

TEST(LegacyDecoders, ShrunkEntriesMatchTheirCrcsAndReferences) {
  DecodeArchive("SHRUNK.ZIP", 2);
  auto first = DecodeArchive("zip2-shrink.zip", 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].second, ReadFile(LegacyDir() + "zip2-first.txt"));
}

TEST(LegacyDecoders, ReducedEntriesOfAllFourFactorsMatchTheReferences) {
  const std::string ref = LegacyDir() + "sharpcompress-reference/";
  for (int factor = 1; factor <= 4; ++factor) {
    auto entries = DecodeArchive("Zip.reduce" + std::to_string(factor) + ".zip", 3);
    for (const auto& [name, data] : entries) {
      EXPECT_EQ(data, ReadFile(ref + name)) << factor << " " << name;
    }
  }
  auto first = DecodeArchive("zip2-reduce.zip", 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].second, ReadFile(LegacyDir() + "zip2-first.txt"));
}

TEST(LegacyDecoders, ImplodedEntriesWithBothWindowsAndTreeCounts) {
  DecodeArchive("imploding-4Kdict-2trees.zip", 1);
  DecodeArchive("imploding-8Kdict-3trees.zip", 1);
  DecodeArchive("lorem-ipsum-implode.zip", 1);
  auto first = DecodeArchive("zip2-implode.zip", 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].second, ReadFile(LegacyDir() + "zip2-first.txt"));
}

TEST(LegacyDecoders, RawStreamsDecodeToTheirExpectedOutput) {
  Bytes implode = ReadFile(LegacyDir() + "zip2-implode_hamlet_256.bin");
  MemoryHost h1(implode);
  EXPECT_TRUE(Explode(h1, 0, implode.size(), 256));
  EXPECT_EQ(h1.output, ReadFile(LegacyDir() + "zip2-implode_hamlet_256.out"));

  Bytes hamlet = ReadFile(LegacyDir() + "zip2-implode_hamlet_2048.out");
  Bytes reduce = ReadFile(LegacyDir() + "zip2-reduce_hamlet_2048.bin");
  MemoryHost h2(reduce);
  EXPECT_TRUE(Unreduce(h2, 4, reduce.size(), 2048));
  EXPECT_EQ(h2.output, hamlet);

  // Copies reaching before the start of the output yield zeros.
  Bytes zero = ReadFile(LegacyDir() + "zip2-reduce_zero_reduced.bin");
  MemoryHost h3(zero);
  EXPECT_TRUE(Unreduce(h3, 4, zero.size(), 3072));
  Bytes expected = hamlet;
  expected.resize(3072, 0);
  EXPECT_EQ(h3.output, expected);
}

TEST(LegacyDecoders, OutputStopsAtTheDeclaredSizeAndInputAtThePackedSize) {
  Bytes zip = ReadFile(LegacyDir() + "lorem-ipsum-implode.zip");
  RawEntry e = Entries(zip).at(0);
  // A declared size smaller than the data: the decoder writes exactly that much.
  MemoryHost small(zip, e.dataBegin, e.dataBegin + e.packed);
  EXPECT_TRUE(Explode(small, e.flags, e.packed, 1000));
  EXPECT_EQ(small.output.size(), 1000u);
  // A declared size far larger than the data: the decoder stops when its input ends.
  MemoryHost large(zip, e.dataBegin, zip.size());
  try {
    Explode(large, e.flags, zip.size() - e.dataBegin, 1ull << 40);
  } catch (const Raised&) {
  }
  EXPECT_LE(large.output.size(), 144060u + 70000u);
  // A packed size shorter than the data: only that many bytes are read.
  MemoryHost cut(zip, e.dataBegin, e.dataBegin + e.packed);
  EXPECT_TRUE(Explode(cut, e.flags, 1000, e.unpacked));
  EXPECT_LT(cut.output.size(), e.unpacked);
  EXPECT_TRUE(cut.raised.empty());
}

TEST(LegacyDecoders, BrokenStreamsGiveTheirErrors) {
  // A shrunk stream that ends before its first code.
  Bytes empty;
  MemoryHost h1(empty);
  EXPECT_THROW(Unshrink(h1, 0, 10), Raised);
  EXPECT_EQ(h1.raised, std::vector<int>{kErrBadBlock});

  // Code 256 followed by an unknown sub-code.
  Bytes badControl = PackCodes({'A', 256, 3}, 9);
  MemoryHost h2(badControl);
  EXPECT_THROW(Unshrink(h2, badControl.size(), 100), Raised);
  EXPECT_EQ(h2.raised.back(), kErrBadBlock);
  EXPECT_EQ(h2.output, Bytes{'A'});  // what was decoded before the error is flushed

  // An implode tree whose entries do not add up to 64 codes.
  Bytes badTree = {0x00, 0x05, 0x00, 0x00};
  MemoryHost h3(badTree);
  EXPECT_THROW(Explode(h3, 0, badTree.size(), 100), Raised);
  EXPECT_EQ(h3.raised.back(), kErrAmbiguousShannonFanoTree);

  // A write failure raises "Error writing to file".
  Bytes zip = ReadFile(LegacyDir() + "zip2-shrink.zip");
  RawEntry e = Entries(zip).at(0);
  MemoryHost h4(zip, e.dataBegin, e.dataBegin + e.packed);
  h4.failWrites = true;
  EXPECT_THROW(Unshrink(h4, e.packed, e.unpacked), Raised);
  EXPECT_EQ(h4.raised.back(), kErrErrorWritingToFile);
}

TEST(LegacyDecoders, CancelStopsDecodingWithoutError) {
  Bytes zip = ReadFile(LegacyDir() + "lorem-ipsum-implode.zip");
  RawEntry e = Entries(zip).at(0);
  MemoryHost host(zip, e.dataBegin, e.dataBegin + e.packed);
  host.cancelled = true;
  EXPECT_TRUE(Explode(host, e.flags, e.packed, e.unpacked));
  EXPECT_TRUE(host.output.empty());
  EXPECT_TRUE(host.raised.empty());
}

// Damaged copies of every sample: each decoder stays inside its bounds and reports through the
// host.
TEST(LegacyDecoders, MutatedSamplesNeverOverrunTheirBounds) {
  std::mt19937 rng(20261207);
  for (const char* file :
       {"SHRUNK.ZIP", "Zip.reduce1.zip", "Zip.reduce4.zip", "imploding-8Kdict-3trees.zip",
        "imploding-4Kdict-2trees.zip", "zip2-implode.zip"}) {
    Bytes zip = ReadFile(LegacyDir() + file);
    for (const auto& e : Entries(zip)) {
      for (int round = 0; round < 40; ++round) {
        Bytes data(
            zip.begin() + static_cast<long>(e.dataBegin),
            zip.begin() + static_cast<long>(e.dataBegin + std::min<std::uint32_t>(e.packed, 4096)));
        for (int k = 0; k < 1 + round % 8; ++k) {
          data[rng() % data.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        }
        RawEntry damaged = e;
        damaged.packed = static_cast<std::uint32_t>(data.size());
        damaged.unpacked = round % 2 ? e.unpacked : e.unpacked / 3;
        MemoryHost host(data);
        try {
          Decode(host, damaged);
        } catch (const Raised&) {
        }
        EXPECT_LE(host.output.size(), damaged.unpacked);
      }
    }
  }
}

}  // namespace
