// Common base of the archive components (compressor, extractor, lister): the shared properties and
// events, the cancel flag, the stopwatch, the disk manager, the block read/write hooks with
// encryption and checksums, progress, and error reporting with the library's numbered error texts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/pakvoFileIo.h"
#include "archive/pakvoFileScan.h"
#include "archive/pakvoGbls.h"
#include "archive/pakvoRegister.h"
#include "archive/pakvoStreams.h"

enum TDateAttribute { daFileDate, daSysDate, daMaxFileDate };
enum TOverwriteMode { omOverwrite, omSkip };
enum TStoredDirNames {
  sdNone,
  sdAbsolute,
  sdAbsoluteNoDrv,
  sdAbsoluteNoRoot,
  sdRelative,
  sdRelativeStoreStart,
  sdExplorer_Auto,
  sdExplorer_UserDefineDefaultDir
};

// Output modes of a running operation.
constexpr int kOutputToFiles = 0;
constexpr int kOutputToStreamWithDir = 1;
constexpr int kOutputToStream = 2;
constexpr int kOutputToMemory = 3;
constexpr int kOutputAppend = 7;

// Running CRC registers of the block routines (one per kind), read by the CRC check of the
// extractor: library-wide, so one archive operation runs at a time.
extern uint32_t Crc16Val;
extern uint32_t Crc32Val;

// Stopwatch behind OnElapsedTime, counting milliseconds; paused time does not count.
class TpakvoTimer {
 public:
  void Start();
  void Stop();
  void Pause();
  void Resume();
  bool Running() const { return start_ != 0; }
  float ElapsedTime() const { return elapsed_; }
  // The millisecond clock (a steady clock unless a test sets its own).
  std::function<uint32_t()> TickSource;

 private:
  uint32_t Tick() const;
  uint32_t start_ = 0;
  uint32_t pause_ = 0;
  uint32_t stop_ = 0;
  float elapsed_ = 0;
};

class TZipCommon : public TRegisterPakvo, public TTempStreamOwner {
 public:
  using TNotifyEvent = std::function<void(TObject* Sender)>;
  using TOnBegin = std::function<void(TObject* Sender, const std::string& FileName, int Count,
                                      bool& Extract)>;
  using TOnEnd = std::function<void(TObject* Sender, const std::string& FileName, bool CRC_PASS)>;
  using TOnError = std::function<void(TObject* Sender, const std::string& FileName,
                                      const std::string& ExtendedMsg, const std::string& VolumeID,
                                      int ECode)>;
  using TOnElapsedTime = std::function<void(TObject* Sender, float ElapsedTime)>;
  using TOnProgress =
      std::function<void(TObject* Sender, uint8_t ProgressByFile, uint8_t ProgressByArchive)>;
  using TOnGetPassword = std::function<void(TObject* Sender, const std::string& FileName,
                                            std::string& Password, bool& TryAgain)>;
  using TOnNextVolume = std::function<void(TObject* Sender, std::string& VolumeName,
                                           const std::string& VolumeID, bool fExists, bool& Cancel)>;
  using TOnDiskCancel = std::function<void(TObject* Sender, bool& Cancel)>;
  using TOnDiskNamed =
      std::function<void(TObject* Sender, const std::string& VolumeName, bool& Cancel)>;
  using TOnRenameFile = std::function<void(TObject* Sender, const std::string& FileName,
                                           std::string& NewFileName)>;
  using TOnCorruptZipHeader =
      std::function<void(TObject* Sender, THeaderTypeState HeadFlag, bool& Cancel)>;
  using TOnRead = std::function<void(TObject* Sender, int Offset, int Filenum)>;

  TZipCommon();
  ~TZipCommon() override;

  // ---- Shared property fields (each published by the descendants that use it) ----
  TpakvoFileAttrs Attributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  TpakvoFileAttrs AttributesEx;
  bool ConfirmOverwrites = false;
  TDateAttribute DateAttribute = daFileDate;
  TDeleteOptions DeleteOptions = doAllowUndo;
  std::vector<std::string> ExcludeSpec;
  std::vector<std::string> FileSpec;
  bool IncludeHiddenDirs = false;
  TOverwriteMode OverwriteMode = omOverwrite;
  std::string Password;
  int PasswordAttempts = 3;
  std::vector<std::string> Passwords;
  bool RecurseDirs = false;
  TStoredDirNames StoredDirNames = sdRelative;
  bool TranslateOemChar = true;
  bool UseStoredDirs = true;
  int ZipCmntBufSize() const { return zipCmntBufSize_; }
  // Values of 32,768 or more become 32,767, values below 2,000 become 2,000.
  void SetZipCmntBufSize(int value);
  void SetFileSpec(const std::vector<std::string>& masks) { FileSpec = masks; }
  void SetExcludeSpec(const std::vector<std::string>& masks) { ExcludeSpec = masks; }
  void SetPasswords(const std::vector<std::string>& list) { Passwords = list; }

  // ---- Events ----
  TNotifyEvent OnActivate, OnDeactivate;
  TOnBegin OnBegin;
  TOnEnd OnEnd;
  TOnError OnError;
  TOnElapsedTime OnElapsedTime;
  TOnProgress OnProgress;
  TOnGetPassword OnGetPassword;
  TOnNextVolume OnNextVolume;
  TOnDiskCancel OnGetZipFirstDisk, OnGetZipLastDisk;
  TOnDiskNamed OnGetZipNextDisk, OnInsertDisk;
  TOnRenameFile OnRenameFile;
  TOnCorruptZipHeader OnCorruptZipHeader;
  TOnRead OnRead;
  TOnTmpFileMoveBegin OnTmpFileMoveBegin;
  TNotifyEvent OnTmpFileMoveEnd;
  TOnProgress OnTmpFileProgress;
  TOnDiskError OnDiskInDrvErr, OnDiskWriteProtectErr;

  // ---- State of the running operation ----
  std::string CurrentFile;      // the name being stored, extracted or listed
  std::string DefaultDir;
  std::string ArchiveBaseName;  // ArchiveFile as it was when the operation started
  int EntryCount = 0;
  int ProcessedCount = 0;       // files counted as done by the operation
  uint32_t MaxFileDate = 0;     // largest file date of the set, for daMaxFileDate
  int64_t BytesTotal = 0;       // bytes of the whole operation
  int64_t BytesDone = 0;        // bytes done since the operation started
  int64_t BytesLeft = 0;        // bytes still to process (counted down by the streams)
  uint8_t ProgressByFile = 0;
  uint8_t ProgressByArchive = 0;
  int OutputMode = kOutputToFiles;
  bool TextMode = false;        // write LF as CR LF
  // Memory block of output mode 3: writes go at OutputBlockOffset and never past OutputBlockSize.
  uint8_t* OutputBlock = nullptr;
  size_t OutputBlockSize = 0;
  size_t OutputBlockOffset = 0;
  std::vector<std::string> NameList;
  std::vector<std::string> ExcludeList;
  std::vector<std::string> WorkList;
  bool Loading = false;         // set while properties are restored from a stored form

  // Fields of the entry being listed or extracted.
  TDateTime EntryDate = 0;
  int VersionMadeBy = 0;
  int VersionNeeded = 0;
  int64_t PackedSize = 0;
  int64_t UnpackedSize = 0;
  uint32_t EntryCrc = 0;
  bool Encrypted = false;
  int CompressMethod = 0;
  std::string CompressMethodName;
  uint16_t FileAttr = 0;
  uint32_t ExternalAttr = 0;
  int Ratio = 0;
  std::string VolumeName;

  TDiskManager& DiskManager() { return *diskManager_; }
  TpakvoTimer& Timer() { return timer_; }

  // Hooks the sub-objects call instead of the virtual operations.
  std::function<int32_t(TStream32& Stream, void* Buffer, int32_t Count, int CrcKind, bool Decode)>
      ReadBlockHook;
  std::function<int32_t(TStream32& Stream, void* Buffer, int32_t Count, bool CountCrc,
                        int CrcKind, bool Crypt)>
      WriteEncryptHook;
  std::function<int32_t(TStream32& Stream, void* Buffer, int32_t Count, bool CountCrc,
                        int CrcKind, bool Crypt)>
      WriteDecryptHook;
  std::function<void(uint8_t ByFile, uint8_t ByArchive)> ProgressHook;
  // Lets the host's message loop run (nothing when unset).
  std::function<void()> ProcessMessages;
  // Asks a Yes/No question (the TempDir setter's); unset means No, so no run ever waits.
  std::function<bool(const std::string& text)> ConfirmHook;

  // ---- Virtual operations ----
  virtual bool GetCancel();
  // Stores the flag; setting it reports "User canceled".
  virtual void SetCancel(bool Value);
  virtual int32_t WriteEncryptBytes(TStream32& Stream, void* Buffer, int32_t Count, bool CountCrc,
                                    int CrcKind, bool Crypt);
  // DOS date-time to a date-time; 0 is taken as 1 January 1980, 00:01.
  virtual TDateTime ConvertDate(uint32_t DosDateTime);
  virtual int32_t WriteDecryptBlock(TStream32& Stream, void* Buffer, int32_t Count, bool CountCrc,
                                    int CrcKind, bool Crypt);
  // Name of volume Index of a set: "name.partN.rar" sets get N = Index + 2 in the same width.
  virtual std::string GetNextVolumeName(const std::string& Name, int Index);
  virtual int32_t ReadBlock(TStream32& Stream, void* Buffer, int32_t Count, int CrcKind,
                            bool Decode);
  virtual void ClearNameList();
  // Turns a stored name into the current file name (the descendants decide where it goes).
  virtual std::string ResolveFileName(const std::string& Name);
  virtual void DecodeBlock(bool Decode, void* Buffer, int32_t Count);
  virtual int PostProcessArchive(const std::string& Name);
  // Reports the error and raises E_RAISE with the code's text, unless the operation is cancelled
  // (then the code becomes 25443 and nothing is raised).
  virtual void RaiseError(const std::string& FileName, const std::string& ExtendedMsg,
                          const std::string& VolumeID, int ECode);
  // Reports the error through OnError; never raises.
  virtual void ReportError(const std::string& FileName, const std::string& ExtendedMsg,
                           const std::string& VolumeID, int ECode);

  // ---- Non-virtual services ----
  int32_t WriteBlock(TStream32& Stream, const void* Buffer, int32_t Count, bool CountCrc,
                     int CrcKind);
  bool WritesToFile() const { return OutputMode == kOutputToFiles; }
  // Reads a stored name of Len bytes (at most 255).
  std::string ReadName(TStream32& Stream, int Len);
  // Walks the extra field of Size bytes; block 100's data (4 bytes for Kind 0, 6 for Kind 1) is
  // copied to Data. Returns whether block 100 was found.
  bool ReadExtraField(TStream32& Stream, int Size, void* Data, int Kind);
  // Creates a unique empty file in Dir (or the temporary folder) and returns its name; "" when
  // no file could be made.
  std::string GetTempFileName(const std::string& Dir);
  uint32_t GetFileDate(uint32_t Date);
  std::string TempDir();
  void SetTempDir(const std::string& Dir);
  static bool IsKnownArcType(TArcType ArcType) { return !IsNoArchiveType(ArcType); }
  void SetAttribute(TpakvoFileAttr Attr, bool On);
  void SetAttributeEx(TpakvoFileAttr Attr, bool On);
  void DoProgress(int64_t Done, int64_t FileSize, int64_t FileDone);
  void RaiseWriteError();
  static bool IsEndRecordSignature(uint32_t Value) { return Value == kSigLargeEnd; }
  static bool TarHeaderChecksum(const uint8_t* Header) { return TarHeaderChecksumOk(Header); }
  static uint32_t AttrToHostAttr(TpakvoFileAttrs Attrs);
  // Display name of an entry's method for the current ArcType. Level qualifies the method: the
  // ZIP and BH general-purpose flag bits 1-2, the ARJ file type, the GZip file's magic word.
  std::string GetCompressMethodName(int Method, int Level);
  // Raises "Required event not assigned" naming the event when it is not assigned.
  void RequireEvent(bool assigned, const std::string& eventName);
  // Aims the cancel test at another flag (nullptr: back to the component's own).
  void SetCancelPointer(bool* flag) { cancelPtr_ = flag ? flag : &cancel_; }

  // What the temporary archive outputs ask of their component: the temporary-name rule, the
  // move events, progress while the temporary file is moved (OnTmpFileProgress), the totals,
  // the bytes-left counter and the cancel flag.
  std::string TempFileNameIn(const std::string& dir) override { return GetTempFileName(dir); }
  void TmpFileMoveBegin(const std::string& archive, const std::string& tempFile) override;
  void TmpFileMoveEnd() override;
  void TmpFileProgress(TStream32* sender) override;
  void SetProgressTotals(int64_t total) override;
  int64_t* BytesLeftCounter() override { return &BytesLeft; }
  bool* CancelPointer() override { return cancelPtr_; }

  void SetVolumes(platform::files::IVolumes* volumes) override;

 private:
  void Progress(uint8_t byFile, uint8_t byArchive);

  int zipCmntBufSize_ = 2000;
  bool cancel_ = false;
  bool* cancelPtr_ = &cancel_;
  std::unique_ptr<TDiskManager> diskManager_;
  TpakvoTimer timer_;
  std::string tempDir_;
};
