// The ZIP reader on broken and hostile archives: every malformed sample is refused or partly
// extracted with its error, names never climb out of ExtractDir, lying sizes and overlapping
// entries are stopped, failed entries leave nothing under their final names.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "archive/pakvoErrors.h"
#include "unzip_test_support.h"
#include "zip_builder.h"

using namespace unziptest;

namespace {

// No temporary output is ever left behind.
void ExpectNoLeftovers(const std::string& root) {
  if (!std::filesystem::exists(root)) return;
  for (const auto& p : AllPaths(root)) {
    EXPECT_EQ(p.find(".pakvo-"), std::string::npos) << p;
  }
}

std::vector<std::string> Names(const std::map<std::string, std::string>& files) {
  std::vector<std::string> names;
  for (const auto& [n, d] : files) names.push_back(n);
  return names;
}

struct Outcome {
  std::map<std::string, std::string> files;
  std::vector<int> codes;
  int taken;
};

Outcome ExtractFile(const std::string& zip, const std::string& out,
                    const std::function<void(RecordingUnZip&)>& setup = {}) {
  RecordingUnZip unzip;
  unzip.SetArcFile(zip);
  unzip.SetExtractDir(out);
  if (setup) setup(unzip);
  Outcome o;
  o.taken = unzip.Extract();
  o.codes = unzip.Codes();
  o.files = std::filesystem::exists(out) ? Tree(out) : std::map<std::string, std::string>{};
  ExpectNoLeftovers(out);
  return o;
}

Outcome ExtractBytes(TempFolder& tmp, const std::string& name, const std::string& bytes,
                     const std::function<void(RecordingUnZip&)>& setup = {}) {
  WriteFile(tmp.Path(name), bytes);
  return ExtractFile(tmp.Path(name), tmp.Path("out-" + name), setup);
}

}  // namespace

TEST(ZipReaderHostile, EveryMalformedSampleGetsItsError) {
  TempFolder tmp("unzip_malformed");
  const std::vector<int> none;
  const std::vector<int> badHeader = {kErrBadFileHeader};
  const std::vector<int> crc = {kErrFileFailsCRCCheck};
  struct Case {
    const char* file;
    std::vector<int> codes;
    std::vector<std::string> files;  // what stands in the target afterwards
  } cases[] = {
      {"bogus.zip", {kErrHeaderNotFound}, {}},
      {"incons-archive-comment-longer.zip", none, {"a"}},
      {"incons-cdoffset.zip", badHeader, {}},
      {"incons-cdsize-large.zip", none, {"a"}},
      {"incons-central-compression-method.zip", crc, {}},
      {"incons-central-crc.zip", crc, {}},
      {"incons-central-file-comment-longer.zip", none, {"a"}},
      {"incons-central-magic-bad.zip", badHeader, {}},
      {"incons-data.zip", crc, {}},
      {"incons-ef-local-size.zip", crc, {}},
      {"incons-eocd-magic-bad.zip", none, {"a"}},  // found by walking the local headers
      {"incons-eocd64.zip", badHeader, {}},
      {"incons-file-count-high.zip", none, {"a"}},
      {"incons-filename-nul-byte.zip", {kErrInvalidFileName}, {"te"}},
      {"incons-gap-before-cd.zip", none, {"test"}},
      {"incons-local-crc.zip", none, {"a"}},  // the central record's CRC is the right one
      {"incons-local-filename-long.zip", badHeader, {}},
      {"incons-local-magic-bad.zip", badHeader, {}},
      {"incons-stored-size.zip", badHeader, {}},
      {"incons-streamed-2.zip", none, {"-"}},
      {"incons-trailing-garbage.zip", none, {"test"}},
      {"multidisk.zip", {kErrRequiredEventNotAssigned}, {}},
      {"testfile-truncated.zip", none, {"testfile.txt"}},
  };
  int seen = 0;
  for (const auto& c : cases) {
    std::string out = tmp.Path(std::string("out-") + c.file);
    Outcome o = ExtractFile(Sample(std::string("malformed/") + c.file), out);
    EXPECT_EQ(o.codes, c.codes) << c.file;
    std::vector<std::string> names;
    for (const auto& [n, d] : o.files) names.push_back(n);
    EXPECT_EQ(names, c.files) << c.file;
    ++seen;
  }
  // Every file of the folder is in the table.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(Sample("malformed")))
    files += e.is_regular_file();
  EXPECT_EQ(seen, files);
  // Nothing was written beside the targets.
  for (const auto& p : std::filesystem::directory_iterator(tmp.Path())) {
    EXPECT_EQ(p.path().filename().string().rfind("out-", 0), 0u) << p.path();
  }
}

TEST(ZipReaderHostile, NamesThatClimbOutOfExtractDirAreStrippedAndReported) {
  TempFolder tmp("unzip_climb");
  using zipbuild::Stored;
  std::string zip = zipbuild::Build({Stored("../evil1.txt", "1"), Stored("..\\evil2.txt", "2"),
                                     Stored("/abs/evil3.txt", "3"), Stored("C:\\evil4.txt", "4"),
                                     Stored("a/../../evil5.txt", "5"), Stored("d:evil6.txt", "6"),
                                     Stored("ok.txt", "ok"), Stored("../", "")});
  std::filesystem::create_directories(tmp.Path("deep/er"));
  WriteFile(tmp.Path("deep/er/x.zip"), zip);
  RecordingUnZip unzip;
  unzip.SetArcFile(tmp.Path("deep/er/x.zip"));
  unzip.SetExtractDir(tmp.Path("deep/er/out"));
  unzip.Extract();
  EXPECT_EQ(Tree(tmp.Path("deep/er/out")),
            (std::map<std::string, std::string>{{"evil1.txt", "1"},
                                                {"evil2.txt", "2"},
                                                {"abs/evil3.txt", "3"},
                                                {"evil4.txt", "4"},
                                                {"a/evil5.txt", "5"},
                                                {"evil6.txt", "6"},
                                                {"ok.txt", "ok"}}));
  // Only the archive, the target and its content exist: nothing landed above ExtractDir.
  EXPECT_EQ(AllPaths(tmp.Path()).size(), AllPaths(tmp.Path("deep/er/out")).size() + 4);
  std::vector<std::string> reported;
  for (const auto& e : unzip.errors) {
    EXPECT_EQ(e.ECode, kErrInvalidFileName);
    reported.push_back(e.FileName);
  }
  EXPECT_EQ(reported,
            (std::vector<std::string>{"../evil1.txt", "..\\evil2.txt", "/abs/evil3.txt",
                                      "C:\\evil4.txt", "a/../../evil5.txt", "d:evil6.txt", "../"}));
  // Without stored directories only the file name part is used.
  RecordingUnZip flat;
  flat.UseStoredDirs = false;
  flat.SetArcFile(tmp.Path("deep/er/x.zip"));
  flat.SetExtractDir(tmp.Path("deep/er/flat"));
  flat.Extract();
  EXPECT_EQ(Tree(tmp.Path("deep/er/flat")).size(), 7u);
  EXPECT_TRUE(std::filesystem::exists(tmp.Path("deep/er/flat/evil3.txt")));
}

TEST(ZipReaderHostile, LyingSizesAndOverlappingEntriesAreRefused) {
  TempFolder tmp("unzip_lies");
  const std::string big = ziptest::SampleText(200000);
  {
    // A compressed size reaching past the archive, and one reaching into the next entry.
    auto past = zipbuild::Stored("past.txt", "abc");
    past.packed = 0x7FFFFFF0;
    auto into = zipbuild::Deflated("into.txt", big);
    into.packed += 40;
    Outcome o = ExtractBytes(tmp, "sizes.zip",
                             zipbuild::Build({zipbuild::Stored("fine.txt", "fine"), into,
                                              zipbuild::Stored("next.txt", "next"), past}));
    EXPECT_EQ(o.codes, (std::vector<int>{kErrBadFileHeader, kErrBadFileHeader}));
    EXPECT_EQ(o.files,
              (std::map<std::string, std::string>{{"fine.txt", "fine"}, {"next.txt", "next"}}));
  }
  {
    // Two directory records sharing one local header (the overlapping "zip bomb" layout), and a
    // central record pointing into the central directory.
    auto first = zipbuild::Deflated("first.txt", big);
    auto second = first;
    second.name = "second.txt";
    second.writeLocal = false;
    second.localOffset = 0;
    Outcome o = ExtractBytes(tmp, "overlap.zip", zipbuild::Build({first, second}));
    EXPECT_EQ(Names(o.files), std::vector<std::string>{"first.txt"});
    EXPECT_TRUE(o.files["first.txt"] == big);
    EXPECT_EQ(o.codes, std::vector<int>{kErrBadFileHeader});
  }
  {
    // Data that expands far beyond its declared size stops at that size: the CRC fails and
    // nothing stays under the name; the next entry still extracts.
    auto bomb = zipbuild::Deflated("bomb.txt", std::string(50'000'000, 'z'));
    bomb.unpacked = 1000;
    Outcome o =
        ExtractBytes(tmp, "bomb.zip", zipbuild::Build({bomb, zipbuild::Stored("after.txt", "x")}));
    EXPECT_EQ(o.codes, std::vector<int>{kErrFileFailsCRCCheck});
    EXPECT_EQ(o.files, (std::map<std::string, std::string>{{"after.txt", "x"}}));
  }
  {
    // A declared size above the real one: decoding ends with the data and the CRC still judges it.
    auto honest = zipbuild::Deflated("more.txt", "short text");
    honest.unpacked = 0xFFFFFFF0;
    Outcome o = ExtractBytes(tmp, "more.zip", zipbuild::Build({honest}));
    EXPECT_TRUE(o.codes.empty());
    EXPECT_EQ(o.files["more.txt"], "short text");
  }
}

TEST(ZipReaderHostile, FailedEntriesLeaveTheOthersExtractedAndNothingHalfWritten) {
  TempFolder tmp("unzip_fail");
  const std::string src = tmp.Path("src");
  std::filesystem::create_directories(src);
  const std::string text = ziptest::SampleText(40000);
  for (const char* n : {"plain.txt", "bz.txt", "lz.txt", "aes.txt", "zc.txt", "crc.txt"}) {
    WriteFile(src + "/" + n, text + n);
  }
  const std::string zip = tmp.Path("mixed.zip");
  // The wrong passwords below must fail the one-byte header check (they pass it 1 time in 256).
  int made = 0;
  do {
    std::filesystem::remove(zip);
    ASSERT_EQ(Shell("cd " + src + " && 7zz a -tzip " + zip + " plain.txt crc.txt"), 0);
    ASSERT_EQ(Shell("cd " + src + " && 7zz a -tzip -mm=BZip2 " + zip + " bz.txt"), 0);
    ASSERT_EQ(Shell("cd " + src + " && 7zz a -tzip -mm=LZMA " + zip + " lz.txt"), 0);
    ASSERT_EQ(Shell("cd " + src + " && 7zz a -tzip -mem=AES256 -pRight " + zip + " aes.txt"), 0);
    ASSERT_EQ(Shell("cd " + src + " && 7zz a -tzip -mem=ZipCrypto -pRight " + zip + " zc.txt"), 0);
  } while (!WrongPasswordsFailTheCheck(zip, {"Wrong", "nope"}) && ++made < 100);
  // Damage crc.txt's data: its CRC check fails.
  std::string bytes = ReadFile(zip);
  auto entries = ziptest::ListZip(bytes);
  const auto& crcEntry = ziptest::FindEntry(entries, "crc.txt");
  bytes[crcEntry.dataOffset + crcEntry.packedSize / 2] ^= 0x55;
  WriteFile(zip, bytes);

  // An existing file under a failing entry's name stays as it was.
  std::filesystem::create_directories(tmp.Path("out"));
  WriteFile(tmp.Path("out/crc.txt"), "old");
  Outcome o = ExtractFile(zip, tmp.Path("out"), [](RecordingUnZip& u) {
    u.Passwords = {"Wrong"};
    u.PasswordAttempts = 0;
    u.OnGetPassword = [](TObject*, const std::string&, std::string&, bool&) {
      ADD_FAILURE() << "asked with no attempts allowed";
    };
  });
  EXPECT_EQ(Names(o.files), (std::vector<std::string>{"crc.txt", "plain.txt"}));
  EXPECT_TRUE(o.files["plain.txt"] == text + "plain.txt");
  EXPECT_EQ(o.files["crc.txt"], "old");
  std::multiset<int> codes(o.codes.begin(), o.codes.end());
  EXPECT_EQ(codes.count(kErrUnsupportedCompressionMethod), 3u);  // bzip2, LZMA, AES
  EXPECT_EQ(codes.count(kErrFileFailsCRCCheck), 1u);
  EXPECT_EQ(codes.size(), 4u);

  // A wrong password through OnGetPassword is reported as "Invalid password".
  Outcome wrong = ExtractFile(zip, tmp.Path("out2"), [](RecordingUnZip& u) {
    u.FileSpec = {"zc.txt"};
    u.OnGetPassword = [](TObject*, const std::string&, std::string& pw, bool&) { pw = "nope"; };
  });
  EXPECT_EQ(wrong.codes,
            (std::vector<int>{kErrInvalidPassword, kErrInvalidPassword, kErrInvalidPassword}));
  EXPECT_TRUE(wrong.files.empty());

  // A truncated archive: the entries before the cut extract, the cut one is refused.
  ASSERT_EQ(Shell("cd " + src + " && zip -q " + tmp.Path("abc.zip") + " plain.txt zc.txt crc.txt"),
            0);
  std::string abc = ReadFile(tmp.Path("abc.zip"));
  const auto abcEntries = ziptest::ListZip(abc);
  const auto& last = ziptest::FindEntry(abcEntries, "crc.txt");
  Outcome t = ExtractBytes(tmp, "cut.zip", abc.substr(0, last.dataOffset + 100));
  EXPECT_EQ(Names(t.files), (std::vector<std::string>{"plain.txt", "zc.txt"}));
  EXPECT_EQ(t.codes, std::vector<int>{kErrBadFileHeader});
}

// The legacy decoders raise their errors: the run ends with the library's exception, what was
// extracted before stays, and the broken entry leaves nothing behind.
TEST(ZipReaderHostile, BrokenLegacyDataRaisesAndLeavesNothingHalfWritten) {
  TempFolder tmp("unzip_legacy_broken");
  auto shrunk = zipbuild::Stored("broken.txt", std::string("\xff\xff\xff\xff", 4));
  shrunk.method = 1;
  shrunk.unpacked = 100;
  WriteFile(tmp.Path("b.zip"), zipbuild::Build({zipbuild::Stored("first.txt", "1"), shrunk,
                                                zipbuild::Stored("last.txt", "3")}));
  RecordingUnZip unzip;
  unzip.SetArcFile(tmp.Path("b.zip"));
  unzip.SetExtractDir(tmp.Path("out"));
  try {
    unzip.Extract();
    ADD_FAILURE() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Bad block");
  }
  EXPECT_EQ(unzip.Codes(), std::vector<int>{kErrBadBlock});
  EXPECT_EQ(Names(Tree(tmp.Path("out"))), std::vector<std::string>{"first.txt"});
  ExpectNoLeftovers(tmp.Path("out"));
  EXPECT_EQ(unzip.ArchiveFile(), tmp.Path("b.zip"));
}

// Regression: a fuzzed archive whose end record's directory size overflowed the type detection.
TEST(ZipReaderHostile, FuzzFindingsStayHarmless) {
  TempFolder tmp("unzip_fuzz_regressions");
  const std::string dir = std::string(SCHEMION_SOURCE_DIR_TESTS) + "/fuzz/regressions";
  for (const auto& f : std::filesystem::directory_iterator(dir)) {
    Outcome o = ExtractFile(f.path().string(), tmp.Path("out"));
    EXPECT_FALSE(o.codes.empty()) << f.path();
  }
}

// Without an end record the entries are found by walking the local headers; OnCorruptZipHeader
// may refuse that. Unknown methods are reported and the walk goes on.
TEST(ZipReaderHostile, LocalHeaderWalkAndItsConfirmation) {
  TempFolder tmp("unzip_local_walk");
  auto tokenized = zipbuild::Stored("m7.txt", "tokens");
  tokenized.method = 7;
  std::string zip = zipbuild::Build({zipbuild::Stored("a.txt", "aaa"), tokenized,
                                     zipbuild::Deflated("b.txt", ziptest::SampleText(9000))});
  const size_t cd =
      zip.rfind(std::string("PK\x01\x02", 4), zip.rfind(std::string("PK\x05\x06", 4)));
  std::string localsOnly = zip.substr(0, zip.find(std::string("PK\x01\x02", 4)));
  ASSERT_LT(localsOnly.size(), cd);
  WriteFile(tmp.Path("l.zip"), localsOnly);

  THeaderTypeState seen = 0;
  Outcome refused = ExtractFile(tmp.Path("l.zip"), tmp.Path("o1"), [&](RecordingUnZip& u) {
    u.OnCorruptZipHeader = [&](TObject*, THeaderTypeState state, bool&) { seen = state; };
  });
  EXPECT_EQ(seen, HeaderTypeBit(htLocal));
  EXPECT_TRUE(refused.files.empty());
  EXPECT_EQ(refused.taken, 0);

  Outcome walked = ExtractFile(tmp.Path("l.zip"), tmp.Path("o2"), [&](RecordingUnZip& u) {
    u.OnCorruptZipHeader = [&](TObject*, THeaderTypeState, bool& cancel) { cancel = false; };
  });
  EXPECT_EQ(Names(walked.files), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(walked.codes, std::vector<int>{kErrUnsupportedCompressionMethod});
}

// Block 100 carries bits 32-47 of the sizes: a high word that makes the entry larger than the
// archive is read, and the entry refused as lying, where the low words alone would extract.
TEST(ZipReaderHostile, Block100HighWordsAreRead) {
  TempFolder tmp("unzip_block100");
  auto plain = zipbuild::Stored("small.txt", "data");
  auto high = plain;
  high.name = "high.txt";
  high.centralExtra = zipbuild::Block100(1, 1, true);
  auto zero = plain;
  zero.name = "zero.txt";
  zero.centralExtra = zipbuild::Block100(0, 0, true);
  Outcome o = ExtractBytes(tmp, "b100.zip", zipbuild::Build({plain, high, zero}));
  EXPECT_EQ(Names(o.files), (std::vector<std::string>{"small.txt", "zero.txt"}));
  EXPECT_EQ(o.codes, std::vector<int>{kErrBadFileHeader});
}

// Symbolic-link entries are never made links: the link's text lands in a plain file, so an entry
// stored "through" the link cannot reach the folder the link names.
TEST(ZipReaderHostile, SymbolicLinkEntriesCannotLeadOutOfExtractDir) {
  TempFolder tmp("unzip_symlink");
  std::filesystem::create_directories(tmp.Path("outside"));
  const uint32_t linkAttr = 0120777u << 16;
  auto link = zipbuild::Stored("esc", tmp.Path("outside"));
  link.externalAttr = linkAttr;
  auto up = zipbuild::Stored("up", "..");
  up.externalAttr = linkAttr;
  Outcome o = ExtractBytes(tmp, "links.zip",
                           zipbuild::Build({link, zipbuild::Stored("esc/pwned.txt", "x"), up,
                                            zipbuild::Stored("up/pwned2.txt", "y"),
                                            zipbuild::Stored("ok.txt", "ok")}));
  EXPECT_EQ(o.files, (std::map<std::string, std::string>{
                         {"esc", tmp.Path("outside")}, {"up", ".."}, {"ok.txt", "ok"}}));
  EXPECT_EQ(o.codes, (std::vector<int>{kErrErrorOpeningFile, kErrErrorOpeningFile}));
  EXPECT_TRUE(std::filesystem::is_empty(tmp.Path("outside")));
  for (const auto& p : AllPaths(tmp.Path())) {
    EXPECT_FALSE(std::filesystem::is_symlink(tmp.Path(p))) << p;
    EXPECT_EQ(p.find("pwned"), std::string::npos) << p;
  }

  // The same from a real archiver: zip -y stores the links as links.
  std::filesystem::create_directories(tmp.Path("src"));
  WriteFile(tmp.Path("src/a.txt"), "a");
  std::filesystem::create_symlink(tmp.Path("outside"), tmp.Path("src/esc"));
  ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && zip -q -y " + tmp.Path("y.zip") + " a.txt esc"),
            0);
  Outcome y = ExtractFile(tmp.Path("y.zip"), tmp.Path("out-y"));
  EXPECT_TRUE(y.codes.empty());
  EXPECT_EQ(y.files, (std::map<std::string, std::string>{{"a.txt", "a"},
                                                         {"esc", tmp.Path("outside")}}));
  EXPECT_FALSE(std::filesystem::is_symlink(tmp.Path("out-y/esc")));
}

// An entry stored without a name is not dropped in silence: it is reported as an invalid name and
// the others extract. "." and "./" (jar tools store the latter) name the target folder itself.
TEST(ZipReaderHostile, EntriesWithoutANameAreReported) {
  TempFolder tmp("unzip_noname");
  Outcome o = ExtractBytes(tmp, "noname.zip",
                           zipbuild::Build({zipbuild::Stored("", "empty"),
                                            zipbuild::Stored(".", "dot"),
                                            zipbuild::Stored("./", ""),
                                            zipbuild::Stored("ok.txt", "ok")}));
  EXPECT_EQ(o.files, (std::map<std::string, std::string>{{"ok.txt", "ok"}}));
  EXPECT_EQ(o.codes, std::vector<int>{kErrInvalidFileName});
  EXPECT_EQ(o.taken, 1);
}

// A write that fails half way (here the file-size limit of the process) reports "Error writing to
// file" for that entry: nothing stays under its name, an older file there is kept, no temporary
// file is left, and the entries that fit still extract.
TEST(ZipReaderHostile, FailingWritesLeaveNothingHalfWritten) {
  TempFolder tmp("unzip_write_fails");
  const std::string big = ziptest::RandomBytes(300000, 11);
  const std::string zip = zipbuild::Build({zipbuild::Stored("big.bin", big),
                                           zipbuild::Deflated("big.txt", std::string(300000, 'z')),
                                           zipbuild::Stored("small.txt", "small")});
  WriteFile(tmp.Path("w.zip"), zip);
  std::filesystem::create_directories(tmp.Path("out"));
  WriteFile(tmp.Path("out/big.bin"), "old");

  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  RecordingUnZip unzip;
  unzip.SetArcFile(tmp.Path("w.zip"));
  unzip.SetExtractDir(tmp.Path("out"));
  const int taken = unzip.Extract();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(unzip.Codes(), (std::vector<int>{kErrErrorWritingToFile, kErrErrorWritingToFile}));
  EXPECT_EQ(taken, 1);
  EXPECT_EQ(Tree(tmp.Path("out")),
            (std::map<std::string, std::string>{{"big.bin", "old"}, {"small.txt", "small"}}));
  ExpectNoLeftovers(tmp.Path("out"));
}
