// Disk manager of the archive components: examines the drive an archive lives on before it is read
// or written across removable disks (ready, write-protected, type, label, serial number, free
// space, and which disk of a spanned set it holds), reporting problems through the component's
// callbacks rather than by exceptions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/pakvoGbls.h"
#include "platform/files/Volumes.h"

// Parent of the disk manager and of the spanned-disk objects.
class TDiskCommon : public TObject {};

// The component's error reporter: (FileName, ExtendedMsg, VolumeID, ECode). The disk manager
// passes the drive root as FileName, no extended message and VolumeID "0".
using TDiskErrorReporter = std::function<void(const std::string& FileName,
                                              const std::string& ExtendedMsg,
                                              const std::string& VolumeID, int ECode)>;

class TDiskManager : public TDiskCommon {
 public:
  // The drives are the machine's unless a test hands in its own.
  explicit TDiskManager(platform::files::IVolumes* volumes = nullptr);

  // Makes a relative path absolute with the current directory, then examines its drive.
  // Returns whether the drive information was read.
  bool GetDriveInfo(const std::string& path, TDiskErrorReporter reporter,
                    TOnDiskError writeProtected, TOnDiskError notReady, TOnDiskError spare);
  // Examines the drive whose root (or any path on it) is given.
  bool CheckDisk(const std::string& root, TDiskErrorReporter reporter,
                 TOnDiskError writeProtected, TOnDiskError notReady, TOnDiskError spare);
  // True when a file cannot be created on the drive because the medium is protected, or when a
  // probe file was created but could not be removed again.
  bool IsWriteProtected(const std::string& root);
  // Writes the drive's volume label; false when the medium refuses it.
  bool SetVolumeLabel(const std::string& root, const std::string& label);
  // The number after the last "PKBACK# " of a label when it is all digits, else 0.
  static int DiskNumberFromLabel(const std::string& label);
  // A date of the open file `fd` (0 creation, 1 last write, 2 last access) as a local DOS
  // date-time; 0 when the file's status cannot be read.
  static uint32_t FileDate(int fd, int which);
  // The root, "is not accessible", two line breaks and the system's message for the last failure.
  std::string AccessErrorText(const std::string& root);
  // Asks through AskRetryHook whether to try the drive again; false without a hook, so that an
  // unattended run never waits.
  bool AskRetry(const std::string& root);

  // Asked with the text of AccessErrorText; true means Retry.
  std::function<bool(const std::string& text)> AskRetryHook;
  platform::files::IVolumes& Volumes() { return *volumes_; }

  // What the last examination found.
  std::string Drive;  // the root examined, with a trailing "/"
  std::string VolumeLabel;
  uint32_t SerialNumber = 0;
  uint32_t MaxComponentLength = 0;
  uint32_t FileSystemFlags = 0;
  std::string FileSystemName;
  int DriveType = platform::files::dkUnknown;
  int DiskNumber = 0;
  int64_t DiskSize = 0;
  int64_t DiskFree = 0;

 private:
  void Report(int code);

  platform::files::IVolumes* volumes_;
  TDiskErrorReporter reporter_;
};
