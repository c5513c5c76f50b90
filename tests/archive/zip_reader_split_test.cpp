// Split sets: the volumes of a set made by zip -s (and the WinRAR and zip samples) are
// read across, each volume asked for through OnNextVolume.
#include <gtest/gtest.h>

#include "archive/pakvoErrors.h"
#include "platform/files/SimulatedDrive.h"
#include "unzip_test_support.h"

using namespace unziptest;

namespace {

// Extracts a set whose last volume is `archive`, accepting every volume the reader proposes.
std::map<std::string, std::string> ExtractSet(const std::string& archive, const std::string& out,
                                              std::vector<std::string>* asked = nullptr,
                                              std::vector<int>* codes = nullptr) {
  RecordingUnZip unzip;
  unzip.SetArcFile(archive);
  unzip.SetExtractDir(out);
  unzip.OnNextVolume = [&](TObject*, std::string& name, const std::string& id, bool exists,
                           bool& cancel) {
    if (asked) asked->push_back(std::filesystem::path(name).filename().string() + "#" + id);
    cancel = !exists;
  };
  unzip.Extract();
  if (codes) *codes = unzip.Codes();
  EXPECT_EQ(unzip.ArcType, atZipMV);
  return std::filesystem::exists(out) ? Tree(out) : std::map<std::string, std::string>{};
}

std::map<std::string, std::string> ExtractPlain(const std::string& archive,
                                                const std::string& out) {
  RecordingUnZip unzip;
  unzip.SetArcFile(archive);
  unzip.SetExtractDir(out);
  unzip.Extract();
  EXPECT_TRUE(unzip.errors.empty()) << archive;
  return Tree(out);
}

}  // namespace

TEST(ZipReaderSplit, InfoZipSplitSetExtractsAcrossItsVolumes) {
  TempFolder tmp("unzip_split");
  std::filesystem::create_directories(tmp.Path("src/d"));
  std::map<std::string, std::string> files = {{"big.bin", ziptest::RandomBytes(150000, 5)},
                                              {"d/text.txt", ziptest::SampleText(300000)},
                                              {"small.txt", "small"}};
  for (const auto& [n, d] : files) WriteFile(tmp.Path("src/" + n), d);
  ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && zip -r -s 64k " + tmp.Path("set.zip") + " ."), 0);
  ASSERT_TRUE(std::filesystem::exists(tmp.Path("set.z02")));

  std::vector<std::string> asked;
  std::vector<int> codes;
  auto tree = ExtractSet(tmp.Path("set.zip"), tmp.Path("out"), &asked, &codes);
  EXPECT_TRUE(codes.empty());
  EXPECT_EQ(tree.size(), files.size());
  for (const auto& [n, d] : files) EXPECT_TRUE(tree[n] == d) << n;
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.front(), "set.z01#1");

  // A missing volume: the user cancels when asked, the run stops with "User canceled".
  std::filesystem::remove(tmp.Path("set.z02"));
  std::vector<int> codes2;
  ExtractSet(tmp.Path("set.zip"), tmp.Path("out2"), nullptr, &codes2);
  ASSERT_FALSE(codes2.empty());
  EXPECT_EQ(codes2.back(), kErrUserCanceled);

  // Without an OnNextVolume handler the set cannot be read.
  RecordingUnZip bare;
  bare.SetArcFile(tmp.Path("set.zip"));
  bare.SetExtractDir(tmp.Path("out3"));
  EXPECT_EQ(bare.Extract(), 0);
  ASSERT_FALSE(bare.errors.empty());
  EXPECT_EQ(bare.errors[0].ECode, kErrRequiredEventNotAssigned);
  EXPECT_EQ(bare.errors[0].ExtendedMsg, "OnNextVolume");
}

// A record naming a volume after the last one is a lie: such an entry is refused, nobody is asked
// for a volume that cannot exist, and the other entries still extract; such a directory refuses
// the set.
TEST(ZipReaderSplit, RecordsNamingAVolumeAfterTheLastAreRefused) {
  TempFolder tmp("unzip_split_beyond");
  std::filesystem::create_directories(tmp.Path("src"));
  const std::string big = ziptest::RandomBytes(150000, 7);
  WriteFile(tmp.Path("src/big.bin"), big);
  WriteFile(tmp.Path("src/small.txt"), "small");
  ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && zip -s 64k " + tmp.Path("set.zip") +
                  " big.bin small.txt"),
            0);
  std::string last = ReadFile(tmp.Path("set.zip"));
  const std::string record = std::string("PK\x01\x02", 4);
  size_t at = std::string::npos;
  for (size_t p = last.find(record); p != std::string::npos; p = last.find(record, p + 1)) {
    if (p + 46 + 9 <= last.size() && last.compare(p + 46, 9, "small.txt") == 0) at = p;
  }
  ASSERT_NE(at, std::string::npos);
  last[at + 34] = 40;  // disk number 40: far behind the set's last volume
  last[at + 35] = 0;
  WriteFile(tmp.Path("set.zip"), last);

  std::vector<std::string> asked;
  std::vector<int> codes;
  auto tree = ExtractSet(tmp.Path("set.zip"), tmp.Path("out"), &asked, &codes);
  EXPECT_EQ(codes, std::vector<int>{kErrBadFileHeader});
  EXPECT_EQ(tree.size(), 1u);
  EXPECT_TRUE(tree["big.bin"] == big);
  for (const auto& a : asked) EXPECT_EQ(a.find("41"), std::string::npos) << a;

  // An end record placing the directory on a volume after the last: the set is refused at once.
  const std::string endRecord = std::string("PK\x05\x06", 4);
  const size_t end = last.rfind(endRecord);
  ASSERT_NE(end, std::string::npos);
  last[end + 6] = 40;
  WriteFile(tmp.Path("set.zip"), last);
  asked.clear();
  codes.clear();
  EXPECT_TRUE(ExtractSet(tmp.Path("set.zip"), tmp.Path("out2"), &asked, &codes).empty());
  EXPECT_EQ(codes, std::vector<int>{kErrBadFileHeader});
  EXPECT_TRUE(asked.empty());
}

TEST(ZipReaderSplit, SharedSplitSamplesMatchTheirSingleArchives) {
  TempFolder tmp("unzip_split_samples");
  const std::string base = Sample("split/COMPRESS-477/");
  for (auto [set, single] :
       {std::pair{"split_zip_created_by_zip/split_zip_created_by_zip.zip",
                  "split_zip_created_by_zip/zip_to_compare_created_by_zip.zip"},
        {"split_zip_created_by_winrar/split_zip_created_by_winrar.zip",
         "split_zip_created_by_winrar/zip_to_compare_created_by_winrar.zip"}}) {
    std::vector<int> codes;
    std::string out = tmp.Path(std::filesystem::path(set).stem().string());
    auto split = ExtractSet(base + set, out, nullptr, &codes);
    EXPECT_TRUE(codes.empty()) << set << " " << (codes.empty() ? 0 : codes[0]);
    auto whole = ExtractPlain(base + single, out + "-single");
    EXPECT_EQ(split.size(), whole.size()) << set;
    EXPECT_TRUE(split == whole) << set;
  }
  // The entries that cross volume boundaries equal their reference files.
  auto zipSet = Tree(tmp.Path("split_zip_created_by_zip"));
  EXPECT_TRUE(zipSet["commons-compress/src/main/java/org/apache/commons/compress/archivers/dump/"
                     "UnsupportedCompressionAlgorithmException.java"] ==
              ReadFile(base + "split_zip_created_by_zip/file_to_compare_1"));
  EXPECT_TRUE(
      zipSet["commons-compress/src/main/java/org/apache/commons/compress/compressors/deflate/"
             "DeflateParameters.java"] ==
      ReadFile(base + "split_zip_created_by_zip/file_to_compare_2"));
}

// A set spanned over removable disks (each disk holds the archive's name and a "PKBACK# 00n"
// label) on the simulated drive: the last disk is asked for first, then every disk in order; a
// wrong disk is refused and asked for again.
TEST(ZipReaderSplit, SpannedDisksAreAskedForInOrderAndAWrongDiskIsRefused) {
  TempFolder tmp("unzip_spanned");
  std::filesystem::create_directories(tmp.Path("src"));
  std::map<std::string, std::string> files = {{"big.bin", ziptest::RandomBytes(150000, 8)},
                                              {"text.txt", ziptest::SampleText(200000)}};
  for (const auto& [n, d] : files) WriteFile(tmp.Path("src/" + n), d);
  ASSERT_EQ(Shell("cd " + tmp.Path("src") + " && zip -r -s 64k " + tmp.Path("set.zip") + " ."), 0);
  const std::vector<std::string> volumes = {tmp.Path("set.z01"), tmp.Path("set.z02"),
                                            tmp.Path("set.zip")};
  ASSERT_TRUE(std::filesystem::exists(volumes[1]));
  ASSERT_FALSE(std::filesystem::exists(tmp.Path("set.z03")));

  platform::files::SimulatedDrive drive(tmp.Path("drive"), tmp.Path("store"));
  for (size_t i = 0; i < volumes.size(); ++i) {
    drive.InsertDisk("disk" + std::to_string(i + 1));
    drive.SetLabel("PKBACK# 00" + std::to_string(i + 1));
    WriteFile(tmp.Path("drive/set.zip"), ReadFile(volumes[i]));
  }
  // The disk in the drive when the archive is bound is the last one.
  RecordingUnZip unzip;
  unzip.SetVolumes(&drive);
  unzip.SetArcFile(tmp.Path("drive/set.zip"));
  EXPECT_EQ(unzip.ArcType, atZipDS);
  unzip.SetExtractDir(tmp.Path("out"));

  std::vector<std::string> asked;
  unzip.OnGetZipLastDisk = [&](TObject*, bool& cancel) {
    asked.push_back("last");
    drive.InsertDisk("disk3");
    cancel = false;
  };
  int firstCalls = 0;
  unzip.OnGetZipFirstDisk = [&](TObject*, bool& cancel) {
    asked.push_back("first");
    drive.InsertDisk(++firstCalls == 1 ? "disk2" : "disk1");  // the wrong disk first
    cancel = false;
  };
  unzip.OnGetZipNextDisk = [&](TObject*, const std::string& name, bool& cancel) {
    asked.push_back("next " + name);
    drive.InsertDisk("disk" + name);
    cancel = false;
  };
  // Start with the first disk in the drive: the last one must be asked for.
  drive.InsertDisk("disk1");
  unzip.Extract();
  EXPECT_TRUE(unzip.errors.empty()) << unzip.Codes()[0];
  EXPECT_EQ(asked, (std::vector<std::string>{"last", "first", "first", "next 2", "next 3"}));
  auto tree = Tree(tmp.Path("out"));
  EXPECT_EQ(tree.size(), files.size());
  for (const auto& [n, d] : files) EXPECT_TRUE(tree[n] == d) << n;

  // Without the first-disk event the request fails with the event's name, and the run stops.
  RecordingUnZip bare;
  bare.SetVolumes(&drive);
  drive.InsertDisk("disk3");
  bare.SetArcFile(tmp.Path("drive/set.zip"));
  bare.SetExtractDir(tmp.Path("out2"));
  bare.OnGetZipLastDisk = [](TObject*, bool& cancel) { cancel = true; };
  EXPECT_EQ(bare.Extract(), 0);
  ASSERT_FALSE(bare.errors.empty());
  EXPECT_EQ(bare.errors[0].ECode, kErrRequiredEventNotAssigned);
  EXPECT_EQ(bare.errors[0].ExtendedMsg, "OnGetZipFirstDisk");

  // A user who cancels the disk request stops the extraction.
  RecordingUnZip cancelled;
  cancelled.SetVolumes(&drive);
  cancelled.SetArcFile(tmp.Path("drive/set.zip"));
  cancelled.SetExtractDir(tmp.Path("out3"));
  cancelled.OnGetZipLastDisk = [](TObject*, bool& cancel) { cancel = true; };
  cancelled.OnGetZipFirstDisk = [](TObject*, bool& cancel) { cancel = true; };
  EXPECT_EQ(cancelled.Extract(), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp.Path("out3")));
}
