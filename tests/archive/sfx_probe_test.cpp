// Self-extracting executables: a Windows module whose string resources name where the archive
// starts (read from the file, nothing loaded), and stubs of known sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TestFiles.h"
#include "archive/pakvoRegister.h"

using archive_test::ReadFile;
using archive_test::TempDir;
using archive_test::WriteFile;

namespace {

void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A minimal 32-bit Windows module of `size` bytes with one resource section; when `offsetText`
// is not empty, string resource 1 holds it.
std::string MakeModule(const std::string& offsetText, size_t size) {
  std::string pe(size, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  Put16(pe, 2, 0x90);  // bytes in the last page
  Put16(pe, 4, 3);     // pages
  Put32(pe, 0x3C, 0x40);
  std::memcpy(&pe[0x40], "PE\0\0", 4);
  const size_t coff = 0x44;
  Put16(pe, coff, 0x14C);
  Put16(pe, coff + 2, 1);     // one section
  Put16(pe, coff + 16, 224);  // optional header size
  Put16(pe, coff + 18, 0x2102);
  const size_t opt = 0x58;
  Put16(pe, opt, 0x10B);
  Put32(pe, opt + 92, 16);
  const uint32_t rsrcRva = 0x1000;
  Put32(pe, opt + 96 + 16, rsrcRva);
  Put32(pe, opt + 96 + 20, 0x200);
  const size_t sect = opt + 224;
  std::memcpy(&pe[sect], ".rsrc\0\0\0", 8);
  Put32(pe, sect + 8, 0x200);     // virtual size
  Put32(pe, sect + 12, rsrcRva);  // virtual address
  Put32(pe, sect + 16, 0x200);    // raw size
  Put32(pe, sect + 20, 0x200);    // raw pointer
  if (offsetText.empty()) return pe;
  const size_t r = 0x200;
  // Type directory: RT_STRING (6) -> name directory at 0x18.
  Put16(pe, r + 14, 1);
  Put32(pe, r + 16, 6);
  Put32(pe, r + 20, 0x80000000u | 0x18);
  // Name directory: block 1 -> language directory at 0x30.
  Put16(pe, r + 0x18 + 14, 1);
  Put32(pe, r + 0x18 + 16, 1);
  Put32(pe, r + 0x18 + 20, 0x80000000u | 0x30);
  // Language directory: 0x409 -> data entry at 0x48.
  Put16(pe, r + 0x30 + 14, 1);
  Put32(pe, r + 0x30 + 16, 0x409);
  Put32(pe, r + 0x30 + 20, 0x48);
  // Data entry -> string block at 0x58.
  std::string block;
  block += std::string(2, '\0');  // string 0: empty
  block += static_cast<char>(offsetText.size());
  block += '\0';
  for (char c : offsetText) {
    block += c;
    block += '\0';
  }
  block += std::string(14 * 2, '\0');  // strings 2-15: empty
  Put32(pe, r + 0x48, rsrcRva + 0x58);
  Put32(pe, r + 0x4C, static_cast<uint32_t>(block.size()));
  pe.replace(r + 0x58, block.size(), block);
  return pe;
}

// The local records of a ZIP without its directory (what a truncated self-extractor holds).
std::string LocalRecordsOnly(const std::string& zip) {
  size_t central = zip.find(std::string("PK\x01\x02", 4));
  return zip.substr(0, central);
}

TArcType Detect(const std::string& file, int64_t* offset = nullptr) {
  TRegisterPakvo reg;
  reg.SetArcFile(file);
  if (offset) *offset = reg.Offset;
  return reg.ArcType;
}

}  // namespace

TEST(SfxProbe, StringResourceNamesTheArchive) {
  TempDir dir;
  WriteFile(dir.Path("src/a.txt"), std::string(3000, 'a'));
  ASSERT_EQ(std::system(("cd '" + dir.Path("src") + "' && zip -q ../p.zip a.txt").c_str()), 0);
  std::string zip = ReadFile(dir.Path("p.zip"));

  // With its directory the ZIP is found either way.
  WriteFile(dir.Path("full.exe"), MakeModule("4096", 4096) + zip);
  int64_t offset = -1;
  EXPECT_EQ(Detect(dir.Path("full.exe"), &offset), atZipExe);
  EXPECT_EQ(offset, 4096);

  // Without a directory only the resource tells where the archive starts.
  WriteFile(dir.Path("res.exe"), MakeModule("4096", 4096) + LocalRecordsOnly(zip));
  EXPECT_EQ(Detect(dir.Path("res.exe"), &offset), atZipExe);
  EXPECT_EQ(offset, 4096);
  WriteFile(dir.Path("nores.exe"), MakeModule("", 4096) + LocalRecordsOnly(zip));
  EXPECT_EQ(Detect(dir.Path("nores.exe")), atNA);

  // A resource that is no number, or points past the end, names nothing.
  WriteFile(dir.Path("text.exe"), MakeModule("ab12", 4096) + LocalRecordsOnly(zip));
  EXPECT_EQ(Detect(dir.Path("text.exe")), atNA);
  WriteFile(dir.Path("far.exe"), MakeModule("99999", 4096) + LocalRecordsOnly(zip));
  EXPECT_EQ(Detect(dir.Path("far.exe")), atNA);
}

TEST(SfxProbe, KnownStubSizes) {
  TempDir dir;
  std::string exe = MakeModule("", 9000);
  exe[7716] = 0x1A;
  exe[7717] = 0x08;
  WriteFile(dir.Path("arc.exe"), exe);
  int64_t offset = -1;
  EXPECT_EQ(Detect(dir.Path("arc.exe"), &offset), atArcExe);
  EXPECT_EQ(offset, 7716);

  exe = MakeModule("", 9000);
  std::memcpy(&exe[1947], "-lh5-", 5);
  WriteFile(dir.Path("lha.exe"), exe);
  EXPECT_EQ(Detect(dir.Path("lha.exe"), &offset), atLhaExe);
  EXPECT_EQ(offset, 1945);

  exe = MakeModule("", 9000);
  std::memcpy(&exe[7612], "PK\x03\x04", 4);
  WriteFile(dir.Path("zip.exe"), exe);
  EXPECT_EQ(Detect(dir.Path("zip.exe"), &offset), atZipExe);
  EXPECT_EQ(offset, 7612);
}

TEST(SfxProbe, BrokenModulesAreSafe) {
  TempDir dir;
  std::string exe = MakeModule("4096", 4096);
  // Directory offsets pointing anywhere, a huge section count, a truncated file.
  for (size_t at : {size_t{0x200 + 20}, size_t{0x200 + 0x18 + 20}, size_t{0x200 + 0x4C},
                    size_t{0x46}, size_t{0x3C}}) {
    std::string bad = exe;
    Put32(bad, at, 0xFFFFFFF0u);
    WriteFile(dir.Path("bad.exe"), bad);
    EXPECT_TRUE(IsNoArchiveType(Detect(dir.Path("bad.exe")))) << at;
  }
  WriteFile(dir.Path("short.exe"), exe.substr(0, 100));
  EXPECT_EQ(Detect(dir.Path("short.exe")), atNA);
}
