// Broken and hostile headers: every reader must end with its family's error or quietly, never
// crash, read out of bounds or walk forever. Ends with a bounded, seeded mutation loop per family.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/pakvoErrors.h"
#include "lister_test_util.h"

using namespace listertest;

namespace {

Walked WalkBytes(THeaderFamily family, std::vector<uint8_t> bytes,
                 const std::string& name = "x.bin") {
  TPakvoMemorySource src(std::move(bytes));
  THeaderContext ctx;
  ctx.ArchiveFileName = name;
  return WalkSource(family, src, ctx);
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b.at(at) = v & 0xFF;
  b.at(at + 1) = v >> 8;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = (v >> (8 * i)) & 0xFF;
}
size_t Find(const std::vector<uint8_t>& b, const std::string& what, size_t from = 0) {
  std::vector<uint8_t> w(what.begin(), what.end());
  auto it = std::search(b.begin() + static_cast<long>(from), b.end(), w.begin(), w.end());
  return it == b.end() ? std::string::npos : static_cast<size_t>(it - b.begin());
}

// A ZOO archive of one entry whose "next" pointer is given (the format's chain of absolute
// offsets).
std::vector<uint8_t> ZooWithNext(uint32_t next) {
  std::vector<uint8_t> b(34 + 58 + 4, 0);
  std::memcpy(b.data(), "ZOO 2.10 Archive.\x1a", 18);
  Put32(b, 20, 0xFDC4A7DC);
  Put32(b, 24, 34);
  Put32(b, 34, 0xFDC4A7DC);
  b[38] = 1;
  Put32(b, 40, next);
  std::memcpy(b.data() + 34 + 38, "LOOP.TXT", 8);
  return b;
}

}  // namespace

TEST(ListerHeaderRobustness, ZipDamageIsReportedAsBadFileHeader) {
  auto jar = ReadAll(Formats() + "jar/bla.jar");
  size_t cd = Find(jar, "PK\x01\x02");
  ASSERT_NE(cd, std::string::npos);
  // A name length running past the end of the file.
  auto longName = jar;
  Put16(longName, cd + 28, 0xFFFF);
  EXPECT_EQ(WalkBytes(hfZip, longName).rc, kErrBadFileHeader);
  // A first record whose signature is wrong: reported; a later one: the directory simply ends.
  auto badFirst = jar;
  badFirst[cd] = '@';
  Walked w = WalkBytes(hfZip, badFirst);
  EXPECT_TRUE(w.rc == kErrBadFileHeader ||
              w.entries.size() == 5u);  // may fall back to local headers
  size_t second = Find(jar, "PK\x01\x02", cd + 4);
  auto badSecond = jar;
  badSecond[second] = '@';
  w = WalkBytes(hfZip, badSecond);
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(w.entries.size(), 1u);
  // libzip's broken archives: each ends with a result and no crash.
  for (const char* f :
       {"incons-local-filename-long.zip", "incons-eocd-magic-bad.zip", "incons-file-count-high.zip",
        "incons-filename-nul-byte.zip", "incons-local-magic-bad.zip", "multidisk.zip",
        "testfile-truncated.zip", "incons-eocd64.zip"}) {
    Walked m = WalkFile(hfZip, Archives() + "malformed/" + f);
    EXPECT_TRUE(m.rc == 0 || m.rc == kErrBadFileHeader) << f << " " << m.rc;
  }
  // The truncated archive has no directory: its local header still lists the entry.
  EXPECT_EQ(WalkFile(hfZip, Archives() + "malformed/testfile-truncated.zip").entries.size(), 1u);
}

TEST(ListerHeaderRobustness, FamiliesReportTheirOwnErrors) {
  // ARJ: a basic header claiming more bytes than the file holds.
  auto arj = ReadAll(Formats() + "arj/bla.arj");
  size_t second = Find(arj, "\x60\xea", 4);
  ASSERT_NE(second, std::string::npos);
  auto arjLong = arj;
  Put16(arjLong, second + 2, 2000);
  EXPECT_EQ(WalkBytes(hfArj, arjLong).rc, kErrBadFileHeader);
  auto arjBad = arj;
  arjBad[0] = 0;
  EXPECT_EQ(WalkBytes(hfArj, arjBad).rc, kErrBadFileHeader);

  // CAB: no "MSCF".
  auto cab = ReadAll(Formats() + "cab/test_read_format_cab_1.cab");
  cab[0] = 'X';
  EXPECT_EQ(WalkBytes(hfCab, cab).rc, kErrBadFileHeader);

  // RAR: a header cut short, and a header size below the minimum.
  auto rar = ReadAll(Formats() + "rar4/test_read_format_rar.rar");
  std::vector<uint8_t> cut(rar.begin(), rar.begin() + 30);
  EXPECT_EQ(WalkBytes(hfRar, cut).rc, kErrErrorReadingFile);
  auto tiny = rar;
  Put16(tiny, 7 + 5, 3);
  EXPECT_EQ(WalkBytes(hfRar, tiny).rc, kErrErrorReadingFile);

  // UUE without a "begin" line.
  std::string text = "no begin here\nM0123\n";
  EXPECT_EQ(WalkBytes(hfUUE, std::vector<uint8_t>(text.begin(), text.end())).rc, kErrNoBEGINLine);

  // LHA: a size far beyond the file ends the walk after the good entries, as damage.
  auto lha = ReadAll(Formats() + "lha/test_read_format_lha_lh0.lzh");
  Put32(lha, 7, 0x7FFFFFF0);
  Walked l = WalkBytes(hfLha, lha);
  EXPECT_EQ(l.rc, kErrBadFileHeader);
  EXPECT_EQ(l.entries.size(), 1u);
  // tar: a header whose checksum no longer matches is no header.
  auto tar = ReadAll(Formats() + "tar/bla.tar");
  std::memcpy(tar.data() + 124, "77777777777", 11);  // size field: the checksum is now wrong
  EXPECT_EQ(WalkBytes(hfTar, tar).entries.size(), 0u);
}

TEST(ListerHeaderRobustness, HeaderChainsThatPointBackOrLoopStop) {
  // A ZOO entry whose next pointer is itself, and one that points back to the archive header.
  Walked self = WalkBytes(hfZoo, ZooWithNext(34));
  EXPECT_EQ(self.rc, kErrBadFileHeader);
  EXPECT_EQ(self.entries.size(), 1u);
  Walked back = WalkBytes(hfZoo, ZooWithNext(0x10));
  EXPECT_EQ(back.rc, kErrBadFileHeader);
  // A well-formed chain: the closing entry has next 0.
  auto good = ZooWithNext(34 + 58);
  good.resize(34 + 58 + 58, 0);
  Put32(good, 34 + 58, 0xFDC4A7DC);
  Walked ok = WalkBytes(hfZoo, good);
  EXPECT_EQ(ok.rc, 0);
  ASSERT_EQ(ok.entries.size(), 1u);
  EXPECT_EQ(ok.entries[0].StoredName, "LOOP.TXT");
  // RAR 5: a block whose sizes add up to less than nothing cannot move the walk backwards.
  auto rar5 = ReadAll(Formats() + "rar5/test_read_format_rar5_stored.rar");
  for (size_t at = 8; at < 20; ++at) {
    auto m = rar5;
    m[at] = 0xFF;
    Walked w = WalkBytes(hfRar, m);
    EXPECT_LE(w.entries.size(), 1u);
  }
}

TEST(ListerHeaderRobustness, TruncationAtEveryPointEndsCleanly) {
  const std::vector<std::pair<THeaderFamily, std::string>> seeds = {
      {hfZip, "jar/bla.jar"},
      {hfArj, "arj/bla.arj"},
      {hfLha, "lha/test_read_format_lha_header2.lzh"},
      {hfCab, "cab/test_read_format_cab_multi.p1.cab"},
      {hfRar, "rar4/test_read_format_rar.rar"},
      {hfRar, "rar5/test_read_format_rar5_multiple_files.rar"},
      {hfGZip, "gzip/bla.tgz"},
      {hfTar, "tar/test-times-pax-folder.tar"},
      {hfUUE, "uue/test_read_format_rar5_stored.rar.uu"}};
  for (const auto& [family, file] : seeds) {
    auto full = ReadAll(Formats() + file);
    size_t whole = WalkBytes(family, full).entries.size();
    size_t step = std::max<size_t>(1, full.size() / 400);
    for (size_t len = 0; len < full.size(); len += step) {
      std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(len));
      Walked w = WalkBytes(family, part);
      EXPECT_LE(w.entries.size(), std::max<size_t>(whole, 1)) << file << " cut at " << len;
    }
  }
}

// Bounded, deterministic mutation of each family's samples: flipped bytes, extreme 16- and 32-bit
// values, cuts. Any crash, sanitizer report or endless walk fails the test.
TEST(ListerHeaderRobustness, SeededMutationLoop) {
  const std::vector<std::pair<THeaderFamily, std::string>> seeds = {
      {hfZip, "jar/bla.jar"},
      {hfZip, "sfx/test_read_format_zip_sfx.bin"},
      {hfArj, "arj/bla.arj"},
      {hfLha, "lha/test-msdos-l0.lha"},
      {hfLha, "lha/test_read_format_lha_header1.lzh"},
      {hfLha, "lha/test_read_format_lha_header3.lzh"},
      {hfCab, "cab/test_read_format_cab_2.cab"},
      {hfRar, "rar4/test_read_format_rar.rar"},
      {hfRar, "rar5/test_read_format_rar5_multiple_files.rar"},
      {hfGZip, "gzip/lorem-ipsum.txt.gz"},
      {hfTar, "tar/test_compat_gtar_1.tar"},
      {hfTar, "tar/test-times-posix.tar"},
      {hfUUE, "uue/test_read_format_rar5_stored.rar.uu"}};
  // PAKVO_FUZZ_ROUNDS raises the count (and PAKVO_FUZZ_SEED varies the run) for a longer session.
  const int rounds =
      std::getenv("PAKVO_FUZZ_ROUNDS") ? std::atoi(std::getenv("PAKVO_FUZZ_ROUNDS")) : 1500;
  std::mt19937 rng(std::getenv("PAKVO_FUZZ_SEED") ? std::atoi(std::getenv("PAKVO_FUZZ_SEED"))
                                                  : 20261207);
  const uint32_t extremes[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  int walks = 0;
  auto mutateAndWalk = [&](THeaderFamily family, std::vector<uint8_t> bytes) {
    if (bytes.empty()) return;
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < edits; ++k) {
      // Headers sit near the start and (for ZIP) near the end: aim there most of the time.
      size_t at = rng() % bytes.size();
      if (rng() % 2) at = rng() % std::min<size_t>(bytes.size(), 600);
      if (rng() % 4 == 0) at = bytes.size() - 1 - rng() % std::min<size_t>(bytes.size(), 200);
      switch (rng() % 5) {
        case 0: bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
        case 1: bytes[at] = static_cast<uint8_t>(rng()); break;
        case 2:
          if (at + 2 <= bytes.size()) Put16(bytes, at, static_cast<uint16_t>(extremes[rng() % 9]));
          break;
        case 3:
          if (at + 4 <= bytes.size()) Put32(bytes, at, extremes[rng() % 9]);
          break;
        case 4: bytes.resize(at); break;
      }
      if (bytes.empty()) return;
    }
    Walked w = WalkBytes(family, bytes);
    ++walks;
    ASSERT_LT(w.entries.size(), 100000u) << "walk did not end";
  };
  // Archives of the other families, built here by hand (no writer is installed for them).
  std::vector<std::pair<THeaderFamily, std::vector<uint8_t>>> built = {
      {hfZoo, ZooWithNext(34 + 58)}};
  built.back().second.resize(34 + 58 + 58, 0);
  Put32(built.back().second, 34 + 58, 0xFDC4A7DC);
  for (auto family : {hfAce, hfArc}) {
    auto bytes = ReadAll(
        Formats() + (family == hfAce ? "ace/Ace.store.split.ace" : "arc/Arc.uncompressed.arc"));
    bytes.resize(std::min<size_t>(bytes.size(), 4096));
    built.emplace_back(family, bytes);
  }
  std::vector<uint8_t> ha = {'H', 'A', 1, 0, 0x20, 3, 0,   0,   0,   3, 0, 0, 0, 1,   2,   3,
                             4,   0,   0, 0, 0,    0, 'a', '.', 't', 0, 2, 1, 0, 'x', 'y', 'z'};
  built.emplace_back(hfHA, ha);
  EXPECT_EQ(WalkBytes(hfHA, ha).entries.size(), 1u);
  for (const auto& [family, file] : seeds) {
    auto bytes = ReadAll(Formats() + file);
    ASSERT_FALSE(bytes.empty()) << file;
    for (int i = 0; i < rounds; ++i) mutateAndWalk(family, bytes);
  }
  for (const auto& [family, bytes] : built)
    for (int i = 0; i < rounds; ++i) mutateAndWalk(family, bytes);
  EXPECT_GT(walks, rounds * 15);
}

// A Zip64 locator of a split set whose record offset is near the top of the 63-bit range, on a
// later disk: the disk's start is added without overflowing, and nothing is found there.
TEST(ListerHeaderRobustness, Zip64LocatorOffsetsNearTheTopOfTheRangeStaySafe) {
  std::vector<uint8_t> bytes;
  auto put = [&](uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(0x07064B50, 4);  // Zip64 end locator
  put(1, 4);  // the Zip64 end record's disk
  put(0x7FFFFFFFFFFFFFF0ull, 8);  // its offset on that disk
  put(2, 4);  // disks in the set
  put(0x06054B50, 4);  // end record
  put(1, 2);  // this disk
  put(1, 2);  // the directory's disk
  put(0xFFFF, 2);
  put(0xFFFF, 2);
  put(0xFFFFFFFF, 4);  // directory size
  put(0xFFFFFFFF, 4);  // directory offset: see the Zip64 record
  put(0, 2);
  TPakvoMemorySource src(bytes);
  for (const std::vector<int64_t>& starts :
       {std::vector<int64_t>{0, 4096}, std::vector<int64_t>{0, INT64_MAX - 8}}) {
    TZipEndInfo end = FindZipEnd(src, starts);
    EXPECT_TRUE(end.Found);
    EXPECT_FALSE(end.CentralFound);
  }
}
