#include "archive/pakvoZip.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoFileScan.h"
#include "archive/pakvoZipInternal.h"
#include "common/Text.h"
#include "platform/files/Volumes.h"

using namespace zipfmt;

namespace {

// Files up to this size are read whole and written with their record in one go.
constexpr int64_t kWholeEntryLimit = 1 << 20;

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Reads a file for one packing pass after another, counting the bytes (and, when asked, the CRC-32)
// of the last complete pass: a pass ends when the packer rewinds the file.
class TPassCounter : public TStream {
 public:
  TPassCounter(TStream& source, bool withCrc) : source_(source), withCrc_(withCrc) {}
  int64_t GetSize() override { return source_.GetSize(); }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = source_.Read(buffer, count);
    if (n > 0) {
      bytes_ += n;
      if (withCrc_) UpdateCrc32(buffer, static_cast<size_t>(n), crc_);
    }
    return n;
  }
  int64_t Write(const void*, int64_t) override { return -1; }
  int64_t Seek(int64_t offset, int origin) override {
    const int64_t pos = source_.Seek(offset, origin);
    if (pos == 0 && bytes_ > 0) {
      lastBytes_ = bytes_;
      lastCrc_ = crc_ ^ 0xFFFFFFFFu;
      bytes_ = 0;
      crc_ = 0xFFFFFFFFu;
    }
    return pos;
  }
  int64_t LastPassBytes() const { return bytes_ > 0 ? bytes_ : lastBytes_; }
  uint32_t LastPassCrc() const { return bytes_ > 0 ? crc_ ^ 0xFFFFFFFFu : lastCrc_; }

 private:
  TStream& source_;
  bool withCrc_;
  int64_t bytes_ = 0;
  int64_t lastBytes_ = 0;
  uint32_t crc_ = 0xFFFFFFFFu;
  uint32_t lastCrc_ = 0;
};

bool DirIsEmpty(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool empty = true;
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  ::closedir(d);
  return empty;
}

}  // namespace

// ---- TCompBase ----

TCompBase::TCompBase() {
  RecurseDirs = true;
  StoreFilesOfType = {".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                      ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                      ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
}

void TCompBase::SetArcFile(const std::string& name) {
  std::string n = name;
  std::replace(n.begin(), n.end(), '\\', kPathDelim);
  if (!n.empty()) {
    const std::string base = FileNamePart(n);
    if (base.find('.') == std::string::npos) n += defaultExt_;
  }
  ArcFile = n;
  Offset = -1;
  SetCancel(false);
}

void TCompBase::SetDefaultExt(const std::string& ext) {
  std::string e = ext;
  if (e.empty() || e == ".") {
    e = ClassDefaultExt();
  } else {
    if (e.find('.') == std::string::npos) e = "." + e;
    e = text::Lower(e.substr(0, 4));
  }
  const std::string old = defaultExt_;
  defaultExt_ = e;
  if (!ArcFile.empty()) {
    const std::string base = FileNamePart(ArcFile);
    const size_t dot = base.rfind('.');
    if (dot == std::string::npos) {
      ArcFile += e;
    } else if (text::SameText(base.substr(dot), old)) {
      ArcFile = ChangeExt(ArcFile, e);
    }
  }
}

std::string TCompBase::ResolveFileName(const std::string& Name) {
  switch (StoredDirNames) {
    case sdNone:
      return FileNamePart(Name);
    case sdAbsolute:
      return Name;
    case sdAbsoluteNoDrv:
    case sdAbsoluteNoRoot: {
      std::string n = Name;
      if (IsUNC(n)) {
        // "//server/share/rest" keeps "/rest".
        size_t p = n.find(kPathDelim, 2);
        p = p == std::string::npos ? std::string::npos : n.find(kPathDelim, p + 1);
        n = p == std::string::npos ? std::string() : n.substr(p);
      }
      if (StoredDirNames == sdAbsoluteNoRoot && !n.empty() && n.front() == kPathDelim) n.erase(0, 1);
      return n;
    }
    case sdRelative:
      if (text::StartsWithText(Name, rootDir_)) return Name.substr(rootDir_.size());
      return Name;
    case sdRelativeStoreStart: {
      const std::string root = RemoveDirTail(rootDir_);
      const size_t slash = root.rfind(kPathDelim);
      const std::string parent = slash == std::string::npos ? std::string() : root.substr(0, slash + 1);
      if (!parent.empty() && text::StartsWithText(Name, parent)) return Name.substr(parent.size());
      return Name;
    }
    case sdExplorer_Auto:
    case sdExplorer_UserDefineDefaultDir: {
      const std::string dir = DefaultDir.empty() ? rootDir_ : AppendDirTail(DefaultDir);
      if (text::StartsWithText(Name, dir)) return Name.substr(dir.size());
      return Name;
    }
  }
  return Name;
}

bool TCompBase::DeleteFileEx(const std::string& name) {
  if (DeleteOptions == doFinal) return ::unlink(name.c_str()) == 0;
  // The freedesktop trash of the user.
  std::string dataHome;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    dataHome = x;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    dataHome = std::string(home) + "/.local/share";
  } else {
    return false;
  }
  const std::string files = dataHome + "/Trash/files";
  const std::string info = dataHome + "/Trash/info";
  if (!ForceDirectories(files) || !ForceDirectories(info)) return false;
  std::string base = FileNamePart(name);
  std::string target = files + "/" + base;
  for (int k = 2; FileExistsFF(target) || FileExistsFF(info + "/" + FileNamePart(target) + ".trashinfo"); ++k) {
    target = files + "/" + base + "." + std::to_string(k);
  }
  char when[32];
  const time_t now = ::time(nullptr);
  struct tm local{};
  ::localtime_r(&now, &local);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local);
  char real[4096];
  const std::string original = ::realpath(name.c_str(), real) ? std::string(real) : name;
  {
    TFileStream32 infoFile(info + "/" + FileNamePart(target) + ".trashinfo", fmCreate);
    const std::string body = "[Trash Info]\nPath=" + original + "\nDeletionDate=" + when + "\n";
    if (infoFile.Handle < 0 || infoFile.Write(body.data(), static_cast<int64_t>(body.size())) !=
                                   static_cast<int64_t>(body.size())) {
      return false;
    }
  }
  return ::rename(name.c_str(), target.c_str()) == 0;
}

int TCompBase::Compress() {
  EntryCount = 0;
  OutputMode = kOutputToFiles;
  added_ = deleted_ = 0;
  moved_.clear();
  BytesTotal = BytesDone = BytesLeft = 0;
  MaxFileDate = 0;
  ProgressByFile = ProgressByArchive = 0;
  ArchiveBaseName = ArcFile;
  SetCancel(false);
  if (!ArcFile.empty() && !CheckArchiveDrive()) return 0;
  if (!FileSpec.empty()) {
    if (Switch == swDelete) {
      DefaultDir.clear();
    } else if (StoredDirNames == sdExplorer_Auto) {
      auto dirOf = [](const std::string& s) {
        const size_t slash = s.rfind(kPathDelim);
        return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
      };
      std::string common = dirOf(FileSpec.front());
      for (const std::string& mask : FileSpec) {
        const std::string d = dirOf(mask);
        size_t k = 0;
        while (k < common.size() && k < d.size() && text::UpperChar(common[k]) == text::UpperChar(d[k])) ++k;
        common.resize(k);
      }
      const size_t slash = common.rfind(kPathDelim);
      DefaultDir = slash == std::string::npos ? std::string() : common.substr(0, slash + 1);
    } else if (StoredDirNames == sdExplorer_UserDefineDefaultDir && DefaultDir.empty()) {
      ReportError(ArcFile, "DefaultDir", "0", kErrRequiredPropertyNotAssigned);
      return 0;
    }
  }
  if (ArcFile.empty() || GetCancel()) return 0;
  return DoCompress();
}

int TCompBase::DoCompress() {
  const bool newArchive = !FileExistsFF(ArcFile);
  if (Switch == swRead) {
    if (!newArchive) ReadArchive();
    return 0;
  }
  if (!newArchive) {
    if (GetCancel() || OverwriteMode == omSkip) return 0;
    const int attr = FileGetAttr(ArcFile);
    if ((attr & (faReadOnly | faHidden | faSysFile | faDirectory)) != 0) {
      if (!OnNonWriteableArchive) {
        ReportError(ArcFile, "OnNonWriteableArchive", "0", kErrRequiredEventNotAssigned);
        return 0;
      }
      bool writeToFile = false;
      OnNonWriteableArchive(this, ArcFile, writeToFile);
      if (!writeToFile || (attr & faDirectory) != 0) return 0;
      struct stat st{};
      if (::stat(ArcFile.c_str(), &st) == 0) ::chmod(ArcFile.c_str(), st.st_mode | S_IWUSR);
    }
  } else if (Switch == swDelete) {
    ReportError(ArcFile, "", "0", kErrNothingToDo26859);
    return 0;
  }
  if (OnElapsedTime) Timer().Start();
  if (OnActivate) OnActivate(this);

  std::unique_ptr<TTempFileStream> fileOut;
  std::unique_ptr<TTempMemStream> memOut;
  TStream32* out = nullptr;
  if (CompressionMethod == cmTempFile) {
    fileOut = std::make_unique<TTempFileStream>(this, fmCreate, ArcFile, TempDir());
    out = fileOut.get();
  } else {
    memOut = std::make_unique<TTempMemStream>(this, fmCreate, ArcFile);
    out = memOut.get();
  }
  out->CancelFlag = CancelPointer();
  tempFile_ = fileOut ? fileOut->TempFileName : std::string();

  bool ok = true;
  bool spanned = false;
  std::unique_ptr<TFileStream32> input;
  std::vector<TZipEntryRecord> list;
  try {
    if (fileOut && fileOut->Handle < 0) {
      ReportError(ArcFile, "", "0", kErrErrorCreatingFile);
      ok = false;
    }
    if (ok && !newArchive) {
      input = std::make_unique<TFileStream32>(ArcFile, fmOpenRead | fmShareDenyWrite);
      if (input->Handle < 0) {
        ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
        ok = false;
      } else if (!ScanArchive(*input, list)) {
        ReportError(ArcFile, "", "0", kErrHeaderNotFound);
        ok = false;
      } else if (RecordsStart() > 0) {
        // Leading bytes (a self-extractor's stub) stay in front of the records.
        input->SetPosition(0);
        CopyBytes(*input, *out, static_cast<uint64_t>(RecordsStart()));
      }
    }
    if (ok) ok = AddFiles(list) && !GetCancel();
    if (ok) {
      // Every record is written; a failure in a record already ended the run.
      for (TZipEntryRecord& rec : list) {
        if (GetCancel()) {
          ok = false;
          break;
        }
        if (rec.State == 0) {
          if (rec.IsDir && !StoreEmptySubDirs) {
            rec.State = 2;
            continue;
          }
          CurrentFile = rec.SourcePath;
          bool take = true;
          if (OnBegin) OnBegin(this, rec.Name, EntryCount, take);
          if (!take) {
            rec.State = 2;
            continue;
          }
          if (OnRenameFile) RenameNewFile(rec, list);
          if (!CompressFile(rec, *out)) {
            ok = false;
            break;
          }
          ++added_;
          ++EntryCount;
          if (Switch == swMove && !rec.IsDir) moved_.emplace_back(rec.SourcePath, rec.Name);
        } else if (rec.State == 1 || rec.State == 3) {
          if (!CopyEntry(*input, rec, *out)) {
            ok = false;
            break;
          }
          ++EntryCount;
        } else if (rec.Existing) {
          ++deleted_;
          if (OnDeleteFile) OnDeleteFile(this, rec.Name, deleted_, static_cast<int>(list.size()));
        }
      }
    }
    if (ok && (added_ > 0 || deleted_ > 0)) {
      if (fileOut && IsSpanned()) {
        // The disks take the archive; the temporary file is not moved anywhere.
        input.reset();
        ok = WriteSpanned(*fileOut, list);
        fileOut->Abandon();
        spanned = true;
      } else {
        ok = WriteCentralDirectory(*out, list);
      }
    } else {
      ok = false;
    }
    if (ok && !spanned) {
      input.reset();
      if (fileOut) fileOut->Commit();
      if (memOut) memOut->Commit();
      ok = !GetCancel() && FileExistsFF(ArcFile) && (!fileOut || fileOut->TempFileName.empty());
    }
  } catch (const E_RAISE& e) {
    ReportError(ArcFile, CurrentFile, "0", CodeOfText(e.what()));
    ok = false;
  }
  if (!ok) {
    if (fileOut) fileOut->Abandon();
    if (memOut) memOut->Abandon();
  }
  input.reset();
  fileOut.reset();
  memOut.reset();
  if (OnDeactivate) OnDeactivate(this);
  tempFile_.clear();
  if (ok && Switch == swMove && !spanned) DeleteMovedFiles();
  if (Timer().Running()) {
    Timer().Stop();
    if (OnElapsedTime) OnElapsedTime(this, Timer().ElapsedTime());
  }
  if (!ok) return 0;
  return Switch == swDelete ? deleted_ : added_;
}

bool TCompBase::CheckArchiveDrive() {
  auto reporter = [this](const std::string& fileName, const std::string& extended, const std::string& volume,
                         int code) { ReportError(fileName, extended, volume, code); };
  return DiskManager().GetDriveInfo(ArcFile, reporter, OnDiskWriteProtectErr, OnDiskInDrvErr, nullptr);
}

void TCompBase::DeleteMovedFiles() {
  std::vector<std::string> entries;
  if (VerifyBeforeDelete && !ReadEntryNames(ArcFile, entries)) {
    ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
    return;
  }
  std::sort(entries.begin(), entries.end());
  int index = 0;
  for (const auto& [name, stored] : moved_) {
    ++index;
    // A source whose entry is not in the archive as written is kept.
    if (VerifyBeforeDelete && !std::binary_search(entries.begin(), entries.end(), stored)) continue;
    if (DeleteFileEx(name)) {
      if (OnDeleteFile) OnDeleteFile(this, name, index, static_cast<int>(moved_.size()));
    } else {
      ReportError(name, "", "0", kErrErrorDeletingFiles);
    }
  }
}

void TCompBase::RenameNewFile(TZipEntryRecord& rec, const std::vector<TZipEntryRecord>& list) {
  const size_t slash = rec.Name.rfind(kPathDelim, rec.Name.size() > 1 ? rec.Name.size() - 2 : 0);
  const std::string dir = slash == std::string::npos ? std::string() : rec.Name.substr(0, slash + 1);
  auto taken = [&](const std::string& name) {
    return std::any_of(list.begin(), list.end(),
                       [&](const TZipEntryRecord& r) { return &r != &rec && r.State != 2 && r.Name == name; });
  };
  // A handler that keeps answering a taken name is asked a bounded number of times.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string newName;
    OnRenameFile(this, rec.Name, newName);
    const std::string leaf = FileNamePart(newName);
    if (leaf.empty()) return;
    const std::string candidate = dir + leaf;
    if (text::SameText(candidate, rec.Name)) return;
    if (!taken(candidate)) {
      rec.Name = candidate;
      return;
    }
  }
}

void TCompBase::ReadArchive() {
  EntryCount = 0;
  if (!OnRead) {
    ReportError(ArcFile, "OnRead", "0", kErrRequiredEventNotAssigned);
    return;
  }
  TFileStream32 input(ArcFile, fmOpenRead | fmShareDenyWrite);
  std::vector<TZipEntryRecord> list;
  if (input.Handle < 0) {
    ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
    return;
  }
  if (!ScanArchive(input, list)) {
    ReportError(ArcFile, "", "0", kErrHeaderNotFound);
    return;
  }
  for (const TZipEntryRecord& rec : list) {
    if (GetCancel()) break;
    const uint8_t* c = rec.Central;
    const uint16_t flags = static_cast<uint16_t>(c[8] | (c[9] << 8));
    auto get32 = [c](int at) {
      return static_cast<uint32_t>(c[at] | (c[at + 1] << 8) | (c[at + 2] << 16) | (static_cast<uint32_t>(c[at + 3]) << 24));
    };
    CurrentFile = rec.Name;
    if (!CurrentFile.empty() && CurrentFile.back() == kPathDelim) CurrentFile.pop_back();
    VersionMadeBy = c[4] | (c[5] << 8);
    VersionNeeded = c[6] | (c[7] << 8);
    Encrypted = (flags & 1) != 0;
    PackedSize = get32(20);
    if (Encrypted && PackedSize >= 12) PackedSize -= 12;
    UnpackedSize = get32(24);
    EntryCrc = get32(16);
    TZipCommon::CompressMethod = c[10] | (c[11] << 8);
    CompressMethodName = GetCompressMethodName(TZipCommon::CompressMethod, flags & 6);
    ExternalAttr = get32(38);
    FileAttr = static_cast<uint16_t>(ExternalAttr & 0xFFFF);
    Ratio = CompressionRatio(UnpackedSize, PackedSize);
    const uint32_t stamp = get32(12);
    EntryDate = stamp ? ConvertDate(stamp) : 0;
    ++EntryCount;
    OnRead(this, static_cast<int>(rec.OldOffset), EntryCount);
  }
}

bool TCompBase::AddFiles(std::vector<TZipEntryRecord>& list) {
  if (Switch == swDelete) {
    const bool any = std::any_of(list.begin(), list.end(), [](const TZipEntryRecord& r) { return r.State == 2; });
    return any;
  }
  struct Found {
    std::unique_ptr<TFileObject> obj;
    std::string root;
  };
  std::vector<Found> found;
  {
    TpakvoFileScan scan;
    scan.Attributes = Attributes;
    scan.AttributesEx = AttributesEx;
    if (StoreEmptySubDirs) scan.Attributes.Include(fsDirectory);
    scan.RecurseDirs = RecurseDirs;
    scan.IncludeHiddenDirs = IncludeHiddenDirs;
    scan.SetCancelPointer(CancelPointer());
    scan.OnScanFile = [this](TObject*, const std::string& name, int32_t count, int64_t size) {
      if (OnFileScanStatus) OnFileScanStatus(this, name, count, size);
    };
    scan.OnRecurseDir = [this](TObject*, const std::string& dir) {
      if (OnRecurseDir) OnRecurseDir(this, dir);
    };
    std::string root;
    scan.OnRootDirChange = [&root](TObject*, const std::string& dir) { root = AppendDirTail(dir); };
    scan.ListInsertHook = [&](std::unique_ptr<TFileObject> obj) { found.push_back({std::move(obj), root}); };
    scan.SetFileSpec(FileSpec);
    scan.Scan();
  }
  if (GetCancel()) return false;
  TMaskList exclude;
  for (const std::string& e : ExcludeSpec) exclude.Add(e);
  // The archive itself and the run's temporary archive are never sources, wherever they lie.
  std::vector<std::pair<dev_t, ino_t>> own;
  for (const std::string& path : {ArcFile, tempFile_}) {
    struct stat st{};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) own.emplace_back(st.st_dev, st.st_ino);
  }
  auto isOwn = [&own](const std::string& path) {
    struct stat st{};
    return !own.empty() && ::stat(path.c_str(), &st) == 0 &&
           std::find(own.begin(), own.end(), std::make_pair(st.st_dev, st.st_ino)) != own.end();
  };
  bool any = std::any_of(list.begin(), list.end(), [](const TZipEntryRecord& r) { return r.State == 2; });
  // Positions in list by every name an entry has had, so that a file found is matched without a
  // walk through the whole list; each candidate is checked again against its current name.
  std::unordered_map<std::string, std::vector<size_t>> byName;
  for (size_t i = 0; i < list.size(); ++i) byName[list[i].Name].push_back(i);
  auto findName = [&list, &byName](const std::string& name) -> TZipEntryRecord* {
    const auto it = byName.find(name);
    if (it == byName.end()) return nullptr;
    size_t first = list.size();
    for (size_t i : it->second) {
      if (i < first && list[i].State != 2 && list[i].Name == name) first = i;
    }
    return first < list.size() ? &list[first] : nullptr;
  };
  auto append = [&list, &byName](TZipEntryRecord&& rec) {
    byName[rec.Name].push_back(list.size());
    list.push_back(std::move(rec));
  };
  for (Found& f : found) {
    const TFileObject& obj = *f.obj;
    const bool isDir = obj.FileName.empty();
    const std::string full = isDir ? RemoveDirTail(obj.Path) : obj.Path + obj.FileName;
    if (isDir && (!StoreEmptySubDirs || !DirIsEmpty(full))) continue;
    if (!isDir && isOwn(full)) continue;
    rootDir_ = f.root;
    std::string stored = ResolveFileName(full);
    if (stored.empty()) continue;
    if (!isDir && !exclude.Empty()) {
      const bool hit = exclude.Matches(FileNamePart(stored)) || exclude.Matches(stored);
      if (hit) continue;
    }
    if (isDir) stored += kPathDelim;
    MaxFileDate = std::max(MaxFileDate, obj.DosDateTime);
    TZipEntryRecord fresh;
    fresh.State = 0;
    fresh.Name = stored;
    fresh.SourcePath = full;
    fresh.IsDir = isDir;
    fresh.Size = obj.Size();
    fresh.Attr = obj.Attributes;
    fresh.DosDateTime = obj.DosDateTime;
    TZipEntryRecord* old = findName(stored);
    if (!old) {
      if (Switch == swRefresh) continue;
      append(std::move(fresh));
      any = true;
      continue;
    }
    if (!old->Existing) continue;
    const bool same = Get32(old->Central + 24) == obj.Size() &&
                      Get32(old->Central + 12) == obj.DosDateTime &&
                      (Get32(old->Central + 38) & 0xFF) == (DosAttrMask(obj.Attributes) & 0xFF);
    if (same && Switch == swRefresh) continue;
    if (!same && Switch == swRefresh) {
      *old = std::move(fresh);
      any = true;
      continue;
    }
    if (!same) {
      if (!OnReplaceFile) {
        ReportError(ArcFile, "OnReplaceFile", "0", kErrRequiredEventNotAssigned);
        continue;
      }
      bool replace = false;
      OnReplaceFile(this, old->Name, stored, DosDateTimeToDateTime(Get32(old->Central + 12)),
                    DosDateTimeToDateTime(obj.DosDateTime), Get32(old->Central + 24),
                    static_cast<int64_t>(obj.Size()), static_cast<int>(Get32(old->Central + 38)),
                    static_cast<int>(obj.Attributes), replace);
      if (replace) {
        old->State = 2;
        append(std::move(fresh));
        any = true;
        continue;
      }
    }
    if (!OnRenameDupeFile) {
      ReportError(ArcFile, "OnRenameDupeFile", "0", kErrRequiredEventNotAssigned);
      continue;
    }
    std::string newName = old->Name;
    bool rename = true;
    do {
      rename = true;
      OnRenameDupeFile(this, old->Name, newName, rename);
    } while (rename && newName != old->Name && findName(newName));
    if (!rename || newName == old->Name || newName.empty()) continue;
    old->Name = newName;
    old->State = 3;
    byName[newName].push_back(static_cast<size_t>(old - list.data()));
    append(std::move(fresh));
    any = true;
  }
  if (!any) ReportError(ArcFile, "", "0", kErrNothingToDo);
  int64_t total = 0;
  for (const TZipEntryRecord& r : list) {
    if (r.State == 0) total += static_cast<int64_t>(r.Size);
  }
  SetProgressTotals(total);
  return any;
}

// ---- TZip ----

TZip::TZip() { ArcType = atZip; }

std::string TZip::StoredForm(const std::string& name, bool& utf8) const {
  const std::string slashed = BackslashToSlash(name);
  utf8 = false;
  if (IsAscii(slashed)) return slashed;
  // Names beyond ASCII are stored as UTF-8 and flagged (bit 11): code page 437 names come back
  // from the archivers of this platform as ISO 8859-1 bytes, not as the names they were.
  utf8 = true;
  return slashed;
}

bool TZip::CompressFile(TZipEntryRecord& rec, TStream32& output) {
  CurrentFile = rec.SourcePath;
  bool utf8 = false;
  const std::string stored = StoredForm(rec.Name, utf8);
  uint8_t local[kLocalSize] = {};
  Put32(local, kSigLocal);
  Put16(local + 4, 20);
  Put32(local + 10, GetFileDate(rec.DosDateTime));  // time, then date
  Put16(local + 26, static_cast<uint32_t>(stored.size()));
  const int64_t headerPos = output.GetPosition();
  uint32_t crc = 0;
  uint16_t method = 0;
  uint16_t flags = utf8 ? 0x0800 : 0;
  int64_t packed = 0;
  int64_t size = 0;
  struct stat st{};
  bool haveMode = false;
  bool crcPass = true;
  // Block 100 carries the high words of sizes beyond 32 bits (an encryption header counted) and
  // of a header offset beyond 4 GiB.
  bool block100 = static_cast<uint64_t>(headerPos) >= k4GiB;
  uint8_t block[kBlock100Local] = {};
  Put16(block, kBlock100);
  Put16(block + 2, 4);
  auto writeHeader = [&] {
    if (block100) Put16(local + 28, kBlock100Local);
    output.WriteBuffer(local, kLocalSize);
    output.WriteBuffer(stored.data(), static_cast<int64_t>(stored.size()));
    if (block100) output.WriteBuffer(block, kBlock100Local);
  };
  if (!rec.IsDir) {
    TFileStream32 src(rec.SourcePath, fmOpenRead | fmShareDenyNone);
    if (src.Handle < 0) {
      ReportError(rec.SourcePath, "", "0", kErrErrorOpeningFile);
      return false;
    }
    if (::fstat(src.Handle, &st) != 0) {
      ReportError(rec.SourcePath, "", "0", kErrErrorOpeningFile);
      return false;
    }
    haveMode = true;
    size = static_cast<int64_t>(st.st_size);
    if (static_cast<uint64_t>(size) >= (uint64_t{1} << 48)) {
      ReportError(rec.SourcePath, "", "0", kErrMaxFileSizeExceeded);
      return false;
    }
    if (static_cast<uint64_t>(size) + kEncryptionHeaderSize > 0xFFFFFFFFu) block100 = true;
    if (CompressMethod == cmStore) DeflateType = dtDeflateS;
    std::string ext = FileNamePart(rec.SourcePath);
    const size_t dot = ext.rfind('.');
    ext = dot == std::string::npos ? std::string() : ext.substr(dot);
    bool store = DeflateType == dtDeflateS || size == 0 ||
                 (!ext.empty() && std::any_of(StoreFilesOfType.begin(), StoreFilesOfType.end(),
                                              [&](const std::string& t) { return text::SameText(t, ext); }));
    const bool crypt = !Password.empty() && size > 0;
    if (!crypt && !block100 && size <= kWholeEntryLimit) {
      if (!CompressWhole(src, size, store, stored, flags, local, output)) return false;
      return FinishEntry(rec, stored, local, headerPos, st.st_mode, true, true);
    }
    writeHeader();
    const int64_t dataStart = output.GetPosition();
    TStreamControl control;
    control.BytesLeft = &BytesLeft;
    control.Cancel = CancelPointer();
    const int64_t leftAtStart = BytesLeft;
    auto progress = [this, size, leftAtStart](TStream32*) {
      DoProgress(BytesTotal - BytesLeft, size, leftAtStart - BytesLeft);
    };
    // The packing pass reads through a counter: an entry whose file changed while it was read
    // (other length, or for encryption other bytes than the first pass saw) fails its CRC.
    TPassCounter source(src, crypt);
    if (crypt) {
      TStreamControl first = control;
      first.BytesLeft = nullptr;
      const uint32_t raw = CalcStreamCRC(src, first, progress, 0);
      crc = raw ^ 0xFFFFFFFFu;
      control.Encrypted = true;
      control.Crc = raw;
      const std::string header = MakeEncryptionHeader(Password, crc);
      output.WriteBuffer(header.data(), kEncryptionHeaderSize);
      if (GetCancel()) return false;
    }
    uint32_t crcOut = 0;
    bool deflatedTooLarge = false;
    if (!store) {
      method = 8;
      if (!DeflateStream(source, output, control, crcOut, DeflateType, progress)) return false;
      const int64_t deflated = output.GetPosition() - dataStart - (crypt ? kEncryptionHeaderSize : 0);
      if (deflated > size) {
        // Larger than the file: stored instead, with a fresh encryption header.
        store = true;
        deflatedTooLarge = true;
        method = 0;
        output.SetPosition(dataStart);
        BytesLeft = leftAtStart;
        if (crypt) {
          const std::string header = MakeEncryptionHeader(Password, crc);
          output.WriteBuffer(header.data(), kEncryptionHeaderSize);
        }
      }
    }
    if (store) {
      method = 0;
      if (!StoreStream(source, output, control, crcOut, 32, progress)) return false;
      // After a deflate attempt the longer deflated bytes are cut off.
      if (deflatedTooLarge) output.SetSize(output.GetPosition());
    }
    if (!crypt) crc = crcOut;
    if (GetCancel()) return false;
    crcPass = source.LastPassBytes() == size && (!crypt || source.LastPassCrc() == crc);
    packed = output.GetPosition() - dataStart;
    if (crypt) flags |= 1;
    if (method == 8) {
      static constexpr uint16_t kDeflateFlags[4] = {6, 4, 0, 2};
      flags |= kDeflateFlags[DeflateType];
    }
  } else {
    writeHeader();
  }
  Put16(local + 6, flags);
  Put16(local + 8, method);
  Put32(local + 14, size == 0 ? 0 : crc);
  Put32(local + 18, static_cast<uint32_t>(packed));
  Put32(local + 22, static_cast<uint32_t>(size));
  Put16(block + 4, static_cast<uint32_t>(static_cast<uint64_t>(packed) >> 32));
  Put16(block + 6, static_cast<uint32_t>(static_cast<uint64_t>(size) >> 32));
  const int64_t endPos = output.GetPosition();
  output.SetPosition(headerPos);
  writeHeader();
  output.SetPosition(endPos);
  if (rec.IsDir) haveMode = ::stat(rec.SourcePath.c_str(), &st) == 0;
  const bool done = FinishEntry(rec, stored, local, headerPos, haveMode ? st.st_mode : 0, haveMode, crcPass);
  if (block100) {
    rec.Extra = CentralBlock100(static_cast<uint64_t>(packed), static_cast<uint64_t>(size),
                                static_cast<uint64_t>(headerPos));
  }
  return done;
}

bool TZip::FinishEntry(TZipEntryRecord& rec, const std::string& stored, const uint8_t* local, int64_t headerPos,
                       uint32_t mode, bool haveMode, bool crcPass) {
  std::memset(rec.Central, 0, kCentralSize);
  Put32(rec.Central, kSigCentral);
  // Made on a Unix host (3): the archivers of this platform then take names as they are and the
  // file mode from the high word of the external attributes.
  Put16(rec.Central + 4, (3u << 8) | 20u);
  std::memcpy(rec.Central + 6, local + 4, 26);
  Put16(rec.Central + 30, 0);
  Put16(rec.Central + 36, 1);
  uint32_t attr = DosAttrMask(rec.Attr);
  if (rec.IsDir) attr |= faDirectory;
  if (haveMode) attr |= (mode & 0xFFFF) << 16;
  Put32(rec.Central + 38, attr);
  Put32(rec.Central + 42, static_cast<uint32_t>(headerPos));
  rec.StoredName = stored;
  rec.Extra.clear();
  rec.Comment.clear();
  for (const auto& fc : fileComments_) {
    if (fc.first == rec.Name) rec.Comment = fc.second;
  }
  if (OnEnd) OnEnd(this, rec.Name, crcPass);
  return true;
}

bool TZip::CompressWhole(TFileStream32& src, int64_t size, bool store, const std::string& stored, uint16_t flags,
                         uint8_t* local, TStream32& output) {
  ::ProcessMessages();
  if (GetCancel()) return false;
  const size_t header = kLocalSize + stored.size();
  const auto count = static_cast<size_t>(size);
  // The data is read behind room for the record, so a stored entry goes out from where it was read.
  if (entryBuffer_.size() < header + count) entryBuffer_.resize(header + count);
  uint8_t* data = entryBuffer_.data() + header;
  if (count > 0 && src.Read(data, size) != size) throw E_RAISE("Stream read error");
  uint32_t crc = 0xFFFFFFFFu;
  UpdateCrc32(data, count, crc);
  crc ^= 0xFFFFFFFFu;
  const uint8_t* packed = data;
  size_t packedSize = count;
  uint16_t method = 0;
  if (!store) {
    if (!deflater_) deflater_ = std::make_unique<TEntryDeflater>();
    size_t deflated = 0;
    const uint8_t* out = deflater_->Deflate(data, count, DeflateType, deflated);
    // Larger than the file: stored instead.
    if (deflated <= count) {
      packed = out;
      packedSize = deflated;
      method = 8;
    }
  }
  if (method == 8) {
    static constexpr uint16_t kDeflateFlags[4] = {6, 4, 0, 2};
    flags |= kDeflateFlags[DeflateType];
  }
  Put16(local + 6, flags);
  Put16(local + 8, method);
  Put32(local + 14, size == 0 ? 0 : crc);
  Put32(local + 18, static_cast<uint32_t>(packedSize));
  Put32(local + 22, static_cast<uint32_t>(size));
  // Deflated bytes are no more than the file's, so they fit in its place behind the record.
  if (packed != data) std::memcpy(data, packed, packedSize);
  std::memcpy(entryBuffer_.data(), local, kLocalSize);
  std::memcpy(entryBuffer_.data() + kLocalSize, stored.data(), stored.size());
  output.WriteBuffer(entryBuffer_.data(), static_cast<int64_t>(header + packedSize));
  BytesLeft -= size;
  if (size > 0) DoProgress(BytesTotal - BytesLeft, size, size);
  return !GetCancel();
}
