// ZIP reader faults found by probing it: the password list when a wrong candidate passes the
// one-byte header check (the format lets 1 wrong password in 256 through), and entries whose path
// cannot be created.
#include <gtest/gtest.h>

#include <random>

#include "archive/pakvoErrors.h"
#include "unzip_test_support.h"
#include "zip_builder.h"

using namespace unziptest;

namespace {

// A stored entry encrypted with `right` whose encryption header also passes the check byte with
// `wrong`: the ten random header bytes are drawn (seeded) until it does.
zipbuild::Entry EncryptedEntryBothPass(const std::string& name, const std::string& data,
                                       const std::string& right, const std::string& wrong) {
  zipbuild::Entry e = zipbuild::Stored(name, data);
  std::mt19937 rng(20261207);
  for (;;) {
    std::string header(kEncryptionHeaderSize, '\0');
    for (int i = 0; i < 10; ++i) header[i] = static_cast<char>(rng());
    header[10] = static_cast<char>(e.crc >> 16);
    header[11] = static_cast<char>(e.crc >> 24);
    std::string stored = header + data;
    InitKeys(right);
    EncryptBuffer(stored.data(), stored.size());
    if (CheckEncryptionHeader(stored.data(), 0, e.crc, 0, wrong)) {
      e.data = stored;
      break;
    }
  }
  e.flags = 1;
  e.packed = static_cast<uint32_t>(e.data.size());
  return e;
}

}  // namespace

// Fault: the list's wrong candidate that passed the header check was taken, the entry failed its
// CRC, and the right password later in the list was never tried.
TEST(ZipReaderHardening, AWrongCandidateThatPassesTheCheckGivesWayToTheNext) {
  TempFolder tmp("unzip_password_list");
  const std::string data = ziptest::SampleText(3000);
  const std::string zip = tmp.Path("lucky.zip");
  WriteFile(zip, zipbuild::Build({EncryptedEntryBothPass("s.txt", data, "right", "wrong"),
                                  zipbuild::Stored("plain.txt", "plain\n")}));
  ASSERT_EQ(Shell("unzip -t -P right " + zip), 0);  // a sound archive for the real peer

  {  // The right password after the lucky wrong one: the entry extracts and verifies.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("o1"));
    u.Passwords = {"wrong", "right"};
    std::vector<bool> verdicts;
    u.OnEnd = [&](TObject*, const std::string&, bool ok) { verdicts.push_back(ok); };
    EXPECT_EQ(u.Extract(), 2);
    EXPECT_TRUE(u.errors.empty());
    EXPECT_EQ(verdicts, (std::vector<bool>{true, true}));
    EXPECT_TRUE(ReadFile(tmp.Path("o1/s.txt")) == data);
  }
  {  // No candidate verifies: the entry alone is reported, nothing is left under its name.
    RecordingUnZip u;
    u.SetArcFile(zip);
    u.SetExtractDir(tmp.Path("o2"));
    u.Passwords = {"wrong", "other"};
    u.PasswordAttempts = 0;
    EXPECT_EQ(u.Extract(), 2);
    EXPECT_EQ(u.Codes(), std::vector<int>{kErrFileFailsCRCCheck});
    EXPECT_FALSE(std::filesystem::exists(tmp.Path("o2/s.txt")));
    EXPECT_EQ(ReadFile(tmp.Path("o2/plain.txt")), "plain\n");
  }
}

// Fault: an entry whose path could not be created (32,767 levels, far past the longest path)
// left the thousands of folders made before the failure behind.
TEST(ZipReaderHardening, AnEntryWhosePathFailsLeavesNoFoldersBehind) {
  TempFolder tmp("unzip_deep_path");
  std::string deep;
  for (int i = 0; i < 32767; ++i) deep += "d/";
  const std::string zip = tmp.Path("deep.zip");
  WriteFile(zip, zipbuild::Build({zipbuild::Stored(deep + "f", "x"),
                                  zipbuild::Stored(deep.substr(0, 65534), ""),
                                  zipbuild::Stored("ok.txt", "fine\n")}));
  RecordingUnZip u;
  u.SetArcFile(zip);
  u.SetExtractDir(tmp.Path("out"));
  u.CreateStoredDirs = true;
  EXPECT_EQ(u.Extract(), 2);
  EXPECT_EQ(u.Codes(), (std::vector<int>{kErrErrorOpeningFile, kErrUnableToCreateDirectory}));
  EXPECT_EQ(AllPaths(tmp.Path("out")), std::vector<std::string>{"ok.txt"});
}
