// The lister's header readers against the sample archives and against archives written here by the
// real archivers, compared with what each archiver's own listing reports.
// GCC 12 reports a false "maybe uninitialized" inside <regex> under the sanitizers.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "archive/pakvoErrors.h"
#include "lister_test_util.h"

using namespace listertest;

namespace {

std::vector<std::string> Names(const Walked& w) {
  std::vector<std::string> out;
  for (const auto& e : w.entries) out.push_back(e.StoredName);
  return out;
}

// Pairs each line of a peer's listing that matches `line` with the next walked entry, in order,
// and hands both to `check(entry, match)`; answers how many lines matched. A matching line beyond
// the walked entries fails the test and ends the pairing.
template <typename Check>
size_t PairWithListing(const std::vector<std::string>& listing, const std::regex& line,
                       const Walked& w, Check&& check) {
  size_t i = 0;
  for (const std::string& l : listing) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    if (i >= w.entries.size()) {
      ADD_FAILURE() << "the peer lists more entries than were walked, from: " << l;
      return i + 1;
    }
    check(w.entries[i++], m);
  }
  return i;
}

std::string Slashed(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  if (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

// Entries of `lsar -j`, as key -> value text per entry.
std::vector<std::map<std::string, std::string>> LsarEntries(const std::string& archive) {
  std::vector<std::map<std::string, std::string>> out;
  std::istringstream in(Shell("lsar -j " + archive));
  std::string line;
  std::map<std::string, std::string> cur;
  bool inside = false;
  std::regex kv(R"re(^\s*"(\w+)": "?([^"]*?)"?,?$)re");
  while (std::getline(in, line)) {
    if (line == "    {") {
      inside = true;
      cur.clear();
    } else if (inside && (line == "    }" || line == "    },")) {
      out.push_back(cur);
      inside = false;
    } else if (inside) {
      std::smatch m;
      if (std::regex_match(line, m, kv)) cur[m[1]] = m[2];
    }
  }
  return out;
}

void ExpectLsarMatches(const std::string& archive, const Walked& w, bool crc16) {
  auto peer = LsarEntries(archive);
  ASSERT_EQ(peer.size(), w.entries.size()) << archive;
  for (size_t i = 0; i < peer.size(); ++i) {
    const auto& e = w.entries[i];
    SCOPED_TRACE(archive + " entry " + e.StoredName);
    EXPECT_EQ(Slashed(peer[i]["XADFileName"]), Slashed(e.StoredName));
    EXPECT_EQ(std::stoll(peer[i]["XADFileSize"].empty() ? "0" : peer[i]["XADFileSize"]),
              e.UnpackedSize);
    if (!peer[i]["XADCompressedSize"].empty()) {
      EXPECT_EQ(std::stoll(peer[i]["XADCompressedSize"]), e.PackedSize);
    }
    EXPECT_EQ(peer[i]["XADLastModificationDate"].substr(0, 19), StampText(e));
    const std::string method = peer[i]["XADCompressionName"];
    if (method.size() == 5 && method[0] == '-' && method[4] == '-') {
      EXPECT_EQ(e.Method, method[3]);  // "-lh5-": the method digit
    } else if (method == "Squeezed") {
      EXPECT_EQ(e.Method, 4);
    } else if (method == "None") {
      EXPECT_EQ(e.Method, 2);
    }
    if (crc16) {
      std::string key = peer[i].count("LHACRC16") ? "LHACRC16" : "ARCCRC16";
      if (peer[i].count(key)) {
        EXPECT_EQ(std::stoul(peer[i][key]), e.Crc);
      }
    }
  }
}

}  // namespace

TEST(ListerHeaderFormats, SamplesListTheEntriesTheirReadmeNames) {
  struct Sample {
    THeaderFamily family;
    std::string file;
    std::vector<std::string> names;
    std::vector<int64_t> sizes;
    std::vector<uint32_t> crcs;
  };
  const std::vector<Sample> samples = {
      {hfArj,
       "arj/Arj.method1.arj",
       {"EXE/TEST.EXE", "JPG/TEST.JPG", "EXE", "JPG", "TECT.TXT"},
       {45056, 40372, 0, 0, 15498},
       {0xcfb109c8, 0x088814e3, 0, 0, 0x9bd160fa}},
      {hfArj, "arj/bla.unix.arj", {"test1.xml", "test2.xml"}, {30, 31}, {0x1b9bd1ee, 0x757e523d}},
      {hfAce,
       "ace/Ace.method1.ace",
       {"exe", "exe\\test.exe", "jpg", "jpg\\test.jpg", "Tect.txt.txt"},
       {0, 45056, 0, 40372, 15498},
       {0, 0xcfb109c8, 0, 0x088814e3, 0x9bd160fa}},
      {hfArc,
       "arc/Arc.crunched.arc",
       {"TECT.TXT", "TEST.EXE", "TEST.JPG"},
       {15498, 45056, 40372},
       {0x8952, 0xd179, 0x990a}},
      {hfCab,
       "cab/test_read_format_cab_2.cab",
       {"empty", "zero", "dir1\\file1", "dir2\\file2"},
       {0, 33000, 60, 78},
       {0, 0, 0, 0}},
      {hfLha,
       "lha/test_read_format_lha_header3.lzh",
       {"dir/", "dir2/", "file1", "file2"},
       {0, 0, 60, 78},
       {0, 0, 0xe7a4, 0x15d5}},
      {hfLha,
       "lha/test-msdos-l0.lha",
       {"dir1\\", "dir1\\dir1-1\\", "dir1\\dir1-1\\test1.txt", "dir1\\dir1-2\\",
        "dir1\\dir1-2\\test2.txt"},
       {0, 0, 14, 0, 14},
       {0, 0, 0xc9b4, 0, 0xc9b4}},
      {hfRar,
       "rar4/test_read_format_rar.rar",
       {"test.txt", "testlink", "testdir\\test.txt", "testdir", "testemptydir"},
       {20, 8, 20, 0, 0},
       {0xbec8a242, 0xb6c9447b, 0xbec8a242, 0, 0}},
      {hfRar,
       "rar5/test_read_format_rar5_multiple_files.rar",
       {"test1.bin", "test2.bin", "test3.bin", "test4.bin"},
       {4096, 4096, 4096, 4096},
       {0x7e13b2c6, 0xf166afcb, 0x9fb123d9, 0x10c43ed4}},
      {hfGZip, "gzip/lorem-ipsum.txt.gz", {"lorem-ipsum.txt"}, {144060}, {0xb9034f7e}},
      {hfGZip, "gzip/bla.tgz", {"bla.tar"}, {10240}, {0x56665ea8}},
      {hfTar, "tar/test-times-pax-folder.tar", {"test/", "test/test-times.txt"}, {0, 17}, {}},
      {hfTar, "tar/test_compat_gtar_1.tar", {}, {}, {}},
      {hfZip,
       "jar/bla.jar",
       {"META-INF/MANIFEST.MF", "test2.xml", "test1.xml", ".classpath", ".project"},
       {25, 82, 610, 424, 389},
       {0xee027fb2, 0xce356c1c, 0x0f54eacb, 0xf344bd4b, 0x335ae440}},
      {hfUUE,
       "uue/test_read_format_rar5_stored.rar.uu",
       {"test_read_format_rar5_stored.rar"},
       {203},
       {0}},
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.file);
    Walked w = WalkFile(s.family, Formats() + s.file);
    EXPECT_EQ(w.rc, 0);
    if (s.file == "tar/test_compat_gtar_1.tar") {  // GNU long names of 200 characters
      ASSERT_EQ(w.entries.size(), 2u);
      EXPECT_EQ(w.entries[0].StoredName.size(), 200u);
      EXPECT_EQ(w.entries[1].StoredName.substr(0, 20), "abcdefghijabcdefghij");
      continue;
    }
    EXPECT_EQ(Names(w), s.names);
    for (size_t i = 0; i < s.sizes.size() && i < w.entries.size(); ++i)
      EXPECT_EQ(w.entries[i].UnpackedSize, s.sizes[i]) << w.entries[i].StoredName;
    for (size_t i = 0; i < s.crcs.size() && i < w.entries.size(); ++i)
      EXPECT_EQ(w.entries[i].Crc, s.crcs[i]) << w.entries[i].StoredName;
  }
}

TEST(ListerHeaderFormats, SelfExtractingAndPrefixedArchivesStartAtTheirArchive) {
  // A ZIP behind 1 KiB of other data: offsets are reported relative to the ZIP itself.
  Walked zip = WalkFile(hfZip, Formats() + "sfx/test_read_format_zip_sfx.bin");
  EXPECT_EQ(zip.rc, 0);
  ASSERT_EQ(Names(zip), (std::vector<std::string>{"file0", "build.sh"}));
  EXPECT_EQ(zip.entries[0].HeaderOffset, 0);
  EXPECT_EQ(zip.entries[1].UnpackedSize, 23);
  // A RAR self-extractor: the walk starts at the marker found behind the stub.
  auto bytes = ReadAll(Formats() + "sfx/test_read_format_rar_sfx.exe");
  std::string text(bytes.begin(), bytes.end());
  size_t marker = text.find(std::string("Rar!\x1a\x07\x00", 7));
  ASSERT_NE(marker, std::string::npos);
  Walked rar =
      WalkFile(hfRar, Formats() + "sfx/test_read_format_rar_sfx.exe", static_cast<int64_t>(marker));
  EXPECT_EQ(rar.rc, 0);
  EXPECT_EQ(Names(rar), (std::vector<std::string>{"test.txt", "testshortcut.lnk",
                                                  "testdir\\test.txt", "testdir", "testemptydir"}));
}

TEST(ListerHeaderFormats, ZipWritersAgreeWithUnzip) {
  Scratch s;
  s.In("zip -q -r -X ../plain.zip text.txt sub emptydir");
  s.In("zip -q -9 -X -P secret ../crypt.zip text.txt sub/noise.bin");
  s.In("zip -q -1 -X ../fast.zip text.txt");
  s.In("7zz a -tzip -bso0 -bsp0 ../seven.zip text.txt sub emptydir");
  s.In("fastjar -cf ../made.jar text.txt sub");
  std::regex line(
      R"(^\S+\s+\S+\s+\S+\s+(\d+)\s+(\S+)\s+(\d+)\s+(\S+)\s+(\d{4})(\d\d)(\d\d)\.(\d\d)(\d\d)(\d\d)\s+(.+)$)");
  for (const char* name : {"plain.zip", "crypt.zip", "fast.zip", "seven.zip", "made.jar"}) {
    SCOPED_TRACE(name);
    std::string path = s.Path(name);
    Walked w = WalkFile(hfZip, path);
    EXPECT_EQ(w.rc, 0);
    const size_t i = PairWithListing(ShellLines("unzip -Z -l -T " + path), line, w,
                                     [](const TPakvoEntry& e, const std::smatch& m) {
      EXPECT_EQ(e.StoredName, m[11].str());
      EXPECT_EQ(e.UnpackedSize, std::stoll(m[1]));
      bool encrypted = std::isupper(static_cast<unsigned char>(m[2].str()[0]));
      EXPECT_EQ(e.Encrypted, encrypted);
      EXPECT_EQ(e.PackedSize + (encrypted ? 12 : 0), std::stoll(m[3]));
      std::string method = m[4];
      static const std::map<std::string, std::pair<int, int>> kMethods = {{"stor", {0, -1}},
                                                                          {"defN", {8, 0}},
                                                                          {"defX", {8, 2}},
                                                                          {"defF", {8, 4}},
                                                                          {"defS", {8, 6}}};
      ASSERT_TRUE(kMethods.count(method)) << method;
      EXPECT_EQ(e.Method, kMethods.at(method).first);
      if (kMethods.at(method).second >= 0) {
        EXPECT_EQ(e.MethodFlags & 6, kMethods.at(method).second);
      }
      EXPECT_EQ(StampText(e), m[5].str() + "-" + m[6].str() + "-" + m[7].str() + " " + m[8].str() +
                                  ":" + m[9].str() + ":" + m[10].str());
    });
    EXPECT_EQ(i, w.entries.size());
    EXPECT_GT(i, 0u);
  }
}

TEST(ListerHeaderFormats, ArjAgreesWithArjListing) {
  Scratch s;
  for (int m = 0; m <= 4; ++m)
    s.In("arj a -y -m" + std::to_string(m) + " ../m" + std::to_string(m) +
         ".arj text.txt sub/noise.bin sub/empty.dat");
  for (int m = 0; m <= 4; ++m) {
    std::string path = s.Path("m" + std::to_string(m) + ".arj");
    SCOPED_TRACE(path);
    Walked w = WalkFile(hfArj, path);
    EXPECT_EQ(w.rc, 0);
    std::istringstream peer(Shell("arj v -y " + path));
    std::string l, header;
    size_t i = 0;
    std::regex nameLine(R"(^\d{3}\) (.+)$)");
    std::regex dataLine(
        R"(^\s*\d+\s+\S+\s+(\d+)\s+(\d+)\s+[\d.]+\s+(\d\d)-(\d\d)-(\d\d) (\d\d:\d\d:\d\d).*$)");
    std::string name;
    while (std::getline(peer, l)) {
      std::smatch mm;
      if (l.find("BPMGS") != std::string::npos) header = l;
      if (std::regex_match(l, mm, nameLine)) {
        name = mm[1];
      } else if (!name.empty() && std::regex_match(l, mm, dataLine)) {
        ASSERT_LT(i, w.entries.size());
        const TPakvoEntry& e = w.entries[i++];
        EXPECT_EQ(e.StoredName, name);
        EXPECT_EQ(e.UnpackedSize, std::stoll(mm[1]));
        EXPECT_EQ(e.PackedSize, std::stoll(mm[2]));
        EXPECT_EQ(StampText(e),
                  "20" + mm[3].str() + "-" + mm[4].str() + "-" + mm[5].str() + " " + mm[6].str());
        size_t col = header.find("BPMGS") + 2;
        ASSERT_LT(col, l.size());
        EXPECT_EQ(e.Method, l[col] - '0');
        name.clear();
      }
    }
    EXPECT_EQ(i, w.entries.size());
    EXPECT_EQ(i, 3u);
  }
}

TEST(ListerHeaderFormats, LhaLevelsAndArcAgreeWithLsar) {
  Scratch s;
  for (int level = 0; level <= 2; ++level)
    s.In("jlha a" + std::to_string(level) + "q ../l" + std::to_string(level) +
         ".lzh text.txt sub/noise.bin sub/empty.dat");
  s.In("arc aq ../t.arc text.txt");
  for (int level = 0; level <= 2; ++level) {
    std::string path = s.Path("l" + std::to_string(level) + ".lzh");
    Walked w = WalkFile(hfLha, path);
    EXPECT_EQ(w.rc, 0);
    EXPECT_EQ(w.entries.size(), 3u);
    ExpectLsarMatches(path, w, true);
  }
  Walked arc = WalkFile(hfArc, s.Path("t.arc"));
  EXPECT_EQ(arc.rc, 0);
  ASSERT_EQ(arc.entries.size(), 1u);
  EXPECT_EQ(arc.entries[0].StoredName, "text.txt");
  ExpectLsarMatches(s.Path("t.arc"), arc, true);
}

TEST(ListerHeaderFormats, CabinetsAgreeWithCabextract) {
  Scratch s;
  s.In("gcab -c ../plain.cab text.txt sub/noise.bin sub/empty.dat");
  s.In("gcab -c -z ../zipped.cab text.txt sub/noise.bin sub/empty.dat");
  std::regex line(R"(^\s*(\d+) \| (\d\d)\.(\d\d)\.(\d{4}) (\d\d:\d\d:\d\d) \| (.+)$)");
  for (const char* name : {"plain.cab", "zipped.cab"}) {
    std::string path = s.Path(name);
    SCOPED_TRACE(path);
    Walked w = WalkFile(hfCab, path);
    EXPECT_EQ(w.rc, 0);
    const int method = std::string(name) == "plain.cab" ? 0 : 1;
    const size_t i = PairWithListing(ShellLines("cabextract -l " + path), line, w,
                                     [method](const TPakvoEntry& e, const std::smatch& m) {
      EXPECT_EQ(Slashed(e.StoredName), m[6].str());
      EXPECT_EQ(e.UnpackedSize, std::stoll(m[1]));
      EXPECT_EQ(StampText(e), m[4].str() + "-" + m[3].str() + "-" + m[2].str() + " " + m[5].str());
      EXPECT_EQ(e.Method & 15, method);
    });
    EXPECT_EQ(i, 3u);
  }
}

TEST(ListerHeaderFormats, TarFormatsAgreeWithTar) {
  Scratch s;
  for (const char* fmt : {"gnu", "posix", "v7", "ustar"})
    s.In(std::string("tar --format=") + fmt + " -cf ../" + fmt + ".tar text.txt sub emptydir");
  s.In("mkdir -p " + std::string(120, 'd') + " && touch " + std::string(120, 'd') + "/" +
       std::string(60, 'f') + " && tar --format=gnu -cf ../long.tar " + std::string(120, 'd') +
       " && tar --format=posix -cf ../longpax.tar " + std::string(120, 'd'));
  std::regex line(R"(^(\S)\S+\s+\S+\s+(\d+)\s+(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)(?:\.\d+)?\s+(.+)$)");
  for (const char* fmt : {"gnu", "posix", "v7", "ustar", "long", "longpax"}) {
    std::string path = s.Path(std::string(fmt) + ".tar");
    SCOPED_TRACE(path);
    Walked w = WalkFile(hfTar, path);
    EXPECT_EQ(w.rc, 0);
    const size_t i = PairWithListing(ShellLines("tar tv --full-time -f " + path), line, w,
                                     [](const TPakvoEntry& e, const std::smatch& m) {
      EXPECT_EQ(e.StoredName, m[4].str());
      EXPECT_EQ(e.UnpackedSize, std::stoll(m[2]));
      EXPECT_EQ(StampText(e), m[3].str());
      EXPECT_EQ(e.IsDir, m[1].str() == "d");
      EXPECT_EQ(e.Attr16, e.IsDir ? 16 : 0);
    });
    EXPECT_EQ(i, w.entries.size());
    EXPECT_GT(i, 0u);
  }
}

TEST(ListerHeaderFormats, GzipAgreesWithGzip) {
  Scratch s;
  s.In("gzip -c -9 text.txt > ../named.txt.gz");        // FNAME "text.txt"
  s.In("gzip -c -n < text.txt > ../anonymous.txt.gz");  // no FNAME: named after the file
  for (const char* name : {"named.txt.gz", "anonymous.txt.gz"}) {
    std::string path = s.Path(name);
    SCOPED_TRACE(path);
    Walked w = WalkFile(hfGZip, path);
    EXPECT_EQ(w.rc, 0);
    ASSERT_EQ(w.entries.size(), 1u);
    const TPakvoEntry& e = w.entries[0];
    std::istringstream peer(Shell("gzip -lv " + path));
    std::string l;
    std::getline(peer, l);
    std::getline(peer, l);
    std::istringstream fields(l);
    std::string method, crc, mon, day, time;
    int64_t packed = 0, unpacked = 0;
    fields >> method >> crc >> mon >> day >> time >> packed >> unpacked;
    EXPECT_EQ(e.Crc, std::stoul(crc, nullptr, 16));
    EXPECT_EQ(e.UnpackedSize, unpacked);
    EXPECT_EQ(e.Method, 8);
    EXPECT_EQ(e.PackedSize, static_cast<int64_t>(fs::file_size(path)) - 10);
    EXPECT_EQ(e.StoredName, std::string(name) == "named.txt.gz" ? "text.txt" : "anonymous.txt");
  }
  EXPECT_EQ(StampText(WalkFile(hfGZip, s.Path("named.txt.gz")).entries.at(0)),
            "2021-03-04 05:06:08");
}

TEST(ListerHeaderFormats, ArjVolumesAndAceVolumesFollowTheSet) {
  // The sample ARJ set: six volumes, files running across them.
  std::vector<std::string> volumes = {"Arj.store.split.arj", "Arj.store.split.a01",
                                      "Arj.store.split.a02", "Arj.store.split.a03",
                                      "Arj.store.split.a04", "Arj.store.split.a05"};
  std::vector<std::unique_ptr<TPakvoFileSource>> open;
  size_t next = 1;
  auto first = TPakvoFileSource::Open(Formats() + "arj/" + volumes[0]);
  THeaderContext ctx;
  Walked w = WalkSource(hfArj, *first, ctx, [&]() -> TPakvoByteSource* {
    if (next >= volumes.size()) return nullptr;
    open.push_back(TPakvoFileSource::Open(Formats() + "arj/" + volumes[next++]));
    return open.back().get();
  });
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(next, volumes.size());
  std::vector<std::string> names;
  int continued = 0;
  for (const auto& e : w.entries) {
    names.push_back(e.StoredName);
    continued += e.ContinuedFromPrevious;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"EXE/TEST.EXE", "EXE/TEST.EXE", "EXE/TEST.EXE",
                                             "JPG/TEST.JPG", "JPG/TEST.JPG", "JPG/TEST.JPG", "EXE",
                                             "JPG", "TECT.TXT", "TECT.TXT"}));
  EXPECT_EQ(continued, 5);

  // ACE: the first volume's last file goes on in .c00.
  auto ace = TPakvoFileSource::Open(Formats() + "ace/Ace.store.split.ace");
  std::unique_ptr<TPakvoFileSource> c00;
  int asked = 0;
  Walked a = WalkSource(hfAce, *ace, ctx, [&]() -> TPakvoByteSource* {
    if (asked++) return nullptr;
    c00 = TPakvoFileSource::Open(Formats() + "ace/Ace.store.split.c00");
    return c00.get();
  });
  EXPECT_EQ(a.rc, 0);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Names(a), (std::vector<std::string>{"exe", "jpg", "exe\\test.exe", "jpg\\test.jpg",
                                                "jpg\\test.jpg", "Tect.txt"}));
}

TEST(ListerHeaderFormats, SplitZipSetReadsAsOneRunOfBytes) {
  std::string base =
      Archives() + "split/COMPRESS-477/split_zip_created_by_zip/split_zip_created_by_zip";
  std::vector<std::string> files = {base + ".z01", base + ".z02", base + ".zip"};
  std::vector<int64_t> sizes;
  for (const auto& f : files) sizes.push_back(static_cast<int64_t>(fs::file_size(f)));
  TPakvoVolumeSet set(sizes, [&](size_t i) -> std::unique_ptr<TPakvoByteSource> {
    return TPakvoFileSource::Open(files[i]);
  });
  THeaderContext ctx;
  for (size_t i = 0; i < files.size(); ++i) ctx.ZipDiskStarts.push_back(set.VolumeStart(i));
  Walked w = WalkSource(hfZip, set, ctx);
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(w.entries.size(), 272u);
  Walked ref =
      WalkFile(hfZip, base.substr(0, base.rfind('/')) + "/zip_to_compare_created_by_zip.zip");
  ASSERT_EQ(ref.entries.size(), 272u);
  for (size_t i = 0; i < ref.entries.size(); ++i) {
    EXPECT_EQ(w.entries[i].StoredName, ref.entries[i].StoredName);
    EXPECT_EQ(w.entries[i].UnpackedSize, ref.entries[i].UnpackedSize);
    EXPECT_EQ(w.entries[i].Crc, ref.entries[i].Crc);
  }
  // The local headers of the whole set, walked from the first volume's spanning marker.
  ctx.ZipWalkLocal = true;
  Walked local = WalkSource(hfZip, set, ctx);
  EXPECT_EQ(local.entries.size(), 272u);
}
