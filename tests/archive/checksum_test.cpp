// CRC-32 and CRC-16: published check values and agreement with zlib's crc32.
#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/pakvoCrypt.h"
#include "zip_test_support.h"

TEST(Checksums, PublishedCheckValues) {
  EXPECT_EQ(Crc32Of("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Of("", 0), 0u);
  uint32_t crc16 = 0;
  UpdateCrc16("abc", 3, crc16);
  EXPECT_EQ(crc16, 0x9738u);
  crc16 = 0;
  UpdateCrc16("123456789", 9, crc16);
  EXPECT_EQ(crc16, 0xBB3Du);
  // A register carried across calls gives the same value as one call.
  crc16 = 0;
  UpdateCrc16("1234", 4, crc16);
  UpdateCrc16("56789", 5, crc16);
  EXPECT_EQ(crc16, 0xBB3Du);
  EXPECT_EQ(UpdateCrc32Byte('a', 0xFFFFFFFFu), Crc32Table()[(0xFFu ^ 'a')] ^ 0x00FFFFFFu);
}

TEST(Checksums, AgreesWithZlibOnEveryLengthAndAlignment) {
  const std::string data = ziptest::RandomBytes(4096 + 64, 1);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  for (size_t len = 0; len <= 4096; ++len) {
    const size_t offset = len % 61;  // varies the alignment of the start
    const uint32_t expected = static_cast<uint32_t>(crc32(0, bytes + offset, static_cast<uInt>(len)));
    ASSERT_EQ(Crc32Of(bytes + offset, len), expected) << "length " << len;
    // The same bytes fed in two pieces.
    uint32_t reg = 0xFFFFFFFFu;
    const size_t cut = len / 3;
    UpdateCrc32(bytes + offset, cut, reg);
    UpdateCrc32(bytes + offset + cut, len - cut, reg);
    ASSERT_EQ(reg ^ 0xFFFFFFFFu, expected) << "split length " << len;
  }
}

TEST(Checksums, AgreesWithZlibOn64MiB) {
  const std::string data = ziptest::RandomBytes(64u << 20, 2);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  EXPECT_EQ(Crc32Of(bytes, data.size()), static_cast<uint32_t>(crc32(0, bytes, static_cast<uInt>(data.size()))));
  // Odd start and length on the large buffer too.
  EXPECT_EQ(Crc32Of(bytes + 3, data.size() - 10),
            static_cast<uint32_t>(crc32(0, bytes + 3, static_cast<uInt>(data.size() - 10))));
}
