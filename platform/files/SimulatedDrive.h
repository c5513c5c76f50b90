// A removable drive simulated with a folder, for tests: disks can be inserted, ejected and changed,
// write-protected, labelled and given a small capacity (a full disk). Paths outside the folder are
// answered by the machine's own volumes.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/files/Volumes.h"

namespace platform::files {

class SimulatedDrive final : public IVolumes {
 public:
  // `root` stands for the drive (created when a disk is inserted, removed when it is ejected); it
  // must not exist yet or be empty (std::invalid_argument otherwise). `store` keeps the contents
  // of the disks that are out of the drive.
  SimulatedDrive(std::string root, std::string store, int driveType = dkRemovable);

  // Saves the disk in the drive (if any) and puts disk `name` in; a new name is a blank disk.
  void InsertDisk(const std::string& name);
  // Saves the disk in the drive and leaves the drive empty (not ready).
  void EjectDisk();
  bool HasDisk() const { return !current_.empty(); }
  const std::string& CurrentDisk() const { return current_; }

  // Properties of the disk in the drive (no effect when the drive is empty).
  void SetWriteProtected(bool on);
  void SetCapacity(uint64_t bytes);
  void SetLabel(const std::string& label);
  std::string Label() const;
  void SetSerialNumber(uint32_t serial);

  // Counts of the probes answered, for tests that check how often the drive was asked.
  int ReadyProbes() const { return readyProbes_; }

  const std::string& Root() const { return root_; }

  std::string DriveRoot(const std::string& path) override;
  int DriveType(const std::string& root) override;
  bool DiskSpace(const std::string& root, uint64_t& total, uint64_t& freeBytes) override;
  bool VolumeInfo(const std::string& root, VolumeInformation& info) override;
  bool SetVolumeLabel(const std::string& root, const std::string& label) override;
  std::string CreateProbeFile(const std::string& root, const std::string& prefix,
                              VolumeError& error) override;
  bool RemoveFile(const std::string& path) override;
  std::vector<std::string> Drives() override;
  std::string LastErrorText() override { return lastError_; }

 private:
  struct Disk {
    std::string Label;
    uint32_t Serial = 0;
    bool WriteProtected = false;
    uint64_t Capacity = 1457664;  // a 1.44 MB diskette
  };

  bool IsOnDrive(const std::string& path) const;
  uint64_t UsedBytes() const;
  Disk* CurrentDiskData();

  std::string root_;
  std::string store_;
  int driveType_;
  std::string current_;
  std::map<std::string, Disk> disks_;
  std::string lastError_;
  int readyProbes_ = 0;
  int probeCounter_ = 0;
};

}  // namespace platform::files
