// Traditional ZIP encryption: round trip, the 12-byte header check, and entries encrypted by
// Info-ZIP zip and 7-Zip decrypting to their original bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "archive/pakvoCrypt.h"
#include "zip_test_support.h"

namespace {

using ziptest::ZipEntry;

std::string RawInflate(const std::string& packed, size_t expectedSize) {
  z_stream zs{};
  EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
  std::string out(expectedSize + 1, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  zs.avail_in = static_cast<uInt>(packed.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  EXPECT_EQ(rc, Z_STREAM_END);
  return out;
}

// Checks the header of an encrypted entry, then decrypts (and inflates) its data.
bool DecryptEntry(const std::string& zip, const ZipEntry& e, const std::string& password,
                  std::string& plain) {
  const std::string data = ziptest::EntryData(zip, e);
  if (data.size() < 12) return false;
  if (!CheckEncryptionHeader(data.data(), e.flags, e.crc, e.dosTime, password)) return false;
  std::string body = data.substr(12);
  DecryptBuffer(body.data(), body.size());
  plain = e.method == 8 ? RawInflate(body, e.size) : body;
  return true;
}

}  // namespace

TEST(ZipCrypt, RoundTripAndKeyStream) {
  const std::string original = ziptest::RandomBytes(100000, 3);
  std::string buf = original;
  InitKeys("secret");
  EncryptBuffer(buf.data(), buf.size());
  EXPECT_NE(buf, original);
  InitKeys("secret");
  DecryptBuffer(buf.data(), buf.size());
  EXPECT_EQ(buf, original);

  // Byte by byte equals the buffer form, and DecryptByte does not move the keys.
  InitKeys("pw");
  const uint8_t k1 = DecryptByte();
  EXPECT_EQ(DecryptByte(), k1);
  std::string a = "hello";
  EncryptBuffer(a.data(), a.size());
  InitKeys("pw");
  std::string b;
  for (char c : std::string("hello")) b += static_cast<char>(EncryptByte(static_cast<uint8_t>(c)));
  EXPECT_EQ(a, b);
  EXPECT_EQ(static_cast<uint8_t>(a[0]), static_cast<uint8_t>('h' ^ k1));
}

TEST(ZipCrypt, EncryptionHeaderCheck) {
  const uint32_t crc = 0xA1B2C3D4u;
  for (int round = 0; round < 20; ++round) {
    const std::string header = MakeEncryptionHeader("letmein", crc);
    ASSERT_EQ(header.size(), 12u);
    // The keys stand ready for the data: encrypting continues the same key stream.
    std::string data = "payload";
    EncryptBuffer(data.data(), data.size());

    EXPECT_TRUE(CheckEncryptionHeader(header.data(), 0, crc, 0, "letmein"));
    std::string back = data;
    DecryptBuffer(back.data(), back.size());
    EXPECT_EQ(back, "payload");

    InitKeys("letmein");
    std::string plain = header;
    DecryptBuffer(plain.data(), plain.size());
    EXPECT_EQ(static_cast<uint8_t>(plain[10]), 0xB2);
    EXPECT_EQ(static_cast<uint8_t>(plain[11]), 0xA1);
    // With bit 3 the time's high byte is the check byte, whatever the CRC says.
    EXPECT_TRUE(CheckEncryptionHeader(header.data(), 0x0008, 0, 0xA155, "letmein"));
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 0x0008, crc, 0x1255, "letmein"));
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 0, crc, 0, ""));
  }
}

TEST(ZipCrypt, SampleArchivesAndWrongPasswords) {
  const std::string dir = std::string(SCHEMION_TEST_DATA_DIR) + "/archives/zip/";
  const std::string zip = ziptest::ReadFile(dir + "encrypt.zip");
  const auto entries = ziptest::ListZip(zip);
  std::string plain;
  ASSERT_TRUE(DecryptEntry(zip, ziptest::FindEntry(entries, "encrypted"), "foo", plain));
  EXPECT_EQ(plain, "foo\n");
  EXPECT_FALSE(DecryptEntry(zip, ziptest::FindEntry(entries, "encrypted"), "notfoo", plain));

  const std::string zip2 = ziptest::ReadFile(dir + "test_read_format_zip_traditional_encryption_data.zip");
  for (const ZipEntry& e : ziptest::ListZip(zip2)) {
    ASSERT_TRUE(DecryptEntry(zip2, e, "12345678", plain)) << e.name;
    EXPECT_EQ(Crc32Of(plain.data(), plain.size()), e.crc) << e.name;
    EXPECT_EQ(plain.size(), e.size);
    EXPECT_FALSE(DecryptEntry(zip2, e, "invalid_pass", plain)) << e.name;
  }

  // Data descriptor entry: "sample" matches the CRC byte but not the time byte that counts.
  const std::string zip3 = ziptest::ReadFile(dir + "encrypt-1234.zip");
  const ZipEntry e3 = ziptest::FindEntry(ziptest::ListZip(zip3), "sample.txt");
  ASSERT_NE(e3.flags & 0x0008, 0);
  EXPECT_FALSE(DecryptEntry(zip3, e3, "sample", plain));
  ASSERT_TRUE(DecryptEntry(zip3, e3, "1234", plain));
  EXPECT_EQ(Crc32Of(plain.data(), plain.size()), e3.crc);
}

TEST(ZipCrypt, EntriesOfInfoZipAndSevenZip) {
  ziptest::TempFolder tmp("pakvo_crypt");
  const std::string text = ziptest::SampleText(70000);
  const std::string binary = ziptest::RandomBytes(5000, 4);
  ziptest::WriteFile(tmp.Path("text.txt"), text);
  ziptest::WriteFile(tmp.Path("binary.bin"), binary);
  ziptest::WriteFile(tmp.Path("empty.txt"), "");
  const std::string files = tmp.Path("text.txt") + " " + tmp.Path("binary.bin") + " " + tmp.Path("empty.txt");

  struct Maker {
    const char* name;
    std::string command;
  };
  const Maker makers[] = {
      {"zip", "zip -q -j -P 'S3cr et' " + tmp.Path("info.zip") + " " + files},
      {"zip -0", "zip -q -0 -j -P 'S3cr et' " + tmp.Path("info0.zip") + " " + files},
      {"7zz", "7zz a -tzip -mem=ZipCrypto '-pS3cr et' " + tmp.Path("seven.zip") + " " + files},
      {"7zz -mx0", "7zz a -tzip -mx0 -mem=ZipCrypto '-pS3cr et' " + tmp.Path("seven0.zip") + " " + files},
  };
  const char* archives[] = {"info.zip", "info0.zip", "seven.zip", "seven0.zip"};
  for (int m = 0; m < 4; ++m) {
    ASSERT_EQ(ziptest::Run(makers[m].command), 0) << makers[m].name;
    const std::string zip = ziptest::ReadFile(tmp.Path(archives[m]));
    const auto entries = ziptest::ListZip(zip);
    ASSERT_EQ(entries.size(), 3u) << makers[m].name;
    for (const ZipEntry& e : entries) {
      std::string plain;
      ASSERT_NE(e.flags & 1, 0) << makers[m].name << " " << e.name;
      ASSERT_TRUE(DecryptEntry(zip, e, "S3cr et", plain)) << makers[m].name << " " << e.name;
      const std::string& expected = e.name == "text.txt" ? text : e.name == "binary.bin" ? binary : std::string();
      EXPECT_EQ(plain, expected) << makers[m].name << " " << e.name;
    }
  }
}
