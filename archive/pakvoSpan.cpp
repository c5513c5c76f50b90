#include "archive/pakvoSpan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "archive/pakvoErrors.h"
#include "archive/pakvoGbls.h"

std::string GetVolumeName(std::string_view baseName, std::string_view archiveFile, int index,
                          int count) {
  if (index < count) {
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%2.2d", index + 1);
    return ChangeExt(baseName, ext);
  }
  return std::string(archiveFile);
}

void TDiskSpannObj::Init(TZipCommon* owner, bool* cancel) {
  owner_ = owner;
  onFirstDisk_ = owner->OnGetZipFirstDisk;
  onLastDisk_ = owner->OnGetZipLastDisk;
  onNextDisk_ = owner->OnGetZipNextDisk;
  counter_ = 0;
  owner->SetCancelPointer(cancel);
}

void TDiskSpannObj::Fail() { *owner_->CancelPointer() = true; }

bool TDiskSpannObj::RequestDisk(int64_t wantedPosition) {
  const char* eventName = counter_ == 0   ? "OnGetZipLastDisk"
                          : counter_ == 1 ? "OnGetZipFirstDisk"
                                          : "OnGetZipNextDisk";
  const bool assigned = counter_ == 0   ? static_cast<bool>(onLastDisk_)
                        : counter_ == 1 ? static_cast<bool>(onFirstDisk_)
                                        : static_cast<bool>(onNextDisk_);
  if (!assigned) {
    owner_->ReportError(owner_->ArcFile, eventName, std::to_string(counter_),
                        kErrRequiredEventNotAssigned);
    Fail();
    return false;
  }
  const std::string archive = owner_->ArcFile;
  owner_->Timer().Pause();
  bool ok = false;
  if (counter_ == 0) {
    // The last disk holds the end record: detect the archive again until it is found. Only the
    // binding is redone, so that the extractor keeps its target folder.
    auto detect = [&] {
      owner_->ArcType = atNA;
      owner_->ZipFlags = 0;
      owner_->TRegisterPakvo::SetArcFile(archive);
      owner_->ArcFile = archive;
      return (owner_->ZipFlags & 4) != 0;
    };
    bool found = detect();
    while (!found) {
      bool cancel = true;
      onLastDisk_(this, cancel);
      if (cancel) break;
      found = detect();
    }
    ok = found && TZipCommon::IsKnownArcType(owner_->ArcType);
    if (ok) counter_ = 1;
  } else {
    while (!(ok = Probe(wantedPosition))) {
      bool cancel = true;
      if (counter_ == 1) {
        onFirstDisk_(this, cancel);
      } else {
        onNextDisk_(this, std::to_string(counter_), cancel);
      }
      if (cancel) break;
    }
    if (ok) ++counter_;
  }
  owner_->Timer().Resume();
  if (!ok) {
    Fail();
    return false;
  }
  const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    owner_->ReportError(archive, "", "0", kErrErrorOpeningFile);
    Fail();
    return false;
  }
  struct stat st {};
  owner_->ArcFileSize = ::fstat(fd, &st) == 0 ? st.st_size : 0;
  ::close(fd);
  return true;
}

// A disk is accepted when the record the walk needs stands at the wanted position (or, for data
// continued from the previous disk, at once) and, when the disk carries a "PKBACK# " label, the
// label's number is the one wanted.
bool TDiskSpannObj::Probe(int64_t wantedPosition) {
  const std::string& archive = owner_->ArcFile;
  TDiskManager& disks = owner_->DiskManager();
  auto reporter = [this](const std::string& f, const std::string& x, const std::string& v, int c) {
    owner_->ReportError(f, x, v, c);
  };
  std::error_code ec;
  const std::string absolute = std::filesystem::absolute(archive, ec).string();
  const bool driveOk = disks.GetDriveInfo(absolute, reporter, owner_->OnDiskWriteProtectErr,
                                          owner_->OnDiskInDrvErr, nullptr);
  const bool labelOk = !driveOk || disks.DiskNumber == 0 || disks.DiskNumber == counter_;
  const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;  // no disk, or not this set's: ask again
  }
  struct stat st {};
  const int64_t size = ::fstat(fd, &st) == 0 ? st.st_size : 0;
  bool accepted = false;
  if (wantedPosition < 0) {
    accepted = labelOk && disks.DiskNumber == counter_;
    if (!driveOk || disks.DiskNumber == 0) accepted = owner_->ArcType == atZipMV;
  } else if (wantedPosition + 30 > size) {
    if (owner_->ArcType == atZipDS) {
      accepted = driveOk && disks.DiskNumber == counter_;
    } else {
      accepted = owner_->ArcType == atZipMV;
    }
  } else {
    uint8_t b[4];
    if (::pread(fd, b, 4, wantedPosition) == 4) {
      const uint32_t sig = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
      accepted = labelOk && (sig == kSigSpanMarker || sig == kSigLocal || sig == kSigCentral);
    }
  }
  ::close(fd);
  return accepted;
}
