#include "app/dmFilesUtils.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/VersionInfo.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoFileScan.h"
#include "archive/pakvoPakvo.h"
#include "archive/pakvoUnZip.h"
#include "archive/pakvoZip.h"
#include "common/Paths.h"

namespace {

namespace fs = std::filesystem;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// The attributes the package operations add (and take out of the exclusions) when recursing.
constexpr TpakvoFileAttr kAllAttributes[] = {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile};

bool IsLink(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HasFolderPart(const std::string& spec) { return spec.find_first_of("/\\") != std::string::npos; }

// Splits a stored name at "/" and "\"; sets climbs when the name is absolute, names a drive or
// has a ".." part.
std::vector<std::string> NameParts(const std::string& name, bool& climbs) {
  climbs = !name.empty() && (name[0] == '/' || name[0] == '\\');
  if (name.size() >= 2 && name[1] == ':') climbs = true;
  if (name.find('\0') != std::string::npos) climbs = true;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t cut = name.find_first_of("/\\", start);
    if (cut == std::string::npos) cut = name.size();
    std::string part = name.substr(start, cut - start);
    if (part == "..") climbs = true;
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = cut + 1;
  }
  return parts;
}

// A stored Unix link: made on a Unix host with the link type in the upper word of its attributes.
bool IsLinkEntry(int versionMadeBy, uint32_t externalAttr) {
  return (versionMadeBy >> 8) == 3 && ((externalAttr >> 16) & 0170000) == 0120000;
}

[[noreturn]] void RaiseInvalidName() { throw E_RAISE(std::string(LoadErrorText(kErrInvalidFileName))); }

// Refuses a package whose entries would land outside `target` or through a link: names that climb
// out, link entries, and names whose path under `target` meets an existing link.
void CheckPackageEntries(const std::string& archive, const std::string& target) {
  auto lister = std::make_unique<TPakvo>();
  lister->SetArcFile(archive);
  lister->ShowEmptyDirs = true;
  lister->RecurseDirs = true;
  lister->FileSpec = {"*"};
  bool hostile = false;
  lister->OnRead = [&](TObject*, int, int) {
    bool climbs = false;
    const std::vector<std::string> parts = NameParts(lister->CurrentFile, climbs);
    if (climbs || IsLinkEntry(lister->VersionMadeBy, lister->ExternalAttr)) {
      hostile = true;
      return;
    }
    std::string path = target;
    for (const std::string& part : parts) {
      path = paths::Join(path, part);
      if (IsLink(path)) hostile = true;
    }
  };
  lister->Activate();
  if (hostile) RaiseInvalidName();
}

// The name, relative to the folder of spec, of an existing archive lying inside that folder; empty
// when there is no such archive.
std::string PackageInFolder(const std::string& archive, const std::string& spec) {
  std::error_code ec;
  if (spec.empty() || !fs::exists(archive, ec)) return {};
  const fs::path folder = fs::weakly_canonical(fs::path(spec).parent_path(), ec);
  const fs::path relative = fs::weakly_canonical(archive, ec).lexically_relative(folder);
  if (ec || relative.empty() || *relative.begin() == "..") return {};
  return relative.generic_string();
}

// A free name for the new archive beside `archive`; the file is not left behind.
std::string TemporaryArchiveName(const std::string& archive) {
  std::string pattern = archive + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw EFilesUtils("Cannot create file " + pattern);
  close(fd);
  std::remove(pattern.c_str());
  return pattern;
}

// Removes the new archive unless it was moved into place.
struct TemporaryArchive {
  std::string path;
  ~TemporaryArchive() {
    std::error_code ec;
    fs::remove(path, ec);
  }
};

}  // namespace

void TdmFilesUtils::DeleteFiles(const std::string& aFolder, const std::string& aMask) {
  std::vector<std::string> listed;
  ListFiles(&listed, aFolder, aMask);
  for (const std::string& path : listed) {
    const std::string name = fs::path(path).filename().string();
    if (name == "." || name == ".." || IsFolder(path)) continue;
    std::error_code ec;
    if (!fs::remove(path, ec) || ec) throw EFilesUtils("Cannot delete file " + path);
  }
}

void TdmFilesUtils::ListFiles(std::vector<std::string>* aList, const std::string& aFolder, const std::string& aMask) {
  if (aList == nullptr) throw EFilesUtils("List not assigned!!");
  aList->clear();
  std::string folder = paths::ToNativePath(aFolder);
  if (folder.empty()) folder = ".";
  DirHandle dir(opendir(folder.c_str()));
  if (!dir) return;
  const bool everyName = aMask == "*.*" || aMask == "*";  // names without a dot too
  const TInternalMask mask(aMask);
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (everyName || mask.Matches(name)) aList->push_back(paths::Join(folder, name));
  }
}

void TdmFilesUtils::ZipFiles(const std::string& aArchiveFile, const std::string& aFileSpec, std::string& aResult,
                             bool aRecurse) {
  aResult.clear();
  if (!aFileSpec.empty() && !HasFolderPart(aFileSpec)) {
    throw EFilesUtils("Attenzione, manca il percorso in \"" + aFileSpec + "\"");
  }
  const std::string archive = paths::ToNativePath(aArchiveFile);
  // The package is always written new, into a temporary file that replaces the old package only
  // when complete: a failed run keeps the previous package.
  TemporaryArchive temp{TemporaryArchiveName(archive)};
  auto zip = std::make_unique<TZip>();
  zip->SetArcFile(temp.path);
  zip->DateAttribute = daFileDate;
  zip->StoredDirNames = sdRelative;
  zip->CompressMethod = cmDeflate;
  zip->RecurseDirs = aRecurse;
  zip->Switch = swAdd;
  zip->StoreEmptySubDirs = false;
  zip->ExcludeSpec.clear();
  // An old package inside the folder is not a file of the new one (it used to be deleted first).
  const std::string spec = aFileSpec.empty() ? aFileSpec : paths::ToNativePath(aFileSpec);
  const std::string oldPackage = PackageInFolder(archive, spec);
  if (!oldPackage.empty()) zip->ExcludeSpec = {oldPackage};
  zip->FileSpec = {spec};
  if (aRecurse) {
    zip->StoreEmptySubDirs = true;
    for (TpakvoFileAttr attr : kAllAttributes) {
      zip->SetAttribute(attr, true);
      zip->SetAttributeEx(attr, false);
    }
  }
  if (zip->Compress() <= 0) return;
  zip.reset();
  std::error_code ec;
  fs::rename(temp.path, archive, ec);
  if (ec) throw EFilesUtils("Cannot create file " + archive);
  aResult = aArchiveFile;
}

void TdmFilesUtils::UnzipPackage(const std::string& aArchiveFile, const std::string& aTargetFolder,
                                 std::string& aFirstFile, bool aRecurse) {
  const std::string archive = paths::ToNativePath(aArchiveFile);
  if (!fs::exists(archive)) throw EFilesUtils(aArchiveFile + " not found!");
  std::vector<std::string> entries;
  ListArchive(aArchiveFile, &entries, false);
  auto unzip = std::make_unique<TUnZip>();
  unzip->SetArcFile(archive);
  unzip->ConfirmOverwrites = false;
  unzip->RecurseDirs = aRecurse;
  unzip->OverwriteMode = omOverwrite;
  unzip->FileSpec = {"*.*"};
  if (aRecurse) {
    unzip->CreateStoredDirs = true;
    for (TpakvoFileAttr attr : kAllAttributes) unzip->SetAttribute(attr, true);
  }
  std::string target = paths::ToNativePath(aTargetFolder);
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  unzip->SetExtractDir(target + "/");
  if (target.empty() || !IsFolder(target)) throw EFilesUtils("Extract dir not defined");
  CheckPackageEntries(archive, target);
  bool invalidName = false;
  // The first error the extraction reported: a package that is not a whole ZIP, or an entry that
  // could not be written, must not leave a partial schema folder taken for the package.
  int failure = 0;
  std::string failedFile;
  unzip->OnError = [&](TObject*, const std::string& file, const std::string&, const std::string&, int code) {
    if (code == kErrInvalidFileName) invalidName = true;
    if (failure == 0 && code != kErrWarningUnknownFlags) {
      failure = code;
      failedFile = file;
    }
  };
  // A package lacks its central directory only when it was cut short or damaged: walking its
  // local headers would unpack part of it as if it were whole.
  unzip->OnCorruptZipHeader = [&](TObject*, THeaderTypeState, bool& cancel) {
    cancel = true;
    if (failure == 0) {
      failure = kErrHeaderNotFound;
      failedFile = archive;
    }
  };
  const int extracted = unzip->Extract();
  if (invalidName) RaiseInvalidName();
  if (failure != 0) {
    throw E_RAISE(std::string(LoadErrorText(failure)) + (failedFile.empty() ? "" : ": " + failedFile));
  }
  if (extracted > 0 && !entries.empty()) aFirstFile = paths::Join(target, entries.front());
}

void TdmFilesUtils::ListArchive(const std::string& aArchiveFile, std::vector<std::string>* aList,
                                bool aShowEmptyFolders) {
  const std::string archive = paths::ToNativePath(aArchiveFile);
  if (!fs::exists(archive)) return;
  auto lister = std::make_unique<TPakvo>();
  lister->SetArcFile(archive);
  lister->ShowEmptyDirs = aShowEmptyFolders;
  lister->FileSpec = {"*.*"};
  lister->GetFileList(aList);
}

void TdmFilesUtils::GetFileVersion(const std::string& aFile, std::string& aVersion) {
  aVersion = version::FileVersionOf(version::ReadVersionBlock(paths::ToNativePath(aFile)));
}
