// ZIP writer, entry by entry: whatever path a file takes (read whole and packed with the run's
// one deflate state, or streamed when large), its data is exactly a fresh raw deflate of the
// file at the chosen level (or the file itself when stored), and its local and central records
// agree; many files packed in one run with levels changing between runs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include <filesystem>
#include <map>

#include "archive/pakvoZip.h"
#include "zip_test_support.h"

namespace fs = std::filesystem;

namespace {

// Raw deflate (window bits -15, memory level 8, default strategy) from a state of its own.
std::string FreshDeflate(const std::string& data, int level) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - zs.avail_out);
  deflateEnd(&zs);
  return out;
}

uint32_t Crc32Of(const std::string& s) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Small text and random files of many sizes, empty files, a .zip (stored by its extension), and
// files on both sides of the size up to which entries are packed whole (1 MiB).
std::map<std::string, std::string> MakeFolder(const std::string& root) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < 150; ++i) {
    const size_t size = static_cast<size_t>(i) * 397 % 20000;
    files["small/t" + std::to_string(i) + ".txt"] = ziptest::SampleText(size, static_cast<uint32_t>(i));
  }
  for (int i = 0; i < 20; ++i) {
    files["small/r" + std::to_string(i) + ".bin"] = ziptest::RandomBytes(static_cast<size_t>(i) * 1000 + 1, 100u + i);
  }
  files["empty.txt"] = "";
  files["one.txt"] = "x";
  files["packed.zip"] = ziptest::SampleText(40000, 9);
  files["at_limit.txt"] = ziptest::SampleText(1 << 20, 10);
  files["past_limit.txt"] = ziptest::SampleText((1 << 20) + 1, 11);
  files["past_limit_random.bin"] = ziptest::RandomBytes((1 << 20) + 5000, 12);
  files["n\xC3\xA4me.txt"] = ziptest::SampleText(3000, 13);
  for (const auto& [name, data] : files) {
    fs::create_directories(fs::path(root + "/" + name).parent_path());
    ziptest::WriteFile(root + "/" + name, data);
    struct utimbuf t{1600000000, 1600000000};
    ::utime((root + "/" + name).c_str(), &t);
  }
  return files;
}

// Checks every entry of archive against the files it was packed from.
void CheckEntries(const std::string& archive, const std::map<std::string, std::string>& files, TDeflateType type,
                  const std::string& label) {
  static constexpr int kLevels[4] = {0, 1, -1, 9};
  static constexpr uint16_t kFlags[4] = {6, 4, 0, 2};
  const std::string zip = ziptest::ReadFile(archive);
  const auto entries = ziptest::ListZip(zip);
  ASSERT_EQ(entries.size(), files.size()) << label;
  for (const auto& e : entries) {
    SCOPED_TRACE(label + " " + e.name);
    const auto it = files.find(e.name);
    ASSERT_NE(it, files.end());
    const std::string& data = it->second;
    EXPECT_EQ(e.size, data.size());
    EXPECT_EQ(e.crc, data.empty() ? 0u : Crc32Of(data));
    const bool storedType = type == dtDeflateS || data.empty() || e.name == "packed.zip";
    const std::string deflated = storedType ? std::string() : FreshDeflate(data, kLevels[type]);
    const bool deflate = !storedType && deflated.size() <= data.size();
    EXPECT_EQ(e.method, deflate ? 8 : 0);
    EXPECT_TRUE(ziptest::EntryData(zip, e) == (deflate ? deflated : data));
    const uint16_t utf8 = e.name == "n\xC3\xA4me.txt" ? 0x0800 : 0;
    EXPECT_EQ(e.flags, utf8 | (deflate ? kFlags[type] : 0));
    // The local record holds the same version, flags, method, date, CRC, sizes and name length.
    const size_t central = zip.find(zip.substr(e.localOffset + 4, 26), e.dataOffset + e.packedSize);
    ASSERT_NE(central, std::string::npos);
    EXPECT_EQ(zip.substr(central - 6, 4), std::string("PK\x01\x02", 4));
    EXPECT_EQ(zip.substr(e.localOffset + 30, e.name.size()), e.name);
    EXPECT_EQ(ziptest::Get16(zip, e.localOffset + 28), 0u);
  }
}

}  // namespace

TEST(ZipWriterEntryBytes, EveryEntryIsAFreshDeflateOfItsFileAtEachLevel) {
  ziptest::TempFolder tmp("pakvo_entry_bytes");
  const std::string root = tmp.Path("src");
  const auto files = MakeFolder(root);
  // One component for all runs: its deflate state is carried from one level to the next.
  TZip z;
  z.FileSpec = {root + "/*.*"};
  z.DeleteOptions = doFinal;
  for (TDeflateType type : {dtDeflateN, dtDeflateF, dtDeflateX, dtDeflateN, dtDeflateS}) {
    const std::string label = "type " + std::to_string(type);
    const std::string archive = tmp.Path("out" + std::to_string(type) + ".zip");
    fs::remove(archive);
    z.SetArcFile(archive);
    z.DeflateType = type;
    ASSERT_EQ(z.Compress(), static_cast<int>(files.size())) << label;
    CheckEntries(archive, files, type, label);
    EXPECT_EQ(ziptest::Run("unzip -t " + archive), 0) << label;
    EXPECT_EQ(ziptest::Run("7zz t " + archive), 0) << label;
  }
}

TEST(ZipWriterEntryBytes, InMemoryOutputAndUpdateWriteTheSameEntries) {
  ziptest::TempFolder tmp("pakvo_entry_bytes_mem");
  const std::string root = tmp.Path("src");
  const auto files = MakeFolder(root);
  auto pack = [&](const std::string& archive, TCompressionMethod method) {
    TZip z;
    z.SetArcFile(archive);
    z.FileSpec = {root + "/*.*"};
    z.CompressionMethod = method;
    z.DeflateType = dtDeflateX;
    return z.Compress();
  };
  const std::string onDisk = tmp.Path("disk.zip");
  const std::string inMemory = tmp.Path("memory.zip");
  ASSERT_EQ(pack(onDisk, cmTempFile), static_cast<int>(files.size()));
  ASSERT_EQ(pack(inMemory, cmInMemory), static_cast<int>(files.size()));
  EXPECT_TRUE(ziptest::ReadFile(onDisk) == ziptest::ReadFile(inMemory));
  CheckEntries(inMemory, files, dtDeflateX, "in memory");

  // Adding one more file to the archive keeps every earlier entry and packs the new one alike.
  auto withNew = files;
  withNew["later.txt"] = ziptest::SampleText(7000, 20);
  ziptest::WriteFile(root + "/later.txt", withNew["later.txt"]);
  TZip add;
  add.SetArcFile(onDisk);
  add.FileSpec = {root + "/later.txt"};
  add.StoredDirNames = sdRelative;
  add.DeflateType = dtDeflateX;
  ASSERT_EQ(add.Compress(), 1);
  CheckEntries(onDisk, withNew, dtDeflateX, "updated");
  EXPECT_EQ(ziptest::Run("unzip -t " + onDisk), 0);
}
