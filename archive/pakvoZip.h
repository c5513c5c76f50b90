// The compressor base TCompBase (file selection, merge with an existing archive, per-file
// compression into a temporary archive that replaces the old one when complete, source removal
// for moves) and TZip, its ZIP descendant that writes and reads the ZIP records.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/pakvoBase.h"
#include "archive/pakvoStreams.h"

enum TSwitch { swAdd, swRefresh, swMove, swDelete, swRead };
enum TCompressMethod {
  cmStore,
  cmDeflate,
  cmFuse,
  cmFrozen5,
  cmFrozen6,
  cmMsZip,
  cmLzx,
  cmQuantum,
  cmUUEncode,
  cmXXEncode,
  cmBase64,
  cmTarred,
  cmTarGzip
};
enum TCompressionMethod { cmInMemory, cmTempFile };

// One entry of the archive being written: an entry of the old archive or a file found by the
// scan. State: 0 new file to compress, 1 existing entry kept, 2 dropped, 3 kept under a new name.
struct TZipEntryRecord {
  int State = 0;
  bool Existing = false;
  std::string Name;           // path form (what events and the merge see)
  uint8_t Central[46] = {};   // the central record (existing entries; filled when written)
  std::string StoredName;     // bytes of the name in the old archive
  std::string Extra;          // central extra field
  std::string Comment;        // entry comment
  uint64_t OldOffset = 0;     // local header offset in the old archive
  // New files.
  std::string SourcePath;
  bool IsDir = false;
  uint64_t Size = 0;
  uint32_t Attr = 0;
  uint32_t DosDateTime = 0;
};

class TCompBase : public TZipCommon {
 public:
  using TOnDeleteFile = std::function<void(TObject* Sender, const std::string& FileName, int Count,
                                           int MaxCount)>;
  using TOnNonWriteableArchive =
      std::function<void(TObject* Sender, const std::string& ArchiveFile, bool& WriteToFile)>;
  using TOnReplaceFile = std::function<void(
      TObject* Sender, const std::string& FileName, const std::string& NewFileName, TDateTime Date,
      TDateTime NewDate, int64_t FileSize, int64_t NewFileSize, int Attr, int NewAttr, bool& Replace)>;
  using TOnRenameDupeFile = std::function<void(TObject* Sender, const std::string& FileName,
                                               std::string& NewFileName, bool& Rename)>;

  TCompBase();

  TSwitch Switch = swAdd;
  TCompressMethod CompressMethod = cmDeflate;
  TCompressionMethod CompressionMethod = cmTempFile;
  TDeflateType DeflateType = dtDeflateN;
  bool StoreEmptySubDirs = false;
  std::vector<std::string> StoreFilesOfType;
  bool VerifyBeforeDelete = false;

  TOnDeleteFile OnDeleteFile;
  TOnNonWriteableArchive OnNonWriteableArchive;
  TOnReplaceFile OnReplaceFile;
  TOnRenameDupeFile OnRenameDupeFile;

  // Sets the archive name: nothing is opened; a name without extension gets DefaultExt.
  void SetArcFile(const std::string& name) override;
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& ext);
  // Runs Switch over the archive: the number of files added (entries deleted for swDelete);
  // 0 when nothing was done. The archive is replaced only when the new one is complete.
  virtual int Compress();
  // Stored name of a source path by StoredDirNames, from the scan's root directory.
  std::string ResolveFileName(const std::string& Name) override;


 protected:
  virtual std::string ClassDefaultExt() const { return ".zip"; }
  // ZIP specifics supplied by TZip.
  virtual bool ScanArchive(TFileStream32& input, std::vector<TZipEntryRecord>& list) = 0;
  virtual bool CompressFile(TZipEntryRecord& rec, TStream32& output) = 0;
  virtual bool CopyEntry(TFileStream32& input, TZipEntryRecord& rec, TStream32& output) = 0;
  virtual bool WriteCentralDirectory(TStream32& output, std::vector<TZipEntryRecord>& list) = 0;
  virtual int64_t RecordsStart() const { return 0; }
  // Spanned output: the archive's drive is removable; the finished temporary archive is then
  // written across its disks instead of replacing the archive.
  virtual bool IsSpanned() { return false; }
  virtual bool WriteSpanned(TStream& temp, std::vector<TZipEntryRecord>& list) {
    (void)temp;
    (void)list;
    return false;
  }

  int DoCompress();
  // swRead: walks the archive's entries, filling the entry fields and calling OnRead for each.
  void ReadArchive();
  // Asks OnRenameFile for another stored name of a new file until one is free.
  void RenameNewFile(TZipEntryRecord& rec, const std::vector<TZipEntryRecord>& list);
  bool AddFiles(std::vector<TZipEntryRecord>& list);
  bool DeleteFileEx(const std::string& name);

  std::string rootDir_;
  int added_ = 0;
  int deleted_ = 0;
  std::vector<std::string> moved_;

 private:
  std::string defaultExt_ = ".zip";
};

class TZip;

// Writes a finished archive (entries in a temporary file) across the disks of a removable drive:
// the entries, the central directory and the end record, disk after disk, each disk labelled
// "PKBACK# nnn".
class TDiskSpanObj {
 public:
  TDiskSpanObj(TZip& owner, std::vector<TZipEntryRecord>& list, TStream& temp);
  // True only when the end record was written whole.
  bool Write();

 private:
  bool NextDisk();
  bool PrepareDisk();
  bool Copy(const void* data, int64_t count);
  bool CopyFromTemp(int64_t offset, int64_t count);

  TZip& owner_;
  std::vector<TZipEntryRecord>& list_;
  TStream& temp_;
  std::unique_ptr<TFileStream32> out_;
  std::string root_;
  int diskNumber_ = 0;   // from 1
  int diskCounter_ = -1;  // the end record's number of this disk, from 0
  int64_t free_ = 0;
  int64_t required_ = 0;
  uint32_t serial_ = 0;
  bool haveSerial_ = false;
};

class TZip : public TCompBase {
 public:
  using TOnClearDisk = std::function<void(TObject* Sender, const std::string& Drive, int64_t RequiredSpace,
                                          int64_t FreeSpace, int64_t TotalSpace, bool& Cancel)>;
  using TOnDiskSpanFileExists = std::function<void(TObject* Sender, const std::string& FileName,
                                                   TDateTime FileDate, TOverwriteMode& OverwriteMode)>;
  TZip();

  TOnClearDisk OnClearDisk;
  TOnDiskSpanFileExists OnDiskSpanFileExists;

  // Archive comment written into the end record (an existing archive's comment is kept unless
  // this is set).
  void SetArchiveComment(const std::string& text);
  std::string GetArchiveComment() const { return archiveComment_; }
  // Comment of the entry named name (path form) for the next Compress.
  void SetFileComment(const std::string& name, const std::string& text);

  bool EncryptHeaders = false;
  int LeaveSpaceOnFirstDisk = 0;

 protected:
  bool ScanArchive(TFileStream32& input, std::vector<TZipEntryRecord>& list) override;
  bool CompressFile(TZipEntryRecord& rec, TStream32& output) override;
  bool CopyEntry(TFileStream32& input, TZipEntryRecord& rec, TStream32& output) override;
  bool WriteCentralDirectory(TStream32& output, std::vector<TZipEntryRecord>& list) override;
  int64_t RecordsStart() const override { return recordsStart_; }
  bool IsSpanned() override;
  bool WriteSpanned(TStream& temp, std::vector<TZipEntryRecord>& list) override;

 private:
  friend class TDiskSpanObj;
  std::string StoredForm(const std::string& name, bool& utf8) const;
  // Writes an unencrypted file that fits in memory: read whole, packed, then its local record,
  // name and data in one write. Fills local's method, sizes and CRC.
  bool CompressWhole(TFileStream32& src, int64_t size, bool store, const std::string& stored, uint16_t flags,
                     uint8_t* local, TStream32& output);
  // Fills the entry's central record from its local record; mode is the file's, when known.
  bool FinishEntry(TZipEntryRecord& rec, const std::string& stored, const uint8_t* local, int64_t headerPos,
                   uint32_t mode, bool haveMode);
  std::unique_ptr<TEntryDeflater> deflater_;  // one deflate state for the whole run
  std::vector<uint8_t> entryBuffer_;          // a whole entry: file data, then its record
  std::string archiveComment_;
  bool commentSet_ = false;
  std::vector<std::pair<std::string, std::string>> fileComments_;
  int64_t recordsStart_ = 0;
};
