// ZIP writer faults: the archive and the temporary file are never sources, VerifyBeforeDelete
// looks at the written entries, OnEnd reports the real CRC verdict, archives get the umask's
// mode; and the scanner's events reach the writer's handlers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "archive/pakvoZip.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> EntryNames(const std::string& archive) {
  std::set<std::string> names;
  for (const auto& e : ziptest::ListZip(ziptest::ReadFile(archive))) names.insert(e.name);
  return names;
}

}  // namespace

// Fault: an archive inside the scanned tree was stored in itself, and a TempDir inside the tree
// added the temporary archive "tmp/pak...".
TEST(ZipWriterFaults, ArchiveAndTemporaryFileAreNeverAdded) {
  ziptest::TempFolder tmp("pakvo_self");
  const std::string src = tmp.Path("src");
  fs::create_directories(src + "/tmp");
  ziptest::WriteFile(src + "/a.txt", "alpha\n");
  ziptest::WriteFile(src + "/b.txt", "beta\n");
  const std::string archive = src + "/arc.zip";
  auto pack = [&] {
    TZip z;
    z.SetArcFile(archive);
    z.FileSpec = {src + "/*"};
    z.SetTempDir(src + "/tmp");
    z.OnRenameDupeFile = [](TObject*, const std::string&, std::string&, bool& rename) { rename = false; };
    return z.Compress();
  };
  ASSERT_EQ(pack(), 2);
  EXPECT_EQ(EntryNames(archive), (std::set<std::string>{"a.txt", "b.txt"}));
  ziptest::WriteFile(src + "/c.txt", "gamma\n");
  ASSERT_EQ(pack(), 1);
  EXPECT_EQ(EntryNames(archive), (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);
}

// Fault: VerifyBeforeDelete kept only sources that no longer existed; a source whose entry is not
// in the archive as written must stay.
TEST(ZipWriterFaults, VerifyBeforeDeleteKeepsSourcesMissingFromTheArchive) {
  ziptest::TempFolder tmp("pakvo_verify");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  ziptest::WriteFile(src + "/a.txt", "alpha\n");
  ziptest::WriteFile(src + "/b.txt", "beta\n");
  const std::string archive = tmp.Path("moved.zip");
  TZip z;
  z.SetArcFile(archive);
  z.FileSpec = {src + "/*.*"};
  z.Switch = swMove;
  z.DeleteOptions = doFinal;
  z.VerifyBeforeDelete = true;
  // Something removes b.txt from the archive before the sources are deleted.
  z.OnDeactivate = [&](TObject*) { ziptest::Run("zip -q -d " + archive + " b.txt"); };
  ASSERT_EQ(z.Compress(), 2);
  EXPECT_FALSE(fs::exists(src + "/a.txt"));
  EXPECT_TRUE(fs::exists(src + "/b.txt"));
}

// Fault: OnEnd always reported the CRC as passed. An encrypted file that changes between the CRC
// pass and the packing pass gets a CRC that does not match its data.
TEST(ZipWriterFaults, OnEndReportsAFailedCrc) {
  ziptest::TempFolder tmp("pakvo_onend");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  ziptest::WriteFile(src + "/changing.txt", ziptest::SampleText(300000, 1));
  ziptest::WriteFile(src + "/steady.txt", ziptest::SampleText(300000, 2));
  TZip z;
  z.SetArcFile(tmp.Path("crc.zip"));
  z.FileSpec = {src + "/*.*"};
  z.Password = "pw";
  bool changed = false;
  z.OnProgress = [&](TObject*, uint8_t, uint8_t) {
    if (changed || z.CurrentFile != src + "/changing.txt") return;
    std::fstream f(src + "/changing.txt", std::ios::in | std::ios::out | std::ios::binary);
    f.write("CHANGED", 7);
    changed = true;
  };
  std::map<std::string, bool> verdicts;
  z.OnEnd = [&](TObject*, const std::string& name, bool pass) { verdicts[name] = pass; };
  ASSERT_EQ(z.Compress(), 2);
  ASSERT_TRUE(changed);
  EXPECT_EQ(verdicts, (std::map<std::string, bool>{{"changing.txt", false}, {"steady.txt", true}}));
}

// Fault (issue 16): archives got the temporary file's mode 0600. A new archive gets what the
// umask leaves; an updated one keeps its mode.
TEST(ZipWriterFaults, ArchivesGetTheUmasksModeAndKeepTheirOwn) {
  ziptest::TempFolder tmp("pakvo_mode");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  ziptest::WriteFile(src + "/a.txt", "alpha\n");
  const mode_t old = ::umask(022);
  auto modeOf = [](const std::string& path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
  };
  for (TCompressionMethod method : {cmTempFile, cmInMemory}) {
    const std::string archive = tmp.Path(method == cmTempFile ? "file.zip" : "memory.zip");
    TZip z;
    z.CompressionMethod = method;
    z.SetArcFile(archive);
    z.FileSpec = {src + "/a.txt"};
    ASSERT_EQ(z.Compress(), 1);
    EXPECT_EQ(modeOf(archive), 0644u) << method;
    ::chmod(archive.c_str(), 0640);
    ziptest::WriteFile(src + "/b.txt", "beta\n");
    z.FileSpec = {src + "/b.txt"};
    ASSERT_EQ(z.Compress(), 1);
    EXPECT_EQ(modeOf(archive), 0640u) << method;
    fs::remove(src + "/b.txt");
  }
  ::umask(old);
}

TEST(ZipWriterEvents, FileScanStatusAndRecurseDirReachTheHandlers) {
  ziptest::TempFolder tmp("pakvo_scanev");
  const std::string src = tmp.Path("src");
  fs::create_directories(src + "/sub");
  ziptest::WriteFile(src + "/a.txt", "12345");
  ziptest::WriteFile(src + "/sub/b.txt", "1234567");
  TZip z;
  z.SetArcFile(tmp.Path("ev.zip"));
  z.FileSpec = {src + "/*.*"};
  int lastCount = 0;
  int64_t lastSize = 0;
  std::vector<std::string> dirs;
  z.OnFileScanStatus = [&](TObject* sender, const std::string&, int count, int64_t size) {
    EXPECT_EQ(sender, &z);
    lastCount = count;
    lastSize = size;
  };
  z.OnRecurseDir = [&](TObject*, const std::string& dir) { dirs.push_back(dir); };
  ASSERT_EQ(z.Compress(), 2);
  EXPECT_EQ(lastCount, 2);
  EXPECT_EQ(lastSize, 12);
  EXPECT_NE(std::find(dirs.begin(), dirs.end(), src + "/sub"), dirs.end());
}
