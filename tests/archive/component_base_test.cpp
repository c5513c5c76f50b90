// The archive component base: error texts, the raising and the reporting error operations, cancel,
// required events, the stopwatch, progress, volume names, method names and small services.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "archive/pakvoBase.h"
#include "archive/pakvoErrors.h"
#include "platform/files/SimulatedDrive.h"

using archive_test::TempDir;
namespace fs = std::filesystem;

namespace {

struct ErrorCall {
  std::string file, ext, volume;
  int code;
};

// Records every OnError call of a component.
struct ErrorLog {
  std::vector<ErrorCall> calls;
  void Attach(TZipCommon& c) {
    c.OnError = [this](TObject*, const std::string& f, const std::string& e, const std::string& v,
                       int code) { calls.push_back({f, e, v, code}); };
  }
};

std::string RaisedText(TZipCommon& c, int code) {
  try {
    c.RaiseError("a.zip", "", "0", code);
  } catch (const E_RAISE& e) {
    return e.what();
  }
  return "(nothing raised)";
}

}  // namespace

TEST(ComponentBase, EveryErrorCodeHasItsText) {
  struct Entry {
    int code;
    const char* text;
  } const table[] = {
      {25101, "64 bit hearder"},
      {25102, "32 bit header"},
      {25103, "Error loading unacev2.dll..."},
      {25104, "Unable to read archive file list"},
      {25106, "File is read-only"},
      {25107, "File is hidden"},
      {25108, "File is a SysFile"},
      {25110, "File is a directory"},
      {25112, "File is a VolumeID"},
      {25113, "Invalid file attribute"},
      {25114, "Bad file header"},
      {25116, "Bad block"},
      {25120, "Bad Huffman code"},
      {25121, "Invalid code encountered"},
      {25122, "Invalid comment header"},
      {25123, "No BEGIN line"},
      {25134, "Incorrect number of bits"},
      {25135, "Broken multi-volume chain"},
      {25136, "Error writing to file"},
      {25137, "Cabinets in the set do not have the same reserved space"},
      {25138, "Error closing file"},
      {25139, "Incomplete code set"},
      {25140, "Corrupt input"},
      {25150, "Error creating dir"},
      {25151, "File fails CRC check"},
      {25152, "File contains invalid decode tree"},
      {25153, "Decompression error"},
      {25154, "Error writing spanned-disk label"},
      {25155, "Disks contains neither label nor serial numbers to compare"},
      {25156, "Not enough disk space"},
      {25157, "Unable to create directory"},
      {25158, "Invalid directory"},
      {25159, "Invalid directory... defaulting to current"},
      {25160, "Disk full"},
      {25170, "is not accessible"},
      {25171, "disk is write protected"},
      {25172, "EOF not found"},
      {25176, "Unexpected end of file"},
      {25177, "Unexpected end of line"},
      {25178, "EOL not found"},
      {25179, "EOF not found"},
      {25180, "Error deleting file(s)"},
      {25190, "Command exec failed"},
      {25191, "Same input and output file-names"},
      {25192, "File not found"},
      {25193, "File size different"},
      {25194, "FileSize exceeds OS's support"},
      {25230, "Warning, unknown flags"},
      {25232, "Flat ScrollBar requires COMCTL32.dll version 4.71 or above."},
      {25235, "Error opening file"},
      {25236, "Error reading file or unexpected end of file"},
      {25237, "Error creating file"},
      {25238, "Header CRC error"},
      {25239, "Header ID error"},
      {25240, "Unexpected line break"},
      {25241, "Line found before 'BEGIN'"},
      {25242, "Skipped illegal char"},
      {25243, "Index out of bounds"},
      {25244, "Invalid or unsupported archive type for this operation"},
      {25245, "Invalid file name"},
      {25246, "Invalid length in send_bits"},
      {25247, "Inconsistent bit counts - gencodes"},
      {25248, "Bad lengths"},
      {25249, "Inconsistant local header"},
      {25250, "Insufficient lookahead"},
      {25251, "Maximum volumes 999"},
      {25253, "Out of memory"},
      {25254, "Out of memory while expanding memory stream"},
      {25255, "Uninitialized TMemoryStream object"},
      {25256, "Max file size exceeded"},
      {25258, "Uninitialized TFileStream object"},
      {25259, "Header not found. File may be corrupt"},
      {25260, "Unrar?.dll not found"},
      {25261, "Cabinet.dll not found"},
      {25262, "Ace.dll or Unace?.dll not found"},
      {25264, "Multi-Part GZIP files not supported"},
      {25265, "Too many nested dirs"},
      {25266, "Nothing to decode"},
      {25267, "Password not assigned"},
      {25268, "Nothing to do"},
      {25270, "Required event not assigned"},
      {25271, "Required property not assigned"},
      {25280, "Open quote, but no close quote"},
      {25281, "Open paran, but no close paran"},
      {25290, "Password protected"},
      {25292, "Seek error"},
      {25293, "Ambiguous Shannon-Fano decode tree encountered"},
      {25294, "No desktop folder"},
      {25295, "Error getting SHGetSpecialFolderLocation"},
      {25296, "Error getting Shell memory allocator"},
      {25297, "CustomVolumeSize must exceed 65536"},
      {25298, "Illegal text for search mode"},
      {25299, "Stack overflow"},
      {25300, "Stream read/write error"},
      {25324, "Streaming not supported with this archive type"},
      {25325, "Hardware does not support high performance timing"},
      {25326, "Unsupported compression method"},
      {25327, "Unknown file type"},
      {25328, "Unsupported version"},
      {25350, "Error updating archive"},
      {25355, "Unknown error"},
      {25402, "Version error"},
      {25443, "User canceled"},
      {25446, "Volume is out of sequence"},
      {25450, "Requires Win32 api"},
      {25901, "Extraction of this cabinet requires first disk of set"},
      {25902, "Previous volume in set"},
      {25903, "Next volume in set"},
      {25904, "Cabinet does not belong with this set"},
      {25905, "Insert FIRST diskette of this archive set"},
      {25906, "Insert LAST disk of this archive set"},
      {26517, "Invalid password"},
      {26522, "Password failed"},
      {26800, "Skipped File"},
      {26859, "Nothing to do"},
      {26899, "Directory does not exist... Create?"},
      {26000, "All_files (*.*)|*.*"},
      {26001, "ALL Archives |*.ace;*.arc;*.arj;*.bh;*.cab;*.enc;*.exe;*.gz;*.ha;*.jar;*.lha;*.lzh;*.mbf;*.mim;*.pak;*.pk3;*.pk_;*.rar;*.tar;*.tgz;*.uue;*.war;*.xxe;*.z;*.zip;*.zlib;*.zoo"},
      {26002, "Executables (*.exe)"},
  };
  TZipCommon c;
  for (const Entry& e : table) {
    EXPECT_EQ(LoadErrorText(e.code), e.text) << e.code;
    if (e.code < 26000 || e.code > 26002) {
      EXPECT_EQ(RaisedText(c, e.code), e.text) << e.code;
    }
  }
  EXPECT_EQ(sizeof table / sizeof table[0], 119u);
}

TEST(ComponentBase, RaiseErrorReportsThenRaises) {
  TZipCommon c;
  EXPECT_EQ(RaisedText(c, kErrDiskFull), "Disk full");  // no handler: raised all the same
  ErrorLog log;
  log.Attach(c);
  try {
    c.RaiseError("arc.zip", "file.txt", "3", kErrErrorOpeningFile);
    FAIL() << "nothing raised";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Error opening file");
  }
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].file, "arc.zip");
  EXPECT_EQ(log.calls[0].ext, "file.txt");
  EXPECT_EQ(log.calls[0].volume, "3");
  EXPECT_EQ(log.calls[0].code, kErrErrorOpeningFile);
}

TEST(ComponentBase, ReportErrorNeverRaises) {
  TZipCommon c;
  EXPECT_NO_THROW(c.ReportError("a.zip", "", "0", kErrBadFileHeader));
  ErrorLog log;
  log.Attach(c);
  EXPECT_NO_THROW(c.ReportError("a.zip", "x", "0", kErrBadFileHeader));
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].code, kErrBadFileHeader);
}

TEST(ComponentBase, CancelTurnsErrorsIntoUserCanceled) {
  TZipCommon c;
  ErrorLog log;
  log.Attach(c);
  c.CurrentFile = "doc.txt";
  c.SetCancel(true);  // reports the cancel itself
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].code, kErrUserCanceled);
  EXPECT_EQ(log.calls[0].ext, "doc.txt");
  EXPECT_NO_THROW(c.RaiseError("a.zip", "", "0", kErrDiskFull));
  EXPECT_NO_THROW(c.ReportError("a.zip", "", "0", kErrBadBlock));
  ASSERT_EQ(log.calls.size(), 3u);
  EXPECT_EQ(log.calls[1].code, kErrUserCanceled);
  EXPECT_EQ(log.calls[2].code, kErrUserCanceled);

  // A handler that cancels stops the raise it was called for.
  TZipCommon d;
  bool ownerFlag = false;
  d.SetCancelPointer(&ownerFlag);
  d.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int) {
    ownerFlag = true;
  };
  EXPECT_NO_THROW(d.RaiseError("a.zip", "", "0", kErrDiskFull));
  EXPECT_TRUE(d.GetCancel());
  d.SetCancelPointer(nullptr);
  EXPECT_FALSE(d.GetCancel());
}

TEST(ComponentBase, RequiredEventNamesTheEvent) {
  TZipCommon c;
  ErrorLog log;
  log.Attach(c);
  EXPECT_NO_THROW(c.RequireEvent(true, "OnRead"));
  try {
    c.RequireEvent(static_cast<bool>(c.OnRead), "OnRead");
    FAIL() << "nothing raised";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "Required event not assigned");
  }
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].ext, "OnRead");
  EXPECT_EQ(log.calls[0].code, kErrRequiredEventNotAssigned);
}

TEST(ComponentBase, StopwatchLeavesOutPausesAndHandlerTime) {
  uint32_t now = 1000;
  TpakvoTimer t;
  t.TickSource = [&] { return now; };
  t.Start();
  now = 2000;
  t.Pause();
  now = 4000;
  t.Resume();
  now = 6000;
  t.Stop();
  EXPECT_FLOAT_EQ(t.ElapsedTime(), 3.0f);
  EXPECT_FALSE(t.Running());

  TZipCommon c;
  now = 10000;
  c.Timer().TickSource = [&] { return now; };
  c.Timer().Start();
  c.OnError = [&](TObject*, const std::string&, const std::string&, const std::string&, int) {
    now += 5000;  // the user reads the message for five seconds
  };
  now += 1000;
  c.ReportError("a", "", "0", kErrBadBlock);
  now += 1000;
  c.Timer().Stop();
  EXPECT_FLOAT_EQ(c.Timer().ElapsedTime(), 2.0f);
}

TEST(ComponentBase, ProgressAndMessages) {
  TZipCommon c;
  std::vector<std::pair<int, int>> seen;
  int pumped = 0;
  c.ProcessMessages = [&] { ++pumped; };
  c.OnProgress = [&](TObject* sender, uint8_t byFile, uint8_t byArchive) {
    EXPECT_EQ(sender, &c);
    EXPECT_EQ(pumped, static_cast<int>(seen.size()) + 1);
    seen.emplace_back(byFile, byArchive);
  };
  c.BytesTotal = 200;
  c.DoProgress(50, 0, 0);
  c.DoProgress(300, 10, 15);
  c.DoProgress(101, 3, 1);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], std::make_pair(0, 25));
  EXPECT_EQ(seen[1], std::make_pair(100, 100));
  EXPECT_EQ(seen[2], std::make_pair(33, 50));  // 50.5 rounds to even
  EXPECT_EQ(c.ProgressByArchive, 50);
}

TEST(ComponentBase, VolumeNamesOfRarSets) {
  TZipCommon c;
  c.ArcType = atRar;
  EXPECT_EQ(c.GetNextVolumeName("x.part1.rar", 8), "x.part10.rar");
  EXPECT_EQ(c.GetNextVolumeName("x.part01.rar", 8), "x.part10.rar");
  EXPECT_EQ(c.GetNextVolumeName("x.part001.rar", 8), "x.part010.rar");
  EXPECT_EQ(c.GetNextVolumeName("/d/x.part1.rar", 0), "/d/x.part2.rar");
  EXPECT_EQ(c.GetNextVolumeName("x.rar", 3), "x.rar");
  EXPECT_EQ(c.GetNextVolumeName("x.partA.rar", 3), "x.partA.rar");
  EXPECT_EQ(c.GetNextVolumeName("", 3), "");
  EXPECT_EQ(c.GetNextVolumeName("x.part1.rar", -1), "");
  c.ArcType = atZip;
  EXPECT_EQ(c.GetNextVolumeName("x.part1.rar", 8), "x.part1.rar");
}

TEST(ComponentBase, MethodNames) {
  TZipCommon c;
  c.ArcType = atZip;
  EXPECT_EQ(c.GetCompressMethodName(0, 0), "Stored");
  EXPECT_EQ(c.GetCompressMethodName(6, 0), "Imploded");
  EXPECT_EQ(c.GetCompressMethodName(8, 0), "DeflateN");
  EXPECT_EQ(c.GetCompressMethodName(8, 2), "DeflateX");
  EXPECT_EQ(c.GetCompressMethodName(9, 6), "Def-64S");
  EXPECT_EQ(c.GetCompressMethodName(10, 0), "DCL-implode");
  EXPECT_EQ(c.GetCompressMethodName(12, 0), "Unsupported");
  c.ExternalAttr = 0x10;
  EXPECT_EQ(c.GetCompressMethodName(0, 0), "<Dir>");
  c.ExternalAttr = 0;
  c.ArcType = atArj;
  EXPECT_EQ(c.GetCompressMethodName(1, 0), "Most");
  EXPECT_EQ(c.GetCompressMethodName(0, 3), "<Dir>");
  c.ArcType = atCab;
  EXPECT_EQ(c.GetCompressMethodName(0x1201, 0), "MsZIP");
  EXPECT_EQ(c.GetCompressMethodName(0x0007, 0), "Lzx7");
  c.ArcType = atLha;
  EXPECT_EQ(c.GetCompressMethodName('5', 0), "Frozen-5");
  EXPECT_EQ(c.GetCompressMethodName(100, 0), "<Dir>");
  c.ArcType = atGZip;
  EXPECT_EQ(c.GetCompressMethodName(8, 0), "Deflate");
  EXPECT_EQ(c.GetCompressMethodName(3, 0xA01F), "LzhMAGIC");
  c.ArcType = atArc;
  EXPECT_EQ(c.GetCompressMethodName(7, 0), "Squashed");
  EXPECT_EQ(c.GetCompressMethodName(2, 0), "Stored");
  c.ArcType = atRar;
  EXPECT_EQ(c.GetCompressMethodName('3', 0), "Normal");
  c.ArcType = atTar;
  EXPECT_EQ(c.GetCompressMethodName(0, 0), "Tarred");
  c.ArcType = atPak;
  EXPECT_EQ(c.GetCompressMethodName(11, 0), "Distill");
  c.ArcType = atUUE;
  EXPECT_EQ(c.GetCompressMethodName(0, 0), "Unsupported");
}

TEST(ComponentBase, DecodingAndSmallServices) {
  TZipCommon c;
  c.ArcType = atArj;
  c.Password = "abc";
  uint8_t buf[7] = {0, 0, 0, 0, 0, 0, 0};
  c.DecodeBlock(true, buf, 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 7), "abcabca");
  c.DecodeBlock(false, buf, 7);
  EXPECT_EQ(buf[0], 'a');
  c.ArcType = atTar;
  c.DecodeBlock(true, buf, 7);
  EXPECT_EQ(buf[0], 'a');

  TDateTime first = c.ConvertDate(0);
  int y, mo, d, h, mi, s;
  DecodeDateTime(first, y, mo, d, h, mi, s);
  EXPECT_EQ(y * 10000 + mo * 100 + d, 19800101);
  EXPECT_EQ(h * 100 + mi, 1);

  c.SetZipCmntBufSize(40000);
  EXPECT_EQ(c.ZipCmntBufSize(), 32767);
  c.SetZipCmntBufSize(100);
  EXPECT_EQ(c.ZipCmntBufSize(), 2000);
  c.SetZipCmntBufSize(5000);
  EXPECT_EQ(c.ZipCmntBufSize(), 5000);

  EXPECT_EQ(TZipCommon::AttrToHostAttr({fsZeroAttr, fsReadOnly, fsArchive, fsEncrypted}),
            0x1u | 0x20u | 0x4000u);
  EXPECT_TRUE(TZipCommon::IsEndRecordSignature(0x06055b50));
  EXPECT_FALSE(TZipCommon::IsEndRecordSignature(0x06054b50));
  EXPECT_FALSE(TZipCommon::IsKnownArcType(atUnknown));
  EXPECT_TRUE(TZipCommon::IsKnownArcType(atZoo));

  c.SetAttribute(fsHidden, true);
  c.SetAttributeEx(fsSysFile, true);
  EXPECT_TRUE(c.Attributes.Contains(fsHidden));
  EXPECT_TRUE(c.AttributesEx.Contains(fsSysFile));

  c.DateAttribute = daMaxFileDate;
  c.MaxFileDate = 0x12345678;
  EXPECT_EQ(c.GetFileDate(7), 0x12345678u);
  c.DateAttribute = daFileDate;
  EXPECT_EQ(c.GetFileDate(7), 7u);
  c.DateAttribute = daSysDate;
  EXPECT_GT(c.GetFileDate(7) >> 25, 40u);  // a year after 2020
}

TEST(ComponentBase, TemporaryFolderAndNames) {
  TempDir dir;
  TZipCommon c;
  std::string name = c.GetTempFileName(dir.Path());
  ASSERT_FALSE(name.empty());
  EXPECT_TRUE(fs::exists(name));
  EXPECT_EQ(fs::path(name).parent_path(), fs::path(dir.Path()));
  EXPECT_EQ(fs::path(name).filename().string().rfind("pak", 0), 0u);
  std::string elsewhere = c.GetTempFileName(dir.Path("missing"));  // the system folder instead
  EXPECT_FALSE(elsewhere.empty());
  fs::remove(elsewhere);

  std::vector<std::string> questions;
  c.ConfirmHook = [&](const std::string& q) {
    questions.push_back(q);
    return true;
  };
  c.SetTempDir(dir.Path("new/deeper"));
  EXPECT_TRUE(fs::is_directory(dir.Path("new/deeper")));
  EXPECT_EQ(c.TempDir(), dir.Path("new/deeper"));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], dir.Path("new/deeper") + "\r\rDirectory does not exist... Create?");
  c.ConfirmHook = nullptr;  // no one to ask: the answer is No
  c.SetTempDir(dir.Path("other"));
  EXPECT_FALSE(fs::exists(dir.Path("other")));
  EXPECT_EQ(c.TempDir(), TempPath());
  c.Loading = true;
  c.SetTempDir(dir.Path("stored"));
  EXPECT_EQ(c.TempDir(), TempPath()) << "a stored folder that does not exist is not used";
}

TEST(ComponentBase, DiskManagerUsesTheComponentsDrives) {
  TempDir dir;
  platform::files::SimulatedDrive drive(dir.Path("A"), dir.Path("store"));
  drive.InsertDisk("d");
  drive.SetLabel("PKBACK# 005");
  TZipCommon c;
  c.SetVolumes(&drive);
  ErrorLog log;
  log.Attach(c);
  auto reporter = [&c](const std::string& f, const std::string& e, const std::string& v,
                       int code) { c.ReportError(f, e, v, code); };
  ASSERT_TRUE(c.DiskManager().GetDriveInfo(dir.Path("A/x.zip"), reporter, c.OnDiskWriteProtectErr,
                                           c.OnDiskInDrvErr, nullptr));
  EXPECT_EQ(c.DiskManager().DiskNumber, 5);
  drive.EjectDisk();
  EXPECT_FALSE(c.DiskManager().GetDriveInfo(dir.Path("A/x.zip"), reporter,
                                            c.OnDiskWriteProtectErr, c.OnDiskInDrvErr, nullptr));
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].code, kErrIsNotAccessible);
}
