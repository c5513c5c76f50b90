// Folder-backed removable drive for tests.
#include "platform/files/SimulatedDrive.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace platform::files {
namespace {
namespace fs = std::filesystem;

std::string Slashed(std::string p) {
  if (p.empty() || p.back() != '/') p.push_back('/');
  return p;
}

std::string Unslashed(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}
}  // namespace

SimulatedDrive::SimulatedDrive(std::string root, std::string store, int driveType)
    : root_(Unslashed(fs::absolute(root).lexically_normal().string())),
      store_(Unslashed(fs::absolute(store).lexically_normal().string())),
      driveType_(driveType) {
  fs::create_directories(store_);
  std::error_code ec;
  if (fs::exists(root_, ec)) {
    if (!fs::is_directory(root_, ec) || !fs::is_empty(root_, ec))
      throw std::invalid_argument("The folder of a simulated drive must be new or empty: " + root_);
    fs::remove(root_, ec);
  }
}

void SimulatedDrive::InsertDisk(const std::string& name) {
  EjectDisk();
  fs::path saved = fs::path(store_) / name;
  if (fs::exists(saved)) {
    fs::rename(saved, root_);
  } else {
    fs::create_directories(root_);
  }
  auto [it, added] = disks_.try_emplace(name);
  if (added) it->second.Serial = 0x1000u + static_cast<uint32_t>(disks_.size());
  current_ = name;
}

void SimulatedDrive::EjectDisk() {
  if (current_.empty()) return;
  fs::path saved = fs::path(store_) / current_;
  fs::remove_all(saved);
  if (fs::exists(root_)) fs::rename(root_, saved);
  current_.clear();
}

SimulatedDrive::Disk* SimulatedDrive::CurrentDiskData() {
  if (current_.empty()) return nullptr;
  return &disks_[current_];
}

void SimulatedDrive::SetWriteProtected(bool on) {
  if (Disk* d = CurrentDiskData()) d->WriteProtected = on;
}
void SimulatedDrive::SetCapacity(uint64_t bytes) {
  if (Disk* d = CurrentDiskData()) d->Capacity = bytes;
}
void SimulatedDrive::SetLabel(const std::string& label) {
  if (Disk* d = CurrentDiskData()) d->Label = label;
}
std::string SimulatedDrive::Label() const {
  auto it = disks_.find(current_);
  return it == disks_.end() ? std::string() : it->second.Label;
}
void SimulatedDrive::SetSerialNumber(uint32_t serial) {
  if (Disk* d = CurrentDiskData()) d->Serial = serial;
}

bool SimulatedDrive::IsOnDrive(const std::string& path) const {
  std::string p = Unslashed(fs::absolute(path).lexically_normal().string());
  return p == root_ || (p.size() > root_.size() && p.compare(0, root_.size(), root_) == 0 &&
                        p[root_.size()] == '/');
}

uint64_t SimulatedDrive::UsedBytes() const {
  uint64_t used = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (it->is_regular_file(ec2)) used += it->file_size(ec2);
  }
  return used;
}

std::string SimulatedDrive::DriveRoot(const std::string& path) {
  if (IsOnDrive(path)) return Slashed(root_);
  return SystemVolumes().DriveRoot(path);
}

int SimulatedDrive::DriveType(const std::string& root) {
  if (!IsOnDrive(root)) return SystemVolumes().DriveType(root);
  return driveType_;
}

bool SimulatedDrive::DiskSpace(const std::string& root, uint64_t& total, uint64_t& freeBytes) {
  if (!IsOnDrive(root)) return SystemVolumes().DiskSpace(root, total, freeBytes);
  ++readyProbes_;
  Disk* d = CurrentDiskData();
  if (!d) {
    lastError_ = "The device is not ready.";
    return false;
  }
  total = d->Capacity;
  uint64_t used = UsedBytes();
  freeBytes = used >= d->Capacity ? 0 : d->Capacity - used;
  return true;
}

bool SimulatedDrive::VolumeInfo(const std::string& root, VolumeInformation& info) {
  if (!IsOnDrive(root)) return SystemVolumes().VolumeInfo(root, info);
  Disk* d = CurrentDiskData();
  if (!d) {
    lastError_ = "The device is not ready.";
    return false;
  }
  info = VolumeInformation{};
  info.Label = d->Label;
  info.SerialNumber = d->Serial;
  info.FileSystemName = "FAT";
  return true;
}

bool SimulatedDrive::SetVolumeLabel(const std::string& root, const std::string& label) {
  if (!IsOnDrive(root)) return SystemVolumes().SetVolumeLabel(root, label);
  Disk* d = CurrentDiskData();
  if (!d) {
    lastError_ = "The device is not ready.";
    return false;
  }
  if (d->WriteProtected) {
    lastError_ = "The media is write protected.";
    return false;
  }
  d->Label = label;
  return true;
}

std::string SimulatedDrive::CreateProbeFile(const std::string& root, const std::string& prefix,
                                            VolumeError& error) {
  if (!IsOnDrive(root)) return SystemVolumes().CreateProbeFile(root, prefix, error);
  Disk* d = CurrentDiskData();
  if (!d) {
    error = VolumeError::NotReady;
    lastError_ = "The device is not ready.";
    return {};
  }
  if (d->WriteProtected) {
    error = VolumeError::WriteProtected;
    lastError_ = "The media is write protected.";
    return {};
  }
  std::string name = Slashed(root_) + prefix + std::to_string(++probeCounter_) + ".tmp";
  std::ofstream out(name);
  if (!out) {
    error = VolumeError::Other;
    lastError_ = "Cannot create the file.";
    return {};
  }
  error = VolumeError::None;
  return name;
}

bool SimulatedDrive::RemoveFile(const std::string& path) {
  if (!IsOnDrive(path)) return SystemVolumes().RemoveFile(path);
  std::error_code ec;
  if (!fs::remove(path, ec)) {
    lastError_ = ec ? ec.message() : "File not found";
    return false;
  }
  return true;
}

std::vector<std::string> SimulatedDrive::Drives() {
  std::vector<std::string> roots = SystemVolumes().Drives();
  if (HasDisk()) roots.push_back(Slashed(root_));
  return roots;
}

}  // namespace platform::files
