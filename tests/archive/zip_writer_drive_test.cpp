// ZIP writer drive checks on a simulated removable drive: the check at the start of Compress and
// on each disk of spanned output goes through the disk manager and its events; an old archive on
// a disk is removed as DeleteOptions says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"
#include "platform/files/SimulatedDrive.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

namespace {

// Three files that need three 120,000-byte disks, and a drive with the first disk in it.
struct SpanSetup {
  explicit SpanSetup(const std::string& tag)
      : tmp(tag), drive((fs::create_directories(tmp.Path("store")), tmp.Path("drive")), tmp.Path("store")) {
    src = tmp.Path("src");
    fs::create_directories(src);
    ziptest::WriteFile(src + "/a.bin", ziptest::RandomBytes(150000, 1));
    ziptest::WriteFile(src + "/c.bin", ziptest::RandomBytes(120000, 3));
    drive.InsertDisk("disk1");
    drive.SetCapacity(120000);
    z.SetVolumes(&drive);
    z.SetArcFile(tmp.Path("drive") + "/pkg.zip");
    z.FileSpec = {src + "/*.*"};
    z.OnError = [this](TObject*, const std::string&, const std::string&, const std::string&, int code) {
      errors.push_back(code);
    };
  }
  // Inserts disk n (blank unless it was used before) when the writer asks for it.
  void InsertDisksOnRequest() {
    z.OnInsertDisk = [this](TObject*, const std::string& volume, bool&) {
      if (volume == "1") return;
      drive.InsertDisk("disk" + volume);
      drive.SetCapacity(120000);
      if (onInserted) onInserted(volume);
    };
  }
  ziptest::TempFolder tmp;
  platform::files::SimulatedDrive drive;
  std::string src;
  TZip z;
  std::vector<int> errors;
  std::function<void(const std::string&)> onInserted;
};

}  // namespace

// Fault: spanned output probed the disks itself, so a write-protected disk failed with "Error
// creating file" (25237) instead of the disk manager's "Disk is write-protected" (25171) and
// OnDiskWriteProtectErr never fired.
TEST(ZipWriterDrive, WriteProtectedDiskGoesThroughTheDiskManager) {
  SpanSetup s("pakvo_span_wp");
  s.InsertDisksOnRequest();
  s.onInserted = [&](const std::string& volume) {
    if (volume == "2") s.drive.SetWriteProtected(true);
  };
  EXPECT_EQ(s.z.Compress(), 0);
  ASSERT_FALSE(s.errors.empty());
  EXPECT_EQ(s.errors.front(), kErrDiskIsWriteProtected);

  SpanSetup t("pakvo_span_wp2");
  t.InsertDisksOnRequest();
  t.onInserted = [&](const std::string& volume) {
    if (volume == "2") t.drive.SetWriteProtected(true);
  };
  int asked = 0;
  t.z.OnDiskWriteProtectErr = [&](TObject*, bool& abort) {
    ++asked;
    t.drive.SetWriteProtected(false);
    abort = false;
  };
  EXPECT_EQ(t.z.Compress(), 2);
  EXPECT_TRUE(t.errors.empty());
  EXPECT_EQ(asked, 1);
}

// Fault: an archive left on a disk was unlinked whatever DeleteOptions said; with undo allowed
// it goes to the recycle bin.
TEST(ZipWriterDrive, OldArchiveOnADiskIsRemovedAsDeleteOptionsSays) {
  SpanSetup s("pakvo_span_old");
  const std::string trash = s.tmp.Path("data");
  ::setenv("XDG_DATA_HOME", trash.c_str(), 1);
  // Disk 2 still holds an archive of an earlier set.
  s.drive.InsertDisk("disk2");
  ziptest::WriteFile(s.tmp.Path("drive") + "/pkg.zip", "old volume");
  s.drive.InsertDisk("disk1");
  s.InsertDisksOnRequest();
  int existed = 0;
  s.z.OnDiskSpanFileExists = [&](TObject*, const std::string&, TDateTime, TOverwriteMode& mode) {
    ++existed;
    mode = omOverwrite;
  };
  s.z.DeleteOptions = doAllowUndo;
  EXPECT_EQ(s.z.Compress(), 2);
  EXPECT_TRUE(s.errors.empty());
  EXPECT_EQ(existed, 1);
  EXPECT_EQ(ziptest::ReadFile(trash + "/Trash/files/pkg.zip"), "old volume");
  ::unsetenv("XDG_DATA_HOME");
}

TEST(ZipWriterDrive, CompressChecksTheArchivesDriveFirst) {
  SpanSetup s("pakvo_drv_check");
  s.drive.EjectDisk();
  EXPECT_EQ(s.z.Compress(), 0);
  ASSERT_FALSE(s.errors.empty());
  EXPECT_EQ(s.errors.front(), kErrIsNotAccessible);

  // The handler puts a disk in and lets the check go on.
  s.errors.clear();
  s.InsertDisksOnRequest();
  int asked = 0;
  s.z.OnDiskInDrvErr = [&](TObject*, bool& abort) {
    ++asked;
    s.drive.InsertDisk("disk1");
    s.drive.SetCapacity(120000);
    abort = false;
  };
  EXPECT_EQ(s.z.Compress(), 2);
  EXPECT_TRUE(s.errors.empty());
  EXPECT_EQ(asked, 1);
}
