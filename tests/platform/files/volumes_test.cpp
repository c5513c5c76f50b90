// The machine's drives and the folder-backed removable drive that the archive tests use.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files/SimulatedDrive.h"
#include "platform/files/Volumes.h"

namespace fs = std::filesystem;
using namespace platform::files;

namespace {

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("schemion-vol-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(counter_++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string Path(const std::string& name = "") const { return (path_ / name).string(); }

 private:
  fs::path path_;
  static inline int counter_ = 0;
};

void WriteFile(const std::string& path, size_t size) {
  std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

}  // namespace

TEST(SystemVolumes, AnswersForTheTemporaryFolder) {
  TempDir dir;
  IVolumes& v = SystemVolumes();
  std::string root = v.DriveRoot(dir.Path("no/such/file"));
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.back(), '/');
  EXPECT_EQ(dir.Path().rfind(root.substr(0, root.size() - 1), 0), 0u) << root;
  int type = v.DriveType(root);
  EXPECT_GE(type, dkRemovable);
  EXPECT_LE(type, dkRamDisk);
  EXPECT_EQ(v.DriveType(dir.Path("missing")), dkNoRootDir);
  uint64_t total = 0, freeBytes = 0;
  ASSERT_TRUE(v.DiskSpace(root, total, freeBytes));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeBytes, total);
  EXPECT_FALSE(v.DiskSpace(dir.Path("missing"), total, freeBytes));
  VolumeInformation info;
  EXPECT_TRUE(v.VolumeInfo(root, info));
  EXPECT_FALSE(info.FileSystemName.empty());
  EXPECT_FALSE(v.Drives().empty());
}

TEST(SystemVolumes, ProbeFileAndLabelFile) {
  TempDir dir;
  IVolumes& v = SystemVolumes();
  VolumeError err = VolumeError::Other;
  std::string probe = v.CreateProbeFile(dir.Path(), "pkv", err);
  ASSERT_FALSE(probe.empty());
  EXPECT_EQ(err, VolumeError::None);
  EXPECT_TRUE(fs::exists(probe));
  EXPECT_EQ(fs::path(probe).filename().string().rfind("pkv", 0), 0u);
  EXPECT_TRUE(v.RemoveFile(probe));
  EXPECT_FALSE(v.RemoveFile(probe));
  EXPECT_TRUE(v.CreateProbeFile(dir.Path("missing"), "pkv", err).empty());
  EXPECT_EQ(err, VolumeError::NotReady);
  // Where the file system's label cannot be written, the label goes to a file at the root.
  ASSERT_TRUE(v.SetVolumeLabel(dir.Path(), "PKBACK# 001"));
  std::ifstream in(dir.Path(kLabelFileName));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "PKBACK# 001");
}

TEST(SimulatedDrive, DiskChangesKeepEachDiskContents) {
  TempDir dir;
  SimulatedDrive drive(dir.Path("A"), dir.Path("store"));
  std::string root = drive.DriveRoot(dir.Path("A/archive.zip"));
  EXPECT_EQ(root, dir.Path("A") + "/");
  EXPECT_EQ(drive.DriveType(root), dkRemovable);

  uint64_t total = 0, freeBytes = 0;
  EXPECT_FALSE(drive.DiskSpace(root, total, freeBytes)) << "empty drive is not ready";
  VolumeInformation info;
  EXPECT_FALSE(drive.VolumeInfo(root, info));

  drive.InsertDisk("one");
  drive.SetLabel("PKBACK# 001");
  WriteFile(dir.Path("A/first.bin"), 1000);
  drive.InsertDisk("two");
  EXPECT_FALSE(fs::exists(dir.Path("A/first.bin")));
  ASSERT_TRUE(drive.VolumeInfo(root, info));
  EXPECT_EQ(info.Label, "");
  ASSERT_TRUE(drive.SetVolumeLabel(root, "PKBACK# 002"));
  drive.InsertDisk("one");
  EXPECT_TRUE(fs::exists(dir.Path("A/first.bin")));
  ASSERT_TRUE(drive.VolumeInfo(root, info));
  EXPECT_EQ(info.Label, "PKBACK# 001");
  drive.EjectDisk();
  EXPECT_FALSE(drive.HasDisk());
  EXPECT_FALSE(fs::exists(dir.Path("A")));
  drive.InsertDisk("two");
  EXPECT_EQ(drive.Label(), "PKBACK# 002");
}

TEST(SimulatedDrive, WriteProtectionAndFullDisk) {
  TempDir dir;
  SimulatedDrive drive(dir.Path("A"), dir.Path("store"));
  drive.InsertDisk("d");
  std::string root = drive.Root() + "/";
  drive.SetCapacity(4096);
  WriteFile(dir.Path("A/big.bin"), 5000);
  uint64_t total = 0, freeBytes = 1;
  ASSERT_TRUE(drive.DiskSpace(root, total, freeBytes));
  EXPECT_EQ(total, 4096u);
  EXPECT_EQ(freeBytes, 0u);

  drive.SetWriteProtected(true);
  VolumeError err = VolumeError::None;
  EXPECT_TRUE(drive.CreateProbeFile(root, "pkv", err).empty());
  EXPECT_EQ(err, VolumeError::WriteProtected);
  EXPECT_FALSE(drive.SetVolumeLabel(root, "X"));
  drive.SetWriteProtected(false);
  std::string probe = drive.CreateProbeFile(root, "pkv", err);
  ASSERT_FALSE(probe.empty());
  EXPECT_TRUE(drive.RemoveFile(probe));
  // Paths off the drive are the machine's.
  EXPECT_EQ(drive.DriveType(dir.Path("store")), SystemVolumes().DriveType(dir.Path("store")));
}
