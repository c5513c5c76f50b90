// The disk manager on a folder standing for a removable drive: ready and not ready,
// write-protected, labels and the spanned-disk number, retries through the callbacks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <utime.h>

#include <string>
#include <vector>

#include "TestFiles.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoFileIo.h"
#include "platform/files/SimulatedDrive.h"

using archive_test::TempDir;
using platform::files::SimulatedDrive;

namespace {

struct Reports {
  std::vector<int> codes;
  std::vector<std::string> files;
  TDiskErrorReporter Reporter() {
    return [this](const std::string& file, const std::string& ext, const std::string& vol,
                  int code) {
      EXPECT_EQ(ext, "");
      EXPECT_EQ(vol, "0");
      files.push_back(file);
      codes.push_back(code);
    };
  }
};

class DiskManagerTest : public ::testing::Test {
 protected:
  DiskManagerTest() : drive(dir.Path("A"), dir.Path("store")), manager(&drive) {}
  std::string OnDrive(const std::string& name) { return dir.Path("A/" + name); }
  TempDir dir;
  SimulatedDrive drive;
  TDiskManager manager;
  Reports reports;
};

}  // namespace

TEST_F(DiskManagerTest, ReadyDiskWithSpannedLabel) {
  drive.InsertDisk("d3");
  drive.SetLabel("PKBACK# 003");
  drive.SetCapacity(100000);
  archive_test::WriteFile(OnDrive("archive.zip"), std::string(1000, 'z'));
  ASSERT_TRUE(manager.GetDriveInfo(OnDrive("archive.zip"), reports.Reporter(), nullptr, nullptr,
                                   nullptr));
  EXPECT_TRUE(reports.codes.empty());
  EXPECT_EQ(manager.Drive, dir.Path("A") + "/");
  EXPECT_EQ(manager.VolumeLabel, "PKBACK# 003");
  EXPECT_EQ(manager.DiskNumber, 3);
  EXPECT_EQ(manager.DriveType, platform::files::dkRemovable);
  EXPECT_EQ(manager.DiskSize, 100000);
  EXPECT_EQ(manager.DiskFree, 99000);
  EXPECT_NE(manager.SerialNumber, 0u);

  // A disk change: the next examination sees the other disk's label.
  drive.InsertDisk("d4");
  drive.SetLabel("PKBACK# 004");
  ASSERT_TRUE(manager.CheckDisk(dir.Path("A"), reports.Reporter(), nullptr, nullptr, nullptr));
  EXPECT_EQ(manager.DiskNumber, 4);

  // A full disk is still a ready disk; it only has no room.
  drive.SetCapacity(500);
  archive_test::WriteFile(OnDrive("filler"), std::string(600, 'f'));
  ASSERT_TRUE(manager.CheckDisk(dir.Path("A"), reports.Reporter(), nullptr, nullptr, nullptr));
  EXPECT_EQ(manager.DiskSize, 500);
  EXPECT_EQ(manager.DiskFree, 0);
  EXPECT_TRUE(reports.codes.empty());
}

TEST_F(DiskManagerTest, LabelsAreWrittenAndReadBack) {
  drive.InsertDisk("blank");
  ASSERT_TRUE(manager.SetVolumeLabel(OnDrive(""), "PKBACK# 012"));
  ASSERT_TRUE(manager.GetDriveInfo(OnDrive("x.zip"), reports.Reporter(), nullptr, nullptr, nullptr));
  EXPECT_EQ(manager.VolumeLabel, "PKBACK# 012");
  EXPECT_EQ(manager.DiskNumber, 12);
  drive.SetWriteProtected(true);
  EXPECT_FALSE(manager.SetVolumeLabel(OnDrive(""), "OTHER"));
  EXPECT_EQ(drive.Label(), "PKBACK# 012");
}

TEST_F(DiskManagerTest, DiskNumberFromLabel) {
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("PKBACK# 003"), 3);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("PKBACK# A1"), 0);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("PKBACK# 001 PKBACK# 017"), 17);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("PKBACK#003"), 0);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("PKBACK# "), 0);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("PKBACK# 99999999999999999999"), 0);
  EXPECT_EQ(TDiskManager::DiskNumberFromLabel("DATA"), 0);
}

TEST_F(DiskManagerTest, EmptyDriveWithoutHandlerIsNotAccessibleOnce) {
  EXPECT_FALSE(manager.GetDriveInfo(OnDrive("a.zip"), reports.Reporter(), nullptr, nullptr,
                                    nullptr));
  EXPECT_EQ(reports.codes, std::vector<int>{kErrIsNotAccessible});
  EXPECT_EQ(reports.files, std::vector<std::string>{dir.Path("A") + "/"});
  EXPECT_EQ(LoadErrorText(reports.codes[0]), "is not accessible");
}

TEST_F(DiskManagerTest, NotReadyHandlerMayInsertTheDisk) {
  int asked = 0;
  TOnDiskError insert = [&](TObject* sender, bool& abort) {
    EXPECT_EQ(sender, &manager);
    if (++asked == 2) {
      drive.InsertDisk("late");
      abort = false;
    } else {
      abort = false;  // "retry" with the drive still empty
    }
  };
  EXPECT_TRUE(manager.GetDriveInfo(OnDrive("a.zip"), reports.Reporter(), nullptr, insert, nullptr));
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(reports.codes.empty());

  drive.EjectDisk();
  TOnDiskError giveUp = [&](TObject*, bool&) {};  // leaves Abort set
  EXPECT_FALSE(manager.GetDriveInfo(OnDrive("a.zip"), reports.Reporter(), nullptr, giveUp, nullptr));
  EXPECT_EQ(reports.codes, std::vector<int>{kErrUserCanceled});
}

TEST_F(DiskManagerTest, WriteProtectedDisk) {
  drive.InsertDisk("ro");
  drive.SetWriteProtected(true);
  EXPECT_TRUE(manager.IsWriteProtected(dir.Path("A")));
  EXPECT_FALSE(manager.GetDriveInfo(OnDrive("a.zip"), reports.Reporter(), nullptr, nullptr,
                                    nullptr));
  EXPECT_EQ(reports.codes, std::vector<int>{kErrDiskIsWriteProtected});
  EXPECT_EQ(LoadErrorText(kErrDiskIsWriteProtected), "disk is write protected");

  reports.codes.clear();
  TOnDiskError giveUp = [&](TObject*, bool& abort) { abort = true; };
  EXPECT_FALSE(manager.GetDriveInfo(OnDrive("a.zip"), reports.Reporter(), giveUp, nullptr, nullptr));
  EXPECT_EQ(reports.codes, std::vector<int>{kErrUserCanceled});

  reports.codes.clear();
  TOnDiskError unlock = [&](TObject*, bool& abort) {
    drive.SetWriteProtected(false);
    abort = false;
  };
  EXPECT_TRUE(manager.GetDriveInfo(OnDrive("a.zip"), reports.Reporter(), unlock, nullptr, nullptr));
  EXPECT_TRUE(reports.codes.empty());
  EXPECT_FALSE(manager.IsWriteProtected(dir.Path("A")));
  // The probe leaves nothing behind.
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path("A")));
}

TEST_F(DiskManagerTest, UncPathSkipsProbesAndAsksToRetry) {
  int readyBefore = drive.ReadyProbes();
  std::vector<std::string> texts;
  manager.AskRetryHook = [&](const std::string& text) {
    texts.push_back(text);
    return texts.size() < 3;
  };
  EXPECT_FALSE(manager.GetDriveInfo("//server/share/a.zip", reports.Reporter(), nullptr, nullptr,
                                    nullptr));
  EXPECT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].rfind("//server/share/a.zip/is not accessible\n\n", 0), 0u) << texts[0];
  EXPECT_EQ(reports.codes, std::vector<int>{kErrIsNotAccessible});
  EXPECT_EQ(drive.ReadyProbes(), readyBefore);
  // Without a question hook there is no retry at all.
  manager.AskRetryHook = nullptr;
  EXPECT_FALSE(manager.AskRetry("/x/"));
}

TEST_F(DiskManagerTest, RelativePathsUseTheCurrentDirectory) {
  drive.InsertDisk("cwd");
  drive.SetLabel("PKBACK# 002");
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.Path("A").c_str()), 0);
  bool ok = manager.GetDriveInfo("part.zip", reports.Reporter(), nullptr, nullptr, nullptr);
  ASSERT_EQ(chdir(old), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(manager.DiskNumber, 2);
}

TEST(DiskManagerFileDate, LastWriteAsLocalDosDate) {
  TempDir dir;
  archive_test::WriteFile(dir.Path("f"), "x");
  struct utimbuf times {};
  times.actime = 1500000000;
  times.modtime = 1600000000;
  ASSERT_EQ(utime(dir.Path("f").c_str(), &times), 0);
  int fd = open(dir.Path("f").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(TDiskManager::FileDate(fd, 1), FileTimeToDos(1600000000));
  EXPECT_EQ(TDiskManager::FileDate(fd, 2), FileTimeToDos(1500000000));
  close(fd);
  EXPECT_EQ(TDiskManager::FileDate(-1, 1), 0u);
}
