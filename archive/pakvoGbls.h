// Shared vocabulary of the archive library: archive types, ZIP record kinds, the library's
// exception, and the small path, name, date and number routines every archive unit calls.
// Paths use the platform separator ("/"); stored ZIP names always use "/".
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Days since 1899-12-30 with the time of day as the fraction (the OLE date form).
using TDateTime = double;

// Base of the library's objects, so that events can name their sender.
class TObject {
 public:
  virtual ~TObject() = default;
};

// The archive types; the order is stored and compared, never change it.
enum TArcType : uint8_t {
  atNA,
  atUnsupported,
  atFileOpenErr,
  atUnknown,
  atAce,
  atAceExe,
  atArc,
  atArcExe,
  atArj,
  atArjExe,
  atBh,
  atBhExe,
  atCab,
  atCabExe,
  atGZip,
  atHA,
  atJar,
  atJarExe,
  atLha,
  atLhaExe,
  atLzh,
  atLzhExe,
  atMsGZ,
  atPak,
  atPakExe,
  atRar,
  atRarExe,
  atTar,
  atTarGZip,
  atUUE,
  atZip,
  atZipExe,
  atZipDS,
  atZipMV,
  atZoo
};
constexpr int kArcTypeCount = atZoo + 1;

// Fixed-width display name of an archive type ("ZIP       ").
std::string_view ArcTypeName(TArcType t);
// True for the four values that mean no usable archive was found.
constexpr bool IsNoArchiveType(TArcType t) { return t <= atUnknown; }
// True for the types that count as found inside a self-extracting executable.
constexpr bool IsSfxArchiveType(TArcType t) {
  return t == atJar || t == atJarExe || t == atZip || t == atZipExe;
}

// Which ZIP record a routine stands on.
enum THeaderType : uint8_t { htLocal, htCentral, htEnding, htNone };
// A set of THeaderType, one bit per value.
using THeaderTypeState = uint8_t;
constexpr THeaderTypeState HeaderTypeBit(THeaderType t) { return static_cast<uint8_t>(1u << t); }

// The deflate variants; the ordinal indexes the stream's level table.
enum TDeflateType : uint8_t { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// Event of the disk-error notifications: set Abort to give up.
using TOnDiskError = std::function<void(TObject* Sender, bool& Abort)>;

// The one exception type of the archive library; its message is one of the fixed texts.
class E_RAISE : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Lets the host's message loop run inside long loops (copies, coding); does nothing until a host
// installs its handler.
void ProcessMessages();
void SetProcessMessagesHandler(void (*handler)());

// Platform separator of file paths (where Windows-style paths use "\").
constexpr char kPathDelim = '/';

// ---- Paths and files ----

std::string AppendDirTail(std::string_view dir);
std::string RemoveDirTail(std::string_view dir);
// Exactly one separator between dir and name; an empty dir gives an empty result.
std::string JoinPath(std::string_view dir, std::string_view name);
// Stored-name form ("/") to path form and back; the same text on this platform.
std::string SlashToBackslash(std::string_view name);
std::string BackslashToSlash(std::string_view name);
// Turns a name written with "\" separators (or the stray byte 0xFF) into path form and trims
// blanks. Bytes of a multi-byte character are never taken for separators: a UTF-8 sequence is
// passed whole, and the trail byte after a double-byte lead (0x80-0x9F, 0xE0-0xFD) is left alone.
std::string NormalizePath(std::string_view name);

// Stored name (OEM code page 437 when translate) to a UTF-8 path-form name.
std::string OemToAnsiName(std::string_view stored, bool translate);
// UTF-8 path-form name to a stored name ("/" separators, code page 437 when translate).
// Characters that code page 437 lacks become "?".
std::string AnsiToOemName(std::string_view name, bool translate);
// Only the code page conversion (UTF-8 to 437 when translate).
std::string ToOem(std::string_view text, bool translate);
// Code page 437 bytes to UTF-8.
std::string OemToUtf8(std::string_view oem);
// True when every character of the UTF-8 text exists in code page 437.
bool IsOemRepresentable(std::string_view text);
// True when the bytes form valid UTF-8 (ASCII included).
bool IsValidUtf8(const std::string& s);

// Windows-style attribute bits of a file, derived from its POSIX status: read-only when the owner
// may not write, hidden when the name begins with ".", system for anything neither file nor
// directory; -1 when the file is missing.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;
int FileGetAttr(const std::string& path);

bool DirExists(const std::string& dir);
bool FileExistsFF(const std::string& name);
// At least three characters beginning with two separators ("\\server" or "//server").
bool IsUNC(std::string_view path);
// False for directories, read-only, system or hidden files and missing files.
bool IsPlainFile(const std::string& name);
// True when no plain file lies directly in dir.
bool DirHasNoFiles(const std::string& dir);
// System folder for temporary files, with a trailing separator; empty when there is none.
std::string TempPath();
// Creates every missing level of path; returns whether the directory exists afterwards. With
// `created`, the folders made are added to it, outermost first.
bool ForceDirectories(const std::string& path, std::vector<std::string>* created = nullptr);
// Removes the folders of `created` (outermost first) innermost first, as long as they are empty.
void RemoveCreatedDirectories(const std::vector<std::string>& created);
inline bool CreateDirPath(const std::string& path) { return ForceDirectories(path); }

std::string ChangeExt(std::string_view name, std::string_view ext);
// Returns the text before the delimiter and removes it and the delimiter from text; without a
// delimiter returns the whole text and empties it.
std::string SplitHead(std::string& text, std::string_view delimiter);
uint32_t DosAttrMask(uint32_t attributes);
bool IsGZipMagic(uint16_t word);
bool SameBytes(const void* a, const void* b, size_t n);

// Display name of a deflate-family entry: method 8 or 9, flagIndex = general-purpose flag bits 1-2
// (0, 2, 4 or 6).
std::string_view DeflateMethodName(int method, int flagIndex);

class TStream;
// Reads up to 256 bytes at position and returns the text up to its first zero byte; advances
// position by the text's length + 1.
std::string ReadStringAt(TStream& stream, int64_t& position);
// Reads exactly length bytes at position as text (fewer at the end of the stream); advances
// position by what was read.
std::string ReadFixedString(TStream& stream, int64_t& position, uint8_t length);

// ---- Numbers and dates ----

// Nearest integer of done * 100 / total (ties to even); 0 for total <= 0 or a negative result;
// at most 100.
int Percent(int64_t total, int64_t done);
int CompressionRatio(int64_t unpacked, int64_t packed);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// Date-time from its parts; raises E_RAISE for an impossible date or time.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
// Parts of a date-time (milliseconds rounded to the nearest second).
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& minute,
                    int& second);
TDateTime AddMonths(TDateTime dt, int n);

// DOS date (high word) and time (low word) to a date-time; 0 and impossible dates give
// 1980-01-01 00:01:00; an impossible time raises E_RAISE.
TDateTime DosDateTimeToDateTime(uint32_t dosDateTime);
// Date-time to DOS date-time; dates before 1980 give 1980-01-01 00:00:00, after 2107 the last
// DOS value; odd seconds round up to the next even second.
uint32_t DateTimeToDos(TDateTime dt);
// File time (seconds since 1970 UTC) to the local DOS date-time, odd seconds rounded up.
uint32_t FileTimeToDos(int64_t unixSeconds);
// Local DOS date-time to seconds since 1970 UTC (for setting file times).
int64_t DosToFileTime(uint32_t dosDateTime);
uint32_t SwapWords(uint32_t value);
// Seconds since 1970 UTC (sign ignored) to a local date-time; 0 gives 1980-01-01 00:01:00.
TDateTime UnixToDateTime(int64_t seconds);
// Digits 0-7 accumulate base 8; other characters are skipped.
int64_t OctalToInt(std::string_view text);
