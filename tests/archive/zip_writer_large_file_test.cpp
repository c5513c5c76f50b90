// ZIP writer with a file of several hundred MiB and an empty file: unzip and 7-Zip read back the
// same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/pakvoZip.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

TEST(ZipWriterInteropHeavy, LargeFileAndEmptyFile) {
  ziptest::TempFolder tmp("pakvo_zipw_big");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  // 300 MiB: text and random blocks, so deflate has work and the result stays large.
  {
    std::ofstream out(src + "/large.dat", std::ios::binary);
    const std::string text = ziptest::SampleText(1u << 20, 5);
    const std::string random = ziptest::RandomBytes(1u << 20, 6);
    for (int i = 0; i < 300; ++i) out << (i % 3 == 0 ? random : text);
  }
  ziptest::WriteFile(src + "/zero.txt", "");
  const std::string archive = tmp.Path("big.zip");
  TZip z;
  z.SetArcFile(archive);
  z.FileSpec = {src + "/*.*"};
  z.DeflateType = dtDeflateF;
  ASSERT_EQ(z.Compress(), 2);
  EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0);
  EXPECT_EQ(ziptest::Run("7zz t " + archive), 0);
  ASSERT_EQ(ziptest::Run("unzip -o " + archive + " -d " + tmp.Path("x")), 0);
  EXPECT_EQ(ziptest::Run("cmp " + src + "/large.dat " + tmp.Path("x/large.dat")), 0);
  EXPECT_EQ(fs::file_size(tmp.Path("x/zero.txt")), 0u);
}
