// The ZIP reader on archives written by real archivers (zip, 7zz, fastjar) and on the
// sample files (tests/data): extracted bytes, names and dates match, CRCs are verified.
#include <gtest/gtest.h>
#include <utime.h>
#include <zlib.h>

#include <ctime>

#include "archive/pakvoErrors.h"
#include "unzip_test_support.h"

using namespace unziptest;

namespace {

// 2021-06-15 10:20:30 local time: even seconds survive the DOS date-time.
time_t StampTime() {
  std::tm t{};
  t.tm_year = 121;
  t.tm_mon = 5;
  t.tm_mday = 15;
  t.tm_hour = 10;
  t.tm_min = 20;
  t.tm_sec = 30;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

// A source folder with text, binary, empty and nested files, all stamped with StampTime().
std::map<std::string, std::string> MakeSource(const std::string& root) {
  std::map<std::string, std::string> files = {
      {"a.txt", ziptest::SampleText(150000)},
      {"bin.dat", ziptest::RandomBytes(70000, 3)},
      {"empty.txt", ""},
      {"sub/dir/deep.txt", ziptest::SampleText(5000, 9)},
      {"sub/b c.txt", "name with a blank\n"},
  };
  for (const auto& [name, data] : files) {
    std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
    WriteFile(root + "/" + name, data);
    struct utimbuf times {
      StampTime(), StampTime()
    };
    ::utime((root + "/" + name).c_str(), &times);
  }
  return files;
}

// Extracts `archive` into `out` and checks the files and their dates against `expected`.
void ExpectExtracts(RecordingUnZip& unzip, const std::string& archive, const std::string& out,
                    const std::map<std::string, std::string>& expected, bool checkDates = true) {
  unzip.SetArcFile(archive);
  unzip.SetExtractDir(out);
  int crcPassed = 0;
  unzip.OnEnd = [&](TObject*, const std::string&, bool pass) { crcPassed += pass ? 1 : 0; };
  int taken = unzip.Extract();
  EXPECT_TRUE(unzip.errors.empty())
      << archive << ": first error " << unzip.Codes()[0] << " " << unzip.errors[0].FileName;
  EXPECT_EQ(Tree(out), expected) << archive;
  EXPECT_GE(taken, static_cast<int>(expected.size()));
  EXPECT_GE(crcPassed, static_cast<int>(expected.size()));
  if (checkDates) {
    for (const auto& [name, data] : expected) {
      EXPECT_EQ(MTime(out + "/" + name), StampTime()) << archive << " " << name;
    }
  }
}

}  // namespace

TEST(ZipReaderInterop, InfoZipStoredAndEveryDeflateLevel) {
  TempFolder tmp("unzip_interop");
  auto files = MakeSource(tmp.Path("src"));
  for (const char* level : {"-0", "-1", "-6", "-9"}) {
    std::string zip = tmp.Path(std::string("lvl") + level + ".zip");
    ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && zip -X -r " + level + " " + zip + " ."), 0);
    RecordingUnZip unzip;
    ExpectExtracts(unzip, zip, tmp.Path(std::string("out") + level), files);
    EXPECT_EQ(unzip.ArcType, atZip);
  }
}

TEST(ZipReaderInterop, InfoZipEncryptedPipedAndZip64) {
  TempFolder tmp("unzip_interop");
  auto files = MakeSource(tmp.Path("src"));
  std::string src = tmp.Path("src");

  // -P: traditional encryption, password found in Passwords.
  ASSERT_EQ(Shell("cd " + src + " && zip -X -r -P 's3cret pass' " + tmp.Path("enc.zip") + " ."), 0);
  RecordingUnZip enc;
  enc.Passwords = {"wrong", "s3cret pass"};
  ExpectExtracts(enc, tmp.Path("enc.zip"), tmp.Path("out-enc"), files);

  // Data read from a pipe: sizes and CRC follow the data in a descriptor (flag bit 3), also
  // encrypted.
  ASSERT_EQ(Shell("cat " + src + "/a.txt | zip -q " + tmp.Path("pipe.zip") + " -"), 0);
  ASSERT_EQ(Shell("cat " + src + "/bin.dat | zip -q -P pw " + tmp.Path("pipe-enc.zip") + " -"), 0);
  RecordingUnZip pipe;
  ExpectExtracts(pipe, tmp.Path("pipe.zip"), tmp.Path("out-pipe"), {{"-", files["a.txt"]}}, false);
  RecordingUnZip pipeEnc;
  pipeEnc.Passwords = {"pw"};
  ExpectExtracts(pipeEnc, tmp.Path("pipe-enc.zip"), tmp.Path("out-pipe-enc"),
                 {{"-", files["bin.dat"]}}, false);

  // -fz: the end record leaves the directory offset to the Zip64 end record (0xFFFFFFFF), which
  // the reader does not read: the archive is refused with "Bad file header" and nothing is written.
  ASSERT_EQ(Shell("cd " + src + " && zip -X -r -fz " + tmp.Path("z64.zip") + " ."), 0);
  RecordingUnZip z64;
  z64.SetArcFile(tmp.Path("z64.zip"));
  z64.SetExtractDir(tmp.Path("out-z64"));
  EXPECT_EQ(z64.Extract(), 0);
  EXPECT_EQ(z64.Codes(), std::vector<int>{kErrBadFileHeader});
  EXPECT_FALSE(std::filesystem::exists(tmp.Path("out-z64")));
}

TEST(ZipReaderInterop, SevenZipDeflateCopyAndZipCrypto) {
  TempFolder tmp("unzip_interop");
  auto files = MakeSource(tmp.Path("src"));
  std::string src = tmp.Path("src");
  struct Case {
    const char* name;
    const char* switches;
  } cases[] = {{"deflate", "-mm=Deflate -mx=9"},
               {"copy", "-mm=Copy"},
               {"crypto", "-mm=Deflate -mem=ZipCrypto -pSecret"}};
  for (const auto& c : cases) {
    std::string zip = tmp.Path(std::string(c.name) + ".zip");
    ASSERT_EQ(Shell("cd " + src + " && 7zz a -tzip " + c.switches + " " + zip + " ."), 0);
    RecordingUnZip unzip;
    unzip.Passwords = {"Secret"};
    ExpectExtracts(unzip, zip, tmp.Path(std::string("out-") + c.name), files);
  }
}

TEST(ZipReaderInterop, FastjarArchiveIsAJarWithDirectories) {
  TempFolder tmp("unzip_interop");
  auto files = MakeSource(tmp.Path("src"));
  std::string jar = tmp.Path("x.jar");
  ASSERT_EQ(Shell("fastjar cf " + jar + " -C " + tmp.Path("src") + " ."), 0);
  RecordingUnZip unzip;
  unzip.SetArcFile(jar);
  EXPECT_EQ(unzip.ArcType, atJar);
  unzip.CreateStoredDirs = true;
  unzip.SetExtractDir(tmp.Path("out"));
  unzip.Extract();
  EXPECT_TRUE(unzip.errors.empty());
  auto tree = Tree(tmp.Path("out"));
  EXPECT_TRUE(tree.count("META-INF/MANIFEST.MF"));
  tree.erase("META-INF/MANIFEST.MF");
  EXPECT_EQ(tree, files);
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Path("out/sub/dir")));
}

TEST(ZipReaderInterop, LegacySamplesExtractToTheirReferences) {
  TempFolder tmp("unzip_legacy");
  const std::string ref = Sample("legacy/sharpcompress-reference/");
  std::map<std::string, std::string> sharp = {{"TECT.TXT", ReadFile(ref + "TECT.TXT")},
                                              {"TEST.EXE", ReadFile(ref + "TEST.EXE")},
                                              {"TEST.JPG", ReadFile(ref + "TEST.JPG")}};
  for (int f = 1; f <= 4; ++f) {
    RecordingUnZip unzip;
    std::string name = "Zip.reduce" + std::to_string(f) + ".zip";
    ExpectExtracts(unzip, Sample("legacy/" + name), tmp.Path(name), sharp, false);
  }
  const std::string first = ReadFile(Sample("legacy/zip2-first.txt"));
  for (auto [zip, entry] : {std::pair{"zip2-shrink.zip", "FIRST.TXT"},
                            {"zip2-reduce.zip", "first.txt"},
                            {"zip2-implode.zip", "first.txt"}}) {
    RecordingUnZip unzip;
    ExpectExtracts(unzip, Sample(std::string("legacy/") + zip), tmp.Path(zip), {{entry, first}},
                   false);
  }
  // Samples without a reference file: the CRC check is the judge.
  for (const char* zip : {"SHRUNK.ZIP", "imploding-4Kdict-2trees.zip",
                          "imploding-8Kdict-3trees.zip", "lorem-ipsum-implode.zip"}) {
    RecordingUnZip unzip;
    unzip.SetArcFile(Sample(std::string("legacy/") + zip));
    unzip.SetExtractDir(tmp.Path(zip));
    int passed = 0;
    unzip.OnEnd = [&](TObject*, const std::string&, bool ok) { passed += ok; };
    int taken = unzip.Extract();
    EXPECT_TRUE(unzip.errors.empty()) << zip;
    EXPECT_EQ(passed, taken) << zip;
    EXPECT_GT(taken, 0) << zip;
  }
}

TEST(ZipReaderInterop, EncryptionAndZip64Samples) {
  TempFolder tmp("unzip_samples");
  {
    RecordingUnZip unzip;
    unzip.Passwords = {"foo"};
    ExpectExtracts(unzip, Sample("zip/encrypt.zip"), tmp.Path("e1"),
                   {{"encrypted", "foo\n"}, {"plain", "foo\n"}}, false);
  }
  {
    RecordingUnZip unzip;
    unzip.Passwords = {"sample", "1234"};  // "sample" fails the check byte of the time-based header
    unzip.SetArcFile(Sample("zip/encrypt-1234.zip"));
    unzip.SetExtractDir(tmp.Path("e2"));
    EXPECT_EQ(unzip.Extract(), 1);
    EXPECT_TRUE(unzip.errors.empty());
    auto tree = Tree(tmp.Path("e2"));
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(tree["sample.txt"].data()),
                    static_cast<uInt>(tree["sample.txt"].size())),
              0x1c63b05bu);
  }
  {
    RecordingUnZip unzip;
    unzip.Passwords = {"12345678"};
    unzip.SetArcFile(Sample("zip/test_read_format_zip_traditional_encryption_data.zip"));
    unzip.SetExtractDir(tmp.Path("e3"));
    EXPECT_EQ(unzip.Extract(), 2);
    EXPECT_TRUE(unzip.errors.empty());
    auto tree = Tree(tmp.Path("e3"));
    EXPECT_EQ(tree["bar.txt"].size(), 495u);
    EXPECT_EQ(tree["foo.txt"].size(), 495u);
  }
  for (auto [zip, crc, size] : {std::tuple{"zip/test_read_format_zip_zip64a.zip", 0xfb32c645u, 6u},
                                {"zip/zip64.zip", 0xddeaa107u, 2u}}) {
    RecordingUnZip unzip;
    unzip.SetArcFile(Sample(zip));
    std::string out = tmp.Path(std::to_string(size));
    unzip.SetExtractDir(out);
    EXPECT_EQ(unzip.Extract(), 1) << zip;
    EXPECT_TRUE(unzip.errors.empty()) << zip;
    auto tree = Tree(out);
    ASSERT_EQ(tree.size(), 1u) << zip;
    const std::string& data = tree.begin()->second;
    EXPECT_EQ(data.size(), size);
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())),
              crc);
  }
}

TEST(ZipReaderInterop, Deflate64SamplesAndSevenZipDeflate64) {
  TempFolder tmp("unzip_d64");
  {
    RecordingUnZip unzip;
    ExpectExtracts(unzip, Sample("deflate64/COMPRESS-380.zip"), tmp.Path("c380"),
                   {{"input2", ReadFile(Sample("deflate64/COMPRESS-380-input"))}}, false);
  }
  for (const char* zip : {"deflate64/deflate64.zip", "deflate64/lorem-ipsum-deflate64.zip"}) {
    RecordingUnZip unzip;
    unzip.SetArcFile(Sample(zip));
    unzip.SetExtractDir(tmp.Path(zip));
    int passed = 0;
    unzip.OnEnd = [&](TObject*, const std::string&, bool ok) { passed += ok; };
    int taken = unzip.Extract();
    EXPECT_TRUE(unzip.errors.empty()) << zip;
    EXPECT_EQ(passed, taken) << zip;
  }
  EXPECT_EQ(ReadFile(tmp.Path("deflate64/deflate64.zip/first.txt")).size(), 34u);
  EXPECT_EQ(std::filesystem::file_size(tmp.Path("deflate64/deflate64.zip/binary.wmv")), 2703788u);

  auto files = MakeSource(tmp.Path("src"));
  ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && 7zz a -tzip -mm=Deflate64 -mx=9 " +
                  tmp.Path("d64.zip") + " ."),
            0);
  RecordingUnZip unzip;
  ExpectExtracts(unzip, tmp.Path("d64.zip"), tmp.Path("out"), files);
}

TEST(ZipReaderInterop, NamesMarkedUtf8AreNotReadAsOemText) {
  TempFolder tmp("unzip_utf8");
  std::filesystem::create_directories(tmp.Path("src"));
  WriteFile(tmp.Path("src/\xc3\xbcn\xc3\xaf.txt"), "umlaut");
  WriteFile(tmp.Path("src/plain.txt"), "plain");
  // 7zz marks non-ASCII names as UTF-8 (general-purpose bit 11).
  ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && 7zz a -tzip " + tmp.Path("u.zip") + " ."), 0);
  RecordingUnZip unzip;
  ExpectExtracts(unzip, tmp.Path("u.zip"), tmp.Path("out"),
                 {{"\xc3\xbcn\xc3\xaf.txt", "umlaut"}, {"plain.txt", "plain"}}, false);
}
