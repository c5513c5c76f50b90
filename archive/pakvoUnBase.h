// Extractor base TUnBase: what every extractor shares around the walk over an archive's entries:
// opening the archive, the run (counters, events, stopwatch), the per-entry decision (rename,
// OnBegin, overwrite, read-only targets), the password search, the output file, the CRC verdict
// and closing the output with its date and attributes. TUnZip supplies the ZIP walk.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/pakvoGbls.h"
#include "archive/pakvoSpan.h"

enum TOverwriteMode : uint8_t { omOverwrite, omSkip };
enum TDateAttribute : uint8_t { daFileDate, daSysDate, daMaxFileDate };
enum TCpuType : uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };

// Events of the extractors (Sender first, as everywhere in the library).
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TOnBeginEvent =
    std::function<void(TObject* Sender, const std::string& FileName, int Count, bool& Extract)>;
using TOnEndEvent =
    std::function<void(TObject* Sender, const std::string& FileName, bool CRC_PASS)>;
using TOnErrorEvent =
    std::function<void(TObject* Sender, const std::string& FileName, const std::string& ExtendedMsg,
                       const std::string& VolumeID, int ECode)>;
using TOnElapsedTimeEvent = std::function<void(TObject* Sender, float ElapsedTime)>;
using TOnProgressEvent =
    std::function<void(TObject* Sender, uint8_t ProgressByFile, uint8_t ProgressByArchive)>;
using TOnGetPasswordEvent = std::function<void(TObject* Sender, const std::string& FileName,
                                               std::string& Password, bool& TryAgain)>;
using TOnNextVolumeEvent = std::function<void(TObject* Sender, std::string& VolumeName,
                                              const std::string& VolumeID, bool fExists,
                                              bool& Cancel)>;
using TOnGetDiskEvent = std::function<void(TObject* Sender, bool& Cancel)>;
using TOnGetNextDiskEvent =
    std::function<void(TObject* Sender, const std::string& VolumeName, bool& Cancel)>;
using TOnRenameFileEvent = std::function<void(TObject* Sender, const std::string& FileName,
                                              std::string& NewFileName)>;
using TOnFileExistsEvent = std::function<void(TObject* Sender, const std::string& FileName,
                                              std::string& NewFileName,
                                              TOverwriteMode& OverwriteMode)>;
using TOnCorruptZipHeaderEvent =
    std::function<void(TObject* Sender, THeaderTypeState HeadFlag, bool& Cancel)>;

class TOutputFile;

class TUnBase : public TObject {
 public:
  TUnBase();
  ~TUnBase() override;
  TUnBase(const TUnBase&) = delete;
  TUnBase& operator=(const TUnBase&) = delete;

  // Extracts the entries that FileSpec selects; returns the number of entries taken.
  int Extract();

  // ---- Properties ----
  const std::string& ArchiveFile() const { return archiveFile_; }
  // Binds the archive (its type is detected) and sets ExtractDir to the archive's directory.
  virtual void SetArchiveFile(const std::string& name);
  TArcType ArcType = atNA;

  const std::string& ExtractDir() const { return extractDir_; }
  // "\" becomes "/" and a trailing separator is dropped ("/" itself stays); empty means the
  // archive's directory, or empty when no archive is set.
  void SetExtractDir(const std::string& dir);

  std::vector<std::string> FileSpec;
  std::vector<std::string> ExcludeSpec;
  std::string Password;
  std::vector<std::string> Passwords;
  int PasswordAttempts = 3;
  bool ConfirmOverwrites = false;
  TOverwriteMode OverwriteMode = omOverwrite;
  TDateAttribute DateAttribute = daFileDate;
  bool UseStoredDirs = true;
  bool CreateStoredDirs = false;
  bool RestoreFileAttr = true;
  bool RecurseDirs = true;
  bool TranslateOemChar = true;
  TCpuType CpuType = cptAuto;

  // ---- Events ----
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TOnBeginEvent OnBegin;
  TOnEndEvent OnEnd;
  TOnErrorEvent OnError;
  TOnElapsedTimeEvent OnElapsedTime;
  TOnProgressEvent OnProgress;
  TOnGetPasswordEvent OnGetPassword;
  TOnRenameFileEvent OnRenameFile;
  TOnFileExistsEvent OnFileExists;

  bool GetCancel() const { return *cancelPtr_; }
  // Setting the flag reports "User canceled".
  void SetCancel(bool value);

  // Error reporting: OnError, then (RaiseError only, unless cancelled) E_RAISE with the code's text.
  void RaiseError(const std::string& FileName, const std::string& ExtendedMsg,
                  const std::string& VolumeID, int ECode);
  void ReportError(const std::string& FileName, const std::string& ExtendedMsg,
                   const std::string& VolumeID, int ECode);

  // True when Name matches an entry of Include and none of Exclude.
  static bool MatchSpecLists(const std::string& Name, const std::vector<std::string>& Include,
                             const std::vector<std::string>& Exclude);
  // Matches a stored name with its directory against FileSpec entries (see the .cpp).
  static bool MatchFileSpecPath(const std::string& Name, const std::vector<std::string>& Specs,
                                bool Recurse);

  // The stopwatch, so that hosts and tests may give it their own clock.
  TpakvoTimer& Timer() { return timer_; }

 protected:
  // The walk over the entries; TUnZip supplies it.
  virtual void ExtractArchive() {}
  virtual bool CheckCrc(int CrcKind, uint32_t StoredCrc);
  // Whether the current Password opens the entry's 12-byte encryption header.
  virtual bool CheckPassword(const uint8_t* /*Header*/) { return false; }

  // ---- Per-entry steps, in the order the walk calls them ----
  // Makes the current file name from a stored name (path form, "/" separators). Returns false
  // when nothing of the name is left to write to.
  bool ResolveFileName(const std::string& storedName);
  // Rename, OnBegin and overwrite decisions; true when the entry is taken.
  bool DoBeginFile(bool Forced);
  // Searches a password that opens the entry's encryption header (a copy of it is kept).
  bool GetPassword(const uint8_t* header);
  // Opens the output of the current entry: a temporary file beside the target, so that nothing
  // half-written ever stands under the final name.
  bool OpenOutput();
  // Writes decoded bytes to the output and the running CRC-32; false when the write failed.
  bool WriteBlock(const uint8_t* buffer, size_t count);
  // Closes the output. With `keep` the file takes its final name, date and attributes; otherwise
  // the temporary file is removed.
  void CloseOutput(bool keep, uint32_t Attr, uint32_t DosDate);
  void ExtractProgress(uint64_t block);
  void DoProgress();

  // Sets the cancel flag without reporting, so that the running operation stops.
  void StopRun() { *cancelPtr_ = true; }

  // Pause the stopwatch around a handler call.
  void PauseTimer() { timer_.Pause(); }
  void ResumeTimer() { timer_.Resume(); }

  // ---- Run state ----
  std::string currentFile_;  // target path of the entry being extracted
  std::string storedName_;   // its stored name (path form)
  int entryCount_ = 0;       // entries taken
  bool encrypted_ = false;
  uint32_t crc32_ = 0xFFFFFFFF;  // running CRC-32 register
  uint64_t totalBytes_ = 0;      // bytes of the run, for progress
  uint64_t bytesLeft_ = 0;
  uint64_t fileSize_ = 0;        // size of the current entry
  uint64_t fileDone_ = 0;
  uint32_t maxFileDate_ = 0;     // largest DOS date of the selected entries
  int64_t archiveSize_ = 0;
  std::string archiveBase_;      // copy of ArchiveFile taken when the run starts
  uint8_t progressByFile_ = 0;
  uint8_t progressByArchive_ = 0;

  uint32_t GetFileDate(uint32_t dosDate) const;

 private:
  bool OpenArchive();
  void ExtractRun();

  std::string archiveFile_;
  std::string extractDir_;
  bool cancel_ = false;
  bool* cancelPtr_ = &cancel_;
  TpakvoTimer timer_;
  std::unique_ptr<TOutputFile> output_;
};
