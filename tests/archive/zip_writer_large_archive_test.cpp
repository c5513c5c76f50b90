// ZIP writer beyond the 32-bit and 16-bit fields: a 5 GiB file in an archive past 4 GiB (extra
// block 100, the large end record) and 70,000 entries (the end record's counts wrap), packed,
// updated, listed and extracted with our reader and lister.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive/pakvoZip.h"
#include "zip_test_support.h"
#include "zip_writer_check.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t k5GiB = uint64_t{5} << 30;
constexpr uint64_t k4GiB = uint64_t{1} << 32;

// A sparse file of size bytes with a few marks, so that the CRC sees more than zeros.
void WriteSparse(const std::string& path, uint64_t size) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  for (uint64_t at : {uint64_t{0}, k4GiB + 1, size - 5}) {
    ASSERT_EQ(::pwrite(fd, "mark", 4, static_cast<off_t>(at)), 4);
  }
  ::close(fd);
}

std::string ReadAt(const std::string& path, uint64_t at, size_t n) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(at));
  std::string s(n, '\0');
  in.read(s.data(), static_cast<std::streamsize>(n));
  return s;
}

uint64_t Le(const std::string& s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}

// Free bytes on the file system that holds path.
uint64_t FreeBytes(const std::string& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

}  // namespace

TEST(ZipWriterLargeArchive, FiveGiBFileInAnArchivePastFourGiB) {
  ziptest::TempFolder tmp("pakvo_5g");
  // The archive, its update and the extracted file each take about 5 GiB of real disk.
  if (FreeBytes(tmp.Path("")) < 4 * k5GiB) GTEST_SKIP() << "needs 20 GiB free beside " << tmp.Path("");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  WriteSparse(src + "/big.bin", k5GiB);
  ziptest::WriteFile(src + "/small.txt", "after the big file\n");
  const std::string archive = tmp.Path("big.zip");
  {
    TZip z;
    z.SetArcFile(archive);
    z.FileSpec = {src + "/big.bin", src + "/small.txt"};
    z.CompressMethod = cmStore;  // the archive itself passes 4 GiB
    ASSERT_EQ(z.Compress(), 2);
  }
  ASSERT_GT(fs::file_size(archive), k5GiB);
  // The large end record with the directory's 64-bit offset beyond 4 GiB.
  auto directory = [&archive] {
    const uint64_t size = fs::file_size(archive);
    const std::string end = ReadAt(archive, size - 26, 26);
    EXPECT_EQ(Le(end, 0, 4), 0x06055B50u);
    EXPECT_GT(Le(end, 16, 8), k5GiB);
    return ReadAt(archive, Le(end, 16, 8), static_cast<size_t>(Le(end, 12, 4)));
  };
  // Block 100 after an entry's name in the directory: id, then the high words of the packed
  // size, the size and the local header's offset.
  auto block100 = [](const std::string& dir, const std::string& name) {
    const size_t at = dir.find(name);
    if (at == std::string::npos || Le(dir, at - 46 + 30, 2) != 10) return std::vector<uint64_t>{};
    const size_t x = at + name.size();
    return std::vector<uint64_t>{Le(dir, x, 2), Le(dir, x + 4, 2), Le(dir, x + 6, 2), Le(dir, x + 8, 2)};
  };
  EXPECT_EQ(block100(directory(), "big.bin"), (std::vector<uint64_t>{100, 1, 1, 0}));

  std::vector<std::string> names = zipcheck::List(archive);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"big.bin", "small.txt"}));
  const std::string out = tmp.Path("x");
  const zipcheck::TReadBack r = zipcheck::Extract(archive, out);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(r.Extracted, 2);
  EXPECT_EQ(r.CrcPassed, 2);
  EXPECT_EQ(fs::file_size(out + "/big.bin"), k5GiB);
  EXPECT_EQ(ReadAt(out + "/big.bin", k4GiB + 1, 4), "mark");
  EXPECT_EQ(ziptest::ReadFile(out + "/small.txt"), "after the big file\n");
  fs::remove(out + "/big.bin");

  // An update reads the large end record and block 100 back and keeps both entries.
  ziptest::WriteFile(src + "/later.txt", "added later\n");
  TZip z;
  z.SetArcFile(archive);
  EXPECT_EQ(z.CountEntries(), 2);
  z.FileSpec = {src + "/later.txt"};
  ASSERT_EQ(z.Compress(), 1);
  // The new entry's header lies beyond 4 GiB: block 100 carries its offset's high word.
  EXPECT_EQ(block100(directory(), "later.txt"), (std::vector<uint64_t>{100, 0, 0, 1}));
  const zipcheck::TReadBack again = zipcheck::Extract(archive, tmp.Path("y"), {"*.txt"});
  EXPECT_TRUE(again.Errors.empty());
  EXPECT_EQ(again.Extracted, 2);
  EXPECT_EQ(ziptest::ReadFile(tmp.Path("y/later.txt")), "added later\n");
}

TEST(ZipWriterLargeArchive, SeventyThousandEntries) {
  ziptest::TempFolder tmp("pakvo_70k");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  constexpr int kFiles = 70000;
  for (int i = 0; i < kFiles; ++i) {
    std::ofstream(src + "/f" + std::to_string(i) + ".txt") << i << '\n';
  }
  const std::string archive = tmp.Path("many.zip");
  {
    TZip z;
    z.SetArcFile(archive);
    z.FileSpec = {src + "/*.*"};
    ASSERT_EQ(z.Compress(), kFiles);
  }
  // The counts of the end record keep their low 16 bits.
  const std::string zip = ziptest::ReadFile(archive);
  EXPECT_EQ(Le(zip, zip.size() - 22 + 10, 2), static_cast<uint64_t>(kFiles & 0xFFFF));
  EXPECT_EQ(zipcheck::List(archive).size(), static_cast<size_t>(kFiles));
  const std::string out = tmp.Path("x");
  const zipcheck::TReadBack r = zipcheck::Extract(archive, out);
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(r.Extracted, kFiles);
  EXPECT_EQ(ziptest::ReadFile(out + "/f69999.txt"), "69999\n");
  EXPECT_EQ(ziptest::Run("unzip -tq " + archive), 0);
  EXPECT_EQ(ziptest::Run("7zz t " + archive), 0);
  EXPECT_EQ(ziptest::Run("7z t " + archive), 0);

  // An update walks the old directory by its signatures, not by the wrapped count.
  ziptest::WriteFile(src + "/z.txt", "last\n");
  TZip z;
  z.SetArcFile(archive);
  EXPECT_EQ(z.CountEntries(), kFiles);
  z.FileSpec = {src + "/z.txt"};
  ASSERT_EQ(z.Compress(), 1);
  EXPECT_EQ(zipcheck::List(archive).size(), static_cast<size_t>(kFiles + 1));
}
