// ZIP writer on existing archives: comments of a bound archive saved by RebuildArchive, entry
// counts and sizes; archives with leading bytes (a self-extractor, bytes put in front by hand)
// or with local headers only are updated into archives that unzip -t and 7zz t pass.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"
#include "zip_test_support.h"
#include "zip_writer_check.h"

namespace fs = std::filesystem;

namespace {

struct Folder {
  explicit Folder(const std::string& tag) : tmp(tag), src(tmp.Path("src")) {
    fs::create_directories(src);
    ziptest::WriteFile(src + "/a.txt", ziptest::SampleText(20000, 1));
    ziptest::WriteFile(src + "/b.txt", "beta\n");
  }
  // A ZIP of a.txt and b.txt written by Info-ZIP zip.
  std::string PeerZip(const std::string& name) {
    const std::string path = tmp.Path(name);
    EXPECT_EQ(ziptest::Run("cd " + src + " && zip -q -X " + path + " a.txt b.txt"), 0);
    return path;
  }
  // Adds c.txt to archive with our writer; the number of files added.
  int AddC(const std::string& archive, std::vector<int>* errors = nullptr) {
    ziptest::WriteFile(src + "/c.txt", "gamma\n");
    TZip z;
    z.SetArcFile(archive);
    z.FileSpec = {src + "/c.txt"};
    z.OnError = [errors](TObject*, const std::string&, const std::string&, const std::string&, int code) {
      if (errors) errors->push_back(code);
    };
    return z.Compress();
  }
  void ExpectPeersAndReaderPass(const std::string& archive) {
    EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0) << archive;
    EXPECT_EQ(ziptest::Run("7zz t " + archive), 0) << archive;
    EXPECT_EQ(ziptest::Run("7z t " + archive), 0) << archive;
    const std::string out = tmp.Path("x" + std::to_string(++checks));
    const zipcheck::TReadBack r = zipcheck::Extract(archive, out);
    EXPECT_TRUE(r.Errors.empty()) << archive;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
      EXPECT_TRUE(ziptest::ReadFile(out + "/" + name) == ziptest::ReadFile(src + "/" + name)) << name;
    }
  }
  ziptest::TempFolder tmp;
  std::string src;
  int checks = 0;
};

uint32_t CentralOffset(const std::string& zip) {
  return ziptest::Get32(zip, zip.rfind(std::string("PK\x05\x06", 4)) + 16);
}

}  // namespace

TEST(ZipWriterComments, BoundArchiveCommentsAreSavedByRebuildArchive) {
  Folder f("pakvo_cmt");
  const std::string archive = f.tmp.Path("c.zip");
  {
    TZip z;
    z.SetArcFile(archive);
    z.FileSpec = {f.src + "/*.*"};
    z.SetArchiveComment("first comment");
    z.SetFileComment("a.txt", "note a");
    ASSERT_EQ(z.Compress(), 2);
  }
  const std::string before = ziptest::ReadFile(archive);
  const auto entries = ziptest::ListZip(before);
  TZip z;
  std::vector<int> errors;
  z.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int code) {
    errors.push_back(code);
  };
  z.SetArcFile(archive);
  EXPECT_EQ(z.GetArchiveComment(), "first comment");
  ASSERT_EQ(z.CountEntries(), 2);
  for (int i = 0; i < 2; ++i) {
    const auto& e = entries[static_cast<size_t>(i)];
    EXPECT_EQ(z.GetFileComment(i), e.name == "a.txt" ? "note a" : "") << e.name;
    EXPECT_EQ(z.GetArchiveSize(i), static_cast<int64_t>(e.dataOffset - e.localOffset + e.packedSize)) << e.name;
  }
  EXPECT_FALSE(z.RebuildArchive());  // nothing changed

  // A comment change alone gives Compress nothing to do.
  z.SetArchiveComment("second comment");
  z.FileSpec.clear();
  EXPECT_EQ(z.Compress(), 0);
  EXPECT_EQ(errors, std::vector<int>{kErrNothingToDo});
  EXPECT_TRUE(ziptest::ReadFile(archive) == before);

  const int b = entries[0].name == "b.txt" ? 0 : 1;
  ASSERT_TRUE(z.SetFileComment(b, "note b"));
  ASSERT_TRUE(z.RebuildArchive());
  EXPECT_EQ(errors.size(), 1u);
  const std::string after = ziptest::ReadFile(archive);
  // The entries are copied unchanged; only the directory is new.
  EXPECT_TRUE(after.substr(0, CentralOffset(before)) == before.substr(0, CentralOffset(before)));
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);
  EXPECT_EQ(ziptest::Run("7zz t " + archive), 0);
  ASSERT_EQ(ziptest::Run("zipinfo -v " + archive + " > " + f.tmp.Path("info.txt")), 0);
  const std::string info = ziptest::ReadFile(f.tmp.Path("info.txt"));
  for (const char* text : {"second comment", "note a", "note b"}) EXPECT_NE(info.find(text), std::string::npos) << text;
  TZip again;
  again.SetArcFile(archive);
  EXPECT_EQ(again.GetFileComment(b), "note b");
  EXPECT_EQ(again.GetArchiveComment(), "second comment");
}

TEST(ZipWriterOldArchives, SelfExtractorStubIsKept) {
  Folder f("pakvo_sfx");
  const std::string zip = f.PeerZip("x.zip");
  const std::string sfx = f.tmp.Path("x.exe");
  ASSERT_EQ(ziptest::Run("cat /usr/bin/unzipsfx " + zip + " > " + sfx + " && zip -q -A " + sfx), 0);
  ASSERT_EQ(f.AddC(sfx), 1);
  const std::string stub = ziptest::ReadFile("/usr/bin/unzipsfx");
  EXPECT_TRUE(ziptest::ReadFile(sfx).substr(0, stub.size()) == stub);
  f.ExpectPeersAndReaderPass(sfx);
  EXPECT_EQ(ziptest::Run("chmod +x " + sfx + " && " + sfx + " -t"), 0);  // the stub reads its archive
}

TEST(ZipWriterOldArchives, BytesPutInFrontGetTheirOffsetsAdjusted) {
  Folder f("pakvo_front");
  const std::string zip = f.PeerZip("x.zip");
  const std::string front = ziptest::SampleText(1000, 9);
  const std::string archive = f.tmp.Path("front.zip");
  ziptest::WriteFile(archive, front + ziptest::ReadFile(zip));
  ASSERT_EQ(f.AddC(archive), 1);
  EXPECT_TRUE(ziptest::ReadFile(archive).substr(0, front.size()) == front);
  f.ExpectPeersAndReaderPass(archive);

  // A comment change rewrites the directory of such an archive with adjusted offsets too.
  ziptest::WriteFile(archive, front + ziptest::ReadFile(zip));
  TZip z;
  z.SetArcFile(archive);
  ASSERT_EQ(z.CountEntries(), 2);
  ASSERT_TRUE(z.SetFileComment(0, "moved"));
  ASSERT_TRUE(z.RebuildArchive());
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);
  EXPECT_EQ(ziptest::Run("7zz t " + archive), 0);
}

TEST(ZipWriterOldArchives, LocalHeadersOnlyGetTheirDirectoryRebuilt) {
  Folder f("pakvo_local");
  const std::string zip = ziptest::ReadFile(f.PeerZip("x.zip"));
  const std::string archive = f.tmp.Path("local.zip");
  ziptest::WriteFile(archive, zip.substr(0, CentralOffset(zip)));
  TZip z;
  z.SetArcFile(archive);
  EXPECT_EQ(z.CountEntries(), 2);
  ASSERT_EQ(f.AddC(archive), 1);
  f.ExpectPeersAndReaderPass(archive);
}

// The library's large end record (64-bit directory offset) is read when an archive is updated.
TEST(ZipWriterOldArchives, LargeEndRecordIsRead) {
  Folder f("pakvo_large_end");
  std::string zip = ziptest::ReadFile(f.PeerZip("x.zip"));
  const std::string end = zip.substr(zip.size() - 22);
  std::string large = end.substr(0, 16) + end.substr(16, 4) + std::string(4, '\0') + end.substr(20, 2);
  large[2] = 5;
  large[3] = 5;  // "PK" 05 05
  const std::string archive = f.tmp.Path("large.zip");
  ziptest::WriteFile(archive, zip.substr(0, zip.size() - 22) + large);
  TZip z;
  z.SetArcFile(archive);
  EXPECT_EQ(z.CountEntries(), 2);
  ASSERT_EQ(f.AddC(archive), 1);
  f.ExpectPeersAndReaderPass(archive);
}
