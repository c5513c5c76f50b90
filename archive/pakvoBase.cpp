// Archive component base.
#include "archive/pakvoBase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoStreams.h"
#include "common/Text.h"

uint32_t Crc16Val = 0;
uint32_t Crc32Val = 0xFFFFFFFF;

namespace {

constexpr uint32_t kDosFirstMinute = 0x210020;  // 1 January 1980, 00:01

void UpdateRunningCrc(const void* data, size_t count, int crcKind) {
  if (crcKind == 16)
    UpdateCrc16(data, count, Crc16Val);
  else if (crcKind == 32)
    UpdateCrc32(data, count, Crc32Val);
}

bool IsCipherType(TArcType t) {
  return t == atBh || t == atBhExe || t == atJar || t == atJarExe || t == atZip ||
         t == atZipExe || t == atZipDS || t == atZipMV;
}

const char* Pick(const char* const* names, int count, int index) {
  return index >= 0 && index < count ? names[index] : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Stopwatch

uint32_t TpakvoTimer::Tick() const {
  if (TickSource) return TickSource();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  uint32_t t = static_cast<uint32_t>(ms);
  return t == 0 ? 1 : t;  // 0 means "not running"
}

void TpakvoTimer::Start() {
  elapsed_ = 0;
  pause_ = 0;
  start_ = Tick();
}

void TpakvoTimer::Stop() {
  if (!Running()) return;
  stop_ = Tick();
  elapsed_ = static_cast<float>(stop_ - start_) / 1000.0f;
  start_ = 0;
}

void TpakvoTimer::Pause() {
  if (Running()) pause_ = Tick();
}

void TpakvoTimer::Resume() {
  if (Running() && pause_ != 0) {
    start_ += Tick() - pause_;
    pause_ = 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Component base

TZipCommon::TZipCommon() : diskManager_(std::make_unique<TDiskManager>(Volumes())) {
  ReadBlockHook = [this](TStream32& s, void* b, int32_t n, int kind, bool decode) {
    return ReadBlock(s, b, n, kind, decode);
  };
  WriteEncryptHook = [this](TStream32& s, void* b, int32_t n, bool countCrc, int kind, bool crypt) {
    return WriteEncryptBytes(s, b, n, countCrc, kind, crypt);
  };
  WriteDecryptHook = [this](TStream32& s, void* b, int32_t n, bool countCrc, int kind, bool crypt) {
    return WriteDecryptBlock(s, b, n, countCrc, kind, crypt);
  };
  ProgressHook = [this](uint8_t byFile, uint8_t byArchive) { Progress(byFile, byArchive); };
}

TZipCommon::~TZipCommon() = default;

void TZipCommon::SetVolumes(platform::files::IVolumes* volumes) {
  TRegisterPakvo::SetVolumes(volumes);
  diskManager_ = std::make_unique<TDiskManager>(volumes);
}

void TZipCommon::SetZipCmntBufSize(int value) {
  if (value >= 32768) value = 32767;
  if (value < 2000) value = 2000;
  zipCmntBufSize_ = value;
}

bool TZipCommon::GetCancel() { return *cancelPtr_; }

void TZipCommon::SetCancel(bool Value) {
  *cancelPtr_ = Value;
  if (Value) ReportError(ArcFile, CurrentFile, "0", kErrUserCanceled);
}

TDateTime TZipCommon::ConvertDate(uint32_t DosDateTime) {
  return DosDateTimeToDateTime(DosDateTime == 0 ? kDosFirstMinute : DosDateTime);
}

int32_t TZipCommon::WriteEncryptBytes(TStream32& Stream, void* Buffer, int32_t Count,
                                      bool CountCrc, int CrcKind, bool Crypt) {
  if (Crypt && CountCrc && IsCipherType(ArcType) && Count > 0)
    EncryptBuffer(Buffer, static_cast<size_t>(Count));
  return WriteBlock(Stream, Buffer, Count, CountCrc, CrcKind);
}

int32_t TZipCommon::WriteDecryptBlock(TStream32& Stream, void* Buffer, int32_t Count,
                                      bool CountCrc, int CrcKind, bool Crypt) {
  if (Crypt && CountCrc && IsCipherType(ArcType) && Count > 0)
    DecryptBuffer(Buffer, static_cast<size_t>(Count));
  return WriteBlock(Stream, Buffer, Count, CountCrc, CrcKind);
}

std::string TZipCommon::GetNextVolumeName(const std::string& Name, int Index) {
  if (Name.empty() || Index < 0) return {};
  if (ArcType != atRar && ArcType != atRarExe) return Name;
  if (!text::EndsWithText(Name, ".rar")) return Name;
  std::string stem = Name.substr(0, Name.size() - 4);
  size_t slash = stem.find_last_of('/');
  size_t dot = stem.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return Name;
  std::string ext = stem.substr(dot);  // ".partN"
  if (ext.size() < 6 || ext.size() > 8 || !text::StartsWithText(ext, ".part")) return Name;
  std::string digits = ext.substr(5);
  for (char c : digits)
    if (c < '0' || c > '9') return Name;
  std::string number = std::to_string(Index + 2);
  if (number.size() < digits.size()) number.insert(0, digits.size() - number.size(), '0');
  return stem.substr(0, dot) + ext.substr(0, 5) + number + ".rar";
}

int32_t TZipCommon::ReadBlock(TStream32& Stream, void* Buffer, int32_t Count, int CrcKind,
                              bool Decode) {
  if (Count <= 0) return 0;
  int64_t read = Stream.Read(Buffer, Count);
  if (read <= 0) return 0;
  const int32_t got = static_cast<int32_t>(read);
  DecodeBlock(Decode, Buffer, got);
  UpdateRunningCrc(Buffer, static_cast<size_t>(got), CrcKind);
  return got;
}

void TZipCommon::ClearNameList() { NameList.clear(); }

std::string TZipCommon::ResolveFileName(const std::string& Name) {
  return OemToAnsiName(Name, TranslateOemChar);
}

void TZipCommon::DecodeBlock(bool Decode, void* Buffer, int32_t Count) {
  if (!Decode || Count <= 0) return;
  auto* bytes = static_cast<uint8_t*>(Buffer);
  if (ArcType == atArj || ArcType == atArjExe) {
    if (Password.empty()) return;
    // The password cycles over the block, starting again at its first byte after its last.
    for (int32_t i = 0; i < Count; ++i)
      bytes[i] ^= static_cast<uint8_t>(Password[static_cast<size_t>(i) % Password.size()]);
  } else if (IsCipherType(ArcType)) {
    DecryptBuffer(Buffer, static_cast<size_t>(Count));
  }
}

int TZipCommon::PostProcessArchive(const std::string& /*Name*/) { return 0; }

void TZipCommon::RaiseError(const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string& VolumeID, int ECode) {
  timer_.Pause();
  if (GetCancel()) ECode = kErrUserCanceled;
  if (OnError) OnError(this, FileName, ExtendedMsg, VolumeID, ECode);
  if (!GetCancel()) throw E_RAISE(std::string(LoadErrorText(ECode)));
  timer_.Resume();
}

void TZipCommon::ReportError(const std::string& FileName, const std::string& ExtendedMsg,
                             const std::string& VolumeID, int ECode) {
  timer_.Pause();
  if (GetCancel()) ECode = kErrUserCanceled;
  if (OnError) OnError(this, FileName, ExtendedMsg, VolumeID, ECode);
  timer_.Resume();
}

void TZipCommon::RequireEvent(bool assigned, const std::string& eventName) {
  if (!assigned) RaiseError(ArcFile, eventName, "0", kErrRequiredEventNotAssigned);
}

int32_t TZipCommon::WriteBlock(TStream32& Stream, const void* Buffer, int32_t Count,
                               bool CountCrc, int CrcKind) {
  if (Count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(Buffer);
  int32_t written = 0;
  int lastError = 0;

  auto put = [&](const uint8_t* data, int32_t n) -> bool {
    if (n <= 0) return true;
    int32_t done;
    if (OutputMode == kOutputToMemory) {
      size_t room = OutputBlock && OutputBlockOffset < OutputBlockSize
                        ? OutputBlockSize - OutputBlockOffset
                        : 0;
      done = static_cast<int32_t>(std::min<size_t>(room, static_cast<size_t>(n)));
      if (done > 0) std::memcpy(OutputBlock + OutputBlockOffset, data, static_cast<size_t>(done));
      OutputBlockOffset += static_cast<size_t>(done);
    } else {
      errno = 0;
      int64_t wrote = Stream.Write(data, n);
      done = wrote < 0 ? 0 : static_cast<int32_t>(wrote);
      if (done < n) lastError = errno;
    }
    if (CountCrc && done > 0) UpdateRunningCrc(data, static_cast<size_t>(done), CrcKind);
    return done == n;
  };

  bool ok = true;
  if (TextMode) {
    // Every LF not preceded by CR goes out as CR LF; the caller's count is what is returned.
    static const uint8_t kCr = '\r';
    int32_t from = 0;
    for (int32_t i = 0; i < Count && ok; ++i) {
      if (bytes[i] == '\n' && (i == 0 ? true : bytes[i - 1] != '\r')) {
        ok = put(bytes + from, i - from) && put(&kCr, 1);
        from = i;
      }
    }
    if (ok) ok = put(bytes + from, Count - from);
    written = ok ? Count : 0;
  } else {
    int32_t before = static_cast<int32_t>(OutputBlockOffset);
    ok = put(bytes, Count);
    if (ok) {
      written = Count;
    } else if (OutputMode == kOutputToMemory) {
      written = static_cast<int32_t>(OutputBlockOffset) - before;
    }
  }
  if (!ok) {
    if (lastError == ENOSPC || lastError == EDQUOT) {
      ProcessedCount = 0;
      RaiseError(ArcFile, CurrentFile, "0", kErrDiskFull);
    } else {
      if (ProcessedCount > 0) --ProcessedCount;
      ReportError(ArcFile, CurrentFile, "0", kErrErrorWritingToFile);
    }
  }
  return written;
}

std::string TZipCommon::ReadName(TStream32& Stream, int Len) {
  if (Len <= 0) return {};
  if (Len > 255) Len = 255;
  std::string name(static_cast<size_t>(Len), '\0');
  int64_t got = Stream.Read(name.data(), Len);
  name.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return name;
}

bool TZipCommon::ReadExtraField(TStream32& Stream, int Size, void* Data, int Kind) {
  bool found = false;
  int left = Size;
  while (left >= 4) {
    uint8_t head[4];
    if (Stream.Read(head, 4) != 4) return found;
    left -= 4;
    int id = head[0] | (head[1] << 8);
    int size = head[2] | (head[3] << 8);
    if (size > left) {
      Stream.Seek(left, soFromCurrent);
      return found;
    }
    int want = Kind == 0 ? 4 : 6;
    if (id == 100 && size >= want) {
      if (Stream.Read(Data, want) != want) return found;
      found = true;
      if (size > want) Stream.Seek(size - want, soFromCurrent);
    } else if (size > 0) {
      Stream.Seek(size, soFromCurrent);
    }
    left -= size;
  }
  if (left > 0) Stream.Seek(left, soFromCurrent);
  return found;
}

std::string TZipCommon::GetTempFileName(const std::string& Dir) {
  std::string dir = !Dir.empty() && DirExists(Dir) ? Dir : TempPath();
  if (dir.empty()) dir = "/tmp/";
  ForceDirectories(dir);
  std::string pattern = AppendDirTail(dir) + "pakXXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());
  if (fd < 0) return {};
  close(fd);
  return std::string(buf.data());
}

uint32_t TZipCommon::GetFileDate(uint32_t Date) {
  switch (DateAttribute) {
    case daFileDate: return Date;
    case daSysDate: return FileTimeToDos(static_cast<int64_t>(std::time(nullptr)));
    case daMaxFileDate: return MaxFileDate;
  }
  return Date;
}

std::string TZipCommon::TempDir() {
  if (!tempDir_.empty() && DirExists(tempDir_)) return tempDir_;
  tempDir_ = TempPath();
  return tempDir_;
}

void TZipCommon::SetTempDir(const std::string& Dir) {
  if (Loading) {
    tempDir_ = Dir;
    return;
  }
  std::string value = Dir;
  if (value.empty()) value = TempPath();
  if (!DirExists(value)) {
    std::string question =
        value + "\r\r" + std::string(LoadErrorText(kErrDirectoryDoesNotExistCreate));
    if (ConfirmHook && ConfirmHook(question))
      CreateDirPath(value);
    else
      value.clear();
  }
  if (value.empty() || !DirExists(value)) value = TempPath();
  tempDir_ = value;
}

void TZipCommon::SetAttribute(TpakvoFileAttr Attr, bool On) {
  if (On)
    Attributes.Include(Attr);
  else
    Attributes.Exclude(Attr);
}

void TZipCommon::SetAttributeEx(TpakvoFileAttr Attr, bool On) {
  if (On)
    AttributesEx.Include(Attr);
  else
    AttributesEx.Exclude(Attr);
}

void TZipCommon::DoProgress(int64_t Done, int64_t FileSize, int64_t FileDone) {
  ProgressByFile = static_cast<uint8_t>(Percent(FileSize, FileDone));
  ProgressByArchive = static_cast<uint8_t>(Percent(BytesTotal, Done));
  if (ProgressHook) ProgressHook(ProgressByFile, ProgressByArchive);
}

void TZipCommon::Progress(uint8_t byFile, uint8_t byArchive) {
  if (ProcessMessages) ProcessMessages();
  if (OnProgress) OnProgress(this, byFile, byArchive);
}

void TZipCommon::TmpFileMoveBegin(const std::string& archive, const std::string& tempFile) {
  if (OnTmpFileMoveBegin) OnTmpFileMoveBegin(this, archive, tempFile);
}

void TZipCommon::TmpFileMoveEnd() {
  if (OnTmpFileMoveEnd) OnTmpFileMoveEnd(this);
}

void TZipCommon::TmpFileProgress(TStream32* sender) {
  if (!sender || !OnTmpFileProgress) return;
  int64_t position = sender->GetPosition();
  ProgressByFile = static_cast<uint8_t>(Percent(BytesTotal, position));
  ProgressByArchive = ProgressByFile;
  if (ProcessMessages) ProcessMessages();
  OnTmpFileProgress(this, ProgressByFile, ProgressByArchive);
}

void TZipCommon::SetProgressTotals(int64_t total) {
  BytesTotal = total;
  BytesLeft = total;
  BytesDone = 0;
}

void TZipCommon::RaiseWriteError() { RaiseError(ArcFile, CurrentFile, "0", kErrErrorWritingToFile); }

uint32_t TZipCommon::AttrToHostAttr(TpakvoFileAttrs Attrs) {
  uint32_t bits = 0;
  if (Attrs.Contains(fsReadOnly)) bits |= 0x1;
  if (Attrs.Contains(fsHidden)) bits |= 0x2;
  if (Attrs.Contains(fsSysFile)) bits |= 0x4;
  if (Attrs.Contains(fsVolumeID)) bits |= 0x8;
  if (Attrs.Contains(fsDirectory)) bits |= 0x10;
  if (Attrs.Contains(fsArchive)) bits |= 0x20;
  if (Attrs.Contains(fsCompressed)) bits |= 0x800;
  if (Attrs.Contains(fsEncrypted)) bits |= 0x4000;
  return bits;
}

std::string TZipCommon::GetCompressMethodName(int Method, int Level) {
  const bool isDir = (ExternalAttr & 0x10) != 0 || (FileAttr & 0x10) != 0;
  const char* name = nullptr;
  switch (ArcType) {
    case atAce:
    case atAceExe: {
      static const char* const k[] = {"Fastest", "Fast", "Normal", "Good", "Best"};
      name = Pick(k, 5, Method);
      break;
    }
    case atArc:
    case atArcExe: {
      if (isDir) return "<Dir>";
      static const char* const k[] = {"Stored",  "Stored", "Packed", "Squeezed",
                                      "Crunched", "Crunched", "Squashed", "Pack10",
                                      "Pack11",  "Pack12", "Stored"};
      name = Pick(k, 11, Method - 1);
      break;
    }
    case atArj:
    case atArjExe: {
      if (Level == 3) return "<Dir>";
      static const char* const k[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
      name = Pick(k, 5, Method);
      break;
    }
    case atBh:
    case atBhExe: {
      static const char* const k[] = {"Stored", "Fused1", "Deflate", "Fused3"};
      if (Method == 8) return std::string(DeflateMethodName(8, Level));
      name = Pick(k, 4, Method);
      break;
    }
    case atCab:
    case atCabExe: {
      static const char* const k[] = {"Stored", "MsZIP", "Quantum", "Lzx"};
      int kind = Method & 0x0F;
      if (kind > 3) return "Lzx" + std::to_string(kind);
      name = k[kind];
      break;
    }
    case atGZip:
      if (Method == 0) return "Stored";
      if (Method == 8) return "Deflate";
      if (Method == 144) return "LzwMAGIC";
      if (Level == 0x1E1F) return "PackMAGIC";
      if (Level == 0xA01F) return "LzhMAGIC";
      break;
    case atHA: {
      static const char* const k[] = {"Cpy", "Asc", "HSC"};
      if (Method == 14) return "<Dir>";
      if (Method == 15) return "Special";
      name = Pick(k, 3, Method);
      break;
    }
    case atJar:
    case atJarExe:
    case atZip:
    case atZipExe:
    case atZipDS:
    case atZipMV: {
      if (isDir) return "<Dir>";
      static const char* const k[] = {"Stored",   "Shrunk",   "Reduce-1", "Reduce-2",
                                      "Reduce-3", "Reduce-4", "Imploded", "Tokened"};
      if (Method == 8 || Method == 9) return std::string(DeflateMethodName(Method, Level));
      if (Method == 10) return "DCL-implode";
      name = Pick(k, 8, Method);
      break;
    }
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe: {
      if (Method == 100) return "<Dir>";
      static const char* const k[] = {"Stored",   "Frozen-1", "Frozen-2", "Frozen-3",
                                      "Frozen-4", "Frozen-5", "Frozen-6", "Frozen-7"};
      name = Pick(k, 8, Method - '0');
      break;
    }
    case atPak:
    case atPakExe: {
      static const char* const k[] = {"Stored",   "RLE",     "Squeezed", "FixedLen", "FixedLen",
                                      "FixedLen", "Varible", "Varible",  "Crushed",  "Distill"};
      name = Pick(k, 10, Method - 2);
      break;
    }
    case atRar:
    case atRarExe: {
      if (isDir) return "<Dir>";
      static const char* const k[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};
      name = Pick(k, 6, Method - '0');
      break;
    }
    case atTar:
      if (Method == 0) return "Tarred";
      if (!CurrentFile.empty() && (CurrentFile.back() == '/' || CurrentFile.back() == '\\'))
        return "<Dir>";
      break;
    case atZoo: {
      static const char* const k[] = {"Stored", "Fastest", "Greatest"};
      name = Pick(k, 3, Method);
      break;
    }
    default: break;
  }
  return name ? name : "Unsupported";
}

