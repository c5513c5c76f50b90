// Disk manager.
#include "archive/pakvoFileIo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "archive/pakvoErrors.h"

namespace {

constexpr const char* kSpannedLabel = "PKBACK# ";
constexpr const char* kProbePrefix = "pkv";

// Lets the not-ready or write-protected handler try again: it clears Abort when the user fixed
// the drive. True when the handler gave up.
bool HandlerAborts(const TOnDiskError& handler, TObject* sender) {
  bool abort = true;
  handler(sender, abort);
  return abort;
}

}  // namespace

TDiskManager::TDiskManager(platform::files::IVolumes* volumes)
    : volumes_(volumes ? volumes : &platform::files::SystemVolumes()) {}

void TDiskManager::Report(int code) {
  if (reporter_) reporter_(Drive, "", "0", code);
}

bool TDiskManager::GetDriveInfo(const std::string& path, TDiskErrorReporter reporter,
                                TOnDiskError writeProtected, TOnDiskError notReady,
                                TOnDiskError spare) {
  std::string full = path;
  if (!IsUNC(full) && (full.empty() || full[0] != '/')) {
    std::error_code ec;
    full = std::filesystem::absolute(full.empty() ? "." : full, ec).string();
  }
  return CheckDisk(full, std::move(reporter), std::move(writeProtected), std::move(notReady),
                   std::move(spare));
}

bool TDiskManager::CheckDisk(const std::string& root, TDiskErrorReporter reporter,
                             TOnDiskError writeProtected, TOnDiskError notReady,
                             TOnDiskError /*spare*/) {
  reporter_ = std::move(reporter);
  const bool unc = IsUNC(root);
  Drive = unc ? AppendDirTail(root) : volumes_->DriveRoot(root);
  VolumeLabel.clear();
  SerialNumber = 0;
  DiskNumber = 0;
  DiskSize = 0;
  DiskFree = 0;

  if (!unc) {
    uint64_t total = 0, freeBytes = 0;
    while (!volumes_->DiskSpace(Drive, total, freeBytes)) {
      if (!notReady) {
        Report(kErrIsNotAccessible);
        return false;
      }
      if (HandlerAborts(notReady, this)) {
        Report(kErrUserCanceled);
        return false;
      }
    }
    while (IsWriteProtected(Drive)) {
      if (!writeProtected) {
        Report(kErrDiskIsWriteProtected);
        return false;
      }
      if (HandlerAborts(writeProtected, this)) {
        Report(kErrUserCanceled);
        return false;
      }
    }
  }

  for (;;) {
    platform::files::VolumeInformation info;
    if (volumes_->VolumeInfo(Drive, info)) {
      VolumeLabel = info.Label.substr(0, 256);
      SerialNumber = info.SerialNumber;
      MaxComponentLength = info.MaxComponentLength;
      FileSystemFlags = info.FileSystemFlags;
      FileSystemName = info.FileSystemName;
      DiskNumber = DiskNumberFromLabel(VolumeLabel);
      DriveType = volumes_->DriveType(Drive);
      if (DriveType == platform::files::dkNoRootDir) {
        Report(kErrIsNotAccessible);
        return false;
      }
      uint64_t total = 0, freeBytes = 0;
      if (volumes_->DiskSpace(Drive, total, freeBytes)) {
        DiskSize = static_cast<int64_t>(total);
        DiskFree = static_cast<int64_t>(freeBytes);
      }
      return true;
    }
    if (!AskRetry(Drive)) {
      Report(kErrIsNotAccessible);
      return false;
    }
  }
}

// Only a medium that refuses writes as such counts as protected: a root folder the user may not
// write to (the usual case for mount points here) is not a protected disk.
bool TDiskManager::IsWriteProtected(const std::string& root) {
  platform::files::VolumeError error = platform::files::VolumeError::None;
  std::string probe = volumes_->CreateProbeFile(root, kProbePrefix, error);
  if (probe.empty()) return error == platform::files::VolumeError::WriteProtected;
  return !volumes_->RemoveFile(probe);
}

bool TDiskManager::SetVolumeLabel(const std::string& root, const std::string& label) {
  return volumes_->SetVolumeLabel(volumes_->DriveRoot(root), label);
}

int TDiskManager::DiskNumberFromLabel(const std::string& label) {
  size_t at = label.rfind(kSpannedLabel);
  if (at == std::string::npos) return 0;
  std::string digits = label.substr(at + std::char_traits<char>::length(kSpannedLabel));
  if (digits.empty()) return 0;
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > 0x7FFFFFFF) return 0;
  }
  return static_cast<int>(value);
}

uint32_t TDiskManager::FileDate(int fd, int which) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return 0;
  time_t t = which == 2 ? st.st_atime : (which == 1 ? st.st_mtime : st.st_ctime);
  return FileTimeToDos(static_cast<int64_t>(t));
}

std::string TDiskManager::AccessErrorText(const std::string& root) {
  return AppendDirTail(root) + "is not accessible" + "\n\n" + volumes_->LastErrorText();
}

bool TDiskManager::AskRetry(const std::string& root) {
  return AskRetryHook && AskRetryHook(AccessErrorText(root));
}
