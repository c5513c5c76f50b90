// Drives and volumes as the archive library sees them: readiness, type, label, serial number,
// free space and write protection. Mount points stand for drives. The seam is an interface so that
// tests can put a folder in place of a removable drive and change its disk under a running operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::files {

// Drive types in the numbering the archive components compare against.
enum DriveKind : int {
  dkUnknown = 0,
  dkNoRootDir = 1,
  dkRemovable = 2,
  dkFixed = 3,
  dkRemote = 4,
  dkCdRom = 5,
  dkRamDisk = 6,
};

// Why a probe failed.
enum class VolumeError { None, NotReady, WriteProtected, AccessDenied, DiskFull, Other };

struct VolumeInformation {
  std::string Label;
  uint32_t SerialNumber = 0;
  uint32_t MaxComponentLength = 255;
  uint32_t FileSystemFlags = 0;
  std::string FileSystemName;
};

class IVolumes {
 public:
  virtual ~IVolumes() = default;

  // Root of the drive holding `path` (an absolute path), with a trailing "/".
  virtual std::string DriveRoot(const std::string& path) = 0;
  // One of DriveKind; dkNoRootDir when the root does not exist.
  virtual int DriveType(const std::string& root) = 0;
  // Capacity and free bytes; false when the drive is not ready (no medium, unreachable).
  virtual bool DiskSpace(const std::string& root, uint64_t& total, uint64_t& freeBytes) = 0;
  // Label, serial number and file system; false when they cannot be read.
  virtual bool VolumeInfo(const std::string& root, VolumeInformation& info) = 0;
  // Writes the label; false when the medium refuses it.
  virtual bool SetVolumeLabel(const std::string& root, const std::string& label) = 0;
  // Creates an empty, uniquely named file in `root` whose name begins with `prefix` and returns
  // its path; on failure returns "" and sets `error` (WriteProtected for a protected medium).
  virtual std::string CreateProbeFile(const std::string& root, const std::string& prefix,
                                      VolumeError& error) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Roots of every mounted drive.
  virtual std::vector<std::string> Drives() = 0;
  // Text of the last failure of this object ("" when none).
  virtual std::string LastErrorText() = 0;
};

// The machine's own drives: mount points from /proc/self/mountinfo, removable media from
// /sys/block/*/removable, space from statvfs, labels from /dev/disk/by-label or a label file.
IVolumes& SystemVolumes();

// Name of the file that keeps a volume label on file systems whose label cannot be written.
inline constexpr const char* kLabelFileName = ".volume-label";

}  // namespace platform::files
