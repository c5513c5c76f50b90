#include "archive/pakvoUnZip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoInflate.h"
#include "archive/pakvoLegacy.h"
#include "archive/pakvoSpan.h"

namespace {

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kLargeEndSig = 0x06055B50;
constexpr uint32_t kSpanMarker = 0x08074B50;
constexpr size_t kBlock = 32768;
// The end record is searched in the last 64 KB and a bit: room for the longest archive comment.
constexpr int64_t kEndSearchWindow = 65536 + 26;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint64_t Get64(const uint8_t* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }

// The words of the library's extra block 100 (bits 32-47 of the sizes and of the offset).
struct TBlock100 {
  uint16_t PackedHigh = 0;
  uint16_t UnpackedHigh = 0;
  uint16_t OffsetHigh = 0;
};

// Walks the extra-field blocks; block 100 carries 4 data bytes in a local header, 6 in a central
// record. A block running past the field ends the walk.
TBlock100 ExtraBlock100(const std::string& extra, bool central) {
  TBlock100 b;
  const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    uint16_t id = Get16(p + pos);
    uint16_t size = Get16(p + pos + 2);
    pos += 4;
    if (size > extra.size() - pos) {
      break;
    }
    if (id == 100 && size >= (central ? 6 : 4)) {
      b.PackedHigh = Get16(p + pos);
      b.UnpackedHigh = Get16(p + pos + 2);
      if (central) {
        b.OffsetHigh = Get16(p + pos + 4);
      }
    }
    pos += size;
  }
  return b;
}

bool IsMultiVolume(TArcType t) { return t == atZipMV || t == atZipDS; }

bool IsZipFamily(TArcType t) {
  return t == atZip || t == atZipExe || t == atJar || t == atJarExe || IsMultiVolume(t);
}

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// One volume file opened read-only.
class TZipVolumeInput {
 public:
  ~TZipVolumeInput() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    struct stat st {};
    size_ = ::fstat(fd_, &st) == 0 ? st.st_size : 0;
    return true;
  }
  int64_t Size() const { return size_; }
  size_t ReadAt(int64_t pos, void* buffer, size_t count) const {
    if (pos < 0 || pos >= size_) return 0;
    size_t total = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (total < count) {
      ssize_t n = ::pread(fd_, out + total, count - total, pos + static_cast<int64_t>(total));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    return total;
  }
  int Disk = 0;
  int64_t Pos = 0;

 private:
  int fd_ = -1;
  int64_t size_ = 0;
};

// Feeds a legacy decoder from the entry's compressed bytes and takes its output.
class TUnZipLegacyHost : public TLegacyHost {
 public:
  explicit TUnZipLegacyHost(TUnZip& owner) : owner_(owner) {}
  size_t LegacyRead(uint8_t* buffer, size_t count) override {
    return owner_.ReadEntryData(buffer, count);
  }
  bool LegacyWrite(const uint8_t* buffer, size_t count) override {
    return owner_.WriteOutput(buffer, count);
  }
  bool LegacyCancelled() override { return owner_.GetCancel(); }
  void LegacyProgress(uint64_t block) override { owner_.ExtractProgress(block); }
  void LegacyRaise(int code) override { owner_.RaiseError(owner_.CurrentFile, "", "0", code); }
  void LegacyReport(int code) override { owner_.ReportError(owner_.CurrentFile, "", "0", code); }

 private:
  TUnZip& owner_;
};

TUnZip::TUnZip() : spann_(std::make_unique<TDiskSpannObj>()) {}
TUnZip::~TUnZip() = default;

void TUnZip::SetArcFile(const std::string& name) {
  TUnBase::SetArcFile(name);
  Detect();
}

void TUnZip::Detect() {
  const TArcType detected = ArcType;
  HeaderTypeState = 0;
  Offset = 0;
  end_ = {};
  lastDisk_ = 0;
  firstLocal_ = 0;
  if (ArcFile.empty()) {
    ArcType = atNA;
    return;
  }
  TZipVolumeInput in;
  if (!in.Open(ArcFile)) {
    ArcType = atFileOpenErr;
    return;
  }
  const int64_t size = in.Size();
  uint8_t head[4] = {};
  auto sigAt = [&](int64_t pos) -> uint32_t {
    uint8_t b[4];
    return in.ReadAt(pos, b, 4) == 4 ? Get32(b) : 0;
  };

  // The end record: the last signature in the final 64 KB whose record fits in the file.
  int64_t windowStart = std::max<int64_t>(0, size - kEndSearchWindow);
  std::string window(static_cast<size_t>(size - windowStart), '\0');
  window.resize(in.ReadAt(windowStart, window.data(), window.size()));
  const auto* w = reinterpret_cast<const uint8_t*>(window.data());
  for (int64_t i = static_cast<int64_t>(window.size()) - 22; i >= 0; --i) {
    uint32_t sig = Get32(w + i);
    if (sig == kEndSig) {
      end_.Position = windowStart + i;
      end_.ThisDisk = Get16(w + i + 4);
      end_.CentralDisk = Get16(w + i + 6);
      end_.CentralSize = Get32(w + i + 12);
      end_.CentralOffset = Get32(w + i + 16);
      break;
    }
    if (sig == kLargeEndSig && i + 26 <= static_cast<int64_t>(window.size())) {
      end_.Position = windowStart + i;
      end_.ThisDisk = Get16(w + i + 4);
      end_.CentralDisk = Get16(w + i + 6);
      end_.CentralSize = Get32(w + i + 12);
      end_.CentralOffset = Get64(w + i + 16);
      break;
    }
  }

  if (end_.Position >= 0) {
    const int64_t at = end_.Position - windowStart;
    end_.Empty = Get16(w + at + 10) == 0 && end_.CentralSize == 0;
    HeaderTypeState |= HeaderTypeBit(htEnding);
    lastDisk_ = end_.ThisDisk;
    if (end_.ThisDisk == 0) {
      int64_t cd = static_cast<int64_t>(std::min<uint64_t>(end_.CentralOffset, INT64_MAX / 2));
      if (sigAt(cd) != kCentralSig) {
        // Data in front of the archive: the directory really ends where the end record starts.
        int64_t real = end_.Position - static_cast<int64_t>(end_.CentralSize);
        if (real > cd && sigAt(real) == kCentralSig) {
          Offset = real - cd;
        }
      }
      if (sigAt(cd + Offset) == kCentralSig) {
        HeaderTypeState |= HeaderTypeBit(htCentral);
        uint8_t rec[46];
        if (in.ReadAt(cd + Offset, rec, 46) == 46) {
          int64_t local = static_cast<int64_t>(Get32(rec + 42)) + Offset;
          if (sigAt(local) == kLocalSig) {
            HeaderTypeState |= HeaderTypeBit(htLocal);
            firstLocal_ = local;
          }
        }
      } else if (sigAt(0) == kLocalSig) {
        HeaderTypeState |= HeaderTypeBit(htLocal);
      }
      std::string lower = ArcFile;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      bool jar = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".jar") == 0;
      ArcType = jar ? atJar : (Offset > 0 ? atZipExe : atZip);
    } else {
      // The last volume of a split set, or the last disk of a set spanned over removable disks:
      // its directory names the other volumes' entries.
      HeaderTypeState |= HeaderTypeBit(htCentral);
      ArcType = detected == atZipDS || DriveIsSpanned() ? atZipDS : atZipMV;
    }
    return;
  }

  // No end record: the entries can only be found by walking the local headers.
  int64_t start = in.ReadAt(0, head, 4) == 4 && Get32(head) == kSpanMarker ? 4 : 0;
  if (sigAt(start) == kLocalSig) {
    HeaderTypeState = HeaderTypeBit(htLocal);
    firstLocal_ = start;
    ArcType = atZip;
    return;
  }
  // Not a ZIP: the detected type stands (the extraction refuses it).
  ArcType = IsZipFamily(detected) ? atUnknown : detected;
}

bool TUnZip::Selected(const std::string& name) const {
  if (!MatchFileSpecPath(name, FileSpec, RecurseDirs)) {
    return false;
  }
  // An exclusion mask without a folder excludes the name in every folder.
  return ExcludeSpec.empty() || !MatchFileSpecPath(name, ExcludeSpec, true);
}

std::string TUnZip::ConvertName(const std::string& raw, uint16_t flags, int host) const {
  // General-purpose bit 11 marks a UTF-8 name, which must not be read as code page 437; names
  // written on Unix or macOS are in the writer's (UTF-8) charset, as the lister reads them.
  const bool utf8 = (flags & 0x0800) != 0 || ((host == 3 || host == 19) && IsValidUtf8(raw));
  return OemToAnsiName(raw, TranslateOemChar && !utf8);
}

bool TUnZip::DriveIsSpanned() {
  std::error_code ec;
  const std::string path = std::filesystem::absolute(ArcFile, ec).string();
  auto quiet = [](const std::string&, const std::string&, const std::string&, int) {};
  if (!DiskManager().GetDriveInfo(path, quiet, nullptr, nullptr, nullptr)) {
    return false;
  }
  std::string label = DiskManager().VolumeLabel;
  for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return DiskManager().DriveType == platform::files::dkRemovable && label.rfind("PKBACK#", 0) == 0;
}

bool TUnZip::OpenInput(int disk) { return OpenInputFile(ArcFile, disk); }

bool TUnZip::OpenInputFile(const std::string& name, int disk) {
  auto in = std::make_unique<TZipVolumeInput>();
  if (!in->Open(name)) {
    ReportError(name, "", "0", kErrErrorOpeningFile);
    return false;
  }
  in->Disk = disk;
  input_ = std::move(in);
  return true;
}

bool TUnZip::OpenDisk(int disk, int64_t wantedPosition) {
  if (input_ && input_->Disk == disk) {
    return true;
  }
  int next = spann_->Counter() - 1;  // the disk the next request brings
  if (disk < next) {
    ReportError(ArcFile, "", std::to_string(disk + 1), kErrVolumeIsOutOfSequence);
    StopRun();
    return false;
  }
  for (; next <= disk; ++next) {
    input_.reset();
    if (!spann_->RequestDisk(next == disk ? wantedPosition : -1) || !OpenInput(next)) {
      return false;
    }
  }
  return true;
}

bool TUnZip::OpenVolume(int disk, int64_t wantedPosition) {
  if (input_ && input_->Disk == disk) {
    return true;
  }
  if (ArcType == atZipDS) {
    return OpenDisk(disk, wantedPosition);
  }
  std::string name = disk == lastDisk_
                         ? ArchiveBaseName
                         : GetVolumeName(ArchiveBaseName, ArchiveBaseName, disk, lastDisk_);
  if (input_) {
    // Moving to another volume of the set: the user confirms or names it.
    const std::string volumeId = std::to_string(disk + 1);
    if (disk > 999) {
      ReportError(name, "", volumeId, kErrMaximumVolumes999);
      return false;
    }
    if (!OnNextVolume) {
      ReportError(ArcFile, "OnNextVolume", "0", kErrRequiredEventNotAssigned);
      StopRun();
      return false;
    }
    input_.reset();
    bool exists = FileExists(name);
    do {
      bool cancel = true;
      Timer().Pause();
      OnNextVolume(this, name, volumeId, exists, cancel);
      Timer().Resume();
      if (cancel) {
        ReportError(name, "", volumeId, kErrUserCanceled);
        StopRun();
        return false;
      }
      exists = FileExists(name);
    } while (!exists);
  }
  return OpenInputFile(name, disk);
}

bool TUnZip::Seek(int disk, int64_t position) {
  if (IsMultiVolume(ArcType) && !OpenVolume(disk, position)) {
    return false;
  }
  if (!input_) {
    return false;
  }
  input_->Pos = position;
  return true;
}

size_t TUnZip::ReadData(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  while (total < count && input_) {
    size_t n = input_->ReadAt(input_->Pos, out + total, count - total);
    input_->Pos += static_cast<int64_t>(n);
    total += n;
    if (n == 0) {
      // The end of a volume: a split set goes on at the start of the next one.
      if (!IsMultiVolume(ArcType) || input_->Disk >= lastDisk_ || GetCancel() ||
          !OpenVolume(input_->Disk + 1)) {
        break;
      }
      input_->Pos = 0;
    }
  }
  return total;
}

size_t TUnZip::ReadEntryData(uint8_t* buffer, size_t count) {
  size_t want = static_cast<size_t>(std::min<uint64_t>(count, entryLeft_));
  if (want == 0) {
    return 0;
  }
  size_t n = ReadData(buffer, want);
  if (Encrypted) {
    DecryptBuffer(buffer, n);
  }
  entryLeft_ -= n;
  return n;
}

bool TUnZip::ReadCentralDirectory(std::vector<TZipEntry>& list) {
  const int64_t cdStart = static_cast<int64_t>(end_.CentralOffset) + Offset;
  // The directory cannot start on a volume after the one holding the end record.
  if (IsMultiVolume(ArcType) && end_.CentralDisk > lastDisk_) {
    ReportError(ArcFile, "", "0", kErrBadFileHeader);
    return false;
  }
  if (!Seek(end_.CentralDisk, cdStart)) {
    return false;
  }
  int records = 0;
  std::string name, extra, comment;
  for (;;) {
    if (GetCancel()) {
      break;
    }
    uint8_t rec[46];
    if (ReadData(rec, 46) != 46 || Get32(rec) != kCentralSig) {
      break;
    }
    name.resize(Get16(rec + 28));
    extra.resize(Get16(rec + 30));
    comment.resize(Get16(rec + 32));
    if (ReadData(name.data(), name.size()) != name.size() ||
        ReadData(extra.data(), extra.size()) != extra.size() ||
        ReadData(comment.data(), comment.size()) != comment.size()) {
      break;
    }
    ++records;
    TBlock100 high = ExtraBlock100(extra, true);
    TZipEntry e;
    e.FromCentral = true;
    e.Flags = Get16(rec + 8);
    e.Method = Get16(rec + 10);
    e.DosDateTime = Get32(rec + 12);
    e.Crc = Get32(rec + 16);
    e.PackedSize = Get32(rec + 20) | static_cast<uint64_t>(high.PackedHigh) << 32;
    e.UnpackedSize = Get32(rec + 24) | static_cast<uint64_t>(high.UnpackedHigh) << 32;
    e.Disk = Get16(rec + 34);
    e.ExternalAttr = Get32(rec + 38);
    e.LocalOffset = Get32(rec + 42) | static_cast<uint64_t>(high.OffsetHigh) << 32;
    e.Host = Get16(rec + 4) >> 8;
    e.Name = ConvertName(name, e.Flags, e.Host);
    localOffsets_.push_back(e.LocalOffset + static_cast<uint64_t>(Offset));
    if (!Selected(e.Name)) {
      continue;
    }
    if (!IsMultiVolume(ArcType)) {
      uint8_t sig[4];
      if (input_->ReadAt(static_cast<int64_t>(e.LocalOffset) + Offset, sig, 4) != 4 ||
          Get32(sig) != kLocalSig) {
        ReportError(e.Name, "", "0", kErrBadFileHeader);
        continue;
      }
    }
    BytesTotal += e.UnpackedSize;
    MaxFileDate = std::max(MaxFileDate, e.DosDateTime);
    list.push_back(std::move(e));
  }
  if (records == 0) {
    ReportError(ArcFile, "", "0", kErrBadFileHeader);
  }
  localOffsets_.push_back(static_cast<uint64_t>(cdStart));
  std::sort(localOffsets_.begin(), localOffsets_.end());
  return true;
}

bool TUnZip::ReadLocalHeader(int64_t position, TLocalHeader& header, bool& signatureOk, int host) {
  signatureOk = false;
  uint8_t rec[30];
  if (!input_) {
    return false;
  }
  input_->Pos = position;
  if (ReadData(rec, 30) != 30 || Get32(rec) != kLocalSig) {
    return false;
  }
  signatureOk = true;
  std::string name(Get16(rec + 26), '\0');
  std::string extra(Get16(rec + 28), '\0');
  if (ReadData(name.data(), name.size()) != name.size() ||
      ReadData(extra.data(), extra.size()) != extra.size()) {
    return false;
  }
  TBlock100 high = ExtraBlock100(extra, false);
  header.Flags = Get16(rec + 6);
  header.Method = Get16(rec + 8);
  header.DosDateTime = Get32(rec + 10);
  header.Crc = Get32(rec + 14);
  header.PackedSize = Get32(rec + 18) | static_cast<uint64_t>(high.PackedHigh) << 32;
  header.UnpackedSize = Get32(rec + 22) | static_cast<uint64_t>(high.UnpackedHigh) << 32;
  header.Name = ConvertName(name, header.Flags, host);
  header.DataStart = static_cast<uint64_t>(input_->Pos);
  header.DataDisk = input_->Disk;
  return true;
}

bool TUnZip::WalkLocalHeaders(std::vector<TZipEntry>& list) {
  if (OnCorruptZipHeader) {
    bool cancel = true;
    Timer().Pause();
    OnCorruptZipHeader(this, HeaderTypeState, cancel);
    Timer().Resume();
    if (cancel) {
      return false;
    }
  }
  int64_t pos = firstLocal_;
  while (!GetCancel()) {
    TLocalHeader h;
    bool sigOk = false;
    if (!ReadLocalHeader(pos, h, sigOk)) {
      break;
    }
    if (!h.Name.empty() && Selected(h.Name)) {
      TZipEntry e;
      e.LocalOffset = static_cast<uint64_t>(pos);
      e.Flags = h.Flags;
      e.Method = h.Method;
      e.DosDateTime = h.DosDateTime;
      e.Crc = h.Crc;
      e.PackedSize = h.PackedSize;
      e.UnpackedSize = h.UnpackedSize;
      e.Name = h.Name;
      if (!h.Name.empty() && (h.Name.back() == '/' || h.Name.back() == '\\')) {
        e.ExternalAttr = faDirectory;
      }
      BytesTotal += e.UnpackedSize;
      MaxFileDate = std::max(MaxFileDate, e.DosDateTime);
      list.push_back(e);
    }
    localOffsets_.push_back(static_cast<uint64_t>(pos));
    uint64_t next = h.DataStart + h.PackedSize;
    if (next <= static_cast<uint64_t>(pos) || next > static_cast<uint64_t>(input_->Size())) {
      break;
    }
    pos = static_cast<int64_t>(next);
  }
  localOffsets_.push_back(static_cast<uint64_t>(input_->Size()));
  std::sort(localOffsets_.begin(), localOffsets_.end());
  return true;
}

void TUnZip::ExtractArchive() {
  localOffsets_.clear();
  input_.reset();
  if (ArcType == atZipDS) {
    // The last disk holds the directory: it is asked for first, then the disks in order.
    spann_->Init(this, nullptr);
    if (!spann_->RequestDisk(-1)) {
      return;
    }
    Detect();
    if (ArcType != atZipDS) {
      ReportError(ArcFile, "", "0", kErrBrokenMultiVolumeChain);
      return;
    }
    if (!OpenInput(lastDisk_)) {
      return;
    }
  } else {
    Detect();
    if (IsNoArchiveType(ArcType)) {
      ReportError(ArcFile, "", "0", kErrHeaderNotFound);
      return;
    }
    if (!IsZipFamily(ArcType)) {
      ReportError(ArcFile, "", "0", kErrInvalidArchiveTypeForOperation);
      return;
    }
    if (!OpenVolume(lastDisk_)) {
      return;
    }
  }
  std::vector<TZipEntry> list;
  bool ok;
  if (end_.Empty) {
    ok = false;  // an end record alone: a valid archive of no entries
  } else if (HeaderTypeState != HeaderTypeBit(htLocal)) {
    ok = ReadCentralDirectory(list);
  } else {
    ok = WalkLocalHeaders(list);
  }
  BytesLeft = BytesTotal;
  if (ok && !list.empty()) {
    ExtractionLoop(list);
  }
  input_.reset();
}

void TUnZip::ExtractionLoop(std::vector<TZipEntry>& list) {
  const int64_t archiveSize = input_ ? input_->Size() : 0;
  std::set<uint64_t> taken;
  for (const TZipEntry& e : list) {
    if (GetCancel()) {
      break;
    }
    const int64_t pos = static_cast<int64_t>(e.LocalOffset) + Offset;
    if (IsMultiVolume(ArcType)) {
      // The last volume holds the directory: an entry on a later one cannot exist, and asking
      // for it would only stop the run.
      if (e.Disk > lastDisk_) {
        ReportError(e.Name, "", "0", kErrBadFileHeader);
        continue;
      }
      if (!Seek(e.Disk, pos)) {
        break;
      }
    }
    TLocalHeader local;
    bool sigOk = false;
    if (!ReadLocalHeader(pos, local, sigOk, e.Host)) {
      ReportError(e.Name, "", "0", kErrBadFileHeader);
      if (GetCancel()) break;
      continue;
    }
    // The data may reach as far as the next entry's header or the central directory; an entry
    // that claims more, or that shares its header with another entry, overlaps and is refused.
    uint64_t limit = UINT64_MAX;
    bool overlaps = false;
    if (!IsMultiVolume(ArcType)) {
      auto next =
          std::upper_bound(localOffsets_.begin(), localOffsets_.end(), static_cast<uint64_t>(pos));
      limit = next == localOffsets_.end() ? static_cast<uint64_t>(archiveSize) : *next;
      limit = std::min(limit, static_cast<uint64_t>(archiveSize));
      overlaps = !taken.insert(static_cast<uint64_t>(pos)).second;
    }
    TZipEntry values = e;
    if (!e.FromCentral) {
      values.Flags = local.Flags;
      values.Method = local.Method;
      values.DosDateTime = local.DosDateTime;
      values.Crc = local.Crc;
      values.PackedSize = local.PackedSize;
      values.UnpackedSize = local.UnpackedSize;
    }
    if (!local.Name.empty()) {
      values.Name = local.Name;
    }
    local_ = local;
    ExtractEntry(values, local, overlaps ? 0 : limit);
  }
}

void TUnZip::ExtractEntry(const TZipEntry& e, const TLocalHeader& local, uint64_t limit) {
  const bool isDir = (e.ExternalAttr & faDirectory) != 0 ||
                     (!e.Name.empty() && (e.Name.back() == '/' || e.Name.back() == '\\'));
  fileSize_ = e.UnpackedSize;
  fileDone_ = 0;
  auto skipped = [&] {
    const auto size = static_cast<int64_t>(e.UnpackedSize);
    BytesLeft = size > BytesLeft ? 0 : BytesLeft - size;
  };
  auto dropCount = [&] {
    if (EntryCount > 0) --EntryCount;
    skipped();
  };

  if (ResolveFileName(e.Name).empty()) {
    skipped();
    return;
  }
  if (!DoBeginFile(false)) {
    skipped();
    return;
  }
  if (isDir) {
    std::vector<std::string> created;
    if (CreateStoredDirs && !ForceDirectories(CurrentFile, &created)) {
      RemoveCreatedDirectories(created);
      ReportError(CurrentFile, "", "0", kErrUnableToCreateDirectory);
    }
    crc32_ = e.Crc;
    CheckCrc(32, e.Crc);
    return;
  }
  // Sizes that reach past the next record (or the file) are lies: nothing is decoded from them.
  const uint64_t dataEnd = local.DataStart + e.PackedSize;
  if (dataEnd < local.DataStart || dataEnd > limit) {
    ReportError(CurrentFile, "", "0", kErrBadFileHeader);
    dropCount();
    return;
  }
  switch (e.Method) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
      break;
    default:
      ReportError(CurrentFile, "", "0", kErrUnsupportedCompressionMethod);
      dropCount();
      return;
  }

  // A stored entry holds exactly its bytes (and the encryption header): other sizes are lies.
  if (e.Method == 0) {
    const uint64_t header = (e.Flags & 1) != 0 ? kEncryptionHeaderSize : 0;
    if (e.PackedSize < header || e.PackedSize - header != e.UnpackedSize) {
      ReportError(CurrentFile, "", "0", kErrBadFileHeader);
      dropCount();
      return;
    }
  }
  // The input stands at the entry's data, just behind its local header.
  entryLeft_ = e.PackedSize;
  entryUnpacked_ = e.UnpackedSize;
  Encrypted = false;
  if ((e.Flags & 1) != 0) {
    uint8_t header[kEncryptionHeaderSize];
    if (e.PackedSize < kEncryptionHeaderSize ||
        ReadEntryData(header, sizeof header) != sizeof header) {
      ReportError(CurrentFile, "", "0", kErrBadFileHeader);
      dropCount();
      return;
    }
    if (!GetPassword(header)) {
      dropCount();
      return;
    }
    Encrypted = true;
  }
  const int64_t bytesLeft = BytesLeft;
  for (;;) {
    if (!OpenOutput()) {
      ReportError(CurrentFile, "", "0", kErrErrorOpeningFile);
      dropCount();
      Encrypted = false;
      return;
    }
    const bool written = DecodeEntry(e);
    Encrypted = false;
    const bool verdict = written && !GetCancel() && (crc32_ == e.Crc || ~crc32_ == e.Crc);
    // A wrong password of the list that passed the header check: the next candidate is tried.
    if (!verdict && written && !GetCancel() && (e.Flags & 1) != 0 && NextListPassword()) {
      CloseOutput(false, 0, 0);
      BytesLeft = bytesLeft;
      if (RewindEncryptedData(local, e.PackedSize)) {
        continue;
      }
      dropCount();
      return;
    }
    // JAR entries carry no usable attributes: their files get the plain archive attribute.
    const bool jar = ArcType == atJar || ArcType == atJarExe;
    CloseOutput(verdict, jar ? faArchive : DosAttrMask(e.ExternalAttr) & 0xFF, e.DosDateTime);
    if (written) {
      CheckCrc(32, e.Crc);
    }
    return;
  }
}

bool TUnZip::DecodeEntry(const TZipEntry& e) {
  switch (e.Method) {
    case 0:
      return CopyStream();
    case 8:
      return Inflate(false);
    case 9:
      return Inflate(true);
    default:
      return DecodeLegacy(e);
  }
}

bool TUnZip::RewindEncryptedData(const TLocalHeader& local, uint64_t packed) {
  if (!Seek(local.DataDisk, static_cast<int64_t>(local.DataStart))) {
    return false;
  }
  // The keys already stand behind the header: its bytes are passed over as they are stored.
  uint8_t header[kEncryptionHeaderSize];
  entryLeft_ = packed;
  Encrypted = false;
  if (ReadEntryData(header, sizeof header) != sizeof header) {
    return false;
  }
  Encrypted = true;
  return true;
}

bool TUnZip::CopyStream() {
  std::vector<uint8_t> buffer(kBlock);
  while (entryLeft_ > 0 && !GetCancel()) {
    size_t n = ReadEntryData(buffer.data(), buffer.size());
    if (n == 0) {
      break;
    }
    if (!WriteOutput(buffer.data(), n)) {
      return false;
    }
    ExtractProgress(n);
  }
  return true;
}

bool TUnZip::Inflate(bool deflate64) { return deflate64 ? InflateDeflate64() : InflateDeflate(); }

// Feeds the entry's compressed bytes to an inflater step (zlib's calling convention) and writes
// what it produces, never more than the declared uncompressed size. Truncated or corrupt data
// ends the entry early; the CRC check then reports it.
bool TUnZip::InflateLoop(const std::function<int(z_stream&)>& step, z_stream& zs) {
  std::vector<uint8_t> in(kBlock);
  std::vector<uint8_t> out(kBlock);
  uint64_t produced = 0;
  bool inputDone = false;
  while (produced < entryUnpacked_ && !GetCancel()) {
    if (zs.avail_in == 0 && !inputDone) {
      size_t n = ReadEntryData(in.data(), in.size());
      inputDone = n == 0;
      zs.next_in = in.data();
      zs.avail_in = static_cast<uInt>(n);
    }
    size_t want = static_cast<size_t>(std::min<uint64_t>(out.size(), entryUnpacked_ - produced));
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(want);
    int r = step(zs);
    size_t got = want - zs.avail_out;
    if (got > 0) {
      if (!WriteOutput(out.data(), got)) {
        return false;
      }
      produced += got;
      ExtractProgress(got);
    }
    if (r == Z_STREAM_END || (r != Z_OK && r != Z_BUF_ERROR)) {
      break;
    }
    if (got == 0 && zs.avail_in == 0 && inputDone) {
      break;
    }
  }
  return true;
}

bool TUnZip::InflateDeflate() {
  struct Stream {
    z_stream zs{};
    bool ok = false;
    ~Stream() {
      if (ok) inflateEnd(&zs);
    }
  } s;
  SetDeflate64Mode(false);
  if (inflateInit2(&s.zs, -15) != Z_OK) {
    return true;  // nothing decoded: the CRC check reports the entry
  }
  s.ok = true;
  return InflateLoop([](z_stream& zs) { return inflate(&zs, Z_NO_FLUSH); }, s.zs);
}

bool TUnZip::InflateDeflate64() {
  SetDeflate64Mode(true);
  struct ModeBack {
    ~ModeBack() { SetDeflate64Mode(false); }
  } back;
  TInflater inflater;
  z_stream zs{};
  if (inflater.Init(-15) != Z_OK) {
    return true;
  }
  return InflateLoop([&](z_stream& strm) { return inflater.Inflate(strm); }, zs);
}

bool TUnZip::DecodeLegacy(const TZipEntry& e) {
  TUnZipLegacyHost host(*this);
  switch (e.Method) {
    case 1:
      Unshrink(host, entryLeft_, e.UnpackedSize);
      break;
    case 6:
      Explode(host, e.Flags, entryLeft_, e.UnpackedSize);
      break;
    default:
      Unreduce(host, e.Method - 1, entryLeft_, e.UnpackedSize);
      break;
  }
  return true;
}

bool TUnZip::CheckPassword(const uint8_t* Header) {
  return CheckEncryptionHeader(Header, local_.Flags, local_.Crc,
                               static_cast<uint16_t>(local_.DosDateTime & 0xFFFF), Password);
}
