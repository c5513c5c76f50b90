// The password list of the ZIP reader when a wrong candidate passes the one-byte header check (the
// format lets 1 wrong password in 256 through): the entry's CRC decides, and the search goes on.
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
TEST(ZipReaderPasswordList, AWrongCandidateThatPassesTheCheckGivesWayToTheNext) {
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
