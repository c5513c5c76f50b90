// The application's file services: packing a schema folder into a package and back (checked with
// zip/unzip), their fixed texts, hostile packages, and the version block of our executables.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "app/VersionInfo.h"
#include "app/dmFilesUtils.h"
#include "archive/pakvoGbls.h"
#include "tests/archive/TestFiles.h"
#include "tests/archive/zip_builder.h"

namespace {

namespace fs = std::filesystem;
using archive_test::ReadFile;
using archive_test::TempDir;
using archive_test::WriteFile;

int Shell(const std::string& command) {
  const int rc = std::system(("(" + command + ") >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// Files of a folder (not recursing): name -> contents.
std::map<std::string, std::string> FolderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return files;
}

// A folder shaped like a schema folder: the 15 catalogue files, directives, data files, odd names,
// an empty file and a 50 MB data file.
void MakeSchemaFolder(const std::string& folder) {
  const char* kinds[] = {"Tables", "Columns", "Indexes", "IndexColumns", "ForeignKeys", "ForeignKeyColumns",
                         "Views", "Procedures", "Functions", "Triggers", "Defaults", "Checks",
                         "Users", "Roles", "Properties"};
  for (const char* kind : kinds) {
    WriteFile(folder + "/vsi" + kind + ".xml", "<xml kind=\"" + std::string(kind) + "\">" + std::string(500, 'x') + "</xml>");
  }
  WriteFile(folder + "/UpdaterDirectives.xml", "<directives/>");
  WriteFile(folder + "/SqlCommands.xml", "<commands/>");
  WriteFile(folder + "/CPFP_Customers.xml", std::string(20000, 'c'));
  WriteFile(folder + "/CPFP_Orders.xml", std::string(30000, 'o'));
  WriteFile(folder + "/name with blank.xml", "blank");
  WriteFile(folder + "/Città è.xml", "non-ascii");
  WriteFile(folder + "/NODOT", "no dot");
  WriteFile(folder + "/empty.xml", "");
  std::string big(50 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>("<row id=\"12345\" v=\"abcdef\"/>\n"[i % 30] ^ (i >> 20));
  WriteFile(folder + "/CPFP_Big.xml", big);
}

TEST(FilesUtilsPackage, SchemaFolderPacksFlatAndUnpacksByteEqual) {
  TempDir dir;
  const std::string source = dir.Path("schema");
  MakeSchemaFolder(source);
  const auto expected = FolderFiles(source);
  TdmFilesUtils utils;
  std::string result;
  const std::string package = dir.Path("pkg.upd");
  utils.ZipFiles(package, source + "/*.*", result, false);
  ASSERT_EQ(result, package);
  EXPECT_EQ(Shell("unzip -t " + Quoted(package)), 0);
  // Flat, deflated entries, one per file ("*.*" matches names without a dot too).
  EXPECT_EQ(Capture("zipinfo -1 " + Quoted(package)).find('/'), std::string::npos);
  EXPECT_NE(Capture("zipinfo " + Quoted(package) + " CPFP_Big.xml").find("defN"), std::string::npos);
  std::vector<std::string> names;
  utils.ListArchive(package, &names, false);
  ASSERT_EQ(names.size(), expected.size()) << testing::PrintToString(names);
  for (const auto& name : names) EXPECT_TRUE(expected.count(name)) << name;

  const std::string target = dir.Path("out");
  fs::create_directories(target);
  std::string first;
  utils.UnzipPackage(package, target + "\\", first, false);
  EXPECT_EQ(first, target + "/" + names.front());
  EXPECT_TRUE(FolderFiles(target) == expected);
  for (const auto& [name, data] : expected) {
    const auto diff = fs::last_write_time(source + "/" + name) - fs::last_write_time(target + "/" + name);
    EXPECT_LE(std::chrono::abs(diff), std::chrono::seconds(2)) << name;  // the files' own dates travel
  }

  // A package written by zip -j unpacks alike. Guards: the UTF-8 names zip writes on Unix (no
  // UTF-8 flag) were extracted as code page 437.
  const std::string peer = dir.Path("peer.upd");
  ASSERT_EQ(Shell("cd " + Quoted(source) + " && zip -q -j " + Quoted(peer) + " *"), 0);
  const std::string peerTarget = dir.Path("peer-out");
  fs::create_directories(peerTarget);
  utils.UnzipPackage(peer, peerTarget, first, false);
  const auto peerFiles = FolderFiles(peerTarget);
  for (const auto& [name, data] : peerFiles) EXPECT_TRUE(expected.count(name) && expected.at(name) == data) << name;
  EXPECT_EQ(peerFiles.size(), expected.size());
}

TEST(FilesUtilsPackage, RecursingKeepsEmptyFolders) {
  TempDir dir;
  WriteFile(dir.Path("src/top.xml"), "top");
  WriteFile(dir.Path("src/sub/inner.xml"), "inner");
  fs::create_directories(dir.Path("src/sub/empty"));
  TdmFilesUtils utils;
  std::string result;
  utils.ZipFiles(dir.Path("pkg.upd"), dir.Path("src") + "/*.*", result, true);
  ASSERT_FALSE(result.empty());
  EXPECT_EQ(Shell("unzip -t " + Quoted(dir.Path("pkg.upd"))), 0);
  fs::create_directories(dir.Path("out"));
  std::string first;
  utils.UnzipPackage(result, dir.Path("out"), first, true);
  EXPECT_EQ(ReadFile(dir.Path("out/sub/inner.xml")), "inner");
  EXPECT_TRUE(fs::is_directory(dir.Path("out/sub/empty")));
}

// Guards: writing a package deleted the previous one first, so a failed write lost it.
TEST(FilesUtilsPackage, NewPackageReplacesOldOnlyWhenComplete) {
  TempDir dir;
  WriteFile(dir.Path("old/stale.xml"), "stale");
  WriteFile(dir.Path("new/fresh.xml"), "fresh");
  TdmFilesUtils utils;
  std::string result;
  const std::string package = dir.Path("pkg.upd");
  utils.ZipFiles(package, dir.Path("old") + "/*.*", result, false);
  const std::string oldBytes = ReadFile(package);
  utils.ZipFiles(package, dir.Path("missing") + "/*.*", result, false);
  EXPECT_EQ(result, "");
  EXPECT_EQ(ReadFile(package), oldBytes);
  utils.ZipFiles(package, dir.Path("new") + "/*.*", result, false);
  std::vector<std::string> names;
  utils.ListArchive(package, &names, false);
  EXPECT_EQ(names, std::vector<std::string>{"fresh.xml"});
  EXPECT_EQ(FolderFiles(dir.Path()).size(), 1u);  // no temporary archive left behind
  // A package kept inside the packed folder does not travel in its successor.
  const std::string inside = dir.Path("new/pkg.upd");
  utils.ZipFiles(inside, dir.Path("new") + "/*.*", result, false);
  utils.ZipFiles(inside, dir.Path("new") + "/*.*", result, false);
  names.clear();
  utils.ListArchive(inside, &names, false);
  EXPECT_EQ(names, std::vector<std::string>{"fresh.xml"});
}

TEST(FilesUtilsPackage, EdgeCasesAndTexts) {
  TempDir dir;
  TdmFilesUtils utils;
  std::string result = "x";
  try {
    utils.ZipFiles(dir.Path("pkg.upd"), "*.*", result, false);
    ADD_FAILURE();
  } catch (const EFilesUtils& e) {
    EXPECT_STREQ(e.what(), "Attenzione, manca il percorso in \"*.*\"");
  }
  EXPECT_EQ(result, "");
  EXPECT_FALSE(fs::exists(dir.Path("pkg.upd")));
  result = "x";
  utils.ZipFiles(dir.Path("pkg.upd"), "", result, false);
  EXPECT_EQ(result, "");
  EXPECT_FALSE(fs::exists(dir.Path("pkg.upd")));

  std::string first;
  auto message = [&](auto call) -> std::string {
    try {
      call();
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(message([&] { utils.UnzipPackage(dir.Path("none.upd"), dir.Path(), first, false); }),
            dir.Path("none.upd") + " not found!");
  WriteFile(dir.Path("empty.upd"), zipbuild::Build({}));
  EXPECT_EQ(message([&] { utils.UnzipPackage(dir.Path("empty.upd"), dir.Path("nofolder"), first, false); }),
            "Extract dir not defined");
  first = "x";
  utils.UnzipPackage(dir.Path("empty.upd"), dir.Path(), first, false);
  EXPECT_EQ(first, "x");  // zero entries: the first file is not set
  EXPECT_EQ(message([&] { utils.ListFiles(nullptr, dir.Path(), "*.*"); }), "List not assigned!!");
  std::vector<std::string> untouched{"kept"};
  utils.ListArchive(dir.Path("none.upd"), &untouched, false);
  EXPECT_EQ(untouched, std::vector<std::string>{"kept"});
}

TEST(FilesUtilsFolder, DeleteFilesKeepsFoldersAndNamesWhatItCannotDelete) {
  TempDir dir;
  WriteFile(dir.Path("a.xml"), "a");
  WriteFile(dir.Path("NODOT"), "b");
  WriteFile(dir.Path("sub/inner.xml"), "c");
  TdmFilesUtils utils;
  std::vector<std::string> listed;
  utils.ListFiles(&listed, dir.Path() + "/", "*.*");
  EXPECT_EQ(listed.size(), 5u);  // ".", "..", the two files and the folder
  utils.DeleteFiles(dir.Path() + "\\", "*.*");
  EXPECT_FALSE(fs::exists(dir.Path("a.xml")));
  EXPECT_FALSE(fs::exists(dir.Path("NODOT")));
  EXPECT_TRUE(fs::exists(dir.Path("sub/inner.xml")));
  // Guards: a file that could not be deleted was passed over silently (a stale file then travels).
  try {
    utils.DeleteFiles("/proc/self/", "cmdline");
    ADD_FAILURE();
  } catch (const EFilesUtils& e) {
    EXPECT_STREQ(e.what(), "Cannot delete file /proc/self/cmdline");
  }
}

// Guards: a package could write outside the target folder or through a link.
TEST(FilesUtilsPackage, HostilePackagesWriteNothingOutside) {
  TempDir dir;
  TdmFilesUtils utils;
  const std::string outside = dir.Path("outside.txt");
  WriteFile(outside, "precious");
  fs::create_directories(dir.Path("links"));
  fs::create_symlink(outside, dir.Path("links/escape"));
  ASSERT_EQ(Shell("cd " + Quoted(dir.Path("links")) + " && zip -q -y " + Quoted(dir.Path("link.upd")) + " escape"), 0);
  WriteFile(dir.Path("climb.upd"), zipbuild::Build({zipbuild::Stored("ok.txt", "ok"),
                                                    zipbuild::Stored("../outside.txt", "evil")}));
  WriteFile(dir.Path("absolute.upd"), zipbuild::Build({zipbuild::Stored(outside, "evil")}));
  WriteFile(dir.Path("plain.upd"), zipbuild::Build({zipbuild::Stored("escape", "evil")}));
  struct Case {
    std::string package;
    bool linkInTarget;
  };
  for (const Case& c : {Case{"climb.upd", false}, Case{"absolute.upd", false}, Case{"link.upd", false},
                        Case{"plain.upd", true}}) {
    SCOPED_TRACE(c.package);
    const std::string target = dir.Path("target");
    fs::remove_all(target);
    fs::create_directories(target);
    if (c.linkInTarget) fs::create_symlink(outside, target + "/escape");
    std::string first;
    try {
      utils.UnzipPackage(dir.Path(c.package), target, first, true);
      ADD_FAILURE() << "no failure";
    } catch (const E_RAISE& e) {
      EXPECT_STREQ(e.what(), "Invalid file name");
    }
    EXPECT_EQ(ReadFile(outside), "precious");
    EXPECT_FALSE(fs::exists(target + "/ok.txt"));  // refused before anything is written
    EXPECT_FALSE(fs::exists(target + "/escape") && !fs::is_symlink(target + "/escape"));
  }
}

TEST(FilesUtilsPackage, BrokenPackagesFailWithoutHarm) {
  TempDir dir;
  TdmFilesUtils utils;
  WriteFile(dir.Path("src/data.xml"), std::string(200000, 'd'));
  std::string result;
  utils.ZipFiles(dir.Path("good.upd"), dir.Path("src") + "/*.*", result, false);
  const std::string good = ReadFile(dir.Path("good.upd"));
  WriteFile(dir.Path("truncated.upd"), good.substr(0, good.size() / 2));
  zipbuild::Entry bomb = zipbuild::Deflated("bomb.xml", std::string(20 << 20, 'b'));
  bomb.unpacked = 10;  // declares 10 bytes, expands to 20 MB
  WriteFile(dir.Path("bomb.upd"), zipbuild::Build({bomb}));
  for (const char* package : {"truncated.upd", "bomb.upd"}) {
    SCOPED_TRACE(package);
    const std::string target = dir.Path(std::string("out-") + package);
    fs::create_directories(target);
    std::string first;
    try {
      utils.UnzipPackage(dir.Path(package), target, first, false);
    } catch (const std::exception&) {
    }
    for (const auto& entry : fs::directory_iterator(target)) {
      EXPECT_LE(fs::file_size(entry.path()), 10u) << entry.path();  // nothing beyond what it declares
    }
  }
}

std::string Block(std::initializer_list<std::pair<std::string, std::string>> records) {
  std::string block(version::kVersionBlockMagic);
  for (const auto& [key, value] : records) {
    block += key;
    block.push_back('\0');
    block.push_back(static_cast<char>(value.size() & 0xFF));
    block.push_back(static_cast<char>(value.size() >> 8));
    block += value;
  }
  return block;
}

TEST(FilesUtilsVersion, ReadsTheBuildsVersionBlock) {
  TdmFilesUtils utils;
  std::string text;
  // This test program carries the block every executable of ours carries.
  utils.GetFileVersion("/proc/self/exe", text);
  EXPECT_EQ(text, SCHEMION_FILE_VERSION);
  EXPECT_EQ(std::count(text.begin(), text.end(), '.'), 3);
  // The application reads its own version the same way.
  utils.GetFileVersion(std::string(SCHEMION_BINARY_DIR) + "/app/Schemion32", text);
  EXPECT_EQ(text, SCHEMION_FILE_VERSION);

  TempDir dir;
  const std::string self = ReadFile("/proc/self/exe");
  WriteFile(dir.Path("empty"), "");
  WriteFile(dir.Path("truncated"), self.substr(0, self.size() / 2));
  WriteFile(dir.Path("text"), "not an executable");
  for (const std::string& file : {dir.Path("empty"), dir.Path("truncated"), dir.Path("text"), dir.Path(),
                                  std::string("/bin/sh"), dir.Path("missing")}) {
    utils.GetFileVersion(file, text);
    EXPECT_EQ(text, "0.0.0.0") << file;
  }

  // Two translations: the first wins, its string table named by language then code page.
  const std::string us{"\x09\x04\xE4\x04", 4}, de{"\x07\x04\xB0\x04", 4};
  const auto twoTables = [&](const std::string& translations) {
    return Block({{"\\VarFileInfo\\Translation", translations},
                  {"\\StringFileInfo\\040704B0\\FileVersion", "2.0.0.7"},
                  {"\\StringFileInfo\\040904E4\\FileVersion", "1.2.3.4"}});
  };
  EXPECT_EQ(version::FileVersionOf(twoTables(us + de)), "1.2.3.4");
  EXPECT_EQ(version::FileVersionOf(twoTables(de + us)), "2.0.0.7");
  const std::string whole = twoTables(us);
  EXPECT_EQ(version::FileVersionOf(whole.substr(0, whole.size() - 3)), "0.0.0.0");
  EXPECT_EQ(version::FileVersionOf(Block({{"\\StringFileInfo\\040904E4\\FileVersion", "1.2.3.4"}})), "0.0.0.0");
}

}  // namespace
