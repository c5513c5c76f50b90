// scripts/run as a calling user starts it, with the tools it drives replaced by stand-ins that do
// nothing (installing, building, the servers' client, the package builder) and a Schemion32 that
// only writes its log: where the script puts its folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

void Script(const fs::path& aFile, const std::string& aBody) {
  fs::create_directories(aFile.parent_path());
  std::ofstream(aFile) << "#!/bin/sh\n" << aBody << "\n";
  fs::permissions(aFile, fs::perms::owner_all);
}

}  // namespace

// Regression: an absolute SCHEMION_BUILD_DIR was taken as relative to the checkout, and the
// demonstration folders were made under ./<that path> inside it.
TEST(RunScript, AnAbsoluteBuildFolderIsTakenAsGiven) {
  const fs::path root = fs::path(SCHEMION_TEST_BUILD_DIR) / "work" / "run-script";
  fs::remove_all(root);
  const fs::path checkout = root / "checkout";
  const fs::path build = root / "build";
  fs::create_directories(checkout / "scripts");
  fs::copy_file(fs::path(SCHEMION_TEST_DATA_DIR) / ".." / ".." / "scripts" / "run", checkout / "scripts" / "run");
  Script(checkout / "scripts" / "install-deps", "exit 0");
  Script(root / "tools" / "cmake", "exit 0");
  Script(build / "servers" / "client" / "schemion-sql", "exit 0");
  Script(build / "examples" / "schemion-build-package", "exit 0");
  Script(build / "app" / "Schemion32", ": > \"$(dirname \"$0\")/SchemionAppLog.txt\"");
  const std::string path = std::getenv("PATH");
  const char* servers = std::getenv("SCHEMION_SERVERS");
  const std::string serversBefore = servers != nullptr ? servers : "";
  setenv("PATH", ((root / "tools").string() + ":" + path).c_str(), 1);
  setenv("SCHEMION_BUILD_DIR", build.c_str(), 1);
  unsetenv("SCHEMION_SERVERS");
  const int status = app_test::RunCommand({"bash", (checkout / "scripts" / "run").string()});
  setenv("PATH", path.c_str(), 1);
  unsetenv("SCHEMION_BUILD_DIR");
  if (servers != nullptr) setenv("SCHEMION_SERVERS", serversBefore.c_str(), 1);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(build / "demo-run" / "SqlServer" / "SchemionAppLog.txt"));
  int entries = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(checkout)) {
    EXPECT_EQ(entry.path().filename(), "scripts");
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  fs::remove_all(root);
}
