// Spanned ZIP output: a finished archive written across the disks of a removable drive.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"
#include "archive/pakvoZipInternal.h"
#include "platform/files/Volumes.h"

using namespace zipfmt;

namespace {
constexpr int64_t kSpanReserve = 10000;
}

bool TZip::IsSpanned() {
  platform::files::IVolumes& volumes = DiskManager().Volumes();
  return volumes.DriveType(volumes.DriveRoot(ArcFile)) == platform::files::dkRemovable;
}

bool TZip::WriteSpanned(TStream& temp, std::vector<TZipEntryRecord>& list) {
  TDiskSpanObj span(*this, list, temp);
  const bool ok = span.Write();
  if (!ok) list.clear();
  return ok;
}

TDiskSpanObj::TDiskSpanObj(TZip& owner, std::vector<TZipEntryRecord>& list, TStream& temp)
    : owner_(owner), list_(list), temp_(temp) {}

bool TDiskSpanObj::ReadDrive() {
  auto reporter = [this](const std::string&, const std::string&, const std::string&, int code) {
    owner_.ReportError(owner_.ArcFile, "", std::to_string(diskNumber_), code);
  };
  TDiskManager& disks = owner_.DiskManager();
  return disks.CheckDisk(root_, reporter, owner_.OnDiskWriteProtectErr, owner_.OnDiskInDrvErr, nullptr);
}

bool TDiskSpanObj::PrepareDisk() {
  TDiskManager& disks = owner_.DiskManager();
  if (!owner_.OnInsertDisk) {
    owner_.ReportError(owner_.ArcFile, "OnInsertDisk", std::to_string(diskNumber_), kErrRequiredEventNotAssigned);
    return false;
  }
  root_ = disks.Volumes().DriveRoot(owner_.ArcFile);
  if (!ReadDrive()) return false;
  const bool sameDisk = haveSerial_ && disks.SerialNumber == serial_;
  if (FileExistsFF(owner_.ArcFile) || sameDisk || disks.DiskFree < required_) {
    for (;;) {
      bool cancel = false;
      owner_.OnInsertDisk(&owner_, std::to_string(diskNumber_), cancel);
      if (cancel) return false;
      if (!ReadDrive()) return false;
      if (FileExistsFF(owner_.ArcFile)) {
        if (!owner_.OnDiskSpanFileExists) {
          owner_.ReportError(owner_.ArcFile, "OnFileExists", std::to_string(diskNumber_), kErrRequiredEventNotAssigned);
          return false;
        }
        TOverwriteMode mode = omOverwrite;
        struct stat st{};
        ::stat(owner_.ArcFile.c_str(), &st);
        owner_.OnDiskSpanFileExists(&owner_, owner_.ArcFile, UnixToDateTime(st.st_mtime), mode);
        if (mode == omSkip) return false;
        // Removed finally or to the recycle bin, as DeleteOptions says.
        if (!owner_.DeleteFileEx(owner_.ArcFile)) {
          owner_.ReportError(owner_.ArcFile, "", std::to_string(diskNumber_), kErrErrorDeletingFiles);
          return false;
        }
        if (!ReadDrive()) return false;
      }
      if (haveSerial_ && disks.SerialNumber == serial_) continue;  // the same disk again
      if (disks.DiskFree < disks.DiskSize && disks.DiskFree < required_) {
        if (!owner_.OnClearDisk) {
          owner_.ReportError(owner_.ArcFile, "OnClearDisk", std::to_string(diskNumber_), kErrRequiredEventNotAssigned);
          return false;
        }
        while (disks.DiskFree < required_) {
          bool stop = false;
          owner_.OnClearDisk(&owner_, root_, required_, disks.DiskFree, disks.DiskSize, stop);
          if (stop || !ReadDrive()) return false;
        }
      }
      if (disks.DiskFree >= required_) break;
    }
  }
  out_ = std::make_unique<TFileStream32>(owner_.ArcFile, fmCreate);
  if (out_->Handle < 0) {
    owner_.ReportError(owner_.ArcFile, "", std::to_string(diskNumber_), kErrErrorCreatingFile);
    return false;
  }
  char label[32];
  std::snprintf(label, sizeof label, "PKBACK# %.3d", diskNumber_);
  if (disks.VolumeLabel != label && !disks.SetVolumeLabel(root_, label)) {
    owner_.ReportError(owner_.ArcFile, "", std::to_string(diskNumber_), kErrErrorWritingSpannedDiskLabel);
    return false;
  }
  serial_ = disks.SerialNumber;
  haveSerial_ = true;
  free_ = disks.DiskFree - (diskNumber_ == 1 ? owner_.LeaveSpaceOnFirstDisk : 0);
  return true;
}

bool TDiskSpanObj::NextDisk() {
  out_.reset();
  ++diskNumber_;
  ++diskCounter_;
  owner_.VolumeNumber = static_cast<uint32_t>(diskCounter_);
  required_ = diskNumber_ == 1 ? owner_.LeaveSpaceOnFirstDisk + kSpanReserve : kSpanReserve;
  return PrepareDisk();
}

bool TDiskSpanObj::Copy(const void* data, int64_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (count > 0) {
    if (free_ <= 0 && !NextDisk()) return false;
    const int64_t n = std::min(count, free_);
    if (out_->Write(p, n) != n) {
      owner_.ReportError(owner_.ArcFile, owner_.CurrentFile, std::to_string(diskNumber_),
                         errno == ENOSPC ? kErrDiskFull : kErrErrorWritingToFile);
      return false;
    }
    p += n;
    count -= n;
    free_ -= n;
  }
  return true;
}

bool TDiskSpanObj::CopyFromTemp(int64_t offset, int64_t count) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, kCopyBlock)) + 1);
  temp_.SetPosition(offset);
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, kCopyBlock);
    if (temp_.Read(buf.data(), n) != n) {
      owner_.ReportError(owner_.ArcFile, "", std::to_string(diskNumber_), kErrErrorReadingFile);
      return false;
    }
    if (!Copy(buf.data(), n)) return false;
    count -= n;
  }
  return true;
}

bool TDiskSpanObj::Write() {
  if (!NextDisk()) return false;
  const int64_t tempSize = temp_.GetSize();
  if (tempSize + kSpanReserve > free_) {
    uint8_t marker[4];
    Put32(marker, kSigSpanMarker);
    if (!Copy(marker, 4)) return false;
  }
  uint16_t entries = 0;
  for (TZipEntryRecord& rec : list_) {
    if (rec.State == 2) continue;
    const auto offset = static_cast<int64_t>(Get32(rec.Central + 42) |
                                             (uint64_t{ReadBlock100(rec.Extra, true).Offset} << 32));
    uint8_t local[kLocalSize];
    temp_.SetPosition(offset);
    if (Get32(rec.Central) != kSigCentral || temp_.Read(local, kLocalSize) != kLocalSize || Get32(local) != kSigLocal) {
      return false;
    }
    uint64_t length = kLocalSize + Get16(local + 26) + Get16(local + 28) + EntryPacked(rec);
    if (Get16(rec.Central + 8) & 0x0008) {
      uint8_t sig[4] = {};
      temp_.SetPosition(static_cast<int64_t>(offset + length));
      length += temp_.Read(sig, 4) == 4 && Get32(sig) == kSigSpanMarker ? 16 : 12;
    }
    if (free_ <= 0 && !NextDisk()) return false;
    Put16(rec.Central + 34, static_cast<uint32_t>(diskCounter_));
    SetEntryOffset(rec, static_cast<uint64_t>(out_->GetPosition()));
    ++entries;
    if (!CopyFromTemp(offset, static_cast<int64_t>(length))) return false;
  }
  // The central directory, then the end record whole on the last disk.
  std::string cd;
  for (TZipEntryRecord& rec : list_) {
    if (rec.State == 2) continue;
    cd += CentralRecordOf(rec);
  }
  if (free_ <= 0 && !NextDisk()) return false;
  const int cdDisk = diskCounter_;
  const auto cdOffset = static_cast<uint32_t>(out_->GetPosition());
  if (!Copy(cd.data(), static_cast<int64_t>(cd.size()))) return false;
  const std::string& comment = owner_.archiveComment_;
  if (free_ < static_cast<int64_t>(kEndSize + comment.size()) && !NextDisk()) return false;
  uint8_t end[kEndSize];
  PutEndRecord(end, static_cast<uint32_t>(diskCounter_), static_cast<uint32_t>(cdDisk), entries,
               static_cast<uint32_t>(cd.size()), cdOffset, static_cast<uint32_t>(comment.size()));
  const bool ok = Copy(end, kEndSize) && Copy(comment.data(), static_cast<int64_t>(comment.size()));
  out_.reset();
  return ok;
}

