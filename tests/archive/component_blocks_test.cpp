// Block input and output of the archive component base: line-end conversion, the memory block,
// running checksums, the disk-full and short-write failures, extra fields, names and the cipher.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "archive/pakvoBase.h"
#include "archive/pakvoCrypt.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoStreams.h"

namespace {

// Takes at most `limit` bytes, then fails the way a device would (errno `error`).
class LimitedStream : public TMemoryStream32 {
 public:
  LimitedStream(int64_t limit, int error) : limit_(limit), error_(error) {}
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t room = limit_ - GetSize();
    int64_t n = std::min(count, room < 0 ? 0 : room);
    if (n > 0) TMemoryStream32::Write(buffer, n);
    if (n < count) errno = error_;
    return n;
  }

 private:
  int64_t limit_;
  int error_;
};

std::string Contents(TCustomMemoryStream32& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
}

struct Codes {
  std::vector<int> list;
  void Attach(TZipCommon& c) {
    c.OnError = [this](TObject*, const std::string&, const std::string&, const std::string&,
                       int code) { list.push_back(code); };
  }
};

}  // namespace

TEST(ComponentBlocks, TextModeWritesCrLf) {
  TZipCommon c;
  TMemoryStream32 out;
  c.TextMode = true;
  EXPECT_EQ(c.WriteBlock(out, "a\nb\r\nc\n", 7, false, 32), 7);
  EXPECT_EQ(Contents(out), "a\r\nb\r\nc\r\n");
  c.TextMode = false;
  EXPECT_EQ(c.WriteBlock(out, "\n", 1, false, 32), 1);
  EXPECT_EQ(Contents(out), "a\r\nb\r\nc\r\n\n");
}

TEST(ComponentBlocks, DiskFullRaisesAndShortWriteReports) {
  TZipCommon c;
  Codes codes;
  codes.Attach(c);
  c.CurrentFile = "big.bin";
  LimitedStream full(3, ENOSPC);
  c.ProcessedCount = 5;
  try {
    c.WriteBlock(full, "abcdef", 6, false, 32);
    FAIL() << "nothing raised";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Disk full");
  }
  EXPECT_EQ(c.ProcessedCount, 0);

  LimitedStream broken(2, EIO);
  c.ProcessedCount = 5;
  EXPECT_NO_THROW(EXPECT_EQ(c.WriteBlock(broken, "abcdef", 6, false, 32), 0));
  EXPECT_EQ(c.ProcessedCount, 4);
  c.ProcessedCount = 0;
  c.WriteBlock(broken, "x", 1, false, 32);
  EXPECT_EQ(c.ProcessedCount, 0);
  EXPECT_EQ(codes.list, (std::vector<int>{kErrDiskFull, kErrErrorWritingToFile,
                                          kErrErrorWritingToFile}));

  // A real device that is always full.
  TFileStream32 devFull("/dev/full", fmOpenWrite);
  if (devFull.Handle >= 0) {
    EXPECT_THROW(c.WriteBlock(devFull, "abc", 3, false, 32), E_RAISE);
    EXPECT_EQ(codes.list.back(), kErrDiskFull);
  }
}

TEST(ComponentBlocks, MemoryBlockAndRunningChecksums) {
  TZipCommon c;
  TMemoryStream32 unused;
  uint8_t block[4] = {};
  c.OutputMode = kOutputToMemory;
  c.OutputBlock = block;
  c.OutputBlockSize = sizeof block;
  Crc32Val = 0xFFFFFFFF;
  EXPECT_EQ(c.WriteBlock(unused, "abc", 3, true, 32), 3);
  EXPECT_EQ(Crc32Val ^ 0xFFFFFFFFu, 0x352441C2u);
  Codes codes;
  codes.Attach(c);
  EXPECT_EQ(c.WriteBlock(unused, "xyz", 3, false, 32), 1) << "never past the block's end";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 4), "abcx");
  EXPECT_EQ(codes.list, std::vector<int>{kErrErrorWritingToFile});
  EXPECT_FALSE(c.WritesToFile());

  TMemoryStream32 in;
  in.Write("abc", 3);
  in.SetPosition(0);
  Crc16Val = 0;
  char buf[8];
  EXPECT_EQ(c.ReadBlock(in, buf, 8, 16, false), 3);
  EXPECT_EQ(Crc16Val, 0x9738u);
  EXPECT_EQ(c.ReadBlock(in, buf, 0, 16, false), 0);
  EXPECT_EQ(c.ReadBlock(in, buf, 8, 16, false), 0);
}

TEST(ComponentBlocks, ExtraFieldsAndNames) {
  TZipCommon c;
  TMemoryStream32 s;
  const std::string extra("\x01\x00\x02\x00XY" "\x64\x00\x06\x00" "123456" "\x09\x00\x40\x00" "rest",
                          24);
  s.Write(extra.data(), static_cast<int64_t>(extra.size()));
  s.SetPosition(0);
  uint8_t data[6] = {};
  EXPECT_TRUE(c.ReadExtraField(s, 24, data, 1));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 6), "123456");
  EXPECT_EQ(s.GetPosition(), 24) << "a block running past the field ends the walk, skipping it";
  s.SetPosition(0);
  EXPECT_FALSE(c.ReadExtraField(s, 6, data, 0));
  EXPECT_EQ(s.GetPosition(), 6);

  TMemoryStream32 names;
  std::string longName(300, 'n');
  names.Write(longName.data(), 300);
  names.SetPosition(0);
  EXPECT_EQ(c.ReadName(names, 300).size(), 255u);
  EXPECT_EQ(c.ReadName(names, 0), "");
}

TEST(ComponentBlocks, CipherWritersRoundTrip) {
  TZipCommon c;
  c.ArcType = atZip;
  TMemoryStream32 sealed, opened;
  std::string plain = "secret data";
  std::string buf = plain;
  InitKeys("pw");
  c.WriteEncryptHook(sealed, buf.data(), static_cast<int32_t>(buf.size()), true, 32, true);
  const std::string cipher = Contents(sealed);
  EXPECT_NE(cipher, plain);
  std::string work = cipher;  // decrypted in place
  InitKeys("pw");
  c.WriteDecryptHook(opened, work.data(), static_cast<int32_t>(work.size()), true, 32, true);
  EXPECT_EQ(Contents(opened), plain);
  // Other archive types and unencrypted writes pass the bytes unchanged.
  TMemoryStream32 same;
  c.ArcType = atTar;
  buf = plain;
  c.WriteEncryptBytes(same, buf.data(), static_cast<int32_t>(buf.size()), true, 32, true);
  EXPECT_EQ(Contents(same), plain);

  // Decoding on read: the ZIP cipher, key state per byte.
  c.ArcType = atZip;
  TMemoryStream32 src;
  src.Write(cipher.data(), static_cast<int64_t>(cipher.size()));
  src.SetPosition(0);
  InitKeys("pw");
  std::string back(cipher.size(), '\0');
  EXPECT_EQ(c.ReadBlockHook(src, back.data(), static_cast<int32_t>(back.size()), 32, true),
            static_cast<int32_t>(plain.size()));
  EXPECT_EQ(back, plain);
}

// The component as owner of a temporary archive output: its temporary-name rule, the move
// events, the totals and the cancel flag.
TEST(ComponentBlocks, OwnsTemporaryArchiveOutput) {
  std::string dir = TempPath() + "schemion-owner-" + std::to_string(::getpid());
  ForceDirectories(dir);
  TZipCommon c;
  std::vector<std::string> events;
  c.OnTmpFileMoveBegin = [&](TObject* sender, const std::string& archive, const std::string& temp) {
    EXPECT_EQ(sender, &c);
    events.push_back("begin " + archive.substr(archive.rfind('/') + 1) + " " +
                     temp.substr(temp.rfind('/') + 1, 3));
  };
  c.OnTmpFileMoveEnd = [&](TObject*) { events.push_back("end"); };
  const std::string archive = dir + "/out.zip";
  {
    TTempFileStream tmp(&c, fmCreate, archive, dir);
    ASSERT_TRUE(tmp.IsTemp);
    EXPECT_EQ(tmp.TempFileName.substr(tmp.TempFileName.rfind('/') + 1, 3), "pak");
    tmp.Write("payload", 7);
    tmp.Commit();
  }
  EXPECT_EQ(events, (std::vector<std::string>{"begin out.zip pak", "end"}));
  TFileStream32 check(archive, fmOpenRead);
  char buf[16] = {};
  EXPECT_EQ(check.Read(buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "payload");
  check.Close();

  c.SetProgressTotals(1234);
  EXPECT_EQ(c.BytesTotal, 1234);
  EXPECT_EQ(*c.BytesLeftCounter(), 1234);
  bool flag = true;
  c.SetCancelPointer(&flag);
  EXPECT_EQ(c.CancelPointer(), &flag);

  int progress = -1;
  c.OnTmpFileProgress = [&](TObject*, uint8_t byFile, uint8_t) { progress = byFile; };
  TMemoryStream32 moving;
  moving.Write(std::string(617, 'x').data(), 617);
  c.TmpFileProgress(&moving);
  EXPECT_EQ(progress, 50);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
