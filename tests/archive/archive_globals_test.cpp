// Archive globals: type names, error texts, path and name helpers, DOS and Unix dates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "../common/TempFolder.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoGbls.h"

namespace {

void UseUtc() {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
}

std::string Iso(TDateTime dt) {
  int y, m, d, hh, mm, ss;
  DecodeDateTime(dt, y, m, d, hh, mm, ss);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, hh, mm, ss);
  return buf;
}

uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(((y - 1980) << 9) | (mo << 5) | d) << 16) |
         static_cast<uint32_t>((h << 11) | (mi << 5) | (s / 2));
}

}  // namespace

TEST(ArchiveGlobals, ArcTypeNamesAndSets) {
  EXPECT_EQ(ArcTypeName(atZip), "ZIP       ");
  EXPECT_EQ(ArcTypeName(atNA), "Not avail. ");
  EXPECT_EQ(ArcTypeName(atMsGZ), "MsGZ     \t");
  EXPECT_EQ(ArcTypeName(atZoo), "ZOO       ");
  EXPECT_EQ(static_cast<int>(atZoo), 34);
  for (int t = atUnsupported; t < kArcTypeCount; ++t) {
    EXPECT_EQ(ArcTypeName(static_cast<TArcType>(t)).size(), 10u) << t;
  }
  EXPECT_TRUE(IsNoArchiveType(atUnknown));
  EXPECT_FALSE(IsNoArchiveType(atAce));
  EXPECT_TRUE(IsSfxArchiveType(atJarExe));
  EXPECT_FALSE(IsSfxArchiveType(atZipDS));
}

TEST(ArchiveGlobals, ErrorTexts) {
  EXPECT_EQ(LoadErrorText(kErrDiskFull), "Disk full");
  EXPECT_EQ(LoadErrorText(25443), "User canceled");
  EXPECT_EQ(LoadErrorText(25101), "64 bit hearder");
  EXPECT_EQ(LoadErrorText(26899), "Directory does not exist... Create?");
  EXPECT_EQ(LoadErrorText(26002), "Executables (*.exe)");
  EXPECT_EQ(LoadErrorText(12345), "Unknown error");
}

TEST(ArchiveGlobals, DirTailsAndJoin) {
  EXPECT_EQ(AppendDirTail("a/b"), "a/b/");
  EXPECT_EQ(AppendDirTail("a/b/"), "a/b/");
  EXPECT_EQ(AppendDirTail(""), "/");
  EXPECT_EQ(RemoveDirTail("a/b/"), "a/b");
  EXPECT_EQ(RemoveDirTail("a/b"), "a/b");
  EXPECT_EQ(JoinPath("a/b", "c"), "a/b/c");
  EXPECT_EQ(JoinPath("a/b/", "/c"), "a/b/c");
  EXPECT_EQ(JoinPath("", "c"), "");
  EXPECT_EQ(SlashToBackslash("a/b"), "a/b");
  EXPECT_EQ(BackslashToSlash("a/b"), "a/b");
  EXPECT_TRUE(IsUNC("\\\\srv"));
  EXPECT_TRUE(IsUNC("//srv/share"));
  EXPECT_FALSE(IsUNC("\\\\"));
  EXPECT_FALSE(IsUNC("/srv"));
}

TEST(ArchiveGlobals, NormalizePathKeepsMultiByteCharacters) {
  EXPECT_EQ(NormalizePath("  dir\\sub\\file.txt  "), "dir/sub/file.txt");
  EXPECT_EQ(NormalizePath(std::string("a\xFF" "b")), "a/b");
  // Shift-JIS "表" is 0x95 0x5C: its trail byte is not a separator.
  EXPECT_EQ(NormalizePath("\x95\x5C\\x"), "\x95\x5C/x");
  // A double-byte lead before 0x2F keeps its trail byte too.
  EXPECT_EQ(NormalizePath("\x81\x2F" "a"), "\x81\x2F" "a");
  // UTF-8 "Ā" ends with 0x80, which must not swallow the following separator.
  EXPECT_EQ(NormalizePath("\xC4\x80\\z"), "\xC4\x80/z");
  EXPECT_EQ(NormalizePath("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
  // A lead byte at the very end is copied alone.
  EXPECT_EQ(NormalizePath("x\x95"), "x\x95");
}

TEST(ArchiveGlobals, OemNames) {
  EXPECT_EQ(ToOem("caf\xC3\xA9", true), "caf\x82");
  EXPECT_EQ(ToOem("caf\xC3\xA9", false), "caf\xC3\xA9");
  EXPECT_EQ(OemToUtf8("caf\x82"), "caf\xC3\xA9");
  EXPECT_EQ(OemToUtf8("\xE1\xFE"), "\xC3\x9F\xE2\x96\xA0");  // sharp s, black square
  EXPECT_EQ(ToOem("\xE4\xB8\xAD", true), "?");                // a CJK character
  EXPECT_TRUE(IsOemRepresentable("Gr\xC3\xBC\xC3\x9F" "e"));
  EXPECT_FALSE(IsOemRepresentable("\xE4\xB8\xAD"));
  EXPECT_EQ(AnsiToOemName("dir/\xC3\xA9.txt", true), "dir/\x82.txt");
  EXPECT_EQ(OemToAnsiName("dir/\x82.txt", true), "dir/\xC3\xA9.txt");
  EXPECT_EQ(OemToAnsiName("dir/\x82.txt", false), "dir/\x82.txt");
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(ToOem(OemToUtf8(one), true), one) << b;
  }
}

TEST(ArchiveGlobals, SmallTextHelpers) {
  EXPECT_EQ(ChangeExt("pkg", ".zip"), "pkg.zip");
  EXPECT_EQ(ChangeExt("pkg.tar.gz", ".zip"), "pkg.tar.zip");
  EXPECT_EQ(ChangeExt("dir.x/pkg", ".zip"), "dir.x/pkg.zip");
  std::string t = "a;b;c";
  EXPECT_EQ(SplitHead(t, ";"), "a");
  EXPECT_EQ(t, "b;c");
  t = "abc";
  EXPECT_EQ(SplitHead(t, ";"), "abc");
  EXPECT_EQ(t, "");
  EXPECT_EQ(DosAttrMask(0xFFFFFFFF), 0xB7u);
  EXPECT_TRUE(IsGZipMagic(0x8B1F));
  EXPECT_TRUE(IsGZipMagic(0x1E1F));
  EXPECT_FALSE(IsGZipMagic(0x4B50));
  EXPECT_EQ(SwapWords(0x12345678), 0x56781234u);
  EXPECT_TRUE(SameBytes("abcd", "abXX", 2));
  EXPECT_FALSE(SameBytes("abcd", "abXX", 3));
  EXPECT_EQ(OctalToInt("0000644 \0"), 420);
  EXPECT_EQ(OctalToInt("7x7"), 63);
  EXPECT_EQ(DeflateMethodName(8, 0), "DeflateN");
  EXPECT_EQ(DeflateMethodName(8, 6), "DeflateS");
  EXPECT_EQ(DeflateMethodName(9, 2), "Def-64X");
  EXPECT_EQ(DeflateMethodName(9, 5), "Def-64N");
}

TEST(ArchiveGlobals, PercentAndRatio) {
  EXPECT_EQ(Percent(0, 5), 0);
  EXPECT_EQ(Percent(10, 20), 100);
  EXPECT_EQ(Percent(10, -3), 0);
  EXPECT_EQ(Percent(200, 1), 0);  // 0.5 rounds to even
  EXPECT_EQ(Percent(200, 3), 2);  // 1.5 rounds to even
  EXPECT_EQ(Percent(3, 1), 33);
  EXPECT_EQ(CompressionRatio(0, 0), 0);
  EXPECT_EQ(CompressionRatio(100, 120), 0);
  EXPECT_EQ(CompressionRatio(100, 25), 75);
  EXPECT_EQ(CompressionRatio(3, 2), 33);
}

TEST(ArchiveGlobals, CalendarHelpers) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_EQ(Iso(EncodeDateTime(1899, 12, 30, 0, 0, 0)), "1899-12-30 00:00:00");
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 31, 12, 0, 0), 1.5);
  EXPECT_EQ(Iso(AddMonths(EncodeDateTime(2024, 1, 31, 10, 20, 30), 1)), "2024-02-29 10:20:30");
  EXPECT_EQ(Iso(AddMonths(EncodeDateTime(2024, 3, 31, 0, 0, 0), -13)), "2023-02-28 00:00:00");
  EXPECT_THROW(EncodeDateTime(2023, 2, 29, 0, 0, 0), E_RAISE);
}

TEST(ArchiveGlobals, DosDateTimeEdges) {
  EXPECT_EQ(Iso(DosDateTimeToDateTime(0)), "1980-01-01 00:01:00");
  // Month 13 and day 30 of February fall back to the first DOS day.
  EXPECT_EQ(Iso(DosDateTimeToDateTime(Dos(2001, 13, 1, 10, 0, 0))), "1980-01-01 10:01:00");
  EXPECT_EQ(Iso(DosDateTimeToDateTime(Dos(2001, 2, 30, 0, 0, 0))), "1980-01-01 00:01:00");
  EXPECT_EQ(Iso(DosDateTimeToDateTime(Dos(1980, 1, 1, 0, 0, 0))), "1980-01-01 00:00:00");
  EXPECT_EQ(Iso(DosDateTimeToDateTime(Dos(2107, 12, 31, 23, 59, 58))), "2107-12-31 23:59:58");
  EXPECT_EQ(Iso(DosDateTimeToDateTime(Dos(2000, 2, 29, 12, 30, 44))), "2000-02-29 12:30:44");
  // Seconds field 30 (60 s), hour 24 and minute 60 are impossible times.
  EXPECT_THROW(DosDateTimeToDateTime((Dos(2000, 1, 1, 0, 0, 0) & 0xFFFF0000u) | 30u), E_RAISE);
  EXPECT_THROW(DosDateTimeToDateTime((Dos(2000, 1, 1, 0, 0, 0) & 0xFFFF0000u) | (24u << 11)), E_RAISE);
  EXPECT_THROW(DosDateTimeToDateTime((Dos(2000, 1, 1, 0, 0, 0) & 0xFFFF0000u) | (60u << 5)), E_RAISE);

  EXPECT_EQ(DateTimeToDos(EncodeDateTime(2000, 2, 29, 12, 30, 44)), Dos(2000, 2, 29, 12, 30, 44));
  // An odd second rounds up, across midnight and the year end too.
  EXPECT_EQ(DateTimeToDos(EncodeDateTime(2000, 2, 29, 12, 30, 45)), Dos(2000, 2, 29, 12, 30, 46));
  EXPECT_EQ(DateTimeToDos(EncodeDateTime(1999, 12, 31, 23, 59, 59)), Dos(2000, 1, 1, 0, 0, 0));
  EXPECT_EQ(DateTimeToDos(EncodeDateTime(1979, 12, 31, 23, 59, 58)), Dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(DateTimeToDos(EncodeDateTime(2108, 1, 1, 0, 0, 0)), Dos(2107, 12, 31, 23, 59, 58));
  EXPECT_EQ(DateTimeToDos(EncodeDateTime(2107, 12, 31, 23, 59, 59)), Dos(2107, 12, 31, 23, 59, 58));
}

TEST(ArchiveGlobals, FileAndUnixTimes) {
  UseUtc();
  EXPECT_EQ(FileTimeToDos(315532800), Dos(1980, 1, 1, 0, 0, 0));  // 1980-01-01 00:00:00
  EXPECT_EQ(FileTimeToDos(315532801), Dos(1980, 1, 1, 0, 0, 2));  // odd second rounds up
  EXPECT_EQ(FileTimeToDos(0), Dos(1980, 1, 1, 0, 0, 0));          // before 1980
  EXPECT_EQ(FileTimeToDos(4354819200LL), Dos(2107, 12, 31, 23, 59, 58));  // 2108-01-01
  EXPECT_EQ(DosToFileTime(Dos(1980, 1, 1, 0, 0, 2)), 315532802);
  EXPECT_EQ(DosToFileTime(FileTimeToDos(1700000000)), 1700000000);
  EXPECT_EQ(DosToFileTime(0), 315532860);

  EXPECT_EQ(Iso(UnixToDateTime(0)), "1980-01-01 00:01:00");
  EXPECT_EQ(Iso(UnixToDateTime(86399)), "1970-01-01 23:59:59");
  EXPECT_EQ(Iso(UnixToDateTime(-86400)), "1970-01-02 00:00:00");
  EXPECT_EQ(Iso(UnixToDateTime(951782400)), "2000-02-29 00:00:00");
  // 2100 is no leap year: the day after 2100-02-28 is 1 March.
  EXPECT_EQ(Iso(UnixToDateTime(4107542400LL)), "2100-03-01 00:00:00");

  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  EXPECT_EQ(Iso(UnixToDateTime(1700000000)), "2023-11-14 23:13:20");  // winter: +1 h
  EXPECT_EQ(Iso(UnixToDateTime(1690000000)), "2023-07-22 06:26:40");  // summer: +2 h
  UseUtc();
}

TEST(ArchiveGlobals, FilesAndDirectories) {
  namespace fs = std::filesystem;
  const test_support::TempFolder folder("pakvo_gbls");
  const fs::path root = folder.Path();
  const std::string deep = (root / "a" / "b c" / "d").string();
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirExists(deep));
  EXPECT_TRUE(DirHasNoFiles(deep));
  EXPECT_FALSE(ForceDirectories(""));

  const std::string plain = deep + "/f.txt";
  std::ofstream(plain) << "x";
  const std::string hidden = deep + "/.h";
  std::ofstream(hidden) << "x";
  const std::string ro = deep + "/ro.txt";
  std::ofstream(ro) << "x";
  ::chmod(ro.c_str(), 0444);

  EXPECT_FALSE(DirHasNoFiles(deep));
  EXPECT_TRUE(IsPlainFile(plain));
  EXPECT_FALSE(IsPlainFile(hidden));
  EXPECT_FALSE(IsPlainFile(ro));
  EXPECT_FALSE(IsPlainFile(deep));
  EXPECT_FALSE(IsPlainFile(deep + "/missing"));
  EXPECT_EQ(FileGetAttr(plain), faArchive);
  EXPECT_EQ(FileGetAttr(hidden), faArchive | faHidden);
  EXPECT_EQ(FileGetAttr(ro), faArchive | faReadOnly);
  EXPECT_EQ(FileGetAttr(deep), faDirectory);
  EXPECT_EQ(FileGetAttr(deep + "/missing"), -1);
  EXPECT_TRUE(FileExistsFF(plain));
  EXPECT_FALSE(FileExistsFF(deep + "/missing"));
  EXPECT_FALSE(DirExists(plain));
  // A file in the way stops the creation.
  EXPECT_FALSE(ForceDirectories(plain + "/sub"));
  EXPECT_FALSE(TempPath().empty());
  EXPECT_EQ(TempPath().back(), '/');
}
