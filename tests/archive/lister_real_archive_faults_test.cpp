// Lister faults found on real archives: volume sets opened at a later volume, empty ZIP archives,
// LHA level-0 paths with 0xFF separators, headers cut short or claiming more than the file holds,
// tar headers with an empty name, and RAR 5 sizes whose sum overflows.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

#include "archive/pakvoErrors.h"
#include "archive/pakvoPakvo.h"
#include "archive/pakvoUnZip.h"
#include "lister_test_util.h"

using namespace listertest;

namespace {

struct VolumeRun {
  std::vector<std::string> names;  // list mode
  std::vector<std::string> asked;  // volumes proposed through OnNextVolume
  std::vector<int> codes;
};

// Lists `path` in list mode, going on with every proposed volume that exists.
VolumeRun ListVolumes(const std::string& path) {
  VolumeRun run;
  TPakvo p;
  p.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int c) {
    run.codes.push_back(c);
  };
  p.OnNextVolume = [&](TObject*, std::string& name, const std::string&, bool exists,
                       bool& cancel) {
    run.asked.push_back(fs::path(name).filename().string());
    cancel = !exists;
  };
  p.SetArcFile(path);
  p.GetFileList(&run.names);
  return run;
}

Walked WalkBytes(THeaderFamily family, std::vector<uint8_t> bytes) {
  TPakvoMemorySource src(std::move(bytes));
  THeaderContext ctx;
  ctx.ArchiveFileName = "x.bin";
  return WalkSource(family, src, ctx);
}

void Vint(std::vector<uint8_t>& out, uint64_t v) {
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    out.push_back(static_cast<uint8_t>(b | (v ? 0x80 : 0)));
  } while (v);
}

// One RAR 5 block: CRC-32 of what follows it, header size, then type, flags and the rest.
std::vector<uint8_t> Rar5Block(uint64_t type, uint64_t flags, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> body;
  Vint(body, type);
  Vint(body, flags);
  body.insert(body.end(), rest.begin(), rest.end());
  std::vector<uint8_t> sized;
  Vint(sized, body.size());
  sized.insert(sized.end(), body.begin(), body.end());
  const uint32_t crc = static_cast<uint32_t>(crc32(0, sized.data(), static_cast<uInt>(sized.size())));
  std::vector<uint8_t> block = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                                static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
  block.insert(block.end(), sized.begin(), sized.end());
  return block;
}

// A RAR 5 file block of a stored file with `dataSize` bytes of data (given, or zeros); block flags
// 0x08: continued from the previous volume, 0x10: goes on in the next one.
std::vector<uint8_t> Rar5File(const std::string& name, uint64_t blockFlags, uint64_t dataSize,
                              bool withData = true) {
  std::vector<uint8_t> rest;
  Vint(rest, dataSize);
  Vint(rest, 0);    // file flags
  Vint(rest, 100);  // unpacked size
  Vint(rest, 0x20);  // attributes
  Vint(rest, 0);    // compression: stored
  Vint(rest, 0);    // host: Windows
  Vint(rest, name.size());
  rest.insert(rest.end(), name.begin(), name.end());
  auto block = Rar5Block(2, 0x02 | blockFlags, rest);
  if (withData) block.resize(block.size() + static_cast<size_t>(dataSize), 'd');
  return block;
}

// Volume `number` (from 1) of `count` of a RAR 5 set: one file running through every volume,
// and a last file in the last volume.
std::vector<uint8_t> Rar5Volume(int number, int count) {
  std::vector<uint8_t> v = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
  std::vector<uint8_t> main;
  Vint(main, number == 1 ? 0x01 : 0x03);  // a volume; later volumes carry their number
  if (number > 1) Vint(main, static_cast<uint64_t>(number - 1));
  auto append = [&](const std::vector<uint8_t>& b) { v.insert(v.end(), b.begin(), b.end()); };
  append(Rar5Block(1, 0, main));
  const bool last = number == count;
  append(Rar5File("run.bin", (number > 1 ? 0x08 : 0) | (last ? 0 : 0x10), 40));
  if (last) append(Rar5File("last.txt", 0, 10));
  std::vector<uint8_t> end;
  Vint(end, last ? 0 : 1);  // end flags: more volumes follow
  append(Rar5Block(5, 0, end));
  return v;
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

// Fault: the volume count started at 0 whatever volume was opened, so a set opened at a later
// volume asked for that volume again (broken chain) or went back and listed volumes twice.
TEST(ListerRealArchiveFaults, VolumeSetsOpenedAtALaterVolumeGoOnFromIt) {
  // RAR 4 (libarchive's four-volume set, new-style part names).
  const std::string rar4 = Formats() + "rar4/test_read_format_rar_multivolume.part000";
  VolumeRun r2 = ListVolumes(rar4 + "2.rar");
  EXPECT_TRUE(r2.codes.empty());
  EXPECT_EQ(r2.asked, (std::vector<std::string>{"test_read_format_rar_multivolume.part0003.rar",
                                                "test_read_format_rar_multivolume.part0004.rar"}));
  VolumeRun r3 = ListVolumes(rar4 + "3.rar");
  EXPECT_TRUE(r3.codes.empty());
  EXPECT_EQ(r3.asked,
            std::vector<std::string>{"test_read_format_rar_multivolume.part0004.rar"});
  VolumeRun r1 = ListVolumes(rar4 + "1.rar");
  // Each volume's headers once: the later start lists the tail of the whole list.
  ASSERT_GE(r1.names.size(), r2.names.size());
  EXPECT_TRUE(std::equal(r2.names.rbegin(), r2.names.rend(), r1.names.rbegin()));
  EXPECT_LT(r3.names.size(), r2.names.size());

  // ARJ (SharpCompress's six-volume set: .arj, .a01 ... .a05).
  VolumeRun a = ListVolumes(Formats() + "arj/Arj.store.split.a02");
  EXPECT_TRUE(a.codes.empty());
  EXPECT_EQ(a.asked, (std::vector<std::string>{"Arj.store.split.a03", "Arj.store.split.a04",
                                               "Arj.store.split.a05"}));
  EXPECT_EQ(a.names.back(), "TECT.TXT");

  // RAR 5: a four-volume set built here (no RAR 5 writer is installed).
  Scratch s;
  for (int i = 1; i <= 4; ++i)
    WriteBytes(s.dir / ("set.part" + std::to_string(i) + ".rar"), Rar5Volume(i, 4));
  VolumeRun f2 = ListVolumes(s.Path("set.part2.rar"));
  EXPECT_TRUE(f2.codes.empty());
  EXPECT_EQ(f2.asked, (std::vector<std::string>{"set.part3.rar", "set.part4.rar"}));
  EXPECT_EQ(f2.names, (std::vector<std::string>{"run.bin", "run.bin", "run.bin", "last.txt"}));
  VolumeRun f3 = ListVolumes(s.Path("set.part3.rar"));
  EXPECT_EQ(f3.asked, std::vector<std::string>{"set.part4.rar"});
  EXPECT_EQ(f3.names, (std::vector<std::string>{"run.bin", "run.bin", "last.txt"}));
}

// Fault: an end record alone (made by zip deleting the last entry, with or without an archive
// comment) was reported as "Bad file header"; it is an archive of no entries.
TEST(ListerRealArchiveFaults, EmptyZipArchivesListAndExtractNothingWithoutError) {
  Scratch s;
  s.In("zip -q ../plain.zip text.txt && zip -qd ../plain.zip text.txt");
  s.In("zip -q ../comment.zip text.txt && echo 'a comment' | zip -qz ../comment.zip && "
       "zip -qd ../comment.zip text.txt");
  for (const char* name : {"plain.zip", "comment.zip"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(s.Path(name)));
    EXPECT_EQ(fs::file_size(s.Path(name)), std::string(name) == "plain.zip" ? 22u : 31u);
    TPakvo p;
    std::vector<int> codes;
    bool corrupt = false;
    p.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&,
                    int c) { codes.push_back(c); };
    p.OnCorruptZipHeader = [&](TObject*, THeaderTypeState, bool&) { corrupt = true; };
    p.SetArcFile(s.Path(name));
    std::vector<std::string> names;
    EXPECT_TRUE(p.GetFileList(&names));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(codes.empty());
    EXPECT_FALSE(corrupt);

    TUnZip u;
    u.OnError = p.OnError;
    u.SetArcFile(s.Path(name));
    u.SetExtractDir(s.Path("out"));
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_TRUE(codes.empty());
  }
}

// Fault: level-0 paths kept their 0xFF separators as characters, so their folders were lost.
TEST(ListerRealArchiveFaults, LhaLevel0PathsSeparateFoldersAtFFBytes) {
  Scratch s;
  s.In("lha a0 ../l0.lzh sub/noise.bin text.txt");
  auto bytes = ReadAll(s.Path("l0.lzh"));
  ASSERT_GT(bytes.size(), 22u);
  ASSERT_EQ(bytes[20], 0);  // header level 0
  // The path as a writer using 0xFF separators stores it; the header checksum follows.
  const size_t nameLen = bytes[21];
  for (size_t i = 22; i < 22 + nameLen; ++i)
    if (bytes[i] == '\\' || bytes[i] == '/') bytes[i] = 0xFF;
  uint8_t sum = 0;
  for (size_t i = 2; i < static_cast<size_t>(bytes[0]) + 2; ++i) sum += bytes[i];
  bytes[1] = sum;
  Walked w = WalkBytes(hfLha, bytes);
  EXPECT_EQ(w.rc, 0);
  ASSERT_EQ(w.entries.size(), 2u);
  EXPECT_EQ(w.entries[0].StoredName, "sub/noise.bin");
  EXPECT_EQ(w.entries[1].StoredName, "text.txt");
}

// Fault: a block that did not fit ended every format's walk silently, so a cut list looked like
// success. A header cut short, or an entry claiming more bytes than the file holds, is damage.
TEST(ListerRealArchiveFaults, CutHeadersAndOverlongEntriesEndWithTheFamilyError) {
  struct Case {
    THeaderFamily family;
    std::string file;
    int code;
  };
  const std::vector<Case> cases = {
      {hfZip, "jar/bla.jar", kErrBadFileHeader},
      {hfArj, "arj/bla.arj", kErrBadFileHeader},
      {hfLha, "lha/test-msdos-l0.lha", kErrBadFileHeader},
      {hfLha, "lha/test_read_format_lha_header2.lzh", kErrBadFileHeader},
      {hfCab, "cab/test_read_format_cab_1.cab", kErrBadFileHeader},
      {hfRar, "rar4/test_read_format_rar.rar", kErrErrorReadingFile},
      {hfRar, "rar5/test_read_format_rar5_multiple_files.rar", kErrErrorReadingFile},
      {hfTar, "tar/bla.tar", kErrBadFileHeader},
      {hfAce, "ace/Ace.method1.ace", kErrBadFileHeader},
      {hfArc, "arc/Arc.uncompressed.arc", kErrBadFileHeader},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto full = ReadAll(Formats() + c.file);
    Walked whole = WalkBytes(c.family, full);
    ASSERT_EQ(whole.rc, 0);
    ASSERT_GE(whole.entries.size(), 2u);
    // The ZIP walk over local headers (the directory is cut away) reports local offsets.
    const auto second = static_cast<size_t>(whole.entries[1].HeaderOffset);
    for (size_t cut : {second + 5, second - 1}) {
      std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
      Walked w = WalkBytes(c.family, part);
      EXPECT_EQ(w.rc, c.code) << "cut at " << cut;
      if (cut > second) {
        EXPECT_GE(w.entries.size(), 1u);
      }
    }
  }
  // gzip: a member header cut short.
  auto gz = ReadAll(Formats() + "gzip/lorem-ipsum.txt.gz");
  EXPECT_EQ(WalkBytes(hfGZip, {gz.begin(), gz.begin() + 6}).rc, kErrBadFileHeader);
  // HA: two entries, the second cut inside its name.
  std::vector<uint8_t> entry = {0x20, 3, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 0,
                                0,    'a', '.', 't', 0, 2, 1, 0, 'x', 'y', 'z'};
  std::vector<uint8_t> ha = {'H', 'A', 2, 0};
  ha.insert(ha.end(), entry.begin(), entry.end());
  ha.insert(ha.end(), entry.begin(), entry.begin() + 19);
  Walked h = WalkBytes(hfHA, ha);
  EXPECT_EQ(h.rc, kErrBadFileHeader);
  EXPECT_EQ(h.entries.size(), 1u);
}

// Fault: a tar header whose name is empty was taken for the end of the archive; only two zero
// blocks end it.
TEST(ListerRealArchiveFaults, TarHeaderWithAnEmptyNameIsAnEntry) {
  auto tar = ReadAll(Formats() + "tar/bla.tar");
  std::memset(tar.data(), 0, 100);
  std::memset(tar.data() + 148, ' ', 8);
  unsigned sum = 0;
  for (size_t i = 0; i < 512; ++i) sum += tar[i];
  std::snprintf(reinterpret_cast<char*>(tar.data() + 148), 8, "%06o", sum);
  Walked w = WalkBytes(hfTar, tar);
  EXPECT_EQ(w.rc, 0);
  ASSERT_EQ(w.entries.size(), 2u);
  EXPECT_EQ(w.entries[0].StoredName, "");
  EXPECT_EQ(w.entries[1].StoredName, "test2.xml");
}

// Fault (found by the lister fuzz target): a RAR 5 data size of 2^63-1 was added to the header
// size in signed arithmetic (undefined behaviour); it is a bad header.
TEST(ListerRealArchiveFaults, Rar5SizesWhoseSumOverflowsAreABadHeader) {
  std::vector<uint8_t> rar = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
  std::vector<uint8_t> main;
  Vint(main, 0);
  auto mainBlock = Rar5Block(1, 0, main);
  rar.insert(rar.end(), mainBlock.begin(), mainBlock.end());
  auto file = Rar5File("huge.bin", 0, 0x7FFFFFFFFFFFFFFFull, false);
  rar.insert(rar.end(), file.begin(), file.end());
  Walked w = WalkBytes(hfRar, rar);
  EXPECT_EQ(w.rc, kErrErrorReadingFile);
  EXPECT_TRUE(w.entries.empty());
}
