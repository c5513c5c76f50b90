// File scanner and wildcard masks.
#include "archive/pakvoFileScan.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "common/Text.h"
#include "platform/files/Volumes.h"

namespace {

// Directories nested deeper than this are not entered (a guard beside the loop check).
constexpr int kMaxDepth = 200;

struct DirCloser {
  void operator()(DIR* d) const {
    if (d) closedir(d);
  }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

uint32_t AttributesFromStat(const std::string& name, const struct stat& st) {
  uint32_t attrs = 0;
  if (S_ISDIR(st.st_mode)) {
    attrs |= kAttrDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attrs |= kAttrArchive;
  } else {
    attrs |= kAttrSystem;
  }
  if (!name.empty() && name[0] == '.') attrs |= kAttrHidden;
  if ((st.st_mode & S_IWUSR) == 0) attrs |= kAttrReadOnly;
  return attrs;
}

std::string RemoveTrailingSlash(std::string dir) {
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string Extension(const std::string& name) {
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

int CompareNames(const std::string& a, const std::string& b, bool caseSensitive) {
  if (caseSensitive) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return text::CompareText(a, b);
}

// Length of the UTF-8 sequence starting at name[pos] (a lone byte counts as one).
size_t CharLength(const std::string& name, size_t pos) {
  size_t n = 1;
  if (static_cast<unsigned char>(name[pos]) >= 0xC0) {
    while (pos + n < name.size() && (static_cast<unsigned char>(name[pos + n]) & 0xC0) == 0x80)
      ++n;
  }
  return n;
}

bool TestAttrs(TpakvoFileAttrs set, uint32_t attrs) {
  return (set.Contains(fsEncrypted) && (attrs & kAttrEncrypted)) ||
         (set.Contains(fsArchive) && (attrs & kAttrArchive)) ||
         (set.Contains(fsZeroAttr) && (attrs == 0 || attrs == kAttrNormal)) ||
         (set.Contains(fsDirectory) && (attrs & kAttrDirectory)) ||
         (set.Contains(fsReadOnly) && (attrs & kAttrReadOnly)) ||
         (set.Contains(fsHidden) && (attrs & kAttrHidden)) ||
         (set.Contains(fsSysFile) && (attrs & kAttrSystem)) ||
         (set.Contains(fsCompressed) && (attrs & kAttrCompressed));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Result list

int TFilesList::Compare(const TFileObject& a, const TFileObject& b) const {
  switch (sort_) {
    case soByName: return CompareNames(a.FileName, b.FileName, CaseSensitive);
    case soByType: return CompareNames(Extension(a.FileName), Extension(b.FileName), CaseSensitive);
    case soBySize: return a.SizeLow < b.SizeLow ? -1 : (a.SizeLow == b.SizeLow ? 0 : 1);
    case soByTime: return a.DosDateTime < b.DosDateTime ? -1 : (a.DosDateTime == b.DosDateTime ? 0 : 1);
    case soUnsort: break;
  }
  return 0;
}

void TFilesList::Add(std::unique_ptr<TFileObject> obj) {
  if (sort_ == soUnsort) {
    items_.push_back(std::move(obj));
    return;
  }
  auto pos = std::upper_bound(items_.begin(), items_.end(), obj,
                              [this](const std::unique_ptr<TFileObject>& x,
                                     const std::unique_ptr<TFileObject>& y) {
                                return Compare(*x, *y) < 0;
                              });
  items_.insert(pos, std::move(obj));
}

void TFilesList::Sort(TpakvoSortOptions order) {
  sort_ = order;
  if (sort_ == soUnsort) return;
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const std::unique_ptr<TFileObject>& x,
                          const std::unique_ptr<TFileObject>& y) { return Compare(*x, *y) < 0; });
}

// ---------------------------------------------------------------------------------------------
// Masks

void TInternalMask::Compile(const std::string& mask) {
  entries_.clear();
  endsWithDot_ = !mask.empty() && mask.back() == '.';
  bool star = false;
  for (char c : mask) {
    if (c == '*') {
      star = true;
    } else if (c == '?') {
      if (!star) entries_.push_back(Entry{false, 1, 0});  // "*?" is the same as "*"
    } else {
      entries_.push_back(Entry{star, 0, text::UpperChar(c)});
      star = false;
    }
  }
  entries_.push_back(Entry{star, 0, 0});
}

bool TInternalMask::Matches(const std::string& name) const {
  std::string upper = text::Upper(name);
  if (endsWithDot_ && upper.find('.') == std::string::npos) upper.push_back('.');
  return MatchCompiled(upper);
}

// Entries are matched left to right; a star entry first skips to the next occurrence of its
// literal and leaves a point to resume one character further on. Only the most recent star can
// change the outcome of a mismatch, so when the stack is full the oldest point is dropped, and a
// star whose literal no longer occurs ends the match: the time stays linear in name x mask.
bool TInternalMask::MatchCompiled(const std::string& name) const {
  struct Point {
    size_t Pos;
    size_t Index;
  };
  Point stack[kMaxBacktrack];
  int depth = 0;
  size_t pos = 0;
  size_t idx = 0;
  const size_t len = name.size();
  for (;;) {
    const Entry& e = entries_[idx];
    if (e.StarBefore) {
      if (e.Char == 0) {
        pos = len;  // a trailing star takes the rest
      } else {
        while (pos < len && name[pos] != e.Char) ++pos;
        if (pos >= len) return false;
      }
      if (pos < len) {
        if (depth == kMaxBacktrack) {
          std::copy(stack + 1, stack + kMaxBacktrack, stack);
          --depth;
        }
        stack[depth++] = Point{pos + 1, idx};
      }
    }
    bool ok;
    if (e.Kind == 1) {
      ok = pos < len;
      if (ok) pos += CharLength(name, pos);
    } else if (e.Char == 0) {
      if (pos == len) return true;
      ok = false;
    } else {
      ok = pos < len && name[pos] == e.Char;
      if (ok) ++pos;
    }
    if (ok) {
      ++idx;
      continue;
    }
    if (depth == 0) return false;
    --depth;
    pos = stack[depth].Pos;
    idx = stack[depth].Index;
  }
}

void TMaskList::Add(const std::string& mask) {
  masks_.push_back(TMultiMask{std::make_unique<TInternalMask>(mask)});
}

void TMaskList::AddText(const std::string& maskText) {
  for (const std::string& piece : text::Split(maskText, ',')) Add(text::Trim(piece));
}

bool TMaskList::Matches(const std::string& name) const {
  for (const TMultiMask& m : masks_)
    if (m.Mask->Matches(name)) return true;
  return false;
}

bool MatchesMask(const std::string& name, const std::string& mask) {
  return TInternalMask(mask).Matches(name);
}

// ---------------------------------------------------------------------------------------------
// Scanner

TpakvoFileScan::TpakvoFileScan() {
  DirectoryWalkHook = [this](const std::string& dir) { WalkDirectory(dir); };
  ListInsertHook = [this](std::unique_ptr<TFileObject> obj) { AddToList(std::move(obj)); };
}

void TpakvoFileScan::SetSorted(TpakvoSortOptions order) {
  FilesList.Sort(order);
  if (FilesList.Count() > 0 && OnFinished) OnFinished(this, FilesCount, FilesSize);
}

void TpakvoFileScan::SetFileSpec(const std::vector<std::string>& masks) {
  fileSpec_ = masks;
  MaskText.clear();
}

void TpakvoFileScan::SetRootDir(const std::string& dir) {
  rootDir_ = dir;
  if (rootDir_.empty() || rootDir_.back() != '/') rootDir_.push_back('/');
}

void TpakvoFileScan::SetAttribute(TpakvoFileAttr attr, bool on) {
  if (static_cast<int>(attr) >= 16) return;
  if (on)
    Attributes.Include(attr);
  else
    Attributes.Exclude(attr);
}

bool TpakvoFileScan::PassesFilters(uint32_t attrs) const {
  bool included = (attrs & kAttrNotContentIndexed) || TestAttrs(Attributes, attrs);
  return included && !TestAttrs(AttributesEx, attrs);
}

void TpakvoFileScan::AddToList(std::unique_ptr<TFileObject> obj) { FilesList.Add(std::move(obj)); }

void TpakvoFileScan::WalkDirectory(const std::string& dir) { Walk(dir, 0); }

void TpakvoFileScan::Walk(const std::string& dir, int depth) {
  std::string base = dir;
  if (base.empty() || base.back() != '/') base.push_back('/');
  struct stat dst {};
  if (stat(base.c_str(), &dst) != 0) return;
  // A directory already on the walk's path is reached again through a link: a loop.
  std::pair<uint64_t, uint64_t> id{static_cast<uint64_t>(dst.st_dev),
                                   static_cast<uint64_t>(dst.st_ino)};
  if (std::find(walking_.begin(), walking_.end(), id) != walking_.end()) return;
  if (depth > kMaxDepth) return;
  walking_.push_back(id);

  if (OnRecurseDir) OnRecurseDir(this, RemoveTrailingSlash(base));
  DirHandle handle(opendir(base.c_str()));
  if (handle) {
    while (!Cancel()) {
      struct dirent* ent = readdir(handle.get());
      if (!ent) break;
      std::string name = ent->d_name;
      if (name == "." || name == "..") continue;
      std::string full = base + name;
      struct stat st {};
      if (stat(full.c_str(), &st) != 0) continue;  // dangling link or vanished entry
      uint32_t attrs = AttributesFromStat(name, st);
      bool isDir = (attrs & kAttrDirectory) != 0;
      if (PassesFilters(attrs)) {
        if (!isDir && masks_.Matches(name)) {
          ++FilesCount;
          FilesSize += static_cast<int64_t>(st.st_size);
          if (OnScanFile) OnScanFile(this, name, FilesCount, FilesSize);
          if (UpdateList) {
            auto obj = std::make_unique<TFileObject>();
            obj->FileName = name;
            obj->Path = base;
            obj->SizeLow = static_cast<uint32_t>(static_cast<uint64_t>(st.st_size));
            obj->SizeHigh = static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) >> 32);
            obj->Attributes = attrs;
            obj->DosDateTime = FileTimeToDos(static_cast<int64_t>(st.st_mtime));
            ListInsertHook(std::move(obj));
          }
        } else if (isDir && UpdateList) {
          auto obj = std::make_unique<TFileObject>();
          obj->Path = full + "/";
          obj->Attributes = attrs;
          obj->DosDateTime = FileTimeToDos(static_cast<int64_t>(st.st_mtime));
          ListInsertHook(std::move(obj));
        }
      }
      if (isDir && RecurseDirs && (!(attrs & kAttrHidden) || IncludeHiddenDirs))
        Walk(full, depth + 1);
      if (ProcessMessages) ProcessMessages();
    }
  }
  walking_.pop_back();
}

void TpakvoFileScan::ScanRoot(const std::string& root) {
  walking_.clear();
  if (ScanOptions == soScanDir) {
    DirectoryWalkHook(root);
    return;
  }
  platform::files::IVolumes& volumes = Volumes ? *Volumes : platform::files::SystemVolumes();
  for (const std::string& drive : volumes.Drives()) {
    if (Cancel()) break;
    int type = volumes.DriveType(drive);
    if (type >= platform::files::dkFixed && type <= platform::files::dkRamDisk)
      DirectoryWalkHook(drive);
  }
}

void TpakvoFileScan::Scan() {
  FilesList.Clear();
  FilesCount = 0;
  FilesSize = 0;
  SetCancel(false);
  masks_.Clear();

  if (!MaskText.empty()) {
    struct stat st {};
    if (stat(rootDir_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      masks_.AddText(MaskText);
      ScanRoot(rootDir_);
    }
  } else {
    std::vector<std::string> masks;
    for (const std::string& entry : fileSpec_) {
      std::string t = text::Trim(entry);
      if (!t.empty()) masks.push_back(t);
    }
    fileSpec_ = masks;
    while (!fileSpec_.empty() && !Cancel()) {
      auto dirOf = [this](const std::string& entry) {
        size_t slash = entry.find_last_of('/');
        if (slash != std::string::npos) return entry.substr(0, slash + 1);
        if (!rootDir_.empty()) return rootDir_;
        char buf[4096];
        std::string cwd = getcwd(buf, sizeof buf) ? buf : ".";
        return cwd + "/";
      };
      std::string dir = dirOf(fileSpec_.front());
      masks_.Clear();
      std::vector<std::string> rest;
      for (const std::string& entry : fileSpec_) {
        if (dirOf(entry) == dir) {
          size_t slash = entry.find_last_of('/');
          std::string name = slash == std::string::npos ? entry : entry.substr(slash + 1);
          masks_.Add(name.empty() || name == "*.*" ? std::string(1, '*') : name);
        } else {
          rest.push_back(entry);
        }
      }
      fileSpec_ = std::move(rest);
      if (OnRootDirChange) OnRootDirChange(this, dir);
      ScanRoot(dir);
    }
  }
  if (OnFinished) OnFinished(this, FilesCount, FilesSize);
}

