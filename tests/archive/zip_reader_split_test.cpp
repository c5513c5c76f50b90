// Split sets: the volumes of a set made by zip -s (and the shared WinRAR and zip samples) are
// read across, each volume asked for through OnNextVolume.
#include <gtest/gtest.h>

#include "archive/pakvoErrors.h"
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

std::map<std::string, std::string> ExtractPlain(const std::string& archive, const std::string& out) {
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

TEST(ZipReaderSplit, SharedSplitSamplesMatchTheirSingleArchives) {
  TempFolder tmp("unzip_split_samples");
  const std::string base = Shared("split/COMPRESS-477/");
  for (auto [set, single] : {std::pair{"split_zip_created_by_zip/split_zip_created_by_zip.zip",
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
  EXPECT_TRUE(zipSet["commons-compress/src/main/java/org/apache/commons/compress/compressors/deflate/"
                     "DeflateParameters.java"] ==
              ReadFile(base + "split_zip_created_by_zip/file_to_compare_2"));
}
