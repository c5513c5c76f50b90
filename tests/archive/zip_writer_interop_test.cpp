// ZIP writer: archives we write pass unzip -t and 7zz t and extract to the same bytes, names,
// dates and folders; encryption and comments; updates keep untouched entries byte-identical; a
// failure halfway leaves the old archive and no temporary file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

namespace {

// A source folder with text, incompressible data, an empty file, an empty folder, a nested
// folder, names with blanks and beyond ASCII, and a .zip file (stored, not deflated).
std::map<std::string, std::string> MakeTree(const std::string& root) {
  std::map<std::string, std::string> files = {
      {"text.txt", ziptest::SampleText(200000, 1)},
      {"random.bin", ziptest::RandomBytes(70000, 2)},
      {"empty.txt", ""},
      {"with blank name.txt", "blank\n"},
      {"caf\xC3\xA9 cr\xC3\xA8me.txt", "oem name\n"},
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "utf-8 name\n"},
      {"sub/inner.txt", ziptest::SampleText(5000, 3)},
      {"sub/deeper/more.txt", "deeper\n"},
      {"inner.zip", ziptest::SampleText(30000, 4)},
  };
  for (const auto& [name, data] : files) {
    fs::create_directories(fs::path(root + "/" + name).parent_path());
    ziptest::WriteFile(root + "/" + name, data);
  }
  fs::create_directories(root + "/empty dir");
  // An even, fixed date (odd seconds cannot be stored).
  for (const auto& [name, data] : files) {
    struct utimbuf t{1600000000, 1600000000};
    ::utime((root + "/" + name).c_str(), &t);
  }
  return files;
}

struct Errors {
  std::vector<int> codes;
  void Bind(TZip& z) {
    z.OnError = [this](TObject*, const std::string&, const std::string&, const std::string&, int code) {
      codes.push_back(code);
    };
  }
};

int Pack(const std::string& archive, const std::string& root, TDeflateType type,
         std::function<void(TZip&)> setup = nullptr, Errors* errors = nullptr) {
  TZip z;
  z.SetArcFile(archive);
  z.FileSpec = {root + "/*.*"};
  z.StoreEmptySubDirs = true;
  z.DeflateType = type;
  z.DeleteOptions = doFinal;
  if (errors) errors->Bind(z);
  if (setup) setup(z);
  return z.Compress();
}

// The raw local record (header, name, extra, data) of every entry, by name.
std::map<std::string, std::string> RawEntries(const std::string& archive) {
  const std::string zip = ziptest::ReadFile(archive);
  std::map<std::string, std::string> out;
  for (const auto& e : ziptest::ListZip(zip)) {
    out[e.name] = zip.substr(e.localOffset, e.dataOffset - e.localOffset + e.packedSize);
  }
  return out;
}

// The text `unzip -z` shows for the archive (its comment), through the file out.
std::string UnzipComment(const std::string& archive, const std::string& out) {
  EXPECT_EQ(ziptest::Run("unzip -z " + archive + " > " + out), 0);
  return ziptest::ReadFile(out);
}

int TempFilesIn(const std::string& dir) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().rfind("pak", 0) == 0) ++n;
  }
  return n;
}


// The source tree packed once into "pkg.zip", with an empty folder for the temporary files of
// the next update and the archive's first content.
struct PackedTree {
  explicit PackedTree(const std::string& prefix) : tmp(prefix), src(tmp.Path("src")), archive(tmp.Path("pkg.zip")),
                                                   temps(tmp.Path("temps")) {
    MakeTree(src);
    fs::create_directories(temps);
    EXPECT_EQ(Pack(archive, src, dtDeflateN), 10);
    original = ziptest::ReadFile(archive);
  }
  // Packs into the archive again, the temporary files going to temps.
  int Update(TDeflateType type, const std::function<void(TZip&)>& setup, Errors& errors) const {
    return Pack(archive, src, type, [&](TZip& z) {
      z.SetTempDir(temps);
      setup(z);
    }, &errors);
  }
  // The archive is as first packed and no temporary file is left behind.
  void ExpectUntouched() const {
    EXPECT_TRUE(ziptest::ReadFile(archive) == original);
    EXPECT_EQ(TempFilesIn(temps), 0);
  }

  ziptest::TempFolder tmp;
  std::string src;
  std::string archive;
  std::string temps;
  std::string original;
};

}  // namespace

TEST(ZipWriterInterop, StoredAndDeflatedArchivesExtractToTheSameTree) {
  ziptest::TempFolder tmp("pakvo_zipw");
  const std::string src = tmp.Path("src");
  const auto files = MakeTree(src);
  for (TDeflateType type : {dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX}) {
    const std::string archive = tmp.Path("out" + std::to_string(type) + ".zip");
    Errors errors;
    ASSERT_EQ(Pack(archive, src, type, nullptr, &errors), 10) << type;
    EXPECT_TRUE(errors.codes.empty());
    EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0) << type;
    EXPECT_EQ(ziptest::Run("7zz t " + archive), 0) << type;
    const std::string dest = tmp.Path("x" + std::to_string(type));
    ASSERT_EQ(ziptest::Run("unzip -o " + archive + " -d " + dest), 0);
    for (const auto& [name, data] : files) {
      const std::string path = dest + "/" + name;
      ASSERT_TRUE(fs::exists(path)) << name;
      EXPECT_TRUE(ziptest::ReadFile(path) == data) << name;
      struct stat st{};
      ::stat(path.c_str(), &st);
      EXPECT_NEAR(static_cast<double>(st.st_mtime), 1600000000.0, 1.0) << name;
    }
    EXPECT_TRUE(fs::is_directory(dest + "/empty dir"));
    const auto entries = ziptest::ListZip(ziptest::ReadFile(archive));
    for (const auto& e : entries) {
      if (e.name == "random.bin" || e.name == "inner.zip" || type == dtDeflateS) {
        EXPECT_EQ(e.method, 0) << e.name;
        EXPECT_EQ(e.flags & 6, 0) << e.name;
      }
      if (e.name == "text.txt" && type != dtDeflateS) {
        EXPECT_EQ(e.method, 8);
        EXPECT_LT(e.packedSize, e.size / 2);
      }
      if (e.name == "empty.txt") {
        EXPECT_EQ(e.crc, 0u);
      }
    }
  }
}

TEST(ZipWriterInterop, EncryptedEntriesAndComments) {
  ziptest::TempFolder tmp("pakvo_zipc");
  const std::string src = tmp.Path("src");
  const auto files = MakeTree(src);
  const std::string archive = tmp.Path("secret.zip");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [](TZip& z) {
              z.Password = "S3cret pw";
              z.SetArchiveComment("Package comment");
              z.SetFileComment("text.txt", "Entry comment");
            }),
            10);
  EXPECT_EQ(ziptest::Run("unzip -P 'S3cret pw' -t " + archive), 0);
  EXPECT_NE(ziptest::Run("unzip -P wrong -t " + archive), 0);
  EXPECT_EQ(ziptest::Run("7zz t '-pS3cret pw' " + archive), 0);
  ASSERT_EQ(ziptest::Run("unzip -P 'S3cret pw' -o " + archive + " -d " + tmp.Path("x")), 0);
  for (const auto& [name, data] : files) EXPECT_TRUE(ziptest::ReadFile(tmp.Path("x/" + name)) == data) << name;
  EXPECT_NE(UnzipComment(archive, tmp.Path("z.txt")).find("Package comment"), std::string::npos);
  ASSERT_EQ(ziptest::Run("zipinfo -v " + archive + " > " + tmp.Path("info.txt")), 0);
  EXPECT_NE(ziptest::ReadFile(tmp.Path("info.txt")).find("Entry comment"), std::string::npos);
  // A later update keeps the archive comment.
  ziptest::WriteFile(src + "/added.txt", "added\n");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [&](TZip& z) { z.FileSpec = {src + "/added.txt"}; }), 1);
  EXPECT_NE(UnzipComment(archive, tmp.Path("z2.txt")).find("Package comment"), std::string::npos);
}

TEST(ZipWriterInterop, UpdatesKeepUntouchedEntriesByteIdentical) {
  ziptest::TempFolder tmp("pakvo_zipu");
  const std::string src = tmp.Path("src");
  MakeTree(src);
  const std::string archive = tmp.Path("pkg.zip");
  ASSERT_EQ(Pack(archive, src, dtDeflateN), 10);
  const auto before = RawEntries(archive);

  // Add: one new file; everything else byte-identical.
  ziptest::WriteFile(src + "/new.txt", "brand new\n");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [&](TZip& z) { z.FileSpec = {src + "/new.txt"}; }), 1);
  auto after = RawEntries(archive);
  EXPECT_EQ(after.size(), before.size() + 1);
  for (const auto& [name, raw] : before) EXPECT_TRUE(after[name] == raw) << name;
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);

  // Refresh: only the changed file is taken again; a new file is not added.
  ziptest::WriteFile(src + "/sub/inner.txt", "changed content\n");
  ziptest::WriteFile(src + "/not-in-archive.txt", "ignored\n");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [](TZip& z) { z.Switch = swRefresh; }), 1);
  auto refreshed = RawEntries(archive);
  EXPECT_EQ(refreshed.count("not-in-archive.txt"), 0u);
  EXPECT_FALSE(refreshed["sub/inner.txt"] == after["sub/inner.txt"]);
  for (const auto& [name, raw] : after) {
    if (name != "sub/inner.txt") {
      EXPECT_TRUE(refreshed[name] == raw) << name;
    }
  }
  ASSERT_EQ(ziptest::Run("unzip -p " + archive + " sub/inner.txt > " + tmp.Path("inner.out")), 0);
  EXPECT_EQ(ziptest::ReadFile(tmp.Path("inner.out")), "changed content\n");

  // Replace through OnReplaceFile, rename duplicates through OnRenameDupeFile.
  ziptest::WriteFile(src + "/new.txt", "replaced content\n");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [&](TZip& z) {
              z.FileSpec = {src + "/new.txt"};
              z.OnReplaceFile = [](TObject*, const std::string&, const std::string&, TDateTime, TDateTime, int64_t,
                                   int64_t, int, int, bool& replace) { replace = true; };
            }),
            1);
  ASSERT_EQ(ziptest::Run("unzip -p " + archive + " new.txt > " + tmp.Path("new.out")), 0);
  EXPECT_EQ(ziptest::ReadFile(tmp.Path("new.out")), "replaced content\n");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [&](TZip& z) {
              z.FileSpec = {src + "/new.txt"};
              z.OnRenameDupeFile = [](TObject*, const std::string& name, std::string& newName, bool& rename) {
                rename = name == "new.txt";
                newName = "old-new.txt";
              };
            }),
            1);
  auto renamed = RawEntries(archive);
  EXPECT_EQ(renamed.count("old-new.txt"), 1u);
  EXPECT_EQ(renamed.count("new.txt"), 1u);
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);
  EXPECT_EQ(ziptest::Run("7zz t " + archive), 0);

  // Delete entries by mask.
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [&](TZip& z) {
              z.Switch = swDelete;
              z.FileSpec = {"*.bin", "old-new.txt"};
            }),
            2);
  auto trimmed = RawEntries(archive);
  EXPECT_EQ(trimmed.count("random.bin"), 0u);
  EXPECT_EQ(trimmed.count("old-new.txt"), 0u);
  EXPECT_TRUE(trimmed["text.txt"] == before.at("text.txt"));
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);

  // Move: sources go only once the new archive is complete.
  const std::string moveDir = tmp.Path("move");
  fs::create_directories(moveDir);
  ziptest::WriteFile(moveDir + "/m1.txt", "move me\n");
  ziptest::WriteFile(moveDir + "/m2.txt", "move me too\n");
  bool archiveHadThemWhenDeleted = false;
  ASSERT_EQ(Pack(archive, moveDir, dtDeflateN, [&](TZip& z) {
              z.Switch = swMove;
              z.OnDeleteFile = [&](TObject*, const std::string&, int, int) {
                archiveHadThemWhenDeleted = RawEntries(archive).count("m2.txt") == 1;
              };
            }),
            2);
  EXPECT_TRUE(archiveHadThemWhenDeleted);
  EXPECT_FALSE(fs::exists(moveDir + "/m1.txt"));
  EXPECT_FALSE(fs::exists(moveDir + "/m2.txt"));
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);

  // Deleting every entry leaves an empty archive (end record only).
  ASSERT_GT(Pack(archive, src, dtDeflateN, [&](TZip& z) {
              z.Switch = swDelete;
              z.FileSpec = {"*"};
            }),
            0);
  EXPECT_EQ(fs::file_size(archive), 22u);
  // And deleting from a missing archive is "Nothing to do".
  Errors errors;
  EXPECT_EQ(Pack(tmp.Path("missing.zip"), src, dtDeflateN, [](TZip& z) { z.Switch = swDelete; }, &errors), 0);
  ASSERT_EQ(errors.codes.size(), 1u);
  EXPECT_EQ(errors.codes[0], 26859);
}

TEST(ZipWriterInterop, UpdatesArchivesOfInfoZip) {
  ziptest::TempFolder tmp("pakvo_zipi");
  const std::string src = tmp.Path("src");
  MakeTree(src);
  ziptest::WriteFile(tmp.Path("extra.txt"), "extra\n");
  // Written to a pipe, Info-ZIP puts data descriptors behind the entries; the second archive
  // carries an archive comment.
  const std::string piped = tmp.Path("piped.zip");
  const std::string commented = tmp.Path("commented.zip");
  ASSERT_EQ(ziptest::Run("cd " + src + " && zip -q -r - . | cat > " + piped), 0);
  ASSERT_EQ(ziptest::Run("cd " + src + " && echo 'info-zip comment' | zip -q -r -z " + commented + " ."), 0);
  const auto listed = ziptest::ListZip(ziptest::ReadFile(piped));
  ASSERT_TRUE(std::any_of(listed.begin(), listed.end(), [](const auto& e) { return (e.flags & 8) != 0; }));
  for (const std::string& archive : {piped, commented}) {
    const auto before = RawEntries(archive);
    ASSERT_EQ(Pack(archive, tmp.Path(), dtDeflateN, [&](TZip& z) {
                z.FileSpec = {tmp.Path("extra.txt")};
                z.StoreEmptySubDirs = false;
              }),
              1);
    const auto after = RawEntries(archive);
    EXPECT_EQ(after.size(), before.size() + 1);
    for (const auto& [name, raw] : before) EXPECT_TRUE(after.at(name) == raw) << name;
    EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0) << archive;
    EXPECT_EQ(ziptest::Run("7zz t " + archive), 0) << archive;
  }
  EXPECT_NE(UnzipComment(commented, tmp.Path("z.txt")).find("info-zip comment"), std::string::npos);
}

TEST(ZipWriterInterop, FailureHalfwayLeavesTheOldArchive) {
  PackedTree t("pakvo_zipf");
  ASSERT_FALSE(t.original.empty());
  ziptest::WriteFile(t.src + "/late1.txt", ziptest::SampleText(100000, 9));
  ziptest::WriteFile(t.src + "/late2.txt", ziptest::SampleText(100000, 10));

  // Cancelled in the middle.
  Errors errors;
  EXPECT_EQ(t.Update(dtDeflateN, [&](TZip& z) {
              z.FileSpec = {t.src + "/late*.txt"};
              z.OnBegin = [&z](TObject*, const std::string& name, int, bool&) {
                if (name == "late2.txt") z.SetCancel(true);
              };
            }, errors),
            0);
  t.ExpectUntouched();

  // A source that vanishes before it is read.
  errors.codes.clear();
  EXPECT_EQ(t.Update(dtDeflateN, [&](TZip& z) {
              z.FileSpec = {t.src + "/late*.txt"};
              z.OnBegin = [&](TObject*, const std::string& name, int, bool&) {
                if (name == "late2.txt") fs::remove(t.src + "/late2.txt");
              };
            }, errors),
            0);
  ASSERT_FALSE(errors.codes.empty());
  EXPECT_EQ(errors.codes.back(), kErrErrorOpeningFile);
  t.ExpectUntouched();

  // Nothing to do leaves the archive as it was.
  errors.codes.clear();
  EXPECT_EQ(t.Update(dtDeflateN, [&](TZip& z) { z.FileSpec = {t.src + "/*.none"}; }, errors), 0);
  t.ExpectUntouched();
}

TEST(ZipWriterInterop, WriteFailureHalfwayLeavesTheOldArchive) {
  PackedTree t("pakvo_zipw_full");
  ASSERT_FALSE(t.original.empty());
  ziptest::WriteFile(t.src + "/big.bin", ziptest::RandomBytes(3u << 20, 12));
  // A file-size limit makes the writes of the temporary archive fail part way, as a full disk.
  struct rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1u << 20;
  ::setrlimit(RLIMIT_FSIZE, &small);
  Errors errors;
  const int added = t.Update(dtDeflateS, [&](TZip& z) { z.FileSpec = {t.src + "/big.bin"}; }, errors);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(added, 0);
  ASSERT_FALSE(errors.codes.empty());
  EXPECT_EQ(errors.codes.back(), kErrErrorWritingToFile);
  t.ExpectUntouched();
}

TEST(ZipWriterInterop, ReadSwitchWalksTheEntries) {
  ziptest::TempFolder tmp("pakvo_zipr");
  const std::string src = tmp.Path("src");
  MakeTree(src);
  const std::string archive = tmp.Path("pkg.zip");
  ASSERT_EQ(Pack(archive, src, dtDeflateX), 10);
  TZip z;
  z.SetArcFile(archive);
  z.Switch = swRead;
  std::vector<std::string> names;
  std::map<std::string, std::string> methods;
  z.OnRead = [&](TObject*, int, int count) {
    names.push_back(z.CurrentFile);
    methods[z.CurrentFile] = z.CompressMethodName;
    EXPECT_EQ(count, static_cast<int>(names.size()));
  };
  EXPECT_EQ(z.Compress(), 0);
  EXPECT_EQ(names.size(), 10u);
  EXPECT_EQ(methods["text.txt"], "DeflateX");
  EXPECT_EQ(methods["random.bin"], "Stored");
  EXPECT_EQ(methods["empty dir"], "Stored");
  // Without OnRead the walk is refused.
  TZip bare;
  bare.SetArcFile(archive);
  bare.Switch = swRead;
  Errors errors;
  errors.Bind(bare);
  EXPECT_EQ(bare.Compress(), 0);
  ASSERT_EQ(errors.codes.size(), 1u);
  EXPECT_EQ(errors.codes[0], kErrRequiredEventNotAssigned);
}

TEST(ZipWriterInterop, RenameFileGivesNewStoredNames) {
  ziptest::TempFolder tmp("pakvo_zipn");
  const std::string src = tmp.Path("src");
  MakeTree(src);
  const std::string archive = tmp.Path("pkg.zip");
  ASSERT_EQ(Pack(archive, src, dtDeflateN, [](TZip& z) {
              z.OnRenameFile = [](TObject*, const std::string& name, std::string& newName) {
                if (name == "sub/inner.txt") newName = "renamed.txt";
                if (name == "text.txt") newName = "empty.txt";  // taken: asked again, then kept
              };
            }),
            10);
  const auto raw = RawEntries(archive);
  EXPECT_EQ(raw.count("sub/renamed.txt"), 1u);
  EXPECT_EQ(raw.count("sub/inner.txt"), 0u);
  EXPECT_EQ(raw.count("text.txt"), 1u);
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);
}

TEST(ZipWriterInterop, DefaultExtension) {
  TZip z;
  EXPECT_EQ(z.DefaultExt(), ".ZIP");
  z.SetArcFile("/tmp/pkg");
  EXPECT_EQ(z.ArchiveFile(), "/tmp/pkg.ZIP");
  z.SetDefaultExt("7z");
  EXPECT_EQ(z.DefaultExt(), ".7z");
  EXPECT_EQ(z.ArchiveFile(), "/tmp/pkg.7z");
  z.SetDefaultExt("abcdef");
  EXPECT_EQ(z.DefaultExt(), ".abc");
  z.SetDefaultExt("");
  EXPECT_EQ(z.DefaultExt(), ".ZIP");
}
