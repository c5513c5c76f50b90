// The lister component TPakvo: list mode and event mode over every format, volumes of ARJ sets and
// split ZIP sets, missing volumes, damaged ZIP directories, masks, and its guard rails.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <sstream>

#include "archive/pakvoErrors.h"
#include "archive/pakvoPakvo.h"
#include "lister_test_util.h"
#include "zip_builder.h"
#include "platform/files/SimulatedDrive.h"

using namespace listertest;

namespace {

struct ErrorLog {
  std::vector<int> codes;
  std::vector<std::string> extended;
  void Attach(TPakvo& p) {
    p.OnError = [this](TObject*, const std::string&, const std::string& x, const std::string&,
                       int code) {
      codes.push_back(code);
      extended.push_back(x);
    };
  }
};

std::vector<std::string> List(const std::string& path, bool showDirs = false,
                              TArcType* type = nullptr, bool* ok = nullptr) {
  TPakvo p;
  p.ShowEmptyDirs = showDirs;
  p.SetArcFile(path);
  if (type) *type = p.ArcType;
  std::vector<std::string> names;
  bool result = p.GetFileList(&names);
  if (ok) *ok = result;
  return names;
}

// The file names `unzip -Z1` lists for a ZIP, without its directories.
std::vector<std::string> ZipFileNames(const std::string& path) {
  std::vector<std::string> names;
  for (const std::string& l : ShellLines("unzip -Z1 " + path))
    if (!l.empty() && l.back() != '/') names.push_back(l);
  return names;
}

// An OnNextVolume handler that goes on with each proposed volume while it exists, noting its
// file name in `asked` (with the volume id first and "?" after a missing one when withId).
TPakvo::TOnNextVolume NoteVolumes(std::vector<std::string>& asked, bool withId) {
  return [&asked, withId](TObject*, std::string& name, const std::string& id, bool exists,
                          bool& cancel) {
    const std::string file = fs::path(name).filename().string();
    asked.push_back(withId ? id + ":" + file + (exists ? "" : "?") : file);
    cancel = !exists;
  };
}

std::string DateText(TDateTime dt) {
  int y, mo, d, h, mi, s;
  DecodeDateTime(dt, y, mo, d, h, mi, s);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

struct Seen {
  std::string name, method, volume, date;
  int64_t packed = 0, unpacked = 0;
  uint32_t crc = 0;
  int ratio = 0, offset = 0, filenum = 0;
  bool encrypted = false;
};

std::vector<Seen> Events(TPakvo& p) {
  std::vector<Seen> seen;
  p.OnRead = [&](TObject*, int offset, int filenum) {
    Seen s;
    s.name = p.CurrentFile;
    s.method = p.CompressMethodName;
    s.volume = p.VolumeName;
    s.date = DateText(p.EntryDate);
    s.packed = p.PackedSize;
    s.unpacked = p.UnpackedSize;
    s.crc = p.EntryCrc;
    s.ratio = p.Ratio;
    s.offset = offset;
    s.filenum = filenum;
    s.encrypted = p.Encrypted;
    seen.push_back(s);
  };
  p.Activate();
  return seen;
}

}  // namespace

TEST(ListerComponent, ListModeNamesEveryDetectedFormatInHeaderOrder) {
  struct Case {
    std::string file;
    TArcType type;
    std::vector<std::string> names;  // without directory entries
  };
  const std::vector<Case> cases = {
      {"jar/bla.jar",
       atJar,
       {"META-INF/MANIFEST.MF", "test2.xml", "test1.xml", ".classpath", ".project"}},
      {"arj/bla.arj", atArj, {"test1.xml", "test2.xml"}},
      {"arj/Arj.method1.arj", atArj, {"EXE/TEST.EXE", "JPG/TEST.JPG", "TECT.TXT"}},
      {"lha/test-msdos-l2.lha", atLha, {"dir1/dir1-1/test1.txt", "dir1/dir1-2/test2.txt"}},
      {"cab/test_read_format_cab_1.cab", atCab, {"empty", "dir1\\file1", "dir2\\file2"}},
      {"tar/test-times-pax-folder.tar", atTar, {"test/test-times.txt"}},
      {"gzip/lorem-ipsum.txt.gz", atGZip, {"lorem-ipsum.txt"}},
      {"rar4/test_read_format_rar.rar", atRar, {"test.txt", "testlink", "testdir\\test.txt"}},
      {"rar5/test_read_format_rar5_stored.rar", atRar, {"helloworld.txt"}},
      {"arc/Arc.uncompressed.arc", atArc, {"TECT.TXT", "TEST.EXE", "TEST.JPG"}},
      {"ace/Ace.method1.ace", atAce, {"exe\\test.exe", "jpg\\test.jpg", "Tect.txt.txt"}},
      {"uue/test_read_format_rar5_stored.rar.uu", atUUE, {"test_read_format_rar5_stored.rar"}},
      {"sfx/test_read_format_zip_sfx.bin", atZip, {"file0", "build.sh"}},
      {"sfx/test_read_format_rar_sfx.exe",
       atRarExe,
       {"test.txt", "testshortcut.lnk", "testdir\\test.txt"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TArcType type = atNA;
    bool ok = false;
    EXPECT_EQ(List(Formats() + c.file, false, &type, &ok), c.names);
    EXPECT_EQ(type, c.type);
    EXPECT_TRUE(ok);
  }
  // Directory entries appear only with ShowEmptyDirs, in header order and without their tail.
  EXPECT_EQ(List(Formats() + "tar/test-times-pax-folder.tar", true),
            (std::vector<std::string>{"test/", "test/test-times.txt"}));
  EXPECT_EQ(List(Formats() + "arj/Arj.method1.arj", true),
            (std::vector<std::string>{"EXE/TEST.EXE", "JPG/TEST.JPG", "EXE", "JPG", "TECT.TXT"}));
}

TEST(ListerComponent, EventsCarryTheEntryFieldsOfAZipFromZip) {
  Scratch s;
  s.In("zip -q -r -X ../t.zip text.txt sub emptydir && zip -q -X -0 ../t.zip sub/empty.dat");
  s.In("zip -q -X -P pw ../t.zip sub/noise.bin");
  TPakvo p;
  p.SetArcFile(s.Path("t.zip"));
  ASSERT_EQ(p.ArcType, atZip);
  std::vector<std::string> order;
  p.OnReadBegin = [&](TObject*) { order.push_back("begin"); };
  p.OnReadEnd = [&](TObject*) { order.push_back("end"); };
  int64_t totalUnpacked = -1, totalPacked = -1;
  int files = -1, ratio = -1;
  p.OnTotals = [&](TObject*, int64_t u, int64_t pk, int r, int n) {
    totalUnpacked = u;
    totalPacked = pk;
    ratio = r;
    files = n;
  };
  auto seen = Events(p);
  std::vector<std::string> names;
  for (const auto& e : seen) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"text.txt", "sub/noise.bin", "sub/empty.dat"}));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].method, "DeflateN");
  EXPECT_EQ(seen[0].unpacked, 3012);
  EXPECT_EQ(seen[0].date, "2021-03-04 05:06:08");
  EXPECT_GT(seen[0].ratio, 90);
  EXPECT_EQ(seen[0].filenum, 1);
  EXPECT_EQ(seen[0].offset, 0);
  EXPECT_EQ(seen[2].method, "Stored");
  EXPECT_TRUE(seen[1].encrypted);  // re-added with a password: stored or deflated, 12 bytes less
  EXPECT_EQ(seen[1].unpacked, 5000);
  EXPECT_EQ(order.size(), 6u);
  EXPECT_EQ(order[0], "begin");
  EXPECT_EQ(files, 3);
  EXPECT_EQ(totalUnpacked, 3012 + 5000);
  EXPECT_EQ(totalPacked, seen[0].packed + seen[1].packed + seen[2].packed);
  EXPECT_EQ(ratio, CompressionRatio(totalUnpacked, totalPacked));
  // With ShowEmptyDirs the directories come too, named without their trailing slash.
  p.ShowEmptyDirs = true;
  auto withDirs = Events(p);
  names.clear();
  for (const auto& e : withDirs) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"text.txt", "sub", "sub/noise.bin", "sub/empty.dat",
                                             "emptydir"}));
}

TEST(ListerComponent, EventsCarryDatesAndMethodsOfTheOtherFormats) {
  Scratch s;
  s.In("arj a -y -m2 ../t.arj text.txt");
  s.In("jlha a2q ../t.lzh text.txt");
  s.In("tar --format=gnu -cf ../t.tar text.txt");
  s.In("gcab -c -z ../t.cab text.txt");
  for (const auto& [file, method] : std::vector<std::pair<std::string, std::string>>{
           {"t.arj", "2nd Most"}, {"t.lzh", "Frozen-5"}, {"t.tar", "Tarred"}, {"t.cab", "MsZIP"}}) {
    SCOPED_TRACE(file);
    TPakvo p;
    p.SetArcFile(s.Path(file));
    auto seen = Events(p);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, "text.txt");
    EXPECT_EQ(seen[0].method, method);
    EXPECT_EQ(seen[0].unpacked, 3012);
    // Unix stamps are shown in local time; the tests run with the machine's zone, so compare
    // against what the globals make of the same instant.
    if (file == "t.lzh" || file == "t.tar" || file == "t.arj") {
      EXPECT_EQ(seen[0].date, DateText(UnixToDateTime(1614834368)));
    } else {
      EXPECT_EQ(seen[0].date, "2021-03-04 05:06:08");
    }
  }
  // gzip without a stored name: one entry named after the file; UUE: dated with the file's date.
  s.In("gzip -c -n text.txt > ../plain.gz");
  EXPECT_EQ(List(s.Path("plain.gz")), std::vector<std::string>{"plain"});
  TPakvo g;
  g.SetArcFile(s.Path("plain.gz"));
  auto gz = Events(g);
  ASSERT_EQ(gz.size(), 1u);
  EXPECT_EQ(gz[0].method, "Deflate");
  // "compress" output (magic 1F 9D): LZW, dated with the file, named after it.
  std::ofstream(s.Path("old.txt.Z"), std::ios::binary) << std::string("\x1f\x9d\x90", 3)
                                                        << std::string(40, 'x');
  TPakvo z;
  z.SetArcFile(s.Path("old.txt.Z"));
  ASSERT_EQ(z.ArcType, atGZip);
  auto lzw = Events(z);
  ASSERT_EQ(lzw.size(), 1u);
  EXPECT_EQ(lzw[0].name, "old.txt");
  EXPECT_EQ(lzw[0].method, "LzwMAGIC");
  EXPECT_EQ(lzw[0].date, DateText(DosDateTimeToDateTime(z.ArcDate)));
  TPakvo u;
  u.SetArcFile(Formats() + "uue/test_read_format_rar5_stored.rar.uu");
  auto uue = Events(u);
  ASSERT_EQ(uue.size(), 1u);
  EXPECT_EQ(uue[0].date, DateText(DosDateTimeToDateTime(u.ArcDate)));
  EXPECT_EQ(uue[0].filenum, 1);
}

TEST(ListerComponent, RequiredEventsUnknownTypesAndReentry) {
  // Activate without OnRead raises; GetFileList brings its own handler.
  TPakvo p;
  p.SetArcFile(Formats() + "arj/bla.arj");
  try {
    p.Activate();
    FAIL() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Required event not assigned");
  }
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names.size(), 2u);
  EXPECT_FALSE(p.OnRead);  // the caller's (empty) handler is back
  EXPECT_FALSE(p.GetFileList(nullptr));

  // A file of no usable type: the list is cleared and no event is raised.
  Scratch s;
  std::ofstream(s.Path("plain.txt")) << "just some text, nothing archived in here at all\n";
  TPakvo q;
  int events = 0;
  q.OnActivate = [&](TObject*) { ++events; };
  q.OnReadFile = [&](TObject*, const std::string&) { ++events; };
  q.SetArcFile(s.Path("plain.txt"));
  std::vector<std::string> list = {"left over"};
  EXPECT_FALSE(q.GetFileList(&list));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(events, 0);

  // An archive removed after its type was detected: OnError hears "File not found", the caller
  // gets an empty list and no exception.
  fs::copy_file(Formats() + "arj/bla.arj", s.Path("gone.arj"));
  TPakvo r;
  ErrorLog log;
  log.Attach(r);
  r.SetArcFile(s.Path("gone.arj"));
  fs::remove(s.Path("gone.arj"));
  list = {"x"};
  EXPECT_FALSE(r.GetFileList(&list));
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(log.codes.size(), 1u);
  EXPECT_EQ(log.codes[0], kErrFileNotFound);

  // A second Activate from inside an event of the first does nothing.
  TPakvo t;
  t.SetArcFile(Formats() + "arj/bla.arj");
  int inner = -1, reads = 0;
  t.OnRead = [&](TObject*, int, int) {
    ++reads;
    if (inner < 0) inner = t.Activate() ? 1 : 0;
  };
  EXPECT_TRUE(t.Activate());
  EXPECT_EQ(inner, 0);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(t.FirstHeaderOffset(), 53);  // behind the ARJ main header
  // List mode gives back the first-header offset it found before.
  TPakvo fresh;
  fresh.SetArcFile(Formats() + "arj/bla.arj");
  EXPECT_TRUE(fresh.GetFileList(&names));
  EXPECT_EQ(fresh.FirstHeaderOffset(), 0);
}

TEST(ListerComponent, MasksSelectEntries) {
  TPakvo p;
  p.SetArcFile(Formats() + "arj/Arj.method1.arj");
  p.FileSpec = {"*.EXE", "TECT.*"};
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names, (std::vector<std::string>{"EXE/TEST.EXE", "TECT.TXT"}));
  p.RecurseDirs = false;  // only names in the archive's root
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names, std::vector<std::string>{"TECT.TXT"});
  p.FileSpec = {"JPG/*"};
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names, std::vector<std::string>{"JPG/TEST.JPG"});
}

TEST(ListerComponent, ArjVolumesAreFollowedAndAMissingVolumeIsReported) {
  Scratch s;
  s.In(
      "head -c 30000 /dev/urandom > sub/big.bin && arj a -y -v10k ../v.arj text.txt sub/big.bin "
      "sub/empty.dat");
  ASSERT_TRUE(fs::exists(s.Path("v.a01")));
  int peerFiles = 0;
  {
    std::istringstream peer(Shell("arj l -v -y " + s.Path("v.arj")));
    std::string l;
    while (std::getline(peer, l))
      if (l.find(" files ") != std::string::npos) peerFiles = std::stoi(l);
  }
  TPakvo p;
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(s.Path("v.arj"));
  ASSERT_EQ(p.ArcType, atArj);
  std::vector<std::string> asked;
  p.OnNextVolume = NoteVolumes(asked, true);
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(log.codes.empty());
  EXPECT_EQ(asked.front(), "1:v.a01");
  EXPECT_EQ(p.ArchiveFile(), s.Path("v.arj"));
  // Every volume's headers, as arj lists them volume by volume (the last line sums all volumes).
  EXPECT_EQ(static_cast<int>(names.size()), peerFiles);
  EXPECT_EQ(names.front(), "text.txt");
  EXPECT_EQ(names.back(), "sub/empty.dat");

  // A handler that names the same volume again: the chain is broken, not walked forever.
  p.OnNextVolume = [&](TObject*, std::string& name, const std::string&, bool, bool& cancel) {
    name = s.Path("v.arj");
    cancel = false;
  };
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(log.codes, std::vector<int>{kErrBrokenMultiVolumeChain});
  EXPECT_LT(names.size(), static_cast<size_t>(peerFiles));
  p.OnNextVolume = NoteVolumes(asked, true);
  // The second volume missing: the handler is asked, refuses, and the refusal is reported.
  fs::remove(s.Path("v.a01"));
  log.codes.clear();
  asked.clear();
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(asked, std::vector<std::string>{"1:v.a01?"});
  ASSERT_EQ(log.codes.size(), 1u);
  EXPECT_EQ(log.codes[0], kErrUserCanceled);
  EXPECT_EQ(names.front(), "text.txt");
  // Without an OnNextVolume handler the event is reported as required.
  p.OnNextVolume = nullptr;
  log = ErrorLog{};
  log.Attach(p);
  EXPECT_TRUE(p.GetFileList(&names));
  ASSERT_EQ(log.codes.size(), 1u);
  EXPECT_EQ(log.codes[0], kErrRequiredEventNotAssigned);
  EXPECT_EQ(log.extended[0], "OnNextVolume");
}

TEST(ListerComponent, RarVolumesFollowTheirPartNames) {
  TPakvo p;
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(Formats() + "rar4/test_read_format_rar_multivolume.part0001.rar");
  ASSERT_EQ(p.ArcType, atRar);
  std::vector<std::string> asked;
  p.OnNextVolume = NoteVolumes(asked, false);
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(log.codes.empty());
  EXPECT_EQ(asked, (std::vector<std::string>{"test_read_format_rar_multivolume.part0002.rar",
                                             "test_read_format_rar_multivolume.part0003.rar",
                                             "test_read_format_rar_multivolume.part0004.rar"}));
  // Each volume lists the headers it holds; entries continued from the previous volume come again.
  EXPECT_EQ(names, (std::vector<std::string>{
                       "ppmd_lzss_conversion_test.txt", "ppmd_lzss_conversion_test.txt",
                       "ppmd_lzss_conversion_test.txt", "LibarchiveAddingTest.html",
                       "LibarchiveAddingTest.html", "testlink", "testdir\\test.txt",
                       "testdir\\LibarchiveAddingTest.html"}));
}

TEST(ListerComponent, SplitZipSetsListAcrossVolumes) {
  Scratch s;
  s.In("head -c 300000 /dev/urandom > big.bin && touch -d '2020-02-02 02:02:02' big.bin");
  s.In("zip -q -X -r -s 100k ../split.zip text.txt big.bin sub");
  ASSERT_TRUE(fs::exists(s.Path("split.z01")));
  s.In("zip -q -s 0 ../split.zip --out ../merged.zip");
  const std::vector<std::string> expected = ZipFileNames(s.Path("merged.zip"));
  ASSERT_EQ(expected.size(), 4u);
  TPakvo p;
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(s.Path("split.zip"));
  std::vector<Seen> seen = Events(p);
  EXPECT_TRUE(log.codes.empty());
  std::vector<std::string> names;
  for (const auto& e : seen) names.push_back(e.name);
  EXPECT_EQ(names, expected);
  // Each entry names the volume file its local header is in.
  for (const auto& e : seen) {
    SCOPED_TRACE(e.name);
    EXPECT_FALSE(e.volume.empty());
    if (e.name == "text.txt") {
      EXPECT_EQ(fs::path(e.volume).filename(), "split.z01");
    }
  }
  // Opened at its first volume (spanning marker first: a multi-volume set), the same list.
  TPakvo first;
  first.SetArcFile(s.Path("split.z01"));
  EXPECT_EQ(first.ArcType, atZipMV);
  names.clear();
  EXPECT_TRUE(first.GetFileList(&names));
  EXPECT_EQ(names, expected);
  // The first volume missing: the set cannot be put together, and that is reported.
  fs::rename(s.Path("split.z01"), s.Path("away.z01"));
  log.codes.clear();
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(names.empty());
  ASSERT_FALSE(log.codes.empty());
  EXPECT_EQ(log.codes[0], kErrRequiredEventNotAssigned);
  // A handler that points at the moved file completes the set.
  p.OnNextVolume = [&](TObject*, std::string& name, const std::string&, bool, bool& cancel) {
    name = s.Path("away.z01");
    cancel = false;
  };
  log.codes.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(log.codes.empty());
}

TEST(ListerComponent, DamagedZipDirectoriesAskOnCorruptZipHeader) {
  const std::string truncated = Archives() + "malformed/testfile-truncated.zip";
  TPakvo p;
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(truncated);
  ASSERT_FALSE(TPakvo::IsKnownArcType(p.ArcType) == false);
  // Without a handler: reported as a required event, then the local headers are walked.
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names, std::vector<std::string>{"testfile.txt"});
  ASSERT_EQ(log.codes.size(), 1u);
  EXPECT_EQ(log.codes[0], kErrRequiredEventNotAssigned);
  EXPECT_EQ(log.extended[0], "OnCorruptZipHeader");
  // A handler that leaves Cancel set: nothing is listed.
  THeaderTypeState state = 0xFF;
  p.OnCorruptZipHeader = [&](TObject*, THeaderTypeState s, bool&) { state = s; };
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(state & HeaderTypeBit(htCentral), 0);
  // A handler that clears it: the local walk lists the entry.
  p.OnCorruptZipHeader = [&](TObject*, THeaderTypeState, bool& cancel) { cancel = false; };
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_EQ(names, std::vector<std::string>{"testfile.txt"});
  // A directory whose local headers are not where it says: each record is reported, and listed.
  TPakvo m;
  ErrorLog mlog;
  mlog.Attach(m);
  m.SetArcFile(Archives() + "malformed/incons-local-magic-bad.zip");
  names.clear();
  EXPECT_TRUE(m.GetFileList(&names));
  EXPECT_EQ(names, std::vector<std::string>{"a"});
  EXPECT_EQ(mlog.codes, std::vector<int>{kErrBadFileHeader});
  // A directory whose first record is damaged reports "Bad file header".
  Scratch s;
  auto jar = ReadAll(Formats() + "jar/bla.jar");
  std::string text(jar.begin(), jar.end());
  size_t cd = text.find("PK\x01\x02");
  jar[cd + 28] = 0xFF;
  jar[cd + 29] = 0xFF;
  std::ofstream(s.Path("bad.zip"), std::ios::binary)
      .write(reinterpret_cast<const char*>(jar.data()), static_cast<std::streamsize>(jar.size()));
  TPakvo b;
  ErrorLog blog;
  blog.Attach(b);
  b.SetArcFile(s.Path("bad.zip"));
  names.clear();
  EXPECT_TRUE(b.GetFileList(&names));
  EXPECT_TRUE(names.empty());
  ASSERT_EQ(blog.codes.size(), 1u);
  EXPECT_EQ(blog.codes[0], kErrBadFileHeader);
}

TEST(ListerComponent, AceVolumesCountContinuedEntriesWithoutListingThemAgain) {
  TPakvo p;
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(Formats() + "ace/Ace.store.split.ace");
  ASSERT_EQ(p.ArcType, atAce);
  std::vector<std::string> asked;
  p.OnNextVolume = NoteVolumes(asked, false);
  int files = 0;
  int64_t unpacked = 0;
  p.OnTotals = [&](TObject*, int64_t u, int64_t, int, int n) {
    unpacked = u;
    files = n;
  };
  std::vector<Seen> seen = Events(p);
  EXPECT_TRUE(log.codes.empty());
  EXPECT_EQ(asked, std::vector<std::string>{"Ace.store.split.c00"});
  std::vector<std::string> names;
  for (const auto& e : seen) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"exe\\test.exe", "jpg\\test.jpg", "Tect.txt"}));
  EXPECT_EQ(seen[0].method, "Fastest");
  EXPECT_EQ(seen[0].crc, 0xcfb109c8u);
  EXPECT_EQ(files, 4);  // the continued piece of jpg\test.jpg is counted
  EXPECT_EQ(unpacked, 45056 + 40372 + 40372 + 15498);
}

TEST(ListerComponent, SplitZipDirectoryRunningAcrossVolumes) {
  Scratch s;
  // 1500 entries with long names: the central directory alone fills several 64 KiB volumes.
  s.In(
      "mkdir many && cd many && for i in $(seq 1000 2499); do : > "
      "entry_with_a_rather_long_name_number_$i.txt; done");
  s.In("zip -q -X -r -s 64k ../many.zip many");
  ASSERT_TRUE(fs::exists(s.Path("many.z02")));
  s.In("zip -q -s 0 ../many.zip --out ../whole.zip");
  const std::vector<std::string> expected = ZipFileNames(s.Path("whole.zip"));
  ASSERT_EQ(expected.size(), 1500u);
  TPakvo p;
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(s.Path("many.zip"));
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(log.codes.empty());
  EXPECT_EQ(names, expected);
}

TEST(ListerComponent, Utf8NamesAreNotTakenForOemNames) {
  Scratch s;
  const std::string name = "caf\xc3\xa9.txt";
  std::ofstream(s.dir / "src" / name) << "hi\n";
  s.In(
      "zip -q -X ../infozip.zip caf*.txt && 7zz a -tzip -bso0 -bsp0 ../seven.zip caf*.txt && "
      "tar -cf ../t.tar caf*.txt");
  // Info-ZIP on Unix (made-by host 3), 7-Zip (flag bit 11), tar (UTF-8 names).
  for (const char* file : {"infozip.zip", "seven.zip", "t.tar"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(List(s.Path(file)), std::vector<std::string>{name});
  }
  // A name from a DOS host is OEM: 0x82 is e-acute in code page 437.
  auto bytes = ReadAll(s.Path("infozip.zip"));
  std::string text(bytes.begin(), bytes.end());
  for (size_t at = text.find("caf\xc3\xa9"); at != std::string::npos;
       at = text.find("caf\xc3\xa9", at + 1)) {
    bytes[at + 3] = 0x82;
    bytes[at + 4] = '_';
  }
  size_t cd = text.find("PK\x01\x02");
  bytes[cd + 5] = 0;  // made by MS-DOS
  std::ofstream(s.Path("dos.zip"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(List(s.Path("dos.zip")), std::vector<std::string>{"caf\xc3\xa9_.txt"});
}

TEST(ListerComponent, SpannedSetOnRemovableDisksAsksForTheLastDisk) {
  Scratch s;
  s.In("head -c 150000 /dev/urandom > big.bin && zip -q -X -s 64k ../span.zip text.txt big.bin");
  ASSERT_TRUE(fs::exists(s.Path("span.z02")));
  // The segments as diskettes: each disk holds "span.zip" and is labelled "PKBACK# 00n".
  const std::string root = s.Path("drive"), store = s.Path("store");
  platform::files::SimulatedDrive drive(root, store);
  const std::vector<std::string> parts = {"span.z01", "span.z02", "span.zip"};
  for (size_t i = 0; i < parts.size(); ++i) {
    drive.InsertDisk("disk" + std::to_string(i + 1));
    drive.SetLabel("PKBACK# 00" + std::to_string(i + 1));
    fs::copy_file(s.Path(parts[i]), root + "/span.zip");
  }
  drive.InsertDisk("disk1");
  TPakvo p;
  p.SetVolumes(&drive);
  ErrorLog log;
  log.Attach(p);
  p.SetArcFile(root + "/span.zip");
  ASSERT_EQ(p.ArcType, atZipDS);
  // Without the disk event the request fails and nothing is listed.
  std::vector<std::string> names;
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(names.empty());
  ASSERT_FALSE(log.extended.empty());
  EXPECT_EQ(log.extended[0], "OnGetZipLastDisk");
  // The handler is asked until the last disk is in; the entries name their disk.
  drive.InsertDisk("disk1");
  p.SetArcFile(root + "/span.zip");
  int asked = 0;
  p.OnGetZipLastDisk = [&](TObject*, bool& cancel) {
    ++asked;
    drive.InsertDisk(asked == 1 ? "disk2" : "disk3");
    cancel = false;
  };
  auto seen = Events(p);
  EXPECT_EQ(asked, 2);
  std::vector<std::string> got;
  for (const auto& e : seen) got.push_back(e.name + "@" + e.volume);
  EXPECT_EQ(got, (std::vector<std::string>{"text.txt@PKBACK# 001", "big.bin@PKBACK# 001"}));
  // Refused: nothing is listed.
  drive.InsertDisk("disk1");
  p.SetArcFile(root + "/span.zip");
  p.OnGetZipLastDisk = [&](TObject*, bool&) {};
  names.clear();
  EXPECT_TRUE(p.GetFileList(&names));
  EXPECT_TRUE(names.empty());
}

// Zip64 sizes near the top of the range: the totals stop at the largest value instead of
// overflowing, and each entry still shows its own sizes.
TEST(ListerComponent, HugeDeclaredSizesKeepTheTotalsInRange) {
  Scratch s;
  std::string zip64;
  zipbuild::Put16(zip64, 1);
  zipbuild::Put16(zip64, 16);
  zipbuild::Put32(zip64, 0xFFFFFFF0u);  // uncompressed size, low and high words
  zipbuild::Put32(zip64, 0x7FFFFFFFu);
  zipbuild::Put32(zip64, 0xFFFFFFF0u);  // compressed size
  zipbuild::Put32(zip64, 0x7FFFFFFFu);
  std::vector<zipbuild::Entry> entries;
  for (const char* name : {"a.bin", "b.bin"}) {
    zipbuild::Entry e = zipbuild::Stored(name, "x");
    e.packed = e.unpacked = 0xFFFFFFFFu;
    e.centralExtra = zip64;
    entries.push_back(e);
  }
  {
    std::ofstream out(s.Path("huge.zip"), std::ios::binary);
    out << zipbuild::Build(entries);
  }
  TPakvo p;
  p.SetArcFile(s.Path("huge.zip"));
  ASSERT_EQ(p.ArcType, atZip);
  int64_t totalUnpacked = -1, totalPacked = -1;
  int files = -1;
  p.OnTotals = [&](TObject*, int64_t u, int64_t pk, int, int n) {
    totalUnpacked = u;
    totalPacked = pk;
    files = n;
  };
  auto seen = Events(p);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].unpacked, 0x7FFFFFFFFFFFFFF0ll);
  EXPECT_EQ(files, 2);
  EXPECT_EQ(totalUnpacked, INT64_MAX);
  EXPECT_EQ(totalPacked, INT64_MAX);
}
