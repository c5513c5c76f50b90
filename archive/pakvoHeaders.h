// Entry-header readers of the archive lister: for each archive family an open step that finds the
// first entry header and a reader that turns one entry header into the common entry record.
// Nothing here extracts data or depends on a component; errors come back as archive error codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Random-access bytes of one archive (or of a whole volume set seen as one run of bytes).
class TPakvoByteSource {
 public:
  virtual ~TPakvoByteSource() = default;
  virtual int64_t Size() const = 0;
  // Reads up to count bytes at pos; returns the number read (0 at or past the end, or on failure).
  virtual size_t ReadAt(int64_t pos, void* buffer, size_t count) = 0;
};

// Bytes held in memory (tests, fuzzing).
class TPakvoMemorySource : public TPakvoByteSource {
 public:
  explicit TPakvoMemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  size_t ReadAt(int64_t pos, void* buffer, size_t count) override;

 private:
  std::vector<uint8_t> bytes_;
};

// One file opened read-only. Open() answers nullptr when the file cannot be opened.
class TPakvoFileSource : public TPakvoByteSource {
 public:
  static std::unique_ptr<TPakvoFileSource> Open(const std::string& path);
  int64_t Size() const override { return size_; }
  size_t ReadAt(int64_t pos, void* buffer, size_t count) override;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  int64_t size_ = 0;
};

// The volumes of a split set read as one run of bytes, volume after volume. Volumes are opened
// on first use; a volume that cannot be opened makes reads that touch it fail, and the index of
// the first such volume is kept in MissingVolume().
class TPakvoVolumeSet : public TPakvoByteSource {
 public:
  // sizes: the size of each volume (known in advance from the files found); opener opens volume i.
  TPakvoVolumeSet(std::vector<int64_t> sizes,
                  std::function<std::unique_ptr<TPakvoByteSource>(size_t)> opener);
  int64_t Size() const override { return total_; }
  size_t ReadAt(int64_t pos, void* buffer, size_t count) override;
  // Offset of volume i's first byte in the run of bytes.
  int64_t VolumeStart(size_t index) const;
  size_t VolumeCount() const { return sizes_.size(); }
  int MissingVolume() const { return missing_; }

 private:
  std::vector<int64_t> sizes_;
  std::vector<int64_t> starts_;
  std::vector<std::unique_ptr<TPakvoByteSource>> open_;
  std::function<std::unique_ptr<TPakvoByteSource>(size_t)> opener_;
  int64_t total_ = 0;
  int missing_ = -1;
};

// The archive families the readers know.
enum THeaderFamily {
  hfNone,
  hfAce,
  hfArc,  // ARC and PAK share one header layout
  hfArj,
  hfCab,
  hfGZip,
  hfHA,
  hfLha,
  hfRar,  // RAR 1.5-4.x and RAR 5 (told apart by the marker)
  hfTar,
  hfUUE,
  hfZip,
  hfZoo
};

// How an entry's date is stored.
enum TEntryDateKind {
  edkDos,          // DOS date (high word) and time (low word)
  edkUnix,         // seconds since 1970-01-01 UTC
  edkArchiveDate,  // no date of its own: the archive file's date
};

// One entry as the readers find it: the header fields the lister turns into its common entry
// fields.
struct TPakvoEntry {
  std::string StoredName;   // the name bytes as stored (no code-page conversion)
  bool NameIsUtf8 = false;  // the format says the name is UTF-8, not an OEM code page
  TEntryDateKind DateKind = edkDos;
  uint32_t DosDate = 0;
  int64_t UnixTime = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  int64_t PackedSize = 0;
  int64_t UnpackedSize = 0;
  uint32_t Crc = 0;
  bool Encrypted = false;
  int Method = 0;
  uint16_t MethodFlags = 0;   // ZIP general-purpose flags (deflate level name); gzip magic
  bool HasMethodName = true;  // false: ZIP directory or volume-label entry
  uint16_t Attr16 = 0;
  uint32_t Attr32 = 0;
  bool IsDir = false;
  bool ContinuedFromPrevious = false;  // data begins in an earlier volume
  uint32_t DiskNumberStart = 0;        // ZIP: disk of the local header
  int64_t HeaderOffset = 0;            // offset reported to OnRead
};

enum THeaderStatus {
  hsEntry,  // Entry holds an entry; go on at Next
  hsSkip,   // a header that is no entry (archive header, comment, deleted entry); go on at Next
  hsEnd,    // the walk is over (end marker, or the end of the directory)
  hsNextVolume,  // the end of this volume; the archive goes on in the next volume
  hsError,       // the walk is over with ErrorCode
};

struct THeaderStep {
  THeaderStatus Status = hsEnd;
  int ErrorCode = 0;
  int64_t NextOffset = 0;
  uint32_t NextBlock = 0;
};

// What a reader may need to know about the archive besides its bytes.
struct THeaderContext {
  int64_t ArchiveStart = 0;     // where the archive proper starts (stub of a self-extractor)
  std::string ArchiveFileName;  // file name, for entries named after it (gzip)
  uint32_t ArchiveDosDate = 0;  // the archive file's date
  bool ZipWalkLocal = false;    // walk ZIP local headers instead of the central directory
  // Start of each disk of a split ZIP set inside the source (empty: every disk starts at
  // ArchiveStart, as in a single file).
  std::vector<int64_t> ZipDiskStarts;
};

// What the ZIP end record tells.
struct TZipEndInfo {
  bool Found = false;
  bool CentralFound = false;  // a central record stands where the end record says
  bool LocalFound = false;    // a local header stands where the first central record says
  bool Empty = false;         // an end record of no entries and an empty directory: no entries
  int64_t EndPos = 0;
  uint32_t ThisDisk = 0;
  uint32_t CentralDisk = 0;
  uint64_t Entries = 0;
  int64_t CentralSize = 0;
  int64_t CentralOffset = 0;  // as recorded
  int64_t ArchiveStart = 0;   // data in front of the ZIP, as found
};

// Locates the ZIP end record (standard, the library's large record, or Zip64) in the last 64 KiB.
TZipEndInfo FindZipEnd(TPakvoByteSource& source, const std::vector<int64_t>& diskStarts = {});

// One family's header walk.
class THeaderReader {
 public:
  THeaderReader(TPakvoByteSource& source, THeaderContext context)
      : ctx_(std::move(context)), source_(&source) {}
  virtual ~THeaderReader() = default;

  // Finds the first header: NextOffset and NextBlock of the result. Status hsEnd: nothing to list.
  virtual THeaderStep Open() = 0;
  // Decodes the header whose first block (count bytes at headerOffset) was read; fills entry.
  virtual THeaderStep Read(const uint8_t* block, size_t count, int64_t headerOffset,
                           TPakvoEntry& entry) = 0;
  // True when the walk, having reached the end of this volume, goes on in the next volume.
  virtual bool ContinuesInNextVolume() const { return false; }
  // The error of a header cut short by the end of the archive, or claiming more bytes than it
  // holds.
  virtual int CutShortError() const;
  // The next volume of a multi-volume archive has been put in place of the source.
  void SetSource(TPakvoByteSource& source) { source_ = &source; }
  const THeaderContext& Context() const { return ctx_; }

 protected:
  TPakvoByteSource& Src() { return *source_; }
  THeaderContext ctx_;

 private:
  TPakvoByteSource* source_;
};

std::unique_ptr<THeaderReader> MakeHeaderReader(THeaderFamily family, TPakvoByteSource& source,
                                                THeaderContext context);

// Reports of a header walk. OnEntry answers false to stop the walk. OnNextVolume answers the next
// volume's bytes (owned by the caller, alive until the walk ends) or nullptr to stop.
struct THeaderWalkHooks {
  std::function<bool(const TPakvoEntry&, int64_t headerOffset)> OnEntry;
  std::function<TPakvoByteSource*()> OnNextVolume;
  std::function<bool()> Cancelled;
  // Told where the open step found the first header.
  std::function<void(int64_t offset)> OnFirstHeader;
};

// Runs a reader over its archive: open step, then block after block until the end, an error, a
// cancel or a header that does not move forward. A header that does not fit in what is left of
// the archive is an error (CutShortError), unless the archive ends exactly where it would start.
// Returns 0 or the error code that ended the walk.
int WalkHeaders(THeaderReader& reader, TPakvoByteSource& source, const THeaderWalkHooks& hooks);
