// File scanner of the archive library: walks a directory tree (or every local drive), selects files
// by attribute filters and comma-separated wildcard masks, reports each hit through events and keeps
// an optionally sorted list of the hits. Also holds the mask compiler and matcher.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "archive/pakvoGbls.h"

namespace platform::files {
class IVolumes;
}

enum TpakvoSortOptions { soUnsort, soByName, soByType, soBySize, soByTime };
enum TfsScanOptions { soScanDir, soScanDrvs };

enum TpakvoFileAttr {
  fsZeroAttr,
  fsReadOnly,
  fsHidden,
  fsSysFile,
  fsVolumeID,
  fsDirectory,
  fsArchive,
  fsCompressed,
  fsEncrypted
};

// A set of TpakvoFileAttr kept as a 16-bit mask by ordinal.
class TpakvoFileAttrs {
 public:
  constexpr TpakvoFileAttrs() = default;
  constexpr TpakvoFileAttrs(std::initializer_list<TpakvoFileAttr> attrs) {
    for (TpakvoFileAttr a : attrs) bits_ = static_cast<uint16_t>(bits_ | (1u << a));
  }
  constexpr bool Contains(TpakvoFileAttr a) const { return (bits_ >> a) & 1u; }
  constexpr void Include(TpakvoFileAttr a) { bits_ = static_cast<uint16_t>(bits_ | (1u << a)); }
  constexpr void Exclude(TpakvoFileAttr a) { bits_ = static_cast<uint16_t>(bits_ & ~(1u << a)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TpakvoFileAttrs&) const = default;

 private:
  uint16_t bits_ = 0;
};

// Windows file-attribute bits, which the scanner derives from each entry's status.
inline constexpr uint32_t kAttrReadOnly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrVolumeId = 0x8;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kAttrCompressed = 0x800;
inline constexpr uint32_t kAttrNotContentIndexed = 0x2000;
inline constexpr uint32_t kAttrEncrypted = 0x4000;

// One hit of a scan. A directory entry has an empty FileName and its full name in Path.
struct TFileObject {
  std::string FileName;
  std::string Path;  // with a trailing "/"
  uint32_t SizeLow = 0;
  uint32_t SizeHigh = 0;
  uint32_t Attributes = 0;
  uint32_t DosDateTime = 0;  // local time, date in the high word

  uint64_t Size() const { return (static_cast<uint64_t>(SizeHigh) << 32) | SizeLow; }
};

// Owns its objects; inserts in order (bisection) when sorted, appends otherwise.
class TFilesList {
 public:
  TpakvoSortOptions SortOption() const { return sort_; }
  bool CaseSensitive = false;

  void Add(std::unique_ptr<TFileObject> obj);
  // Sets the order and sorts the list by it.
  void Sort(TpakvoSortOptions order);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const TFileObject& operator[](int i) const { return *items_[static_cast<size_t>(i)]; }
  TFileObject& operator[](int i) { return *items_[static_cast<size_t>(i)]; }
  // <0, 0, >0 by the list's order.
  int Compare(const TFileObject& a, const TFileObject& b) const;

 private:
  std::vector<std::unique_ptr<TFileObject>> items_;
  TpakvoSortOptions sort_ = soUnsort;
};

// A compiled wildcard mask: "*" any run, "?" any one character, everything else a literal
// compared without regard to ASCII case.
class TInternalMask {
 public:
  struct Entry {
    bool StarBefore = false;
    uint8_t Kind = 0;  // 0 literal, 1 any one character
    char Char = 0;     // upper-cased literal; 0 in the terminator
  };
  // Pending backtrack points kept while matching.
  static constexpr int kMaxBacktrack = 30;

  TInternalMask() = default;
  explicit TInternalMask(const std::string& mask) { Compile(mask); }
  void Compile(const std::string& mask);
  bool Matches(const std::string& name) const;

  const std::vector<Entry>& Entries() const { return entries_; }
  bool EndsWithDot() const { return endsWithDot_; }

 private:
  bool MatchCompiled(const std::string& upperName) const;

  std::vector<Entry> entries_{Entry{}};
  bool endsWithDot_ = false;
};

struct TMultiMask {
  std::unique_ptr<TInternalMask> Mask;
};

// A list of masks; a name matches when any mask matches.
class TMaskList {
 public:
  void Clear() { masks_.clear(); }
  void Add(const std::string& mask);
  // Cuts the text at each "," and adds every piece, leading and trailing blanks dropped.
  void AddText(const std::string& text);
  bool Matches(const std::string& name) const;
  bool Empty() const { return masks_.empty(); }
  size_t Count() const { return masks_.size(); }

 private:
  std::vector<TMultiMask> masks_;
};

// Compiles `mask` and matches `name` once.
bool MatchesMask(const std::string& name, const std::string& mask);

class TpakvoFileScan : public TObject {
 public:
  using TScanFileEvent = std::function<void(TObject* sender, const std::string& fileName,
                                            int32_t filesCount, int64_t filesSize)>;
  using TFinishedEvent =
      std::function<void(TObject* sender, int32_t filesCount, int64_t filesSize)>;
  using TDirEvent = std::function<void(TObject* sender, const std::string& dir)>;

  TpakvoFileScan();
  TpakvoFileScan(const TpakvoFileScan&) = delete;
  TpakvoFileScan& operator=(const TpakvoFileScan&) = delete;

  // Published properties.
  TpakvoSortOptions Sorted() const { return FilesList.SortOption(); }
  // Re-sorts the list; fires OnFinished again when the list is not empty.
  void SetSorted(TpakvoSortOptions order);
  const std::vector<std::string>& FileSpec() const { return fileSpec_; }
  // Copies the list and empties MaskText, so that the list drives the next scan.
  void SetFileSpec(const std::vector<std::string>& masks);
  TpakvoFileAttrs Attributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  TpakvoFileAttrs AttributesEx;
  bool IncludeHiddenDirs = false;
  bool UpdateList = true;
  TfsScanOptions ScanOptions = soScanDir;
  const std::string& RootDir() const { return rootDir_; }
  // Appends a trailing "/" when missing.
  void SetRootDir(const std::string& dir);
  bool RecurseDirs = true;
  TScanFileEvent OnScanFile;
  TFinishedEvent OnFinished;
  TDirEvent OnRootDirChange;
  TDirEvent OnRecurseDir;

  // Public state.
  std::string MaskText = "*";
  int32_t FilesCount = 0;
  int64_t FilesSize = 0;
  TFilesList FilesList;
  bool Cancel() const { return *cancelPtr_; }
  void SetCancel(bool value) { *cancelPtr_ = value; }
  // Aims the cancel test at an owner's flag (nullptr: back to the scanner's own).
  void SetCancelPointer(bool* flag) { cancelPtr_ = flag ? flag : &cancel_; }

  // Internal hooks, bound to WalkDirectory and AddToList; an owner may replace them.
  std::function<void(const std::string& dir)> DirectoryWalkHook;
  std::function<void(std::unique_ptr<TFileObject> obj)> ListInsertHook;
  // Lets the host's message loop run between entries (nothing when unset).
  std::function<void()> ProcessMessages;
  // Drives, for soScanDrvs (the machine's own when unset).
  platform::files::IVolumes* Volumes = nullptr;

  void Scan();
  // Includes or removes one attribute in Attributes.
  void SetAttribute(TpakvoFileAttr attr, bool on);
  bool MatchesMask(const std::string& name, const std::string& mask) const {
    return ::MatchesMask(name, mask);
  }

  // True when the attribute bits pass the include filter and not the exclude filter.
  bool PassesFilters(uint32_t attrs) const;

 protected:
  // Walks one directory depth-first with the current masks.
  virtual void WalkDirectory(const std::string& dir);
  virtual void AddToList(std::unique_ptr<TFileObject> obj);

 private:
  void ScanRoot(const std::string& root);
  void Walk(const std::string& dir, int depth);

  std::vector<std::string> fileSpec_;
  std::string rootDir_ = "/";
  bool cancel_ = false;
  bool* cancelPtr_ = &cancel_;
  TMaskList masks_;
  std::vector<std::pair<uint64_t, uint64_t>> walking_;  // directories on the current path
};

