// The deflate-family decoder: Deflate64 samples decode to their expected bytes, the Deflate64
// switch changes exactly lengths, distances, window and header limits, input and output may
// come in any piece sizes, and corrupt data fails with a data error, never a crash.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoInflate.h"
#include "zip_test_support.h"

namespace {

std::string Samples() { return std::string(SCHEMION_TEST_DATA_DIR) + "/archives/deflate64/"; }

struct DecodeResult {
  int rc = Z_OK;
  std::string out;
  size_t consumed = 0;
};

// Decodes with our inflater, feeding inChunk input bytes and asking outChunk output bytes a time.
DecodeResult Decode(const std::string& packed, bool deflate64, size_t inChunk = 1u << 20,
                    size_t outChunk = 1u << 20, size_t limit = 64u << 20) {
  SetDeflate64Mode(deflate64);
  TInflater inflater;
  DecodeResult r;
  EXPECT_EQ(inflater.Init(-15), Z_OK);
  z_stream zs{};
  size_t fed = 0;
  std::string buf(outChunk, '\0');
  for (;;) {
    if (zs.avail_in == 0 && fed < packed.size()) {
      const size_t n = std::min(inChunk, packed.size() - fed);
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data() + fed));
      zs.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    zs.next_out = reinterpret_cast<Bytef*>(buf.data());
    zs.avail_out = static_cast<uInt>(buf.size());
    r.rc = inflater.Inflate(zs);
    r.out.append(buf.data(), buf.size() - zs.avail_out);
    if (r.rc == Z_STREAM_END || r.rc == Z_DATA_ERROR || r.rc == Z_STREAM_ERROR) break;
    if (r.rc == Z_BUF_ERROR && zs.avail_in == 0 && fed == packed.size()) break;
    if (r.out.size() > limit) break;
  }
  r.consumed = fed - zs.avail_in;
  EXPECT_EQ(zs.total_in, r.consumed);
  EXPECT_EQ(zs.total_out, r.out.size());
  SetDeflate64Mode(false);
  return r;
}

std::string ZlibRawDeflate(const std::string& data, int level) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Writes deflate bit streams: fields least significant bit first, Huffman codes most
// significant bit first.
class BitWriter {
 public:
  void Bits(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1u);
  }
  void Code(uint32_t code, unsigned len) {
    for (unsigned i = len; i-- > 0;) Bit((code >> i) & 1u);
  }
  void AlignByte() {
    while (nbits_ != 0) Bit(0);
  }
  void Bytes(const std::string& s) {
    AlignByte();
    out_ += s;
  }
  std::string Finish() {
    AlignByte();
    return out_;
  }

  // Fixed-code symbols.
  void FixedLiteral(unsigned sym) {
    if (sym < 144) Code(0x30 + sym, 8);
    else if (sym < 256) Code(0x190 + sym - 144, 9);
    else if (sym < 280) Code(sym - 256, 7);
    else Code(0xC0 + sym - 280, 8);
  }
  void FixedDistance(unsigned code) { Code(code, 5); }

 private:
  void Bit(unsigned b) {
    cur_ |= static_cast<uint8_t>(b << nbits_);
    if (++nbits_ == 8) {
      out_ += static_cast<char>(cur_);
      cur_ = 0;
      nbits_ = 0;
    }
  }
  std::string out_;
  uint8_t cur_ = 0;
  unsigned nbits_ = 0;
};

// Canonical codes of a set of lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<unsigned>& lengths) {
  unsigned count[16] = {};
  for (unsigned l : lengths) count[l]++;
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (unsigned len = 1; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i) {
    if (lengths[i]) codes[i] = next[lengths[i]]++;
  }
  return codes;
}

// A final dynamic block with the given literal/length and distance code lengths holding the
// given literal/length symbols (no matches). Code lengths are sent with a code where 0-15 have
// four bits each.
std::string DynamicBlock(const std::vector<unsigned>& lit, const std::vector<unsigned>& dist,
                         const std::vector<unsigned>& symbols) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(2, 2);
  w.Bits(static_cast<uint32_t>(lit.size() - 257), 5);
  w.Bits(static_cast<uint32_t>(dist.size() - 1), 5);
  w.Bits(19 - 4, 4);
  static const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (unsigned sym : kOrder) w.Bits(sym < 16 ? 4 : 0, 3);
  for (unsigned l : lit) w.Code(l, 4);
  for (unsigned l : dist) w.Code(l, 4);
  const auto codes = CanonicalCodes(lit);
  for (unsigned s : symbols) w.Code(codes[s], lit[s]);
  return w.Finish();
}

// Literal lengths for a complete code: 0-253 eight bits, 254-257 nine bits.
std::vector<unsigned> SmallLiteralLengths() {
  std::vector<unsigned> lit(258, 8);
  for (unsigned s = 254; s < 258; ++s) lit[s] = 9;
  return lit;
}

}  // namespace

TEST(Deflate64Decoder, SamplesDecodeToExpectedBytes) {
  {
    const std::string zip = ziptest::ReadFile(Samples() + "COMPRESS-380.zip");
    const auto entries = ziptest::ListZip(zip);
    const auto& e = ziptest::FindEntry(entries, "input2");
    ASSERT_EQ(e.method, 9);
    const auto r = Decode(ziptest::EntryData(zip, e), true);
    EXPECT_EQ(r.rc, Z_STREAM_END);
    EXPECT_TRUE(r.out == ziptest::ReadFile(Samples() + "COMPRESS-380-input"));
    EXPECT_EQ(r.consumed, e.packedSize);
  }
  {
    const std::string zip = ziptest::ReadFile(Samples() + "lorem-ipsum-deflate64.zip");
    const auto& e = ziptest::FindEntry(ziptest::ListZip(zip), "lorem-ipsum.txt");
    const auto r = Decode(ziptest::EntryData(zip, e), true);
    EXPECT_EQ(r.rc, Z_STREAM_END);
    EXPECT_EQ(r.out.size(), 144060u);
    EXPECT_EQ(Crc32Of(r.out.data(), r.out.size()), 0xb9034f7eu);
  }
  {
    const std::string zip = ziptest::ReadFile(Samples() + "deflate64.zip");
    int checked = 0;
    for (const auto& e : ziptest::ListZip(zip)) {
      if (e.method != 9) continue;
      const auto r = Decode(ziptest::EntryData(zip, e), true);
      EXPECT_EQ(r.rc, Z_STREAM_END) << e.name;
      EXPECT_EQ(r.out.size(), e.size) << e.name;
      EXPECT_EQ(Crc32Of(r.out.data(), r.out.size()), e.crc) << e.name;
      ++checked;
    }
    EXPECT_GE(checked, 1);
  }
}

TEST(Deflate64Decoder, AnyPieceSizesGiveTheSameBytes) {
  const std::string zip = ziptest::ReadFile(Samples() + "deflate64.zip");
  const auto& e = ziptest::FindEntry(ziptest::ListZip(zip), "binary.wmv");
  const std::string packed = ziptest::EntryData(zip, e);
  const auto whole = Decode(packed, true);
  ASSERT_EQ(whole.rc, Z_STREAM_END);
  for (auto [in, out] : {std::pair<size_t, size_t>{1, 65536}, {7, 1}, {4096, 3}, {65536, 65535},
                         {100000, 32768}}) {
    const std::string part = packed.substr(0, std::min<size_t>(packed.size(), in == 1 ? 40000 : packed.size()));
    if (in == 1 || out == 1 || out == 3) {
      // Tiny pieces on a prefix only, to keep the test quick: the output must be a prefix.
      const auto r = Decode(part, true, in, out);
      EXPECT_TRUE(r.rc == Z_BUF_ERROR || r.rc == Z_STREAM_END);
      EXPECT_TRUE(r.out == whole.out.substr(0, r.out.size())) << in << "/" << out;
      EXPECT_GT(r.out.size(), 0u);
    } else {
      const auto r = Decode(packed, true, in, out);
      EXPECT_EQ(r.rc, Z_STREAM_END);
      EXPECT_TRUE(r.out == whole.out) << in << "/" << out;
    }
  }
}

TEST(Deflate64Decoder, DecodesZlibDeflateInDeflateMode) {
  const std::string text = ziptest::SampleText(300000);
  const std::string random = ziptest::RandomBytes(200000, 9);
  const std::string mixed = text.substr(0, 70000) + random.substr(0, 70000) + std::string(70000, 'z');
  for (const std::string* data : {&text, &random, &mixed}) {
    for (int level : {0, 1, 6, 9}) {
      const std::string packed = ZlibRawDeflate(*data, level);
      const auto r = Decode(packed + "TRAILER", false, 1000, 4000);
      ASSERT_EQ(r.rc, Z_STREAM_END) << level;
      EXPECT_TRUE(r.out == *data) << level;
      // The input stands just behind the compressed data.
      EXPECT_EQ(r.consumed, packed.size()) << level;
      // Read-ahead bits around stored blocks must not leak into the next block (whole input).
      const auto whole = Decode(packed, false);
      ASSERT_EQ(whole.rc, Z_STREAM_END) << level;
      EXPECT_TRUE(whole.out == *data) << level;
    }
  }
  const auto empty = Decode(ZlibRawDeflate("", 6), false);
  EXPECT_EQ(empty.rc, Z_STREAM_END);
  EXPECT_EQ(empty.out, "");
}

TEST(Deflate64Decoder, LengthCode285) {
  auto stream = [](uint32_t extra, bool deflate64Extra) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedLiteral('a');
    w.FixedLiteral(285);
    if (deflate64Extra) w.Bits(extra, 16);
    w.FixedDistance(0);  // distance 1
    w.FixedLiteral(256);
    return w.Finish();
  };
  auto r = Decode(stream(0, true), true);
  ASSERT_EQ(r.rc, Z_STREAM_END);
  EXPECT_EQ(r.out, std::string(4, 'a'));
  r = Decode(stream(65535, true), true, 1u << 20, 1000);
  ASSERT_EQ(r.rc, Z_STREAM_END);
  EXPECT_TRUE(r.out == std::string(1 + 65538, 'a'));
  // Deflate: 285 is length 258 without extra bits, also after Deflate64 fixed blocks were used.
  r = Decode(stream(0, false), false);
  ASSERT_EQ(r.rc, Z_STREAM_END);
  EXPECT_EQ(r.out, std::string(1 + 258, 'a'));
}

TEST(Deflate64Decoder, DistanceOf65536) {
  const std::string data = ziptest::RandomBytes(65536, 11);
  BitWriter w;
  // Two stored blocks carry 65,536 bytes, then a fixed block copies 3 bytes from 65,536 back.
  w.Bits(0, 1);
  w.Bits(0, 2);
  w.AlignByte();
  w.Bits(65535, 16);
  w.Bits(0, 16);
  w.Bytes(data.substr(0, 65535));
  w.Bits(0, 1);
  w.Bits(0, 2);
  w.AlignByte();
  w.Bits(1, 16);
  w.Bits(0xFFFE, 16);
  w.Bytes(data.substr(65535));
  w.Bits(1, 1);
  w.Bits(1, 2);
  w.FixedLiteral(257);  // length 3
  w.FixedDistance(31);
  w.Bits(16383, 14);  // 49153 + 16383 = 65536
  w.FixedLiteral(256);
  const std::string packed = w.Finish();
  auto r = Decode(packed, true, 999, 777);
  ASSERT_EQ(r.rc, Z_STREAM_END);
  EXPECT_TRUE(r.out == data + data.substr(0, 3));
  r = Decode(packed, false);
  EXPECT_EQ(r.rc, Z_DATA_ERROR);
  // A distance before the start of the output is an error in both modes.
  BitWriter far;
  far.Bits(1, 1);
  far.Bits(1, 2);
  far.FixedLiteral('q');
  far.FixedLiteral(257);
  far.FixedDistance(1);  // distance 2, only one byte decoded so far
  far.FixedLiteral(256);
  EXPECT_EQ(Decode(far.Finish(), true).rc, Z_DATA_ERROR);
}

TEST(Deflate64Decoder, DynamicHeaderLimits) {
  std::vector<unsigned> dist31(31, 5);
  dist31[30] = 4;
  const std::string hdist30 = DynamicBlock(SmallLiteralLengths(), dist31, {'x', 'y', 256});
  EXPECT_EQ(Decode(hdist30, false).rc, Z_DATA_ERROR);
  const auto r = Decode(hdist30, true);
  EXPECT_EQ(r.rc, Z_STREAM_END);
  EXPECT_EQ(r.out, "xy");

  // An over-subscribed distance code fails in both modes.
  std::vector<unsigned> over(30, 4);
  const std::string overBlock = DynamicBlock(SmallLiteralLengths(), over, {'x', 256});
  EXPECT_EQ(Decode(overBlock, false).rc, Z_DATA_ERROR);
  EXPECT_EQ(Decode(overBlock, true).rc, Z_DATA_ERROR);

  // No distance code at all: accepted for literals only when there are 257 literal/length codes.
  std::vector<unsigned> lit257(257, 8);
  lit257[255] = 9;
  lit257[256] = 9;
  const auto literalsOnly = Decode(DynamicBlock(lit257, {0}, {'k', 256}), false);
  EXPECT_EQ(literalsOnly.rc, Z_STREAM_END);
  EXPECT_EQ(literalsOnly.out, "k");
  EXPECT_EQ(Decode(DynamicBlock(SmallLiteralLengths(), {0}, {'k', 256}), false).rc, Z_DATA_ERROR);

  // Window bits out of range.
  SetDeflate64Mode(false);
  TInflater a;
  EXPECT_EQ(a.Init(-16), Z_STREAM_ERROR);
  EXPECT_EQ(a.Init(15), Z_STREAM_ERROR);
  EXPECT_EQ(a.Init(-7), Z_STREAM_ERROR);
  SetDeflate64Mode(true);
  EXPECT_EQ(a.Init(-15), Z_OK);
  EXPECT_TRUE(a.IsDeflate64());
  EXPECT_EQ(a.Init(-16), Z_STREAM_ERROR);
  SetDeflate64Mode(false);
  EXPECT_EQ(FixedDistanceCodes, 30);
}

TEST(Deflate64Decoder, CorruptDataFailsCleanly) {
  const std::string zip = ziptest::ReadFile(Samples() + "lorem-ipsum-deflate64.zip");
  const std::string d64 = ziptest::EntryData(zip, ziptest::FindEntry(ziptest::ListZip(zip), "lorem-ipsum.txt"));
  const std::string text = ziptest::SampleText(100000);
  const std::string d8 = ZlibRawDeflate(text, 6);
  std::mt19937 rng(12345);
  int errors = 0;
  for (int round = 0; round < 300; ++round) {
    const bool use64 = round % 2 == 0;
    std::string bad = use64 ? d64 : d8;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int f = 0; f < flips; ++f) bad[rng() % bad.size()] ^= static_cast<char>(1 + rng() % 255);
    if (round % 5 == 0) bad.resize(rng() % bad.size());
    const auto r = Decode(bad, use64, 1 + rng() % 5000, 1 + rng() % 70000, 1u << 20);
    EXPECT_TRUE(r.rc == Z_DATA_ERROR || r.rc == Z_BUF_ERROR || r.rc == Z_STREAM_END) << round;
    if (r.rc == Z_DATA_ERROR) ++errors;
    // The same damage through zlib for method 8, which must agree on success or failure.
    if (!use64 && r.rc != Z_BUF_ERROR) {
      z_stream zs{};
      inflateInit2(&zs, -15);
      std::string out(r.out.size() + 1024, '\0');
      zs.next_in = reinterpret_cast<Bytef*>(bad.data());
      zs.avail_in = static_cast<uInt>(bad.size());
      zs.next_out = reinterpret_cast<Bytef*>(out.data());
      zs.avail_out = static_cast<uInt>(out.size());
      const int zrc = inflate(&zs, Z_FINISH);
      inflateEnd(&zs);
      EXPECT_EQ(zrc == Z_STREAM_END, r.rc == Z_STREAM_END) << round;
    }
  }
  EXPECT_GT(errors, 100);
  // Block type 3 and a stored length mismatch.
  EXPECT_EQ(Decode(std::string("\x07", 1), true).rc, Z_DATA_ERROR);
  EXPECT_EQ(Decode(std::string("\x01\x05\x00\x05\x00", 5), false).rc, Z_DATA_ERROR);
}
