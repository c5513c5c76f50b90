// Archive type detection on files written by real archivers, on the sample files, and on files
// that are no archive at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "TestFiles.h"
#include "archive/pakvoRegister.h"
#include "platform/files/SimulatedDrive.h"

using archive_test::ReadFile;
using archive_test::TempDir;
using archive_test::WriteFile;
namespace fs = std::filesystem;

namespace {

const std::string kFormats = std::string(SCHEMION_TEST_DATA_DIR) + "/archives/formats/";

// Runs a shell command in `dir`; the archivers' own output is not wanted.
int Shell(const std::string& dir, const std::string& command) {
  std::string line = "cd '" + dir + "' && " + command + " >/dev/null 2>&1";
  return std::system(line.c_str());
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

struct Detected {
  TArcType type;
  int64_t offset;
  uint8_t flags;
};

Detected Detect(const std::string& file) {
  TRegisterPakvo reg;
  reg.SetArcFile(file);
  return {reg.ArcType, reg.Offset, reg.ZipFlags};
}

TArcType TypeOf(const std::string& file) { return Detect(file).type; }

std::string Name(TArcType t) { return std::string(ArcTypeName(t)); }

class RealArchivers : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.Path("src/a.txt"), "The quick brown fox jumps over the lazy dog.\n");
    WriteFile(dir.Path("src/b.bin"), RandomBytes(3000, 1));
    WriteFile(dir.Path("src/sub/c.txt"), std::string(5000, 'c'));
  }
  std::string Src() const { return dir.Path("src"); }
  TempDir dir;
};

}  // namespace

TEST_F(RealArchivers, ZipFamily) {
  ASSERT_EQ(Shell(Src(), "zip -qr ../plain.zip ."), 0);
  Detected d = Detect(dir.Path("plain.zip"));
  EXPECT_EQ(Name(d.type), Name(atZip));
  EXPECT_EQ(d.offset, 0);
  EXPECT_EQ(d.flags, 7);

  ASSERT_EQ(Shell(Src(), "7zz a -tzip ../seven.zip ."), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("seven.zip"))), Name(atZip));

  ASSERT_EQ(Shell(Src(), "fastjar cf ../lib.jar a.txt sub"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("lib.jar"))), Name(atJar));

  // 1,000 bytes of something else in front of a ZIP.
  WriteFile(dir.Path("front.zip"), std::string(1000, 'x') + ReadFile(dir.Path("plain.zip")));
  d = Detect(dir.Path("front.zip"));
  EXPECT_EQ(Name(d.type), Name(atZip));
  EXPECT_EQ(d.offset, 1000);
  EXPECT_EQ(d.flags, 5) << "the directory is not where the end record says";
}

TEST_F(RealArchivers, SplitZipOnAFixedDiskIsMultiVolume) {
  WriteFile(dir.Path("src/big.bin"), RandomBytes(200000, 2));
  ASSERT_EQ(Shell(Src(), "zip -q -0 -s 64k ../split.zip big.bin a.txt"), 0);
  ASSERT_TRUE(fs::exists(dir.Path("split.z01")));
  EXPECT_EQ(Name(TypeOf(dir.Path("split.z01"))), Name(atZipMV));
  // The last part begins inside entry data; its end record makes it a ZIP.
  TArcType last = TypeOf(dir.Path("split.zip"));
  EXPECT_TRUE(last == atZip || last == atZipMV) << Name(last);
}

TEST_F(RealArchivers, SelfExtractingZipOnAnElfStub) {
  ASSERT_EQ(Shell(Src(), "zip -qr ../payload.zip ."), 0);
  std::string stub = ReadFile("/usr/bin/unzipsfx");
  ASSERT_FALSE(stub.empty());
  WriteFile(dir.Path("sfx"), stub + ReadFile(dir.Path("payload.zip")));
  ASSERT_EQ(Shell(dir.Path(), "zip -A sfx"), 0);
  ASSERT_EQ(Shell(dir.Path(), "unzip -tq sfx"), 0);
  Detected d = Detect(dir.Path("sfx"));
  EXPECT_EQ(Name(d.type), Name(atZipExe));
  EXPECT_EQ(d.offset, static_cast<int64_t>(stub.size()));
  // The stub alone is no archive.
  EXPECT_EQ(Name(TypeOf("/usr/bin/unzipsfx")), Name(atNA));
}

TEST_F(RealArchivers, OtherFormats) {
  ASSERT_EQ(Shell(Src(), "arj a ../x.arj a.txt b.bin"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("x.arj"))), Name(atArj));
  for (int level = 0; level <= 2; ++level) {
    std::string name = "h" + std::to_string(level) + ".lzh";
    ASSERT_EQ(Shell(Src(), "jlha a" + std::to_string(level) + " ../" + name + " a.txt b.bin"), 0);
    EXPECT_EQ(Name(TypeOf(dir.Path(name))), Name(atLha)) << name;
  }
  ASSERT_EQ(Shell(Src(), "arc a ../x.arc a.txt b.bin"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("x.arc"))), Name(atArc));
  ASSERT_EQ(Shell(Src(), "gcab -c ../x.cab a.txt b.bin"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("x.cab"))), Name(atCab));
  ASSERT_EQ(Shell(Src(), "gcab -cz ../z.cab a.txt b.bin"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("z.cab"))), Name(atCab));
  for (const char* format : {"gnu", "posix", "v7", "ustar", "oldgnu"}) {
    std::string name = std::string(format) + ".tar";
    ASSERT_EQ(Shell(Src(), std::string("tar --format=") + format + " -cf ../" + name + " a.txt sub"), 0);
    EXPECT_EQ(Name(TypeOf(dir.Path(name))), Name(atTar)) << format;
  }
  ASSERT_EQ(Shell(Src(), "tar --format=gnu -V SCHEMION -cf ../label.tar a.txt"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("label.tar"))), Name(atTar));
  ASSERT_EQ(Shell(Src(), "cp b.bin ../b.bin && gzip ../b.bin"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("b.bin.gz"))), Name(atGZip));
  ASSERT_EQ(Shell(Src(), "tar -czf ../t.tgz a.txt"), 0);
  EXPECT_EQ(Name(TypeOf(dir.Path("t.tgz"))), Name(atGZip));
}

TEST(SharedSamples, EveryFormatIsRecognised) {
  struct Case {
    const char* file;
    TArcType type;
  } cases[] = {
      {"rar4/test_read_format_rar.rar", atRar},
      {"rar4/test_read_format_rar_multivolume.part0002.rar", atRar},
      {"rar5/test_read_format_rar5_stored.rar", atRar},
      {"rar5/test_read_format_rar5_compressed.rar", atRar},
      {"cab/test_read_format_cab_1.cab", atCab},
      {"cab/test_read_format_cab_2.cab", atCab},
      {"cab/test_read_format_cab_multi.p2.cab", atCab},
      {"lha/test-msdos-l0.lha", atLha},
      {"lha/test-msdos-l1.lha", atLha},
      {"lha/test-msdos-l2.lha", atLha},
      {"lha/test_read_format_lha_header3.lzh", atLha},
      {"lha/test_read_format_lha_lh7.lzh", atLha},
      {"ace/Ace.method1.ace", atAce},
      {"ace/Ace.store.split.ace", atAce},
      {"arc/Arc.crunched.arc", atArc},
      {"arc/Arc.uncompressed.arc", atArc},
      {"arj/Arj.method1.arj", atArj},
      {"arj/bla.unix.arj", atArj},
      {"gzip/lorem-ipsum.txt.gz", atGZip},
      {"gzip/test_compat_gzip_1.tgz", atGZip},
      {"jar/bla.jar", atJar},
      {"jar/test_read_format_zip_jar.jar", atJar},
      {"tar/test-times-gnu.tar", atTar},
      {"tar/test-times-posix.tar", atTar},
      {"tar/test-times-v7.tar", atTar},
      {"tar/test-times-pax-folder.tar", atTar},
      {"uue/test_read_format_rar5_stored.rar.uu", atUUE},
      {"sfx/test_read_format_rar_sfx.exe", atRarExe},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Name(TypeOf(kFormats + c.file)), Name(c.type)) << c.file;
  }
  // A ZIP behind 1 KB of other data.
  Detected d = Detect(kFormats + "sfx/test_read_format_zip_sfx.bin");
  EXPECT_EQ(Name(d.type), Name(atZip));
  EXPECT_GT(d.offset, 0);
}

TEST(SharedSamples, ZooHeader) {
  TempDir dir;
  std::string zoo = "ZOO 2.10 Archive.\x1a";
  zoo += std::string("\0\0\xdc\xa7\xc4\xfd\x22\0\0\0\xde\xff\xff\xff\x02\x00\x00", 17);
  zoo += std::string(40, '\0');
  WriteFile(dir.Path("x.zoo"), zoo);
  EXPECT_EQ(Name(TypeOf(dir.Path("x.zoo"))), Name(atZoo));
}

TEST(SharedSamples, VolumeNumbering) {
  TempDir dir;
  std::string arj = ReadFile(kFormats + "arj/bla.arj");
  for (const char* name : {"v.arj", "v.a01", "v.a99", "v"}) WriteFile(dir.Path(name), arj);
  TRegisterPakvo reg;
  reg.SetArcFile(dir.Path("v.arj"));
  EXPECT_EQ(reg.VolumeNumber, 1u);
  EXPECT_EQ(reg.VolumeLetter, 'a');
  reg.SetArcFile(dir.Path("v.a01"));
  EXPECT_EQ(reg.VolumeNumber, 2u);
  EXPECT_EQ(reg.VolumeLetter, 'a');
  reg.SetArcFile(dir.Path("v.a99"));
  EXPECT_EQ(reg.VolumeNumber, 100u);
  reg.SetArcFile(dir.Path("v"));
  EXPECT_EQ(reg.VolumeNumber, 1u);

  WriteFile(dir.Path("s.c00"), ReadFile(kFormats + "ace/Ace.method1.ace"));
  reg.SetArcFile(dir.Path("s.c00"));
  EXPECT_EQ(reg.ArcType, atAce);
  EXPECT_EQ(reg.VolumeNumber, 1u);
  EXPECT_EQ(reg.VolumeLetter, 'c');
  reg.SetArcFile(kFormats + "rar4/test_read_format_rar.rar");
  EXPECT_EQ(reg.VolumeNumber, 0u);
  EXPECT_EQ(reg.VolumeLetter, 'q');
}

TEST(NoArchive, GivesNotAvailableWithoutExceptions) {
  TempDir dir;
  WriteFile(dir.Path("text.txt"), "Just a few lines of text.\nNothing to see here.\n");
  WriteFile(dir.Path("random.bin"), RandomBytes(100000, 3));
  WriteFile(dir.Path("empty"), "");
  WriteFile(dir.Path("short.zip"), std::string("PK\x03\x04", 4) + std::string(15, '\0'));
  WriteFile(dir.Path("zeros"), std::string(4096, '\0'));
  EXPECT_EQ(Name(TypeOf(dir.Path("text.txt"))), Name(atNA));
  EXPECT_EQ(Name(TypeOf(dir.Path("empty"))), Name(atNA));
  EXPECT_EQ(Name(TypeOf(dir.Path("short.zip"))), Name(atNA));
  EXPECT_EQ(Name(TypeOf(dir.Path("zeros"))), Name(atNA));
  TArcType random = TypeOf(dir.Path("random.bin"));
  EXPECT_TRUE(IsNoArchiveType(random)) << Name(random);

  TRegisterPakvo reg;
  reg.SetArcFile(dir.Path("text.txt"));
  EXPECT_EQ(reg.ArcFile, dir.Path("text.txt"));
  reg.SetArcFile(dir.Path("missing.zip"));
  EXPECT_EQ(reg.ArcType, atNA);
  EXPECT_EQ(reg.ArcFile, "");
  reg.SetArcFile("");
  EXPECT_EQ(reg.ArcType, atNA);
  reg.SetArcFile(dir.Path());  // a directory
  EXPECT_EQ(reg.ArcType, atNA);
  reg.SetArcFile("/proc/self/mem");  // opens, but nothing can be read from its start
  EXPECT_EQ(reg.ArcType, atNA);

  // An unreadable file: atNA for an ordinary user; root reads it anyway.
  fs::copy_file(kFormats + "arj/bla.arj", dir.Path("locked.arj"));
  chmod(dir.Path("locked.arj").c_str(), 0);
  reg.SetArcFile(dir.Path("locked.arj"));
  EXPECT_EQ(reg.ArcType, geteuid() == 0 ? atArj : atNA);

  // Redetect raises when the bound file went away.
  reg.SetArcFile(kFormats + "arj/bla.arj");
  EXPECT_EQ(reg.ArcType, atArj);
  WriteFile(dir.Path("gone.arj"), ReadFile(kFormats + "arj/bla.arj"));
  reg.SetArcFile(dir.Path("gone.arj"));
  fs::remove(dir.Path("gone.arj"));
  try {
    reg.Redetect();
    FAIL() << "Redetect of a removed file did not raise";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Error opening file");
  }
  EXPECT_EQ(reg.ArcType, atNA);
}

TEST(NoArchive, TruncatedAndCorruptZipsAreSafe) {
  TempDir dir;
  WriteFile(dir.Path("src/a.txt"), std::string(20000, 'a'));
  ASSERT_EQ(Shell(dir.Path("src"), "zip -q ../z.zip a.txt"), 0);
  std::string zip = ReadFile(dir.Path("z.zip"));
  // Every prefix and a file with the end record's offsets pointing far away.
  for (size_t cut : {size_t{20}, size_t{30}, size_t{100}, zip.size() / 2, zip.size() - 1}) {
    WriteFile(dir.Path("cut.zip"), zip.substr(0, cut));
    TArcType t = TypeOf(dir.Path("cut.zip"));
    EXPECT_TRUE(t == atZip || IsNoArchiveType(t)) << cut;
  }
  std::string bad = zip;
  size_t end = bad.rfind(std::string("PK\x05\x06", 4));
  ASSERT_NE(end, std::string::npos);
  for (int i = 12; i < 20; ++i) bad[end + i] = '\xff';
  WriteFile(dir.Path("bad.zip"), bad);
  Detected d = Detect(dir.Path("bad.zip"));
  EXPECT_EQ(d.type, atZip);
  EXPECT_GE(d.offset, 0);
}

TEST(SpannedDisk, LabelledRemovableDiskIsASpannedZip) {
  TempDir dir;
  WriteFile(dir.Path("src/a.txt"), RandomBytes(200000, 4));
  ASSERT_EQ(Shell(dir.Path("src"), "zip -q -0 -s 64k ../split.zip a.txt"), 0);
  platform::files::SimulatedDrive drive(dir.Path("A"), dir.Path("store"));
  drive.InsertDisk("one");
  drive.SetLabel("pkback# 001");
  fs::copy_file(dir.Path("split.z01"), dir.Path("A/split.zip"));
  TRegisterPakvo reg;
  reg.SetVolumes(&drive);
  reg.SetArcFile(dir.Path("A/split.zip"));
  EXPECT_EQ(Name(reg.ArcType), Name(atZipDS));
  drive.SetLabel("BACKUP");
  reg.Redetect();
  EXPECT_EQ(Name(reg.ArcType), Name(atZipMV));
  drive.SetWriteProtected(true);
  reg.Redetect();
  // A drive that cannot be examined is no spanned set; the scan still finds the local header.
  EXPECT_EQ(Name(reg.ArcType), Name(atZip));
}

TEST(RecordSignatures, KindsAndTar) {
  EXPECT_EQ(HeaderSig(htLocal), 0x04034B50u);
  EXPECT_EQ(HeaderSig(htCentral), 0x02014B50u);
  EXPECT_EQ(HeaderSig(htEnding), 0x06054B50u);
  EXPECT_EQ(HeaderSig(htNone), 0x08074B50u);
  EXPECT_EQ(HeaderKindOf(0x06055B50, htEnding), htEnding);
  EXPECT_EQ(HeaderKindOf(0x06054B50, htEnding), htEnding);
  EXPECT_EQ(HeaderKindOf(0x06054B50, htLocal), htNone);
  EXPECT_EQ(HeaderKindOf(0x04034B50, htLocal), htLocal);
  EXPECT_EQ(HeaderKindOf(0x08074B50, htNone), htNone);
  EXPECT_TRUE(IsZipHeaderSig(0x02014B50));
  EXPECT_FALSE(IsZipHeaderSig(0x06054B50));
  uint8_t header[512] = {};
  EXPECT_FALSE(TarHeaderChecksumOk(header));
}

// Damaged copies of every sample: cut short, bytes overwritten, headers filled with 0xFF. The
// detector answers with some type and nothing else happens.
TEST(NoArchive, DamagedSamplesAreSafe) {
  TempDir dir;
  std::mt19937 rng(11);
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kFormats)) {
    if (!entry.is_regular_file()) continue;
    std::string data = ReadFile(entry.path().string());
    for (int round = 0; round < 12; ++round) {
      std::string bad = data;
      if (round % 3 == 0 && bad.size() > 1) bad.resize(rng() % bad.size());
      for (int k = 0; k < 8 && !bad.empty(); ++k) bad[rng() % bad.size()] = static_cast<char>(rng());
      if (round % 3 == 2)
        for (size_t i = 0; i < bad.size() && i < 64; ++i) bad[i] = '\xff';
      if (round == 4 && bad.size() > 4) {
        size_t end = bad.rfind(std::string("PK\x05\x06", 4));
        if (end != std::string::npos)
          for (size_t i = end + 4; i < bad.size() && i < end + 22; ++i) bad[i] = '\xff';
      }
      if ((round == 5 || round == 7) && bad.size() > 64) {
        // Executable headers with random fields over the damaged data.
        bad.replace(0, 4, round == 5 ? std::string("MZ\x90\x00", 4) : std::string("\x7f" "ELF", 4));
        bad[4] = static_cast<char>(1 + rng() % 2);
        bad[5] = 1;
      }
      WriteFile(dir.Path("bad.bin"), bad);
      TRegisterPakvo reg;
      EXPECT_NO_THROW(reg.SetArcFile(dir.Path("bad.bin")));
      EXPECT_LE(static_cast<int>(reg.ArcType), static_cast<int>(atZoo));
      EXPECT_GE(reg.Offset, IsNoArchiveType(reg.ArcType) ? -1 : 0);
    }
    ++files;
  }
  EXPECT_GT(files, 40);
}
