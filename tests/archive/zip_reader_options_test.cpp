// Per-entry decisions of the extractor: overwrite modes and confirmation, rename, read-only
// targets, stored directories, ExtractDir forms, file masks and the password search.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/pakvoErrors.h"
#include "unzip_test_support.h"
#include "zip_builder.h"

using namespace unziptest;

namespace {

std::string MakeArchive(TempFolder& tmp) {
  auto dir = zipbuild::Stored("emptydir/", "");
  dir.externalAttr = 0x10;
  auto ro = zipbuild::Stored("sub/readonly.txt", "ro");
  ro.externalAttr = 0x21;
  std::string zip =
      zipbuild::Build({zipbuild::Stored("a.txt", "new a"), zipbuild::Stored("sub/b.txt", "new b"),
                       dir, ro, zipbuild::Deflated("sub/deep/c.dat", "ccc")});
  WriteFile(tmp.Path("t.zip"), zip);
  return tmp.Path("t.zip");
}

bool Writable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) != 0;
}

}  // namespace

TEST(ZipReaderOptions, OverwriteModesAndTheirConfirmation) {
  TempFolder tmp("unzip_overwrite");
  std::string zip = MakeArchive(tmp);
  std::filesystem::create_directories(tmp.Path("out/sub"));
  WriteFile(tmp.Path("out/a.txt"), "old a");
  WriteFile(tmp.Path("out/sub/b.txt"), "old b");

  {  // omSkip without confirmation takes no entry at all.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out"));
    u.OverwriteMode = omSkip;
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_EQ(ReadFile(tmp.Path("out/a.txt")), "old a");
    EXPECT_FALSE(std::filesystem::exists(tmp.Path("out/sub/deep/c.dat")));
  }
  {  // Confirmation without OnFileExists: the existing targets are skipped with the event's name.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out"));
    u.ConfirmOverwrites = true;
    EXPECT_EQ(u.Extract(), 3);
    EXPECT_EQ(ReadFile(tmp.Path("out/a.txt")), "old a");
    EXPECT_EQ(ReadFile(tmp.Path("out/sub/deep/c.dat")), "ccc");
    ASSERT_EQ(u.errors.size(), 2u);
    EXPECT_EQ(u.errors[0].ECode, kErrRequiredEventNotAssigned);
    EXPECT_EQ(u.errors[0].ExtendedMsg, "OnFileExists");
  }
  {  // OnFileExists: a new name for a.txt, skip for b.txt, overwrite for the others.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out"));
    u.ConfirmOverwrites = true;
    std::vector<std::string> asked;
    u.OnFileExists = [&](TObject*, const std::string& f, std::string& newName,
                         TOverwriteMode& mode) {
      asked.push_back(std::filesystem::path(f).filename().string());
      if (f.ends_with("a.txt"))
        newName = "a-copy.txt";
      else if (f.ends_with("b.txt"))
        mode = omSkip;
    };
    u.Extract();
    EXPECT_TRUE(u.errors.empty());
    EXPECT_EQ(ReadFile(tmp.Path("out/a.txt")), "old a");
    EXPECT_EQ(ReadFile(tmp.Path("out/a-copy.txt")), "new a");
    EXPECT_EQ(ReadFile(tmp.Path("out/sub/b.txt")), "old b");
    EXPECT_EQ(asked, (std::vector<std::string>{"a.txt", "b.txt", "readonly.txt", "c.dat"}));
  }
  {  // Plain overwrite replaces every target.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out"));
    EXPECT_EQ(u.Extract(), 4);
    EXPECT_EQ(ReadFile(tmp.Path("out/a.txt")), "new a");
    EXPECT_EQ(ReadFile(tmp.Path("out/sub/b.txt")), "new b");
  }
}

TEST(ZipReaderOptions, ReadOnlyTargetsRenameAndAttributes) {
  TempFolder tmp("unzip_readonly");
  std::string zip = MakeArchive(tmp);
  RecordingUnZip first;
  first.SetArcFile(zip);
  first.SetExtractDir(tmp.Path("out"));
  first.Extract();
  // The stored read-only attribute is given back (RestoreFileAttr).
  EXPECT_FALSE(Writable(tmp.Path("out/sub/readonly.txt")));
  EXPECT_TRUE(Writable(tmp.Path("out/a.txt")));

  {  // Without confirmation a read-only target cannot be opened: reported and left alone.
    WriteFile(tmp.Path("out/sub/readonly.txt.keep"), "");
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out"));
    u.FileSpec = {"sub/readonly.txt"};
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_EQ(u.Codes(), std::vector<int>{kErrErrorOpeningFile});
  }
  {  // With confirmation the read-only target is made writable and replaced.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out"));
    u.FileSpec = {"sub/readonly.txt"};
    u.ConfirmOverwrites = true;
    u.RestoreFileAttr = false;
    u.OnFileExists = [](TObject*, const std::string&, std::string&, TOverwriteMode&) {};
    EXPECT_EQ(u.Extract(), 1);
    EXPECT_TRUE(u.errors.empty());
    EXPECT_TRUE(Writable(tmp.Path("out/sub/readonly.txt")));
  }
  {  // A read-only directory in the target's place is reported with "Error writing to file".
    std::filesystem::create_directories(tmp.Path("out2/a.txt"));
    ::chmod(tmp.Path("out2/a.txt").c_str(), 0555);
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out2"));
    u.FileSpec = {"a.txt"};
    u.ConfirmOverwrites = true;
    u.OnFileExists = [](TObject*, const std::string&, std::string&, TOverwriteMode&) {};
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_EQ(u.Codes(), std::vector<int>{kErrErrorWritingToFile});
    ::chmod(tmp.Path("out2/a.txt").c_str(), 0755);
  }
  {  // OnRenameFile gives a new name in the same folder; OnBegin may decline an entry.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("out3"));
    u.OnRenameFile = [](TObject*, const std::string& f, std::string& newName) {
      if (f.ends_with("c.dat")) newName = "renamed.dat";
    };
    u.OnBegin = [](TObject*, const std::string& f, int, bool& extract) {
      extract = !f.ends_with("b.txt");
    };
    u.Extract();
    EXPECT_EQ(ReadFile(tmp.Path("out3/sub/deep/renamed.dat")), "ccc");
    EXPECT_FALSE(std::filesystem::exists(tmp.Path("out3/sub/b.txt")));
  }
}

TEST(ZipReaderOptions, StoredDirectoriesAndExtractDirForms) {
  TempFolder tmp("unzip_dirs");
  std::string zip = MakeArchive(tmp);
  {  // Default: stored paths used, empty directory entries not created.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("d1"));
    u.Extract();
    EXPECT_TRUE(std::filesystem::exists(tmp.Path("d1/sub/deep/c.dat")));
    EXPECT_FALSE(std::filesystem::exists(tmp.Path("d1/emptydir")));
  }
  {  // CreateStoredDirs creates them.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("d2"));
    u.CreateStoredDirs = true;
    u.Extract();
    EXPECT_TRUE(std::filesystem::is_directory(tmp.Path("d2/emptydir")));
  }
  {  // Without stored directories every file lands in ExtractDir itself.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("d3"));
    u.UseStoredDirs = false;
    u.Extract();
    EXPECT_EQ(AllPaths(tmp.Path("d3")),
              (std::vector<std::string>{"a.txt", "b.txt", "c.dat", "readonly.txt"}));
  }
  {  // ExtractDir: backslashes become "/", a trailing separator is dropped, "/" stays "/";
     // an empty value means the archive's folder.
    RecordingUnZip u;
    u.SetArcFile(zip);
    EXPECT_EQ(u.ExtractDir(), tmp.Path());
    u.SetExtractDir(tmp.Path("d4") + "\\x\\");
    EXPECT_EQ(u.ExtractDir(), tmp.Path("d4") + "/x");
    u.SetExtractDir(tmp.Path("d5") + "//");
    EXPECT_EQ(u.ExtractDir(), tmp.Path("d5"));
    u.Extract();
    EXPECT_EQ(ReadFile(tmp.Path("d5/a.txt")), "new a");
    u.SetExtractDir("/");
    EXPECT_EQ(u.ExtractDir(), "/");
    u.SetExtractDir("");
    EXPECT_EQ(u.ExtractDir(), tmp.Path());
  }
  {  // FileSpec masks with and without a directory part.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("d6"));
    u.FileSpec = {"*.dat", "a.txt"};
    u.Extract();
    EXPECT_EQ(AllPaths(tmp.Path("d6")),
              (std::vector<std::string>{"a.txt", "sub", "sub/deep", "sub/deep/c.dat"}));
    RecordingUnZip v;
    v.SetArcFile(zip);
    v.SetExtractDir(tmp.Path("d7"));
    v.FileSpec = {"sub/*.txt"};
    v.RecurseDirs = false;
    v.ExcludeSpec = {"readonly*"};
    v.Extract();
    EXPECT_EQ(AllPaths(tmp.Path("d7")), (std::vector<std::string>{"sub", "sub/b.txt"}));
  }
}

TEST(ZipReaderOptions, PasswordSearchThroughListAndEvent) {
  TempFolder tmp("unzip_password");
  // The wrong passwords below must fail the one-byte header check (they pass it 1 time in 256).
  int made = 0;
  do {
    ASSERT_EQ(Shell("cd " + tmp.Path() +
                    " && rm -f enc.zip && echo secret-data > s.txt && zip -q -P right enc.zip s.txt"),
              0);
  } while (!WrongPasswordsFailTheCheck(tmp.Path("enc.zip"), {"x", "y", "wrong"}) && ++made < 100);
  {  // The second answer of OnGetPassword opens the entry; the first is "Invalid password".
    RecordingUnZip u;
    u.SetArcFile(tmp.Path("enc.zip"));
    u.SetExtractDir(tmp.Path("o1"));
    u.Passwords = {"x", "y"};
    int calls = 0;
    u.OnGetPassword = [&](TObject*, const std::string&, std::string& pw, bool& again) {
      pw = ++calls == 1 ? "wrong" : "right";
      again = true;
    };
    EXPECT_EQ(u.Extract(), 1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(u.Codes(), std::vector<int>{kErrInvalidPassword});
    EXPECT_EQ(u.Passwords.front(), "right");
    EXPECT_EQ(ReadFile(tmp.Path("o1/s.txt")), "secret-data\n");
  }
  {  // PasswordAttempts 0: never asked, the entry fails and nothing is written.
    RecordingUnZip u;
    u.SetArcFile(tmp.Path("enc.zip"));
    u.SetExtractDir(tmp.Path("o2"));
    u.PasswordAttempts = 0;
    bool asked = false;
    u.OnGetPassword = [&](TObject*, const std::string&, std::string&, bool&) { asked = true; };
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_FALSE(asked);
    EXPECT_FALSE(std::filesystem::exists(tmp.Path("o2/s.txt")));
  }
  {  // TryAgain False stops the search with "Invalid password".
    RecordingUnZip u;
    u.SetArcFile(tmp.Path("enc.zip"));
    u.SetExtractDir(tmp.Path("o3"));
    u.OnGetPassword = [&](TObject*, const std::string&, std::string&, bool& again) {
      again = false;
    };
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_EQ(u.Codes(), std::vector<int>{kErrInvalidPassword});
  }
  {  // A cancel from OnBegin stops the run with "User canceled".
    RecordingUnZip u;
    u.SetArcFile(tmp.Path("enc.zip"));
    u.SetExtractDir(tmp.Path("o4"));
    u.OnBegin = [&](TObject*, const std::string&, int, bool&) { u.SetCancel(true); };
    EXPECT_EQ(u.Extract(), 0);
    EXPECT_EQ(u.Codes(), std::vector<int>{kErrUserCanceled});
  }
}

TEST(ZipReaderOptions, RunEventsProgressAndElapsedTime) {
  TempFolder tmp("unzip_events");
  std::string zip = MakeArchive(tmp);
  RecordingUnZip u;
  u.SetArcFile(zip);
  u.SetExtractDir(tmp.Path("out"));
  std::vector<std::string> events;
  int lastByArchive = -1;
  u.OnActivate = [&](TObject*) { events.push_back("activate"); };
  u.OnDeactivate = [&](TObject*) { events.push_back("deactivate"); };
  u.OnElapsedTime = [&](TObject*, float seconds) {
    events.push_back("elapsed");
    EXPECT_GE(seconds, 0.0f);
  };
  u.OnBegin = [&](TObject*, const std::string&, int count, bool&) {
    events.push_back("begin " + std::to_string(count));
  };
  u.OnProgress = [&](TObject*, uint8_t byFile, uint8_t byArchive) {
    EXPECT_LE(byFile, 100);
    EXPECT_GE(byArchive, lastByArchive);
    lastByArchive = byArchive;
  };
  EXPECT_EQ(u.Extract(), 5);
  EXPECT_EQ(events, (std::vector<std::string>{"activate", "begin 1", "begin 2", "begin 3",
                                              "begin 4", "begin 5", "elapsed", "deactivate"}));
  EXPECT_EQ(lastByArchive, 100);
  // The archive name is kept whatever the run did.
  EXPECT_EQ(u.ArchiveFile(), zip);
}
