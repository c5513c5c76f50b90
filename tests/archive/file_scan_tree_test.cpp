// The file scanner walking real folders: recursion, attribute filters, hidden and read-only files,
// unusual names, a directory loop through a symbolic link, FileSpec groups, sorting and cancel.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "TestFiles.h"
#include "common/Text.h"
#include "archive/pakvoFileScan.h"
#include "platform/files/Volumes.h"

using archive_test::TempDir;
using archive_test::WriteFile;
namespace fs = std::filesystem;

namespace {

// Relative names of the files in the list ("sub/x.txt"); directory entries end in "/".
std::set<std::string> Names(const TpakvoFileScan& scan, const std::string& root) {
  std::set<std::string> names;
  for (int i = 0; i < scan.FilesList.Count(); ++i) {
    const TFileObject& o = scan.FilesList[i];
    std::string full = o.Path + o.FileName;
    names.insert(full.substr(root.size() + 1));
  }
  return names;
}

class FileScanTree : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.Path("a.txt"), "aaaa");
    WriteFile(dir.Path("b.doc"), "bb");
    WriteFile(dir.Path("README"), "r");
    WriteFile(dir.Path("with blank.txt"), "w");
    WriteFile(dir.Path("café.txt"), "c");
    WriteFile(dir.Path(".hidden.txt"), "h");
    WriteFile(dir.Path("locked.txt"), "l");
    fs::permissions(dir.Path("locked.txt"), fs::perms::owner_write | fs::perms::group_write |
                                                fs::perms::others_write,
                    fs::perm_options::remove);
    WriteFile(dir.Path("sub/c.txt"), "ccc");
    WriteFile(dir.Path("sub/deeper/d.txt"), "dddd");
    WriteFile(dir.Path(".secret/e.txt"), "e");
  }
  TempDir dir;
};

}  // namespace

TEST_F(FileScanTree, DefaultsRecurseAndSkipHiddenDirectories) {
  TpakvoFileScan scan;
  scan.SetRootDir(dir.Path());
  EXPECT_EQ(scan.RootDir(), dir.Path() + "/");
  int finished = 0;
  scan.OnFinished = [&](TObject*, int32_t count, int64_t size) {
    ++finished;
    EXPECT_EQ(count, 9);
    EXPECT_EQ(size, 4 + 2 + 1 + 1 + 1 + 1 + 1 + 3 + 4);
  };
  std::vector<std::string> recursed;
  scan.OnRecurseDir = [&](TObject*, const std::string& d) { recursed.push_back(d); };
  scan.Scan();
  EXPECT_EQ(finished, 1);
  // Hidden and read-only files carry the archive bit, which the default filter takes.
  EXPECT_EQ(Names(scan, dir.Path()),
            (std::set<std::string>{"a.txt", "b.doc", "README", "with blank.txt", "café.txt",
                                   ".hidden.txt", "locked.txt", "sub/c.txt",
                                   "sub/deeper/d.txt"}));
  EXPECT_EQ(recursed.size(), 3u);  // root, sub, sub/deeper; not .secret
  EXPECT_EQ(recursed.front(), dir.Path());

  scan.OnFinished = nullptr;
  scan.IncludeHiddenDirs = true;
  scan.Scan();
  EXPECT_EQ(scan.FilesCount, 10);
  scan.RecurseDirs = false;
  scan.Scan();
  EXPECT_EQ(scan.FilesCount, 7);
}

TEST_F(FileScanTree, MasksAndAttributeFilters) {
  TpakvoFileScan scan;
  scan.SetRootDir(dir.Path());
  scan.RecurseDirs = false;
  scan.MaskText = "*.txt, readme.";
  scan.Scan();
  EXPECT_EQ(Names(scan, dir.Path()),
            (std::set<std::string>{"a.txt", "README", "with blank.txt", "café.txt",
                                   ".hidden.txt", "locked.txt"}));

  // Exclusion filter: hidden files and read-only files left out.
  scan.AttributesEx = {fsHidden, fsReadOnly};
  scan.Scan();
  EXPECT_EQ(Names(scan, dir.Path()),
            (std::set<std::string>{"a.txt", "README", "with blank.txt", "café.txt"}));

  // Only read-only files: the plain ones (archive bit only) do not pass.
  scan.AttributesEx = {};
  scan.Attributes = {fsReadOnly};
  scan.Scan();
  EXPECT_EQ(Names(scan, dir.Path()), (std::set<std::string>{"locked.txt"}));
  scan.SetAttribute(fsHidden, true);
  scan.Scan();
  EXPECT_EQ(Names(scan, dir.Path()),
            (std::set<std::string>{"locked.txt", ".hidden.txt", ".secret/"}));

  // Directories are listed when the filter takes them, hidden ones too, even if not entered.
  scan.Attributes = {fsDirectory};
  scan.MaskText = "*";
  scan.Scan();
  EXPECT_EQ(scan.FilesCount, 0);
  EXPECT_EQ(Names(scan, dir.Path()), (std::set<std::string>{"sub/", ".secret/"}));
  for (int i = 0; i < scan.FilesList.Count(); ++i) EXPECT_TRUE(scan.FilesList[i].FileName.empty());

  scan.UpdateList = false;
  scan.Attributes = {fsArchive};
  scan.Scan();
  EXPECT_EQ(scan.FilesList.Count(), 0);
  EXPECT_EQ(scan.FilesCount, 7);
}

TEST_F(FileScanTree, ScanFileEventsAndCancel) {
  TpakvoFileScan scan;
  scan.SetRootDir(dir.Path());
  std::vector<std::string> seen;
  scan.OnScanFile = [&](TObject* s, const std::string& name, int32_t count, int64_t) {
    seen.push_back(name);
    EXPECT_EQ(count, static_cast<int32_t>(seen.size()));
    EXPECT_EQ(name.find('/'), std::string::npos);
    if (count == 3) static_cast<TpakvoFileScan*>(s)->SetCancel(true);
  };
  scan.Scan();
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_TRUE(scan.Cancel());
  // The owner's flag can stand in for the scanner's, and Scan clears it.
  bool ownerCancel = true;
  scan.SetCancelPointer(&ownerCancel);
  scan.OnScanFile = nullptr;
  scan.Scan();
  EXPECT_FALSE(ownerCancel);
  EXPECT_EQ(scan.FilesCount, 9);
}

TEST_F(FileScanTree, DirectoryLoopThroughALinkEnds) {
  fs::create_directory_symlink("..", dir.Path("sub/deeper/up"));
  fs::create_directory_symlink(dir.Path(), dir.Path("sub/root"));
  fs::create_symlink(dir.Path("nowhere"), dir.Path("dangling.txt"));
  TpakvoFileScan scan;
  scan.SetRootDir(dir.Path());
  scan.Scan();
  EXPECT_EQ(scan.FilesCount, 9);
}

TEST_F(FileScanTree, FileSpecGroupsByDirectory) {
  TpakvoFileScan scan;
  scan.SetRootDir(dir.Path());
  scan.RecurseDirs = false;
  scan.SetFileSpec({dir.Path("*.doc"), "  ", dir.Path("sub/*.*"), dir.Path("a.*"),
                    dir.Path("sub/deeper/")});
  EXPECT_TRUE(scan.MaskText.empty());
  std::vector<std::string> roots;
  scan.OnRootDirChange = [&](TObject*, const std::string& d) { roots.push_back(d); };
  scan.Scan();
  EXPECT_EQ(roots, (std::vector<std::string>{dir.Path() + "/", dir.Path("sub") + "/",
                                             dir.Path("sub/deeper") + "/"}));
  EXPECT_EQ(Names(scan, dir.Path()),
            (std::set<std::string>{"b.doc", "a.txt", "sub/c.txt", "sub/deeper/d.txt"}));
  EXPECT_TRUE(scan.FileSpec().empty());

  // A bare name takes RootDir.
  scan.SetFileSpec({"README"});
  scan.Scan();
  EXPECT_EQ(Names(scan, dir.Path()), (std::set<std::string>{"README"}));
}

TEST_F(FileScanTree, SortingAndRootChecks) {
  TpakvoFileScan scan;
  scan.SetRootDir(dir.Path());
  scan.RecurseDirs = false;
  scan.MaskText = "*.txt,*.doc,readme.";
  scan.Scan();
  int finished = 0;
  scan.OnFinished = [&](TObject*, int32_t, int64_t) { ++finished; };
  scan.SetSorted(soByName);
  EXPECT_EQ(finished, 1);
  std::vector<std::string> order;
  for (int i = 0; i < scan.FilesList.Count(); ++i) order.push_back(scan.FilesList[i].FileName);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), text::LessText()))
      << ::testing::PrintToString(order);
  scan.SetSorted(soBySize);
  EXPECT_EQ(scan.FilesList[scan.FilesList.Count() - 1].FileName, "a.txt");
  // A sorted list keeps its order as hits arrive.
  scan.Scan();
  for (int i = 1; i < scan.FilesList.Count(); ++i)
    EXPECT_LE(scan.FilesList[i - 1].SizeLow, scan.FilesList[i].SizeLow);
  // A root that does not exist scans nothing, quietly.
  scan.SetRootDir(dir.Path("missing"));
  scan.Scan();
  EXPECT_EQ(scan.FilesCount, 0);
  EXPECT_EQ(scan.FilesList.Count(), 0);
}

namespace {
class TwoDrives : public platform::files::IVolumes {
 public:
  TwoDrives(std::string fixed, std::string removable)
      : fixed_(std::move(fixed)), removable_(std::move(removable)) {}
  std::string DriveRoot(const std::string& p) override { return p; }
  int DriveType(const std::string& root) override {
    return root == fixed_ ? platform::files::dkFixed : platform::files::dkRemovable;
  }
  bool DiskSpace(const std::string&, uint64_t&, uint64_t&) override { return false; }
  bool VolumeInfo(const std::string&, platform::files::VolumeInformation&) override { return false; }
  bool SetVolumeLabel(const std::string&, const std::string&) override { return false; }
  std::string CreateProbeFile(const std::string&, const std::string&,
                              platform::files::VolumeError&) override {
    return {};
  }
  bool RemoveFile(const std::string&) override { return false; }
  std::vector<std::string> Drives() override { return {removable_, fixed_}; }
  std::string LastErrorText() override { return {}; }

 private:
  std::string fixed_, removable_;
};
}  // namespace

TEST_F(FileScanTree, ScanningDrivesTakesFixedOnes) {
  TempDir other;
  WriteFile(other.Path("x.txt"), "x");
  TwoDrives drives(dir.Path("sub") + "/", other.Path() + "/");
  TpakvoFileScan scan;
  scan.Volumes = &drives;
  scan.ScanOptions = soScanDrvs;
  scan.SetRootDir(dir.Path());
  scan.Scan();
  EXPECT_EQ(Names(scan, dir.Path()), (std::set<std::string>{"sub/c.txt", "sub/deeper/d.txt"}));
}
