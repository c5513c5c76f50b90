// Spanned ZIP output on a simulated removable drive: disks are asked for and labelled
// "PKBACK# nnn", and the disk files joined as a split set pass unzip -t and 7zz t.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"
#include "platform/files/SimulatedDrive.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

TEST(ZipSpannedOutput, WritesAcrossDisksThatJoinToAValidArchive) {
  ziptest::TempFolder tmp("pakvo_span");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  ziptest::WriteFile(src + "/a.bin", ziptest::RandomBytes(150000, 1));
  ziptest::WriteFile(src + "/b.txt", ziptest::SampleText(80000, 2));
  ziptest::WriteFile(src + "/c.bin", ziptest::RandomBytes(120000, 3));
  platform::files::SimulatedDrive drive(tmp.Path("drive"), tmp.Path("store"));
  fs::create_directories(tmp.Path("store"));
  drive.InsertDisk("disk1");
  drive.SetCapacity(120000);
  std::vector<std::string> labels;
  std::vector<std::string> asked;
  int nextDisk = 1;

  TZip z;
  z.SetVolumes(&drive);
  z.SetArcFile(tmp.Path("drive") + "/pkg.zip");
  z.FileSpec = {src + "/*.*"};
  z.OnInsertDisk = [&](TObject*, const std::string& volume, bool& cancel) {
    asked.push_back(volume);
    if (volume == "1") return;  // the first disk is already in the drive
    labels.push_back(drive.Label());
    drive.InsertDisk("disk" + std::to_string(++nextDisk));
    drive.SetCapacity(120000);
    cancel = false;
  };
  std::vector<int> errors;
  z.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int code) {
    errors.push_back(code);
  };
  ASSERT_EQ(z.Compress(), 3);
  EXPECT_TRUE(errors.empty());
  labels.push_back(drive.Label());
  ASSERT_GE(labels.size(), 3u);
  for (size_t i = 0; i < labels.size(); ++i) {
    char want[40];
    std::snprintf(want, sizeof want, "PKBACK# %.3zu", i + 1);
    EXPECT_EQ(labels[i], want);
  }
  // Gather the disks as a split set: pkg.z01, pkg.z02, ..., the last one pkg.zip.
  const std::string set = tmp.Path("set");
  fs::create_directories(set);
  const int disks = nextDisk;
  drive.EjectDisk();
  for (int d = 1; d <= disks; ++d) {
    const std::string from = tmp.Path("store") + "/disk" + std::to_string(d) + "/pkg.zip";
    ASSERT_TRUE(fs::exists(from)) << d;
    char name[32];
    std::snprintf(name, sizeof name, "pkg.z%02d", d);
    fs::copy_file(from, set + "/" + (d == disks ? std::string("pkg.zip") : std::string(name)));
  }
  const std::string first = ziptest::ReadFile(set + "/pkg.z01");
  EXPECT_EQ(first.substr(0, 4), std::string("PK\x07\x08", 4));
  EXPECT_EQ(ziptest::Run("7zz t " + set + "/pkg.zip"), 0);
  ASSERT_EQ(ziptest::Run("cd " + set + " && zip -q -s 0 pkg.zip --out joined.zip"), 0);
  EXPECT_EQ(ziptest::Run("unzip -t " + set + "/joined.zip"), 0);
  ASSERT_EQ(ziptest::Run("unzip -o " + set + "/joined.zip -d " + tmp.Path("x")), 0);
  EXPECT_TRUE(ziptest::ReadFile(tmp.Path("x/a.bin")) == ziptest::ReadFile(src + "/a.bin"));
  EXPECT_TRUE(ziptest::ReadFile(tmp.Path("x/b.txt")) == ziptest::ReadFile(src + "/b.txt"));
  EXPECT_TRUE(ziptest::ReadFile(tmp.Path("x/c.bin")) == ziptest::ReadFile(src + "/c.bin"));
}

TEST(ZipSpannedOutput, WithoutInsertDiskHandlerNothingIsWritten) {
  ziptest::TempFolder tmp("pakvo_span2");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  ziptest::WriteFile(src + "/a.txt", "small\n");
  platform::files::SimulatedDrive drive(tmp.Path("drive"), tmp.Path("store"));
  drive.InsertDisk("disk1");
  TZip z;
  z.SetVolumes(&drive);
  z.SetArcFile(tmp.Path("drive") + "/pkg.zip");
  z.FileSpec = {src + "/*.*"};
  std::vector<std::pair<int, std::string>> errors;
  z.OnError = [&](TObject*, const std::string&, const std::string& ext, const std::string&, int code) {
    errors.emplace_back(code, ext);
  };
  EXPECT_EQ(z.Compress(), 0);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().first, kErrRequiredEventNotAssigned);
  EXPECT_EQ(errors.front().second, "OnInsertDisk");
  EXPECT_FALSE(fs::exists(tmp.Path("drive") + "/pkg.zip"));
}
