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
  uint64_t OldOffset = 0;     // where its local header lies in the old archive file
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
  using TOnFileScanStatus = std::function<void(TObject* Sender, const std::string& FileName,
                                               int FilesCount, int64_t FilesSize)>;
  using TOnRecurseDir = std::function<void(TObject* Sender, const std::string& Directory)>;

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
  TOnFileScanStatus OnFileScanStatus;  // each file the scan finds, with the running totals
  TOnRecurseDir OnRecurseDir;          // each directory the scan enters

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
  virtual std::string ClassDefaultExt() const { return ".ZIP"; }
  // ZIP specifics supplied by TZip.
  virtual bool ScanArchive(TFileStream32& input, std::vector<TZipEntryRecord>& list) = 0;
  virtual bool CompressFile(TZipEntryRecord& rec, TStream32& output) = 0;
  virtual bool CopyEntry(TFileStream32& input, TZipEntryRecord& rec, TStream32& output) = 0;
  virtual bool WriteCentralDirectory(TStream32& output, std::vector<TZipEntryRecord>& list) = 0;
  // Stored names (path form) of the entries of the archive at path; false when it cannot be read.
  virtual bool ReadEntryNames(const std::string& path, std::vector<std::string>& names) = 0;
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
  // Checks the archive's drive through the disk manager (with OnDiskInDrvErr and
  // OnDiskWriteProtectErr); false when the drive cannot be used.
  bool CheckArchiveDrive();
  // swMove: removes the sources of the files added; with VerifyBeforeDelete only those whose
  // entries are in the archive as written.
  void DeleteMovedFiles();
  // swRead: walks the archive's entries, filling the entry fields and calling OnRead for each.
  void ReadArchive();
  // Asks OnRenameFile for another stored name of a new file until one is free.
  void RenameNewFile(TZipEntryRecord& rec, const std::vector<TZipEntryRecord>& list);
  bool AddFiles(std::vector<TZipEntryRecord>& list);
  bool DeleteFileEx(const std::string& name);

  std::string rootDir_;
  int added_ = 0;
  int deleted_ = 0;
  std::vector<std::pair<std::string, std::string>> moved_;  // source path, stored name
  std::string tempFile_;  // the run's temporary archive, never taken as a source

 private:
  std::string defaultExt_ = ".ZIP";
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
  // Reads the drive's data through the owner's disk manager (not ready and write-protected disks
  // go to OnDiskInDrvErr and OnDiskWriteProtectErr); false when the disk cannot be used.
  bool ReadDrive();
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

  // Binds the archive; an existing ZIP archive's entries and comment are read, so that comments
  // can be read and changed and saved with RebuildArchive.
  void SetArcFile(const std::string& name) override;

  // Archive comment written into the end record (an existing archive's comment is kept unless
  // this is set). A change marks the bound archive's directory modified.
  void SetArchiveComment(const std::string& text);
  std::string GetArchiveComment() const { return archiveComment_; }
  // Comment of the entry named name (path form) for the next Compress.
  void SetFileComment(const std::string& name, const std::string& text);
  // Comment of entry Index of the bound archive ("" when there is no such entry).
  std::string GetFileComment(int Index) const;
  // Replaces the comment of entry Index of the bound archive; saved by RebuildArchive (and kept by
  // the next Compress). False when there is no such entry.
  bool SetFileComment(int Index, const std::string& text);
  // Writes the bound archive again with its changed comments: its entries are copied unchanged,
  // the directory and end record written anew. False when nothing was changed or it failed.
  bool RebuildArchive();
  // Number of entries of the existing ArchiveFile; 0 when there is none or it is not a ZIP archive.
  int CountEntries();
  // Bytes that entry Index takes in the archive: its local header, name, extra field and data;
  // 0 when there is no such entry or no local header where the directory says.
  int64_t GetArchiveSize(int Index);

  bool EncryptHeaders = false;
  int LeaveSpaceOnFirstDisk = 0;

 protected:
  bool ScanArchive(TFileStream32& input, std::vector<TZipEntryRecord>& list) override;
  bool CompressFile(TZipEntryRecord& rec, TStream32& output) override;
  bool CopyEntry(TFileStream32& input, TZipEntryRecord& rec, TStream32& output) override;
  bool WriteCentralDirectory(TStream32& output, std::vector<TZipEntryRecord>& list) override;
  bool ReadEntryNames(const std::string& path, std::vector<std::string>& names) override;
  int64_t RecordsStart() const override { return recordsStart_; }
  bool IsSpanned() override;
  bool WriteSpanned(TStream& temp, std::vector<TZipEntryRecord>& list) override;

 private:
  friend class TDiskSpanObj;
  // What the directory of an existing archive says besides its entries.
  struct TDirectoryInfo {
    int64_t RecordsStart = 0;    // first byte of the records: bytes before it are leading bytes
    int64_t CentralStart = -1;   // where the directory starts; -1 when only local headers were found
    std::string Comment;
  };
  // Reads the entries of an existing archive (by its directory, else by its local headers) with
  // their offsets made absolute. False when it is not a ZIP archive this writer can rewrite.
  bool ReadDirectory(TFileStream32& input, std::vector<TZipEntryRecord>& list, TDirectoryInfo& info);
  bool ReadLocalHeaders(TFileStream32& input, std::vector<TZipEntryRecord>& list);
  std::string NameOf(const TZipEntryRecord& rec) const;
  std::string StoredForm(const std::string& name, bool& utf8) const;
  // Writes an unencrypted file that fits in memory: read whole, packed, then its local record,
  // name and data in one write. Fills local's method, sizes and CRC.
  bool CompressWhole(TFileStream32& src, int64_t size, bool store, const std::string& stored, uint16_t flags,
                     uint8_t* local, TStream32& output);
  // Fills the entry's central record from its local record; mode is the file's, when known.
  // crcPass is what OnEnd reports.
  bool FinishEntry(TZipEntryRecord& rec, const std::string& stored, const uint8_t* local, int64_t headerPos,
                   uint32_t mode, bool haveMode, bool crcPass);
  std::unique_ptr<TEntryDeflater> deflater_;  // one deflate state for the whole run
  std::vector<uint8_t> entryBuffer_;          // a whole entry: file data, then its record
  std::string archiveComment_;
  bool commentSet_ = false;
  std::vector<std::pair<std::string, std::string>> fileComments_;
  int64_t recordsStart_ = 0;
  // The bound archive's entries, for the comment operations.
  std::vector<TZipEntryRecord> headers_;
  TDirectoryInfo boundInfo_;
  bool modified_ = false;
};
