// OnRenameFile is asked only where the components fire it: the extractor together with OnBegin
// for entries written to files, the compressor for each file it takes.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/pakvoUnZip.h"
#include "archive/pakvoZip.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

// Fault: the extractor asked OnRenameFile for every entry, also without an OnBegin handler.
TEST(RenameFileEvent, AskedOnlyWhereTheComponentsFireIt) {
  ziptest::TempFolder tmp("pakvo_rename_ev");
  const std::string src = tmp.Path("src");
  fs::create_directories(src);
  ziptest::WriteFile(src + "/a.txt", "alpha\n");
  ziptest::WriteFile(src + "/b.txt", "beta\n");
  const std::string archive = tmp.Path("r.zip");
  std::vector<std::string> asked;
  auto rename = [&asked](TObject*, const std::string& name, std::string& newName) {
    asked.push_back(fs::path(name).filename().string());
    newName = "new_" + fs::path(name).filename().string();
  };
  TZip z;
  z.SetArcFile(archive);
  z.FileSpec = {src + "/*.*"};
  z.OnBegin = [](TObject*, const std::string& name, int, bool& take) { take = name != "b.txt"; };
  z.OnRenameFile = rename;
  ASSERT_EQ(z.Compress(), 1);
  EXPECT_EQ(asked, std::vector<std::string>{"a.txt"});  // not for the declined file

  asked.clear();
  TUnZip plain;
  plain.SetArcFile(archive);
  plain.SetExtractDir(tmp.Path("x"));
  plain.OnRenameFile = rename;
  EXPECT_EQ(plain.Extract(), 1);
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(fs::exists(tmp.Path("x/new_a.txt")));

  TUnZip withBegin;
  withBegin.SetArcFile(archive);
  withBegin.SetExtractDir(tmp.Path("y"));
  withBegin.OnRenameFile = rename;
  withBegin.OnBegin = [](TObject*, const std::string&, int, bool&) {};
  EXPECT_EQ(withBegin.Extract(), 1);
  EXPECT_EQ(asked, std::vector<std::string>{"new_a.txt"});
  EXPECT_TRUE(fs::exists(tmp.Path("y/new_new_a.txt")));
}
