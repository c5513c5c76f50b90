// The archive lister (see pakvoPakvo.h).
#include "archive/pakvoPakvo.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "archive/pakvoErrors.h"
#include "archive/pakvoGbls.h"
#include "common/Text.h"
#include "platform/files/Volumes.h"

namespace {

bool FileExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t FileSize(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

std::string LowerExt(const std::string& name) {
  return text::Lower(std::filesystem::path(name).extension().string());
}

// The extension of a numbered volume: a letter and at least two digits (".z01", ".r00").
std::string VolumeExt(char letter, int number) {
  char ext[16];
  std::snprintf(ext, sizeof ext, ".%c%02d", letter, number);
  return ext;
}

// N of a RAR volume named "name.partN.rar" (up to nine digits); -1 for any other name.
int RarPartNumber(const std::string& name) {
  if (!text::EndsWithText(name, ".rar")) return -1;
  const std::string stem = name.substr(0, name.size() - 4);
  size_t digits = 0;
  while (digits < stem.size() &&
         std::isdigit(static_cast<unsigned char>(stem[stem.size() - 1 - digits])))
    ++digits;
  if (digits == 0 || digits > 9 || stem.size() < digits + 5 ||
      !text::EndsWithText(stem.substr(0, stem.size() - digits), ".part"))
    return -1;
  return std::stoi(stem.substr(stem.size() - digits));
}

// The number of the digits of a numbered volume extension (".a02" is 2); -1 for another name.
int VolumeExtNumber(const std::string& ext, char letter) {
  if (ext.size() < 3 || ext[1] != letter || ext.size() > 6) return -1;
  for (size_t i = 2; i < ext.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(ext[i]))) return -1;
  return std::stoi(ext.substr(2));
}

// Where a volume stands in its set, counted from 0 for the first volume: the count of volumes
// walked starts there, so that a set opened at a later volume goes on with the one after it.
int OpenedVolumeIndex(THeaderFamily family, const std::string& name) {
  const std::string ext = LowerExt(name);
  switch (family) {
    case hfArj: return std::max(0, VolumeExtNumber(ext, 'a'));  // .arj, .a01, .a02 ...
    case hfAce: return VolumeExtNumber(ext, 'c') + 1;           // .ace, .c00, .c01 ...
    case hfRar:
      if (ext != ".rar") return VolumeExtNumber(ext, 'r') + 1;  // .rar, .r00, .r01 ...
      return std::max(0, RarPartNumber(name) - 1);              // .part1.rar, .part2.rar ...
    default: return 0;
  }
}

// The file name of a directory entry loses its trailing separator.
std::string WithoutDirTail(std::string name) {
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  return name;
}

}  // namespace

TPakvo::TPakvo() {
  SetZipCmntBufSize(32000);
  ShowEmptyDirs = false;
  RecurseDirs = true;
}

TPakvo::~TPakvo() = default;

THeaderFamily TPakvo::FamilyOf(TArcType type) const {
  switch (type) {
    case atAce:
    case atAceExe: return hfAce;
    case atArc:
    case atArcExe:
    case atPak:
    case atPakExe: return hfArc;
    case atArj:
    case atArjExe: return hfArj;
    case atCab:
    case atCabExe: return hfCab;
    case atGZip: return hfGZip;
    case atHA: return hfHA;
    case atLha:
    case atLhaExe:
    case atLzh:
    case atLzhExe: return hfLha;
    case atRar:
    case atRarExe: return hfRar;
    case atTar: return hfTar;
    case atUUE: return hfUUE;
    case atJar:
    case atJarExe:
    case atZip:
    case atZipExe:
    case atZipDS:
    case atZipMV: return hfZip;
    case atZoo: return hfZoo;
    default: return hfNone;
  }
}

bool TPakvo::GetFileList(std::vector<std::string>* Strings) {
  if (Strings == nullptr) return false;
  const int savedMode = listMode_;
  std::vector<std::string>* savedTarget = target_;
  listMode_ = 1;
  target_ = Strings;
  bool ok = ListReading();
  if (!ok) Strings->clear();
  listMode_ = savedMode;
  target_ = savedTarget;
  return ok;
}

bool TPakvo::ListReading() {
  if (ArcFile.empty() || !IsKnownArcType(ArcType)) return false;
  // Our do-nothing handlers stand in for the caller's six while the list is read.
  TNotifyEvent readBegin = OnReadBegin, readEnd = OnReadEnd, activate = OnActivate,
               deactivate = OnDeactivate;
  TOnRead read = OnRead;
  TOnTotals totals = OnTotals;
  const int64_t firstOffset = firstHeaderOffset_;
  auto handlers = std::make_unique<TPakvo_EventHandlers>();
  TPakvo_EventHandlers* h = handlers.get();
  OnReadBegin = [h](TObject* s) { h->ReadBegin(s); };
  OnReadEnd = [h](TObject* s) { h->ReadEnd(s); };
  OnActivate = [h](TObject* s) { h->Activate(s); };
  OnDeactivate = [h](TObject* s) { h->Deactivate(s); };
  OnRead = [h](TObject* s, int o, int n) { h->Read(s, o, n); };
  OnTotals = [h](TObject* s, int64_t u, int64_t p, int r, int n) { h->Totals(s, u, p, r, n); };
  bool result = false;
  try {
    result = Activate();
  } catch (...) {
    result = false;
  }
  OnReadBegin = readBegin;
  OnReadEnd = readEnd;
  OnActivate = activate;
  OnDeactivate = deactivate;
  OnRead = read;
  OnTotals = totals;
  firstHeaderOffset_ = firstOffset;
  return result;
}

bool TPakvo::Activate() {
  if (busy_) return false;
  busy_ = true;
  struct NotBusy {
    TPakvo* self;
    ~NotBusy() {
      self->busy_ = false;
      // A walk over further volumes leaves the bound name as it was, even when it was cut short.
      if (!self->volumes_.empty()) self->ArcFile = self->ArchiveBaseName;
      self->volumes_.clear();
    }
  } notBusy{this};
  *CancelPointer() = false;
  ArchiveBaseName = ArcFile;
  totalPacked_ = totalUnpacked_ = 0;
  totalFiles_ = 0;
  handed_ = 0;
  volumeIndex_ = 0;
  ExcludeList.clear();
  readType_ = ArcType;

  if (FileExists(ArcFile)) RequireEvent(static_cast<bool>(OnRead), "OnRead");
  if (!FileExists(ArcFile)) {
    RaiseError(ArcFile, "", "0", kErrFileNotFound);
    // Reached only when the error was cancelled: an ARJ or cabinet volume may be asked for.
    if (readType_ != atArj && readType_ != atCab && readType_ != atCabExe) return true;
    *CancelPointer() = false;
    std::string name = ArcFile;
    if (!RequestVolume(name, 0)) return true;
    ArcFile = name;
  }
  ReadArchive();
  return true;
}

void TPakvo::ReadArchive() {
  family_ = FamilyOf(readType_);
  if (family_ == hfNone) {
    // BH and MsGZ have no reader: say so rather than list nothing in silence.
    if (readType_ == atBh || readType_ == atBhExe || readType_ == atMsGZ)
      ReportError(ArcFile, "", "0", kErrInvalidArchiveTypeForOperation);
    return;
  }
  if (readType_ == atZip && Offset == 0) {
    TDiskErrorReporter reporter = [this](const std::string& f, const std::string& x,
                                         const std::string& v,
                                         int code) { ReportError(f, x, v, code); };
    if (!DiskManager().GetDriveInfo(ArcFile, reporter, OnDiskWriteProtectErr, OnDiskInDrvErr,
                                    nullptr))
      return;
    if (DiskManager().DriveType == platform::files::dkRemovable) readType_ = atZipDS;
  }
  // A set spanned over removable disks: the directory is on the last disk.
  if (readType_ == atZipDS && !RequestLastDisk()) return;
  auto opened = TPakvoFileSource::Open(ArcFile);
  if (!opened) {
    ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
    return;
  }
  TPakvoByteSource* source = opened.get();
  if (OnActivate) OnActivate(this);
  if (OnElapsedTime) Timer().Start();

  THeaderContext ctx;
  ctx.ArchiveStart = Offset > 0 ? Offset : 0;
  ctx.ArchiveFileName = ArcFile;
  ctx.ArchiveDosDate = ArcDate;
  zipLocalWalk_ = false;
  zipLocalMissing_ = false;
  zipVolumeNames_.clear();
  bool go = true;
  std::unique_ptr<TPakvoVolumeSet> zipSet;
  if (family_ == hfZip) {
    TZipEndInfo end = FindZipEnd(*source);
    if (readType_ == atZipMV || (readType_ != atZipDS && end.Found && end.ThisDisk > 0)) {
      zipSet = OpenZipSet(*source, ctx);
      if (!zipSet) go = false;
      if (zipSet) {
        source = zipSet.get();
        end = FindZipEnd(*source, ctx.ZipDiskStarts);
      }
    }
    if (go) {
      THeaderTypeState state = 0;
      if (end.Found) state |= HeaderTypeBit(htEnding);
      if (end.CentralFound) state |= HeaderTypeBit(htCentral);
      if (end.LocalFound) state |= HeaderTypeBit(htLocal);
      if ((!end.Found || !end.CentralFound) && !end.Empty) {
        if (OnCorruptZipHeader) {
          bool cancel = true;
          OnCorruptZipHeader(this, state, cancel);
          if (cancel) go = false;
        } else {
          ReportError(ArcFile, "OnCorruptZipHeader", "0", kErrRequiredEventNotAssigned);
        }
        zipLocalWalk_ = true;
      }
      zipLocalMissing_ = !zipLocalWalk_ && !(state & HeaderTypeBit(htLocal)) &&
                         readType_ != atZipMV && readType_ != atZipDS && zipSet == nullptr;
      ctx.ZipWalkLocal = zipLocalWalk_;
    }
  }

  if (go && !GetCancel()) {
    auto reader = MakeHeaderReader(family_, *source, ctx);
    volumeIndex_ = OpenedVolumeIndex(family_, ArcFile);
    THeaderWalkHooks hooks;
    hooks.OnFirstHeader = [this](int64_t offset) { firstHeaderOffset_ = offset; };
    hooks.Cancelled = [this] { return GetCancel(); };
    hooks.OnEntry = [this](const TPakvoEntry& e, int64_t off) { return EntryFound(e, off); };
    hooks.OnNextVolume = [this]() -> TPakvoByteSource* {
      std::string name = ProposedNextVolume(ArcFile, volumeIndex_);
      if (!RequestVolume(name, volumeIndex_ + 1)) return nullptr;
      if (name == ArcFile) {  // the same volume again would walk it forever
        ReportError(name, "", std::to_string(volumeIndex_), kErrBrokenMultiVolumeChain);
        return nullptr;
      }
      auto next = TPakvoFileSource::Open(name);
      if (!next) {
        ReportError(name, "", std::to_string(volumeIndex_), kErrErrorOpeningFile);
        return nullptr;
      }
      ArcFile = name;
      volumes_.push_back(std::move(next));
      return volumes_.back().get();
    };
    int rc = WalkHeaders(*reader, *source, hooks);
    if (rc != 0 && !GetCancel()) ReportError(ArcFile, CurrentFile, "0", rc);
  }

  if (OnElapsedTime) Timer().Stop();
  if (!volumes_.empty()) ArcFile = ArchiveBaseName;
  if (OnTotals)
    OnTotals(this, totalUnpacked_, totalPacked_, CompressionRatio(totalUnpacked_, totalPacked_),
             totalFiles_);
  if (OnDeactivate) OnDeactivate(this);
  if (OnElapsedTime) OnElapsedTime(this, Timer().ElapsedTime());
}

std::unique_ptr<TPakvoVolumeSet> TPakvo::OpenZipSet(TPakvoByteSource& opened, THeaderContext& ctx) {
  // The last segment carries the archive's own name and the end record; the others are .z01 ...
  std::string last = ArcFile;
  if (LowerExt(ArcFile) != ".zip") {
    last = ChangeExt(ArcFile, ".zip");
    if (!FileExists(last) && !RequestVolume(last, 0)) return nullptr;
  }
  TZipEndInfo end;
  if (last == ArcFile) {
    end = FindZipEnd(opened);
  } else if (auto src = TPakvoFileSource::Open(last)) {
    end = FindZipEnd(*src);
  }
  if (!end.Found) {
    ReportError(last, "", "0", kErrBadFileHeader);
    return nullptr;
  }
  const int count = static_cast<int>(end.ThisDisk) + 1;
  if (count > 999) {
    ReportError(last, "", std::to_string(count), kErrMaximumVolumes999);
    return nullptr;
  }
  zipVolumeNames_.clear();
  std::vector<int64_t> sizes;
  for (int i = 0; i < count; ++i) {
    std::string name = last;
    if (i + 1 < count) name = ChangeExt(last, VolumeExt('z', i + 1));
    if (!FileExists(name) && !RequestVolume(name, i)) return nullptr;
    zipVolumeNames_.push_back(name);
    sizes.push_back(FileSize(name));
  }
  auto names = zipVolumeNames_;
  auto set = std::make_unique<TPakvoVolumeSet>(
      sizes, [names](size_t i) -> std::unique_ptr<TPakvoByteSource> {
        return TPakvoFileSource::Open(names[i]);
      });
  ctx.ZipDiskStarts.clear();
  for (int i = 0; i < count; ++i)
    ctx.ZipDiskStarts.push_back(set->VolumeStart(static_cast<size_t>(i)));
  ctx.ArchiveStart = 0;
  readType_ = atZipMV;
  return set;
}

bool TPakvo::RequestLastDisk() {
  if (!OnGetZipLastDisk) {
    ReportError(ArcFile, "OnGetZipLastDisk", "0", kErrRequiredEventNotAssigned);
    *CancelPointer() = true;
    return false;
  }
  const std::string name = ArchiveBaseName;
  ArcType = atNA;
  ZipFlags = 0;
  SetArcFile(name);
  while (!(ZipFlags & 4)) {  // until the disk in the drive holds the end record
    bool cancel = true;
    OnGetZipLastDisk(this, cancel);
    if (cancel) {
      *CancelPointer() = true;
      return false;
    }
    SetArcFile(name);
  }
  return IsKnownArcType(ArcType);
}

std::string TPakvo::ProposedNextVolume(const std::string& current, int index) const {
  std::string ext = LowerExt(current);
  switch (family_) {
    case hfArj:  // name.arj, name.a01, name.a02 ...
      return ChangeExt(current, VolumeExt('a', index + 1));
    case hfAce:  // name.ace, name.c00, name.c01 ...
      return ChangeExt(current, VolumeExt('c', index));
    case hfRar: {
      if (ext != ".rar") {  // name.rar, name.r00, name.r01 ...
        return ChangeExt(current, VolumeExt('r', index));
      }
      std::string next = const_cast<TPakvo*>(this)->GetNextVolumeName(current, index);
      if (next != current) return next;
      // name.partN.rar with more digits than the volume routine takes (RAR writes four).
      if (RarPartNumber(current) >= 0) {
        std::string stem = current.substr(0, current.size() - 4);
        size_t digits = 0;
        while (std::isdigit(static_cast<unsigned char>(stem[stem.size() - 1 - digits]))) ++digits;
        std::string number = std::to_string(index + 2);
        if (number.size() < digits) number.insert(0, digits - number.size(), '0');
        return stem.substr(0, stem.size() - digits) + number + ".rar";
      }
      return ChangeExt(current, VolumeExt('r', index));
    }
    default: return current;
  }
}

bool TPakvo::RequestVolume(std::string& name, int index) {
  const std::string id = std::to_string(index);
  if (index > 999) {
    ReportError(name, "", id, kErrMaximumVolumes999);
    return false;
  }
  if (name.empty()) {
    ReportError(name, "", id, kErrInvalidFileName);
    return false;
  }
  if (!OnNextVolume) {
    ReportError(name, "OnNextVolume", id, kErrRequiredEventNotAssigned);
    return false;
  }
  if (std::filesystem::path(name).parent_path().empty()) {
    std::filesystem::path dir = std::filesystem::path(ArchiveBaseName).parent_path();
    if (!dir.empty()) name = (dir / name).string();
  }
  bool exists = FileExists(name);
  do {
    bool cancel = true;
    OnNextVolume(this, name, id, exists, cancel);
    if (cancel) {
      SetCancel(true);
      return false;
    }
    exists = FileExists(name);
  } while (!exists);
  ++volumeIndex_;
  return true;
}

bool TPakvo::MatchesSpec(const std::string& name) const {
  if (FileSpec.empty()) return true;
  const size_t cut = name.find_last_of("/\\");
  const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
  for (const std::string& mask : FileSpec) {
    if (mask == "*.*" && (RecurseDirs || cut == std::string::npos)) return true;  // every name, as the scan and extraction take it
    if (mask.find_first_of("/\\") != std::string::npos) {
      if (MatchesMask(name, mask)) return true;
    } else if (RecurseDirs || cut == std::string::npos) {
      if (MatchesMask(base, mask)) return true;
    }
  }
  return false;
}

bool TPakvo::EntryFound(const TPakvoEntry& e, int64_t headerOffset) {
  (void)headerOffset;
  CurrentFile = OemToAnsiName(e.StoredName, TranslateOemChar && !e.NameIsUtf8);
  if (OnReadFile) OnReadFile(this, CurrentFile);
  if (GetCancel()) return false;
  if (zipLocalMissing_) ReportError(ArcFile, CurrentFile, "0", kErrBadFileHeader);
  std::string forMatch = e.IsDir ? WithoutDirTail(CurrentFile) : CurrentFile;
  if (!MatchesSpec(forMatch)) return !GetCancel();
  if (e.IsDir && !(zipLocalWalk_ && family_ == hfZip)) {
    if (ShowEmptyDirs) HandOver(e);
    return !GetCancel();
  }
  ++totalFiles_;
  // Declared sizes may be anything up to the top of the range: the totals stop there.
  auto addSize = [](int64_t& total, int64_t size) {
    constexpr int64_t kTop = std::numeric_limits<int64_t>::max();
    if (size > 0) total = size > kTop - total ? kTop : total + size;
  };
  addSize(totalPacked_, e.PackedSize);
  addSize(totalUnpacked_, e.UnpackedSize);
  if (!(family_ == hfAce && e.ContinuedFromPrevious)) HandOver(e);
  return !GetCancel();
}

void TPakvo::HandOver(const TPakvoEntry& e) {
  if (ProcessMessages) ProcessMessages();
  if (GetCancel()) return;
  ++handed_;
  if (listMode_ == 1) {
    if (target_) target_->push_back(CurrentFile);
    return;
  }
  if (!OnRead) return;
  try {
    switch (e.DateKind) {
      case edkDos: EntryDate = ConvertDate(e.DosDate); break;
      case edkUnix: EntryDate = UnixToDateTime(e.UnixTime); break;
      case edkArchiveDate: EntryDate = ConvertDate(ArcDate); break;
    }
  } catch (const E_RAISE&) {
    EntryDate = ConvertDate(0);  // an impossible stored time: one bad stamp must not end the list
  }
  VersionMadeBy = e.VersionMadeBy;
  VersionNeeded = e.VersionNeeded;
  PackedSize = e.PackedSize;
  UnpackedSize = e.UnpackedSize;
  EntryCrc = e.Crc;
  Encrypted = e.Encrypted;
  CompressMethod = e.Method;
  FileAttr = e.Attr16;
  ExternalAttr = e.Attr32;
  if (e.IsDir && family_ != hfZip) FileAttr |= 0x10;
  int level = 0;
  if (family_ == hfZip) level = e.MethodFlags & 6;
  if (family_ == hfArj) level = e.IsDir ? 3 : 0;
  if (family_ == hfGZip) level = e.MethodFlags;  // the file's magic word
  CompressMethodName = e.HasMethodName ? GetCompressMethodName(e.Method, level) : std::string();
  Ratio = CompressionRatio(UnpackedSize, PackedSize);
  VolumeName.clear();
  if (readType_ == atZipDS) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "PKBACK# %.3u", e.DiskNumberStart + 1);
    VolumeName = buf;
  } else if (readType_ == atZipMV && e.DiskNumberStart < zipVolumeNames_.size()) {
    VolumeName = zipVolumeNames_[e.DiskNumberStart];
  }
  if ((FileAttr & 0x10) || (family_ == hfZip && (ExternalAttr & 0x10)) || e.IsDir)
    CurrentFile = WithoutDirTail(CurrentFile);
  if (OnReadBegin) OnReadBegin(this);
  const int offset =
      static_cast<int>(std::min<int64_t>(e.HeaderOffset, std::numeric_limits<int32_t>::max()));
  OnRead(this, offset, handed_);
  if (OnReadEnd) OnReadEnd(this);
}
