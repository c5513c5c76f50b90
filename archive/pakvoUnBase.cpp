#include "archive/pakvoUnBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "archive/pakvoErrors.h"
#include "archive/pakvoFileScan.h"
#include "common/Text.h"

namespace {

std::string DirOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return {};
  }
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool HasDir(const std::string& name) { return name.find('/') != std::string::npos; }

std::string JoinTarget(const std::string& dir, const std::string& name) {
  if (dir.empty()) {
    return name;
  }
  std::string path = dir;
  if (path.back() != '/') path.push_back('/');
  path.append(name);
  return path;
}

}  // namespace

// The output of one entry: a temporary file beside the target that takes the target's name only
// when the entry is complete; destroying it unfinished removes it.
class TOutputFile {
 public:
  ~TOutputFile() { Discard(); }

  bool Create(const std::string& target) {
    std::string dir = DirOf(target);
    tempName_ = JoinTarget(dir.empty() ? "." : dir, ".pakvo-XXXXXX");
    fd_ = ::mkstemp(tempName_.data());
    if (fd_ < 0) {
      tempName_.clear();
      return false;
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
  }

  // Writes everything; false with errno set on failure.
  bool Write(const uint8_t* data, size_t count) {
    while (count > 0) {
      ssize_t n = ::write(fd_, data, count);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (n == 0) {
        errno = ENOSPC;
        return false;
      }
      data += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }

  // Closes the file and gives it the target's name.
  bool Commit(const std::string& target) {
    bool ok = ::close(fd_) == 0;
    fd_ = -1;
    ok = ok && ::rename(tempName_.c_str(), target.c_str()) == 0;
    if (ok) {
      tempName_.clear();
    }
    return ok;
  }

  void Discard() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    if (!tempName_.empty()) {
      ::unlink(tempName_.c_str());
      tempName_.clear();
    }
  }

 private:
  int fd_ = -1;
  std::string tempName_;
};

TUnBase::TUnBase() { RecurseDirs = true; }
TUnBase::~TUnBase() = default;

void TUnBase::SetArcFile(const std::string& name) {
  TZipCommon::SetArcFile(name);
  if (name.empty()) {
    ArcFile.clear();
  }
  SetExtractDir({});
}

void TUnBase::SetExtractDir(const std::string& dir) {
  std::string d = dir;
  for (char& c : d) {
    if (c == '\\') c = '/';
  }
  while (d.size() > 1 && d.back() == '/') {
    d.pop_back();
  }
  if (d.empty() && !ArcFile.empty()) {
    d = DirOf(ArcFile);
  }
  extractDir_ = d;
}

int TUnBase::Extract() {
  EntryCount = 0;
  if (!OpenArchive()) {
    return 0;
  }
  ExtractRun();
  return EntryCount;
}

bool TUnBase::OpenArchive() {
  if (ArcFile.empty()) {
    ReportError(ArcFile, "", "0", kErrFileNotFound);
    return false;
  }
  int fd = ::open(ArcFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
    return false;
  }
  struct stat st {};
  ArcFileSize = ::fstat(fd, &st) == 0 ? st.st_size : 0;
  ::close(fd);
  return true;
}

void TUnBase::ExtractRun() {
  SetCancel(false);
  EntryCount = 0;
  Encrypted = false;
  BytesTotal = BytesLeft = BytesDone = fileSize_ = fileDone_ = 0;
  MaxFileDate = 0;
  ProgressByFile = ProgressByArchive = 0;
  if (CpuType == cpt80486) {
    CpuType = cptAuto;
  }
  ArchiveBaseName = ArcFile;
  const std::string keptArchive = ArcFile;

  // The walk may move to other volumes; the archive name and the output are restored whatever
  // happens.
  struct Restore {
    TUnBase& self;
    std::string archive;
    ~Restore() {
      self.ArcFile = archive;
      self.output_.reset();
    }
  } restore{*this, keptArchive};

  if (OnActivate) {
    OnActivate(this);
  }
  if (OnElapsedTime) {
    Timer().Start();
  }
  Password.clear();
  CurrentFile.clear();
  ExtractArchive();
  Timer().Stop();
  if (OnElapsedTime) {
    OnElapsedTime(this, Timer().ElapsedTime());
  }
  if (OnDeactivate) {
    OnDeactivate(this);
  }
}

std::string TUnBase::ResolveFileName(const std::string& storedName) {
  if (extractDir_.empty()) {
    extractDir_ = DirOf(ArcFile);
    if (extractDir_.empty()) {
      extractDir_ = std::filesystem::current_path().string();
    }
  }

  // Split the stored name into its parts; parts that would climb out of ExtractDir (a drive, a
  // leading separator, "..") are dropped, as unzip drops them, and reported.
  std::string name = storedName;
  bool climbs = false;
  if (name.find('\0') != std::string::npos) {
    name.resize(name.find('\0'));
    climbs = true;
  }
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    name.erase(0, 2);
    climbs = true;
  }
  if (!name.empty() && name[0] == '/') {
    climbs = true;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t slash = name.find('/', start);
    if (slash == std::string::npos) slash = name.size();
    std::string part = name.substr(start, slash - start);
    if (part == "..") {
      climbs = true;
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string clean;
  for (const auto& p : parts) {
    if (!clean.empty()) clean.push_back('/');
    clean.append(p);
  }
  // An empty name is as unusable as one that climbs ("./", as jar tools store it, names the
  // target folder itself and is passed over quietly).
  if (climbs || name.empty()) {
    ReportError(storedName, clean, "0", kErrInvalidFileName);
  }
  storedName_ = clean;
  if (clean.empty()) {
    CurrentFile.clear();
  } else {
    CurrentFile = JoinTarget(extractDir_, UseStoredDirs ? clean : parts.back());
  }
  return CurrentFile;
}

bool TUnBase::DoBeginFile(bool Forced) {
  if (Forced) {
    return true;
  }
  Timer().Pause();
  bool extract = true;
  if (OnBegin) {
    // A new name is asked for only together with OnBegin, and only for files.
    if (OnRenameFile && WritesToFile()) {
      std::string newName;
      OnRenameFile(this, CurrentFile, newName);
      if (!newName.empty()) {
        CurrentFile = HasDir(newName) ? newName : JoinTarget(DirOf(CurrentFile), newName);
      }
    }
    OnBegin(this, CurrentFile, EntryCount + 1, extract);
  }
  bool taken = false;
  if (!GetCancel() && extract) {
    if (ConfirmOverwrites) {
      OverwriteMode = omOverwrite;
      if (FileGetAttr(CurrentFile) >= 0) {
        if (!OnFileExists) {
          ReportError(CurrentFile, "OnFileExists", "0", kErrRequiredEventNotAssigned);
          OverwriteMode = omSkip;
        } else {
          do {
            std::string newName;
            OnFileExists(this, CurrentFile, newName, OverwriteMode);
            if (newName.empty()) {
              newName = CurrentFile;
            } else if (!HasDir(newName)) {
              newName = JoinTarget(DirOf(CurrentFile), newName);
            }
            if (OverwriteMode == omOverwrite && newName == CurrentFile) {
              break;
            }
            CurrentFile = newName;
            if (GetCancel() || OverwriteMode == omSkip) {
              break;
            }
          } while (FileGetAttr(CurrentFile) >= 0);
        }
      }
      bool ok = !GetCancel() && OverwriteMode != omSkip;
      int attr = ok ? FileGetAttr(CurrentFile) : -1;
      if (attr >= 0 && (attr & faReadOnly) != 0) {
        if ((attr & (faSysFile | faDirectory)) != 0) {
          ReportError(CurrentFile, "", "0", kErrErrorWritingToFile);
          ok = false;
        } else {
          struct stat st {};
          if (::stat(CurrentFile.c_str(), &st) == 0) {
            ::chmod(CurrentFile.c_str(), st.st_mode | S_IWUSR);
          }
        }
      }
      taken = ok && !CurrentFile.empty();
    } else {
      taken = OverwriteMode == omOverwrite;
    }
  }
  if (taken) {
    ++EntryCount;
  }
  Timer().Resume();
  return taken;
}

bool TUnBase::TryPassword() {
  uint8_t copy[12];
  std::copy(passwordHeader_, passwordHeader_ + 12, copy);
  return CheckPassword(copy);
}

bool TUnBase::NextListPassword() {
  if (!fromList_) {
    return false;
  }
  Timer().Pause();
  const std::string failed = Password;
  bool ok = false;
  while (!ok && listNext_ < Passwords.size()) {
    Password = Passwords[listNext_++];
    ok = Password != failed && TryPassword();
  }
  Timer().Resume();
  return ok;
}

bool TUnBase::GetPassword(const uint8_t* header) {
  Timer().Pause();
  std::copy(header, header + 12, passwordHeader_);
  fromList_ = true;
  listNext_ = 0;
  bool ok = TryPassword();
  while (!ok && listNext_ < Passwords.size()) {
    Password = Passwords[listNext_++];
    ok = TryPassword();
  }
  if (!ok) {
    fromList_ = false;
    if (!OnGetPassword) {
      ReportError(CurrentFile, "OnGetPassword", "0", kErrRequiredEventNotAssigned);
    } else {
      for (int attempt = 0; attempt < PasswordAttempts && !ok; ++attempt) {
        if (GetCancel()) {
          break;
        }
        bool tryAgain = true;
        std::string candidate;
        OnGetPassword(this, CurrentFile, candidate, tryAgain);
        if (!tryAgain) {
          ReportError(CurrentFile, "", "0", kErrInvalidPassword);
          break;
        }
        Password = candidate;
        if (TryPassword()) {
          Passwords.insert(Passwords.begin(), candidate);
          ok = true;
        } else {
          Password.clear();
          ReportError(CurrentFile, "", "0", kErrInvalidPassword);
        }
      }
    }
  }
  Timer().Resume();
  return ok;
}

bool TUnBase::OpenOutput() {
  crc32_ = 0;
  fileDone_ = 0;
  std::string dir = DirOf(CurrentFile);
  // The folders made for an entry that cannot be written are removed again.
  std::vector<std::string> created;
  if (!dir.empty() && !ForceDirectories(dir, &created)) {
    RemoveCreatedDirectories(created);
    return false;
  }
  int attr = FileGetAttr(CurrentFile);
  // A directory, or a read-only file (which the platform would not open for writing), cannot be
  // replaced.
  if (attr >= 0 && (attr & (faDirectory | faReadOnly)) != 0) {
    return false;
  }
  output_ = std::make_unique<TOutputFile>();
  if (!output_->Create(CurrentFile)) {
    output_.reset();
    RemoveCreatedDirectories(created);
    return false;
  }
  return true;
}

bool TUnBase::WriteOutput(const uint8_t* buffer, size_t count) {
  if (count == 0) {
    return true;
  }
  if (!output_ || !output_->Write(buffer, count)) {
    if (errno == ENOSPC) {
      EntryCount = 0;
      RaiseError(ArcFile, CurrentFile, "0", kErrDiskFull);
    } else {
      if (EntryCount > 0) --EntryCount;
      ReportError(ArcFile, CurrentFile, "0", kErrErrorWritingToFile);
    }
    return false;
  }
  crc32_ = static_cast<uint32_t>(::crc32(crc32_, buffer, static_cast<uInt>(count)));
  return true;
}

void TUnBase::CloseOutput(bool keep, uint32_t Attr, uint32_t DosDate) {
  if (!output_) {
    return;
  }
  if (!keep) {
    output_.reset();
    return;
  }
  if (!output_->Commit(CurrentFile)) {
    output_.reset();
    ReportError(CurrentFile, "", "0", kErrErrorWritingToFile);
    return;
  }
  output_.reset();
  uint32_t date = GetFileDate(DosDate);
  if (date == 0) {
    date = 0x210020;
  }
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(DosToFileTime(date));
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ::utimensat(AT_FDCWD, CurrentFile.c_str(), times, 0);
  if (RestoreFileAttr && Attr != faArchive && (Attr & faReadOnly) != 0) {
    struct stat st {};
    if (::stat(CurrentFile.c_str(), &st) == 0) {
      ::chmod(CurrentFile.c_str(), st.st_mode & ~static_cast<mode_t>(0222));
    }
  }
}

bool TUnBase::CheckCrc(int /*CrcKind*/, uint32_t StoredCrc) {
  bool verdict = !GetCancel() && (crc32_ == StoredCrc || ~crc32_ == StoredCrc);
  if (OnEnd) {
    Timer().Pause();
    OnEnd(this, CurrentFile, verdict);
    Timer().Resume();
  } else if (!verdict) {
    ReportError(CurrentFile, "", "0", kErrFileFailsCRCCheck);
  }
  return verdict;
}

void TUnBase::ExtractProgress(uint64_t block) {
  const auto done = static_cast<int64_t>(block);
  BytesLeft = done > BytesLeft ? 0 : BytesLeft - done;
  fileDone_ += done;
  DoProgress(BytesTotal - BytesLeft, fileSize_, fileDone_);
}

bool TUnBase::MatchSpecLists(const std::string& Name, const std::vector<std::string>& Include,
                             const std::vector<std::string>& Exclude) {
  auto matches = [&](const std::string& mask) {
    std::string name = Name;
    if (mask.find('.') != std::string::npos && name.find('.') == std::string::npos) {
      name += '.';
    }
    return MatchesMask(name, mask);
  };
  bool included = Include.empty();
  for (const auto& m : Include) {
    if (m.empty() || matches(m)) {
      included = true;
      break;
    }
  }
  if (!included) {
    return false;
  }
  for (const auto& m : Exclude) {
    if (!m.empty() && matches(m)) {
      return false;
    }
  }
  return true;
}

// A FileSpec entry equal to the name matches; an entry with a directory part matches names in
// that directory (and below it with Recurse); an entry without one matches names anywhere with
// Recurse, else only names without a directory. The name part is matched with wildcards. An
// empty list takes all.
bool TUnBase::MatchFileSpecPath(const std::string& Name, const std::vector<std::string>& Specs,
                                bool Recurse) {
  if (Specs.empty()) {
    return true;
  }
  std::string name = Name;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  while (!name.empty() && name.back() == '/') {
    name.pop_back();
  }
  std::size_t slash = name.find_last_of('/');
  std::string nameDir = slash == std::string::npos ? "" : name.substr(0, slash);
  std::string namePart = slash == std::string::npos ? name : name.substr(slash + 1);
  for (std::string mask : Specs) {
    for (char& c : mask) {
      if (c == '\\') c = '/';
    }
    if (mask.empty() || mask == "*.*") {
      mask.assign(1, '*');
    }
    if (text::SameText(mask, name)) {
      return true;
    }
    std::size_t s = mask.find_last_of('/');
    std::string maskDir = s == std::string::npos ? "" : mask.substr(0, s);
    std::string maskPart = s == std::string::npos ? mask : mask.substr(s + 1);
    bool dirOk;
    if (maskDir.empty()) {
      dirOk = Recurse || nameDir.empty();
    } else {
      const std::string a = text::Lower(nameDir);
      const std::string b = text::Lower(maskDir);
      dirOk = a == b || (Recurse && a.size() > b.size() && a.compare(0, b.size(), b) == 0 &&
                         a[b.size()] == '/');
    }
    if (dirOk && MatchSpecLists(namePart, {maskPart.empty() ? "*" : maskPart}, {})) {
      return true;
    }
  }
  return false;
}
