// The machine's drives seen through /proc/self/mountinfo, /sys/block and statvfs.
#include "platform/files/Volumes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform::files {
namespace {

namespace fs = std::filesystem;

struct MountEntry {
  std::string MountPoint;  // without trailing "/" except for "/" itself
  std::string FsType;
  std::string Source;
  unsigned Major = 0;
  unsigned Minor = 0;
};

// mountinfo writes blanks and a few other characters as backslash + three octal digits.
std::string DecodeMountText(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
        s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::vector<MountEntry> ReadMounts() {
  std::vector<MountEntry> mounts;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string id, parent, devno, root, mountPoint;
    if (!(ls >> id >> parent >> devno >> root >> mountPoint)) continue;
    std::string field;
    while (ls >> field && field != "-") {
    }
    MountEntry e;
    ls >> e.FsType >> e.Source;
    e.MountPoint = DecodeMountText(mountPoint);
    e.Source = DecodeMountText(e.Source);
    size_t colon = devno.find(':');
    if (colon != std::string::npos) {
      e.Major = static_cast<unsigned>(std::strtoul(devno.c_str(), nullptr, 10));
      e.Minor = static_cast<unsigned>(std::strtoul(devno.c_str() + colon + 1, nullptr, 10));
    }
    mounts.push_back(std::move(e));
  }
  return mounts;
}

std::string WithoutTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string WithTrailingSlash(std::string p) {
  if (p.empty() || p.back() != '/') p.push_back('/');
  return p;
}

// The mount whose mount point is the longest prefix of `path`; the last mounted wins a tie.
const MountEntry* FindMount(const std::vector<MountEntry>& mounts, const std::string& path) {
  const MountEntry* best = nullptr;
  for (const MountEntry& m : mounts) {
    const std::string& mp = m.MountPoint;
    bool prefix = mp == "/" || path == mp ||
                  (path.size() > mp.size() && path.compare(0, mp.size(), mp) == 0 &&
                   path[mp.size()] == '/');
    if (prefix && (!best || mp.size() >= best->MountPoint.size())) best = &m;
  }
  return best;
}

// Resolves as much of the path as exists, keeping the rest as written.
std::string CanonicalPrefix(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  fs::path canon = fs::weakly_canonical(p, ec);
  if (ec) return p.lexically_normal().string();
  return canon.string();
}

bool IsPseudoFs(const std::string& t) {
  static const char* const kPseudo[] = {
      "proc",    "sysfs",     "devtmpfs",   "devpts",     "cgroup",     "cgroup2",
      "mqueue",  "securityfs", "debugfs",   "tracefs",    "pstore",     "bpf",
      "configfs", "fusectl",  "hugetlbfs",  "binfmt_misc", "autofs",    "nsfs",
      "efivarfs", "rpc_pipefs", "selinuxfs"};
  for (const char* p : kPseudo)
    if (t == p) return true;
  return false;
}

bool IsRemoteFs(const std::string& t) {
  return t.rfind("nfs", 0) == 0 || t == "cifs" || t == "smb3" || t == "smbfs" || t == "9p" ||
         t == "fuse.sshfs" || t == "sshfs" || t == "afs" || t == "ceph" || t == "glusterfs";
}

// Reads /sys/dev/block/M:m/removable, or the parent disk's for a partition.
bool IsRemovableDevice(unsigned major, unsigned minor) {
  if (major == 0) return false;
  std::string base = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  for (const char* rel : {"/removable", "/../removable"}) {
    std::ifstream in(base + rel);
    int v = 0;
    if (in >> v) return v == 1;
  }
  return false;
}

std::string ReadLabelFile(const std::string& root) {
  std::ifstream in(WithTrailingSlash(root) + kLabelFileName);
  std::string label;
  if (!in) return {};
  std::getline(in, label);
  return label;
}

// /dev/disk/by-label escapes unusual characters as \xHH.
std::string DecodeByLabel(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && std::isxdigit(s[i + 2]) &&
        std::isxdigit(s[i + 3])) {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::string LabelFromDevice(const std::string& source) {
  std::error_code ec;
  if (source.empty() || source[0] != '/') return {};
  fs::path device = fs::canonical(source, ec);
  if (ec) return {};
  for (fs::directory_iterator it("/dev/disk/by-label", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code ec2;
    if (fs::canonical(it->path(), ec2) == device && !ec2)
      return DecodeByLabel(it->path().filename().string());
  }
  return {};
}

class SystemVolumesImpl final : public IVolumes {
 public:
  std::string DriveRoot(const std::string& path) override {
    std::vector<MountEntry> mounts = ReadMounts();
    std::string canon = CanonicalPrefix(path);
    const MountEntry* m = FindMount(mounts, canon);
    return WithTrailingSlash(m ? m->MountPoint : std::string("/"));
  }

  int DriveType(const std::string& root) override {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) return dkNoRootDir;
    std::vector<MountEntry> mounts = ReadMounts();
    const MountEntry* m = FindMount(mounts, WithoutTrailingSlash(CanonicalPrefix(root)));
    if (!m) return dkUnknown;
    if (IsPseudoFs(m->FsType)) return dkUnknown;
    if (IsRemoteFs(m->FsType)) return dkRemote;
    if (m->FsType == "iso9660" || m->FsType == "udf") return dkCdRom;
    if (m->FsType == "tmpfs" || m->FsType == "ramfs") return dkRamDisk;
    if (IsRemovableDevice(m->Major, m->Minor)) return dkRemovable;
    return dkFixed;
  }

  bool DiskSpace(const std::string& root, uint64_t& total, uint64_t& freeBytes) override {
    struct statvfs st {};
    if (statvfs(root.c_str(), &st) != 0) {
      lastError_ = std::strerror(errno);
      return false;
    }
    total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    freeBytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    return true;
  }

  bool VolumeInfo(const std::string& root, VolumeInformation& info) override {
    struct statvfs st {};
    if (statvfs(root.c_str(), &st) != 0) {
      lastError_ = std::strerror(errno);
      return false;
    }
    std::vector<MountEntry> mounts = ReadMounts();
    const MountEntry* m = FindMount(mounts, WithoutTrailingSlash(CanonicalPrefix(root)));
    info = VolumeInformation{};
    info.SerialNumber = static_cast<uint32_t>(st.f_fsid);
    info.MaxComponentLength = static_cast<uint32_t>(st.f_namemax);
    info.FileSystemFlags = (st.f_flag & ST_RDONLY) ? 0x80000u : 0u;
    if (m) info.FileSystemName = m->FsType;
    info.Label = ReadLabelFile(m ? m->MountPoint : root);
    if (info.Label.empty() && m) info.Label = LabelFromDevice(m->Source);
    return true;
  }

  bool SetVolumeLabel(const std::string& root, const std::string& label) override {
    std::string file = WithTrailingSlash(root) + kLabelFileName;
    std::ofstream out(file, std::ios::trunc);
    if (!out) {
      lastError_ = std::strerror(errno);
      return false;
    }
    out << label << '\n';
    out.close();
    if (!out) {
      lastError_ = "Error writing the volume label";
      return false;
    }
    return true;
  }

  std::string CreateProbeFile(const std::string& root, const std::string& prefix,
                              VolumeError& error) override {
    std::string pattern = WithTrailingSlash(root) + prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0) {
      int e = errno;
      lastError_ = std::strerror(e);
      switch (e) {
        case EROFS: error = VolumeError::WriteProtected; break;
        case EACCES:
        case EPERM: error = VolumeError::AccessDenied; break;
        case ENOSPC:
        case EDQUOT: error = VolumeError::DiskFull; break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:
        case ENOMEDIUM: error = VolumeError::NotReady; break;
        default: error = VolumeError::Other; break;
      }
      return {};
    }
    close(fd);
    error = VolumeError::None;
    return std::string(buf.data());
  }

  bool RemoveFile(const std::string& path) override {
    if (unlink(path.c_str()) != 0) {
      lastError_ = std::strerror(errno);
      return false;
    }
    return true;
  }

  std::vector<std::string> Drives() override {
    std::vector<std::string> roots;
    for (const MountEntry& m : ReadMounts()) roots.push_back(WithTrailingSlash(m.MountPoint));
    return roots;
  }

  std::string LastErrorText() override { return lastError_; }

 private:
  std::string lastError_;
};

}  // namespace

IVolumes& SystemVolumes() {
  static SystemVolumesImpl volumes;
  return volumes;
}

}  // namespace platform::files
