// Archive streams: deflate, stored copy and inflate round trips around buffer boundaries, cipher
// and checksum in the coding streams, bytes-left counting and cancel, source positioning after
// decoding, and temporary outputs that replace an archive only when complete.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoInflate.h"
#include "archive/pakvoStreams.h"
#include "zip_test_support.h"

namespace {

void Fill(TMemoryStream32& m, const std::string& data) {
  m.Clear();
  m.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  m.SetPosition(0);
}

std::string Content(TMemoryStream32& m) {
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

// Deflates text at the normal level into packed.
void DeflateInto(const std::string& text, TMemoryStream32& packed) {
  TMemoryStream32 source;
  Fill(source, text);
  uint32_t crc = 0;
  ASSERT_TRUE(DeflateStream(source, packed, TStreamControl{}, crc, dtDeflateN, nullptr));
}

// Inflates all of source from its current position through a decompress stream.
std::string InflateAll(TStream& source, bool encrypted = false, int64_t* result = nullptr) {
  TDecompressStream inflater(source, -15);
  inflater.Control.Encrypted = encrypted;
  std::string out;
  char buf[32768];
  for (;;) {
    const int64_t n = inflater.Read(buf, sizeof buf);
    if (result) *result = n;
    if (n < 0) break;
    out.append(buf, static_cast<size_t>(n));
    if (inflater.Control.EndOfStream || n == 0) break;
  }
  return out;
}

std::string ZlibInflate(const std::string& packed) {
  z_stream zs{};
  inflateInit2(&zs, -15);
  std::string out;
  char buf[65536];
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  zs.avail_in = static_cast<uInt>(packed.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = sizeof buf;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.append(buf, sizeof buf - zs.avail_out);
  }
  inflateEnd(&zs);
  EXPECT_EQ(rc, Z_STREAM_END);
  return out;
}

const size_t kSizes[] = {0,     1,     4095,   4096,   61439,  61440,  61441, 65535,
                         65536, 65537, 102399, 102400, 102401, 131073, 300007};

class RecordingOwner : public TTempStreamOwner {
 public:
  void TmpFileMoveBegin(const std::string& archive, const std::string& tempFile) override {
    begins++;
    lastArchive = archive;
    lastTemp = tempFile;
  }
  void TmpFileMoveEnd() override { ends++; }
  void TmpFileProgress(TStream32*) override { progress++; }
  void SetProgressTotals(int64_t total) override { totals = total; }
  int64_t* BytesLeftCounter() override { return &bytesLeft; }
  bool* CancelPointer() override { return &cancel; }

  int begins = 0, ends = 0, progress = 0;
  int64_t totals = -1, bytesLeft = 0;
  bool cancel = false;
  std::string lastArchive, lastTemp;
};

}  // namespace

TEST(ArchiveStreams, DeflateRoundTripAtEveryLevelAroundBufferBoundaries) {
  const std::string random = ziptest::RandomBytes(300007, 21);
  const std::string text = ziptest::SampleText(300007);
  TMemoryStream32 source;
  TMemoryStream32 packed;
  for (const std::string* kind : {&random, &text}) {
    for (size_t size : kSizes) {
      const std::string data = kind->substr(0, size);
      const uint32_t expectedCrc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                               static_cast<uInt>(data.size())));
      // Fresh source and output, a control record counting the size down.
      int64_t left = 0;
      TStreamControl control;
      auto Prepare = [&] {
        Fill(source, data);
        packed.Clear();
        left = static_cast<int64_t>(size);
        control = TStreamControl{};
        control.BytesLeft = &left;
      };
      size_t storedSize = 0;
      for (int level : {dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX}) {
        Prepare();
        uint32_t crc = 1;
        ASSERT_TRUE(DeflateStream(source, packed, control, crc, level, nullptr));
        EXPECT_EQ(crc, expectedCrc) << size << " level " << level;
        EXPECT_EQ(left, 0) << size;
        EXPECT_EQ(source.GetPosition(), 0);
        const std::string deflated = Content(packed);
        EXPECT_TRUE(ZlibInflate(deflated) == data) << size << " level " << level;
        packed.SetPosition(0);
        EXPECT_TRUE(InflateAll(packed) == data) << size << " level " << level;
        if (level == dtDeflateS) {
          storedSize = deflated.size();
          EXPECT_GE(deflated.size(), size);
        }
        if (kind == &text && size > 4096 && level == dtDeflateX) {
          EXPECT_LT(deflated.size(), storedSize / 3);
        }
      }
      // Stored copy with CRC-32 and CRC-16.
      for (uint8_t kindBits : {uint8_t{32}, uint8_t{16}}) {
        Prepare();
        uint32_t crc = 1;
        ASSERT_TRUE(StoreStream(source, packed, control, crc, kindBits, nullptr));
        EXPECT_TRUE(Content(packed) == data);
        EXPECT_EQ(left, 0);
        uint32_t crc16 = 0;
        UpdateCrc16(data.data(), data.size(), crc16);
        EXPECT_EQ(crc, kindBits == 32 ? expectedCrc : crc16) << size;
      }
    }
  }
}

TEST(ArchiveStreams, FileStreamsAndEmptySource) {
  ziptest::TempFolder tmp("pakvo_streams");
  const std::string text = ziptest::SampleText(200000, 5);
  ziptest::WriteFile(tmp.Path("in.txt"), text);
  {
    TFileStream32 in(tmp.Path("in.txt"), fmOpenRead);
    TFileStream32 out(tmp.Path("out.deflate"), fmCreate);
    ASSERT_GE(in.Handle, 0);
    ASSERT_GE(out.Handle, 0);
    uint32_t crc = 0;
    ASSERT_TRUE(DeflateStream(in, out, TStreamControl{}, crc, dtDeflateN, nullptr));
    EXPECT_EQ(crc, Crc32Of(text.data(), text.size()));
  }
  EXPECT_TRUE(ZlibInflate(ziptest::ReadFile(tmp.Path("out.deflate"))) == text);
  TFileStream32 missing(tmp.Path("missing"), fmOpenRead);
  EXPECT_LT(missing.Handle, 0);
  TFileStream32 folder(tmp.Path(), fmOpenRead);
  EXPECT_LT(folder.Handle, 0);
  TFileStream32 folderCreated(tmp.Path(), fmCreate);
  EXPECT_LT(folderCreated.Handle, 0);
  // Creating over a file with content empties it; over an empty one it stays empty.
  for (const std::string& before : {text, std::string()}) {
    ziptest::WriteFile(tmp.Path("again.bin"), before);
    {
      TFileStream32 again(tmp.Path("again.bin"), fmCreate);
      ASSERT_GE(again.Handle, 0);
      EXPECT_EQ(again.GetSize(), 0);
      again.WriteBuffer("new", 3);
    }
    EXPECT_EQ(ziptest::ReadFile(tmp.Path("again.bin")), "new");
  }

  // An empty source gives CRC 0 and a valid empty raw deflate stream.
  TMemoryStream32 empty;
  TMemoryStream32 packed;
  uint32_t crc = 7;
  ASSERT_TRUE(DeflateStream(empty, packed, TStreamControl{}, crc, dtDeflateN, nullptr));
  EXPECT_EQ(crc, 0u);
  EXPECT_GT(packed.GetSize(), 0);
  EXPECT_EQ(ZlibInflate(Content(packed)), "");
}

TEST(ArchiveStreams, EncryptedDeflateAndStoreDecryptToTheOriginal) {
  const std::string text = ziptest::SampleText(150000, 8);
  TMemoryStream32 source;
  Fill(source, text);
  // The CRC is computed first because the encryption header needs it.
  const uint32_t raw = CalcStreamCRC(source, TStreamControl{}, nullptr, 0);
  const uint32_t crc = raw ^ 0xFFFFFFFFu;
  EXPECT_EQ(crc, Crc32Of(text.data(), text.size()));
  EXPECT_EQ(source.GetPosition(), 0);

  for (bool deflated : {true, false}) {
    TMemoryStream32 out;
    const std::string header = MakeEncryptionHeader("pw 1", crc);
    out.WriteBuffer(header.data(), 12);
    TStreamControl control;
    control.Encrypted = true;
    control.Crc = raw;
    uint32_t unused = 99;
    if (deflated) {
      ASSERT_TRUE(DeflateStream(source, out, control, unused, dtDeflateN, nullptr));
    } else {
      ASSERT_TRUE(StoreStream(source, out, control, unused, 32, nullptr));
    }
    EXPECT_EQ(unused, 99u);  // no second CRC for an encrypted entry
    const std::string all = Content(out);
    ASSERT_TRUE(CheckEncryptionHeader(all.data(), 0, crc, 0, "pw 1"));
    if (deflated) {
      out.SetPosition(12);
      EXPECT_TRUE(InflateAll(out, true) == text);
    } else {
      std::string body = all.substr(12);
      DecryptBuffer(body.data(), body.size());
      EXPECT_TRUE(body == text);
    }
  }
}

TEST(ArchiveStreams, BytesLeftAndCancelStopALongCopy) {
  const std::string data = ziptest::RandomBytes(4u << 20, 31);
  for (int pass = 0; pass < 2; ++pass) {
    TMemoryStream32 source;
    Fill(source, data);
    TMemoryStream32 out;
    bool cancel = false;
    int64_t left = static_cast<int64_t>(data.size());
    int calls = 0;
    TStreamControl control;
    control.BytesLeft = &left;
    control.Cancel = &cancel;
    // The handler cancels once a quarter of the input is done.
    auto progress = [&](TStream32*) {
      ++calls;
      if (left < static_cast<int64_t>(data.size()) * 3 / 4) cancel = true;
    };
    uint32_t crc = 0;
    const bool done = pass == 0 ? DeflateStream(source, out, control, crc, dtDeflateF, progress)
                                : StoreStream(source, out, control, crc, 32, progress);
    EXPECT_FALSE(done) << pass;
    EXPECT_GT(calls, 0);
    EXPECT_GT(left, 0) << pass;
    EXPECT_LE(left, static_cast<int64_t>(data.size()) * 3 / 4) << pass;
    EXPECT_LT(out.GetSize(), static_cast<int64_t>(data.size()) * 3 / 4 + 200000) << pass;
  }

  // A cancel flag set before the first block copies nothing and returns the requested count.
  TMemoryStream32 source;
  Fill(source, data);
  TMemoryStream32 out;
  bool cancel = true;
  out.CancelFlag = &cancel;
  EXPECT_EQ(out.CopyFrom(source, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(out.GetSize(), 0);
  cancel = false;
  source.SetPosition(100);
  EXPECT_EQ(out.CopyFrom(source, 1000), 1000);
  EXPECT_EQ(Content(out), data.substr(100, 1000));
}

TEST(ArchiveStreams, DecompressStreamPositionsAndSeeks) {
  const std::string text = ziptest::SampleText(400000, 3);
  TMemoryStream32 packed;
  ASSERT_NO_FATAL_FAILURE(DeflateInto(text, packed));
  const int64_t packedSize = packed.GetSize();
  packed.SetPosition(packedSize);
  packed.WriteBuffer("NEXT ENTRY", 10);
  packed.SetPosition(0);
  {
    TDecompressStream inflater(packed, -15);
    char buf[1000];
    EXPECT_EQ(inflater.Seek(50000, soFromBeginning), 50000);
    ASSERT_EQ(inflater.Read(buf, 1000), 1000);
    EXPECT_EQ(std::string(buf, 1000), text.substr(50000, 1000));
    EXPECT_EQ(inflater.Seek(-10, soFromCurrent), 51000);  // backwards does nothing
    EXPECT_EQ(inflater.Seek(0, soFromBeginning), 0);     // restarts decoding
    ASSERT_EQ(inflater.Read(buf, 1000), 1000);
    EXPECT_EQ(std::string(buf, 1000), text.substr(0, 1000));
    std::string rest(buf, 1000);
    std::vector<char> big(65536);
    for (;;) {
      const int64_t n = inflater.Read(big.data(), 65536);
      ASSERT_GE(n, 0);
      rest.append(big.data(), static_cast<size_t>(n));
      if (inflater.Control.EndOfStream) break;
    }
    EXPECT_TRUE(rest == text);
    EXPECT_EQ(inflater.Read(buf, 10), 0);
  }
  // Read ahead went past the data; destruction put the source just behind it.
  EXPECT_EQ(packed.GetPosition(), packedSize);

  // The same for a Deflate64 entry of a sample archive.
  const std::string zip = ziptest::ReadFile(std::string(SCHEMION_TEST_DATA_DIR) +
                                            "/archives/deflate64/lorem-ipsum-deflate64.zip");
  const auto& e = ziptest::FindEntry(ziptest::ListZip(zip), "lorem-ipsum.txt");
  TMemoryStream32 archive;
  Fill(archive, zip);
  archive.SetPosition(static_cast<int64_t>(e.dataOffset));
  SetDeflate64Mode(true);
  const std::string plain = InflateAll(archive);
  SetDeflate64Mode(false);
  EXPECT_EQ(Crc32Of(plain.data(), plain.size()), e.crc);
  EXPECT_EQ(archive.GetPosition(), static_cast<int64_t>(e.dataOffset + e.packedSize));
}

TEST(ArchiveStreams, CorruptOrTruncatedDataGivesANegativeResult) {
  const std::string text = ziptest::SampleText(100000, 4);
  TMemoryStream32 packed;
  ASSERT_NO_FATAL_FAILURE(DeflateInto(text, packed));
  const std::string good = Content(packed);
  for (bool d64 : {false, true}) {
    SetDeflate64Mode(d64);
    TMemoryStream32 cut;
    Fill(cut, good.substr(0, good.size() / 2));
    int64_t result = 0;
    InflateAll(cut, false, &result);
    EXPECT_LT(result, 0) << d64;
    TMemoryStream32 garbage;
    Fill(garbage, std::string("\xff\xff\xff\xff\xff\xff\xff\xff", 8) + good);
    InflateAll(garbage, false, &result);
    EXPECT_EQ(result, Z_DATA_ERROR) << d64;
  }
  SetDeflate64Mode(false);
}

TEST(ArchiveStreams, MemoryStreamGrowthAndStrings) {
  TMemoryStream32 m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.Capacity(), 8192);
  const std::string big(10000, 'x');
  m.WriteBuffer(big.data(), 10000);
  EXPECT_EQ(m.Capacity(), 16384);
  EXPECT_EQ(m.GetSize(), 10003);
  m.SetSize(5);
  EXPECT_EQ(m.GetPosition(), 5);
  m.SetPosition(0);
  char buf[8];
  EXPECT_EQ(m.Read(buf, 8), 5);
  EXPECT_THROW(m.ReadBuffer(buf, 1), E_RAISE);

  TMemoryStream32 s;
  const std::string data = std::string("first\0second\0", 13) + std::string(300, 'z');
  Fill(s, data);
  int64_t pos = 0;
  EXPECT_EQ(ReadStringAt(s, pos), "first");
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(ReadStringAt(s, pos), "second");
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(ReadStringAt(s, pos), std::string(256, 'z'));  // no terminator within 256 bytes
  pos = 2;
  EXPECT_EQ(ReadFixedString(s, pos, 3), "rst");
  EXPECT_EQ(pos, 5);
  pos = static_cast<int64_t>(data.size()) - 2;
  EXPECT_EQ(ReadFixedString(s, pos, 10), "zz");
}

TEST(ArchiveStreams, TemporaryOutputReplacesTheArchiveOnlyWhenComplete) {
  ziptest::TempFolder tmp("pakvo_temp");
  const std::string archive = tmp.Path("pkg.zip");
  ziptest::WriteFile(archive, "OLD ARCHIVE");
  auto tempFiles = [&] {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.Path())) {
      if (entry.path().filename().string().rfind("pak", 0) == 0 && entry.path().filename() != "pkg.zip") ++n;
    }
    return n;
  };
  {
    RecordingOwner owner;
    TTempFileStream out(&owner, fmCreate, archive, tmp.Path());
    ASSERT_GE(out.Handle, 0);
    EXPECT_EQ(out.TempFileName.rfind(tmp.Path() + "/pak", 0), 0u);
    out.WriteBuffer("NEW HALF", 8);
    // Destroyed without Commit (a failure halfway).
  }
  EXPECT_EQ(ziptest::ReadFile(archive), "OLD ARCHIVE");
  EXPECT_EQ(tempFiles(), 0);
  {
    RecordingOwner owner;
    TTempFileStream out(&owner, fmCreate, archive, tmp.Path());
    out.WriteBuffer("NEW ARCHIVE", 11);
    out.Abandon();
    out.Commit();
    EXPECT_EQ(owner.begins, 0);
  }
  EXPECT_EQ(ziptest::ReadFile(archive), "OLD ARCHIVE");
  EXPECT_EQ(tempFiles(), 0);
  {
    RecordingOwner owner;
    TTempFileStream out(&owner, fmCreate, archive, tmp.Path());
    out.WriteBuffer("NEW ARCHIVE", 11);
    const std::string temp = out.TempFileName;
    out.Commit();
    EXPECT_EQ(owner.begins, 1);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(owner.lastArchive, archive);
    EXPECT_EQ(owner.lastTemp, temp);
  }
  EXPECT_EQ(ziptest::ReadFile(archive), "NEW ARCHIVE");
  EXPECT_EQ(tempFiles(), 0);

  // A temporary folder on another file system: copied beside the archive, then renamed.
  struct stat a{}, b{};
  if (::stat("/dev/shm", &b) == 0 && ::stat(tmp.Path().c_str(), &a) == 0 && a.st_dev != b.st_dev) {
    RecordingOwner owner;
    const std::string big = ziptest::RandomBytes(300000, 2);
    std::string tempName;
    {
      TTempFileStream out(&owner, fmCreate, archive, "/dev/shm");
      tempName = out.TempFileName;
      EXPECT_EQ(tempName.rfind("/dev/shm/pak", 0), 0u);
      out.WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
      out.Commit();
    }
    EXPECT_TRUE(ziptest::ReadFile(archive) == big);
    EXPECT_FALSE(std::filesystem::exists(tempName));
    EXPECT_EQ(owner.totals, 300000);
    EXPECT_GT(owner.progress, 0);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(tempFiles(), 0);
    // Cancelled during the copy: the archive stays as it was.
    {
      RecordingOwner cancelling;
      cancelling.cancel = true;
      TTempFileStream out(&cancelling, fmCreate, archive, "/dev/shm");
      tempName = out.TempFileName;
      out.WriteBuffer("SHORT", 5);
      out.Commit();
      EXPECT_EQ(cancelling.ends, 0);
    }
    EXPECT_TRUE(ziptest::ReadFile(archive) == big);
    EXPECT_FALSE(std::filesystem::exists(tempName));
    EXPECT_EQ(tempFiles(), 0);
  }

  // Another mode opens the archive itself.
  {
    TTempFileStream direct(nullptr, fmOpenReadWrite, archive, tmp.Path());
    ASSERT_GE(direct.Handle, 0);
    EXPECT_FALSE(direct.IsTemp);
    direct.Seek(0, soFromEnd);
    direct.WriteBuffer("+", 1);
    direct.Commit();
  }
  EXPECT_EQ(ziptest::ReadFile(archive).back(), '+');

  // The in-memory twin.
  ziptest::WriteFile(archive, "OLD");
  {
    TTempMemStream mem(nullptr, fmCreate, archive);
    mem.WriteBuffer("MEMORY HALF", 11);
  }
  EXPECT_EQ(ziptest::ReadFile(archive), "OLD");
  {
    RecordingOwner owner;
    TTempMemStream mem(&owner, fmCreate, tmp.Path("sub/dir/new.zip"));
    mem.WriteBuffer("MEMORY", 6);
    mem.Commit();
    EXPECT_EQ(owner.ends, 1);
  }
  EXPECT_EQ(ziptest::ReadFile(tmp.Path("sub/dir/new.zip")), "MEMORY");
}

// The run's one deflate state gives, for any sequence of inputs and levels, what a fresh state
// and the deflate stream give for each input alone.
TEST(ArchiveStreams, EntryDeflaterMatchesAFreshStateForEveryEntry) {
  static constexpr int kLevels[4] = {0, 1, -1, 9};
  TEntryDeflater deflater;
  int round = 0;
  for (int levelIndex : {dtDeflateN, dtDeflateN, dtDeflateX, dtDeflateF, dtDeflateF, dtDeflateN}) {
    for (size_t size : kSizes) {
      const std::string data = ++round % 3 == 0 ? ziptest::RandomBytes(size, static_cast<uint32_t>(round))
                                                : ziptest::SampleText(size, static_cast<uint32_t>(round));
      size_t packedSize = 0;
      const uint8_t* p = deflater.Deflate(reinterpret_cast<const uint8_t*>(data.data()), data.size(), levelIndex,
                                          packedSize);
      const std::string packed(reinterpret_cast<const char*>(p), packedSize);

      z_stream zs{};
      ASSERT_EQ(deflateInit2(&zs, kLevels[levelIndex], Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
      std::string fresh(deflateBound(&zs, static_cast<uLong>(size)), '\0');
      zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
      zs.avail_in = static_cast<uInt>(size);
      zs.next_out = reinterpret_cast<Bytef*>(fresh.data());
      zs.avail_out = static_cast<uInt>(fresh.size());
      ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
      fresh.resize(fresh.size() - zs.avail_out);
      deflateEnd(&zs);
      EXPECT_TRUE(packed == fresh) << size << " level " << levelIndex;

      TMemoryStream32 source;
      TMemoryStream32 streamed;
      Fill(source, data);
      uint32_t crc = 0;
      ASSERT_TRUE(DeflateStream(source, streamed, TStreamControl{}, crc, levelIndex, nullptr));
      EXPECT_TRUE(Content(streamed) == fresh) << size << " level " << levelIndex;
    }
  }
}
