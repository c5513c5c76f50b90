#include "archive/pakvoGbls.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/Text.h"

namespace {

constexpr std::string_view kArcTypeNames[kArcTypeCount] = {
    "Not avail. ", "Unsupport.", "File Error", "Unknown   ", "ACE       ", "ACE SFX   ",
    "ARC       ",  "ARC SFX   ", "ARJ       ", "ARJ SFX   ", "BH        ", "BH  SFX   ",
    "CAB       ",  "CAB SFX   ", "GZip      ", "HA        ", "Java JAR  ", "JJAR SFX  ",
    "LHA       ",  "LHA SFX   ", "LZH       ", "LZH SFX   ", "MsGZ     \t", "PAK       ",
    "PAK SFX   ",  "RAR       ", "RAR SFX   ", "TAR       ", "TarGzip   ", "UUE       ",
    "ZIP       ",  "ZIP SFX   ", "Zip Span  ", "Zip MVol  ", "ZOO       "};

// Unicode code points of code page 437, bytes 0x80-0xFF.
constexpr uint16_t kCp437High[128] = {
0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none.
size_t Utf8SequenceLength(std::string_view s, size_t i, uint32_t* codePoint = nullptr) {
  const auto b = static_cast<unsigned char>(s[i]);
  size_t len = 0;
  uint32_t cp = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  // Overlong three- and four-byte forms and code points beyond U+10FFFF are not well formed.
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (codePoint) *codePoint = cp;
  return len;
}

int OemByteOf(uint32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  for (int i = 0; i < 128; ++i) {
    if (kCp437High[i] == cp) return 0x80 + i;
  }
  return -1;
}

std::string ReplaceChar(std::string_view s, char from, char to) {
  std::string out(s);
  for (char& c : out) {
    if (c == from) c = to;
  }
  return out;
}

std::string TrimBlanks(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

// Days from 1970-01-01 of a Gregorian date (any year).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

// Day number of 1899-12-30, the zero of TDateTime, counted from 1970-01-01.
const int64_t kDateTimeEpochDays = DaysFromCivil(1899, 12, 30);

// Whole seconds of a date-time counted from its zero.
int64_t SecondsOf(TDateTime dt) { return std::llround(dt * 86400.0); }

TDateTime FromSeconds(int64_t s) { return static_cast<double>(s) / 86400.0; }

TDateTime Dos1980() { return EncodeDateTime(1980, 1, 1, 0, 1, 0); }

constexpr uint32_t kDosFirst = (((0u << 9) | (1u << 5) | 1u) << 16);
constexpr uint32_t kDosLast = (((127u << 9) | (12u << 5) | 31u) << 16) | ((23u << 11) | (59u << 5) | 29u);

uint32_t DosFromParts(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return kDosFirst;
  if (year > 2107) return kDosLast;
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) |
                        (static_cast<uint32_t>(month) << 5) | static_cast<uint32_t>(day);
  const uint32_t time = (static_cast<uint32_t>(hour) << 11) |
                        (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2);
  return (date << 16) | time;
}

void (*gProcessMessages)() = nullptr;

}  // namespace

void ProcessMessages() {
  if (gProcessMessages) gProcessMessages();
}

void SetProcessMessagesHandler(void (*handler)()) { gProcessMessages = handler; }

std::string_view ArcTypeName(TArcType t) {
  return static_cast<int>(t) < kArcTypeCount ? kArcTypeNames[t] : kArcTypeNames[atUnknown];
}

// ---- Paths and files ----

std::string AppendDirTail(std::string_view dir) {
  std::string out(dir);
  if (out.empty() || out.back() != kPathDelim) out += kPathDelim;
  return out;
}

std::string RemoveDirTail(std::string_view dir) {
  if (!dir.empty() && dir.back() == kPathDelim) dir.remove_suffix(1);
  return std::string(dir);
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return {};
  std::string out = RemoveDirTail(dir);
  while (!name.empty() && name.front() == kPathDelim) name.remove_prefix(1);
  out += kPathDelim;
  out += name;
  return out;
}

std::string SlashToBackslash(std::string_view name) { return ReplaceChar(name, '/', kPathDelim); }

std::string BackslashToSlash(std::string_view name) { return ReplaceChar(name, kPathDelim, '/'); }

std::string NormalizePath(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  size_t i = 0;
  while (i < name.size()) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (const size_t len = Utf8SequenceLength(name, i)) {
      out.append(name.substr(i, len));
      i += len;
    } else if ((b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD)) {
      out.append(name.substr(i, i + 1 < name.size() ? 2 : 1));
      i += 2;
    } else {
      out += (b == '\\' || b == 0xFF) ? kPathDelim : static_cast<char>(b);
      ++i;
    }
  }
  return TrimBlanks(out);
}

std::string OemToUtf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size());
  for (char c : oem) {
    const auto b = static_cast<unsigned char>(c);
    text::AppendUtf8(out, b < 0x80 ? b : kCp437High[b - 0x80]);
  }
  return out;
}

std::string ToOem(std::string_view text, bool translate) {
  if (!translate) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t len = Utf8SequenceLength(text, i, &cp);
    if (len == 0) {
      const auto b = static_cast<unsigned char>(text[i]);
      out += b < 0x80 ? static_cast<char>(b) : '?';
      ++i;
      continue;
    }
    const int oem = OemByteOf(cp);
    out += oem < 0 ? '?' : static_cast<char>(oem);
    i += len;
  }
  return out;
}

bool IsOemRepresentable(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t len = Utf8SequenceLength(text, i, &cp);
    if (len == 0) {
      if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
      ++i;
      continue;
    }
    if (OemByteOf(cp) < 0) return false;
    i += len;
  }
  return true;
}

bool IsValidUtf8(const std::string& s) {
  constexpr size_t kBad = std::numeric_limits<size_t>::max();
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    const size_t extra = c < 0x80         ? 0
                         : (c >> 5) == 6  ? 1
                         : (c >> 4) == 14 ? 2
                         : (c >> 3) == 30 ? 3
                                          : kBad;
    if (extra == kBad || extra >= s.size() - i) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<uint8_t>(s[i + k]) >> 6) != 2) return false;
    i += extra + 1;
  }
  return true;
}

std::string OemToAnsiName(std::string_view stored, bool translate) {
  return SlashToBackslash(translate ? OemToUtf8(stored) : std::string(stored));
}

std::string AnsiToOemName(std::string_view name, bool translate) {
  return ToOem(BackslashToSlash(name), translate);
}

int FileGetAttr(const std::string& path) {
  struct stat st{};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return -1;
  int attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attr |= faArchive;
  } else {
    attr |= faSysFile;
  }
  if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
  std::string_view base(path);
  while (base.size() > 1 && base.back() == kPathDelim) base.remove_suffix(1);
  if (const size_t slash = base.rfind(kPathDelim); slash != std::string_view::npos) {
    base.remove_prefix(slash + 1);
  }
  if (base.size() > 1 && base.front() == '.' && base != "..") attr |= faHidden;
  return attr;
}

bool DirExists(const std::string& dir) {
  const int attr = FileGetAttr(dir);
  return attr != -1 && (attr & faDirectory) != 0;
}

bool FileExistsFF(const std::string& name) {
  struct stat st{};
  return !name.empty() && ::stat(name.c_str(), &st) == 0;
}

bool IsUNC(std::string_view path) {
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  return path.size() >= 3 && sep(path[0]) && sep(path[1]);
}

bool IsPlainFile(const std::string& name) {
  const int attr = FileGetAttr(name);
  return attr != -1 && (attr & (faDirectory | faReadOnly | faSysFile | faHidden)) == 0;
}

bool DirHasNoFiles(const std::string& dir) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return true;
  bool none = true;
  while (const dirent* e = ::readdir(d)) {
    if (IsPlainFile(JoinPath(dir.empty() ? "." : dir, e->d_name))) {
      none = false;
      break;
    }
  }
  ::closedir(d);
  return none;
}

std::string TempPath() {
  if (const char* env = std::getenv("TMPDIR"); env && *env && DirExists(env)) {
    return AppendDirTail(env);
  }
  return DirExists("/tmp") ? std::string("/tmp/") : std::string();
}

bool ForceDirectories(const std::string& path, std::vector<std::string>* created) {
  if (path.empty()) return false;
  if (DirExists(path)) return true;
  // A path the platform can never create is refused before any of its levels is made.
  if (path.size() >= PATH_MAX) return false;
  for (size_t start = 0, end = 0; start < path.size(); start = end + 1) {
    end = std::min(path.find(kPathDelim, start), path.size());
    if (end - start > NAME_MAX) return false;
  }
  auto make = [created](const std::string& dir) {
    if (::mkdir(dir.c_str(), 0777) == 0 && created) created->push_back(dir);
  };
  for (size_t pos = path.find(kPathDelim, 1); pos != std::string::npos;
       pos = path.find(kPathDelim, pos + 1)) {
    make(path.substr(0, pos));
  }
  make(path);
  return DirExists(path);
}

void RemoveCreatedDirectories(const std::vector<std::string>& created) {
  for (auto it = created.rbegin(); it != created.rend(); ++it) {
    if (::rmdir(it->c_str()) != 0) break;
  }
}

std::string ChangeExt(std::string_view name, std::string_view ext) {
  // A dot inside a directory part is not an extension.
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind(kPathDelim);
  std::string out(name);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    out.resize(dot);
  }
  out += ext;
  return out;
}

std::string SplitHead(std::string& text, std::string_view delimiter) {
  const size_t pos = delimiter.empty() ? std::string::npos : text.find(delimiter);
  std::string head;
  if (pos == std::string::npos) {
    head.swap(text);
  } else {
    head = text.substr(0, pos);
    text.erase(0, pos + delimiter.size());
  }
  return head;
}

uint32_t DosAttrMask(uint32_t attributes) { return attributes & 0xB7u; }

bool IsGZipMagic(uint16_t word) {
  return word == 0x8B1F || word == 0x9E1F || word == 0x9D1F || word == 0xA01F || word == 0x1E1F;
}

bool SameBytes(const void* a, const void* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

std::string_view DeflateMethodName(int method, int flagIndex) {
  static constexpr std::string_view kDeflate[4] = {"DeflateN", "DeflateX", "DeflateF", "DeflateS"};
  static constexpr std::string_view kDeflate64[4] = {"Def-64N", "Def-64X", "Def-64F", "Def-64S"};
  const std::string_view* names = method == 9 ? kDeflate64 : kDeflate;
  int index = 0;
  if (flagIndex == 0 || flagIndex == 2 || flagIndex == 4 || flagIndex == 6) index = flagIndex / 2;
  const std::string_view name = names[index];
  return name.empty() ? std::string_view("Deflate") : name;
}

// ---- Numbers and dates ----

int Percent(int64_t total, int64_t done) {
  if (total <= 0) return 0;
  const double r = std::nearbyint(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  if (r < 0) return 0;
  return r > 100 ? 100 : static_cast<int>(r);
}

int CompressionRatio(int64_t unpacked, int64_t packed) {
  if (unpacked <= 0 || packed >= unpacked) return 0;
  return static_cast<int>(std::nearbyint(static_cast<double>(unpacked - packed) * 100.0 /
                                          static_cast<double>(unpacked)));
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    throw E_RAISE("Invalid argument to date encode");
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    throw E_RAISE("Invalid argument to time encode");
  }
  const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                       kDateTimeEpochDays;
  return FromSeconds(days * 86400 + hour * 3600 + minute * 60 + second);
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& minute,
                    int& second) {
  const int64_t s = SecondsOf(dt);
  int64_t days = s / 86400;
  int64_t rest = s % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilFromDays(days + kDateTimeEpochDays, year, month, day);
  hour = static_cast<int>(rest / 3600);
  minute = static_cast<int>(rest / 60 % 60);
  second = static_cast<int>(rest % 60);
}

TDateTime AddMonths(TDateTime dt, int n) {
  int y, m, d, hh, mm, ss;
  DecodeDateTime(dt, y, m, d, hh, mm, ss);
  int64_t months = static_cast<int64_t>(y) * 12 + (m - 1) + n;
  y = static_cast<int>(months / 12);
  m = static_cast<int>(months % 12) + 1;
  if (d > DaysInMonth(y, m)) d = DaysInMonth(y, m);
  return EncodeDateTime(y, m, d, hh, mm, ss);
}

TDateTime DosDateTimeToDateTime(uint32_t dosDateTime) {
  if (dosDateTime == 0) return Dos1980();
  const uint32_t date = dosDateTime >> 16;
  const uint32_t time = dosDateTime & 0xFFFF;
  const int year = 1980 + static_cast<int>(date >> 9);
  const int month = static_cast<int>((date >> 5) & 0x0F);
  const int day = static_cast<int>(date & 0x1F);
  TDateTime dt;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    dt = Dos1980();
  } else {
    dt = EncodeDateTime(year, month, day, 0, 0, 0);
  }
  const int hour = static_cast<int>(time >> 11);
  const int minute = static_cast<int>((time >> 5) & 0x3F);
  const int second = static_cast<int>(time & 0x1F) * 2;
  if (hour > 23 || minute > 59 || second > 59) throw E_RAISE("Invalid argument to time encode");
  return dt + FromSeconds(hour * 3600 + minute * 60 + second);
}

uint32_t DateTimeToDos(TDateTime dt) {
  int64_t s = SecondsOf(dt);
  if (s % 2 != 0) ++s;
  int y, m, d, hh, mm, ss;
  DecodeDateTime(FromSeconds(s), y, m, d, hh, mm, ss);
  return DosFromParts(y, m, d, hh, mm, ss);
}

uint32_t FileTimeToDos(int64_t unixSeconds) {
  if (unixSeconds % 2 != 0) ++unixSeconds;
  const auto t = static_cast<time_t>(unixSeconds);
  struct tm local{};
  if (!::localtime_r(&t, &local)) return unixSeconds < 0 ? kDosFirst : kDosLast;
  return DosFromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
}

int64_t DosToFileTime(uint32_t dosDateTime) {
  const uint32_t date = dosDateTime >> 16;
  const uint32_t time = dosDateTime & 0xFFFF;
  int year = 1980 + static_cast<int>(date >> 9);
  int month = static_cast<int>((date >> 5) & 0x0F);
  int day = static_cast<int>(date & 0x1F);
  int hour = static_cast<int>(time >> 11);
  int minute = static_cast<int>((time >> 5) & 0x3F);
  int second = static_cast<int>(time & 0x1F) * 2;
  if (dosDateTime == 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    year = 1980, month = 1, day = 1, hour = 0, minute = 1, second = 0;
  }
  if (hour > 23) hour = 23;
  if (minute > 59) minute = 59;
  if (second > 59) second = 58;
  struct tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<int64_t>(::mktime(&local));
}

uint32_t SwapWords(uint32_t value) { return (value << 16) | (value >> 16); }

TDateTime UnixToDateTime(int64_t seconds) {
  if (seconds < 0) seconds = -seconds;
  if (seconds == 0) return Dos1980();
  const auto t = static_cast<time_t>(seconds);
  struct tm local{};
  if (!::localtime_r(&t, &local)) return Dos1980();
  if (local.tm_year + 1900 > 9999) return EncodeDateTime(9999, 12, 31, 23, 59, 59);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec);
}

int64_t OctalToInt(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c >= '0' && c <= '7') value = (value << 3) | static_cast<uint64_t>(c - '0');
  }
  return static_cast<int64_t>(value);
}
