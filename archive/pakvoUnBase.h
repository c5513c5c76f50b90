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

#include "archive/pakvoBase.h"
#include "archive/pakvoGbls.h"

enum TCpuType : uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };

using TOnFileExistsEvent =
    std::function<void(TObject* Sender, const std::string& FileName, std::string& NewFileName,
                       TOverwriteMode& OverwriteMode)>;

class TOutputFile;

class TUnBase : public TZipCommon {
 public:
  TUnBase();
  ~TUnBase() override;

  // Extracts the entries that FileSpec selects; returns the number of entries taken.
  int Extract();

  // ---- Properties (the shared ones are TZipCommon's) ----
  // Binds the archive (its type is detected) and sets ExtractDir to the archive's directory.
  void SetArcFile(const std::string& name) override;

  const std::string& ExtractDir() const { return extractDir_; }
  // "\" becomes "/" and a trailing separator is dropped ("/" itself stays); empty means the
  // archive's directory, or empty when no archive is set.
  void SetExtractDir(const std::string& dir);

  bool CreateStoredDirs = false;
  bool RestoreFileAttr = true;
  TCpuType CpuType = cptAuto;

  TOnFileExistsEvent OnFileExists;

  // True when Name matches an entry of Include and none of Exclude.
  static bool MatchSpecLists(const std::string& Name, const std::vector<std::string>& Include,
                             const std::vector<std::string>& Exclude);
  // Matches a stored name with its directory against FileSpec entries (see the .cpp).
  static bool MatchFileSpecPath(const std::string& Name, const std::vector<std::string>& Specs,
                                bool Recurse);

 protected:
  // The walk over the entries; TUnZip supplies it.
  virtual void ExtractArchive() {}
  virtual bool CheckCrc(int CrcKind, uint32_t StoredCrc);
  // Whether the current Password opens the entry's 12-byte encryption header.
  virtual bool CheckPassword(const uint8_t* /*Header*/) { return false; }

  // ---- Per-entry steps, in the order the walk calls them ----
  // The target path under ExtractDir of a stored name (path form), also made the current file
  // name. Parts that would climb out of ExtractDir are dropped and reported; "" when nothing of
  // the name is left.
  std::string ResolveFileName(const std::string& Name) override;
  // Rename, OnBegin and overwrite decisions; true when the entry is taken.
  bool DoBeginFile(bool Forced);
  // Searches a password that opens the entry's encryption header (a copy of it is kept): the
  // current Password, then the list Passwords, then OnGetPassword.
  bool GetPassword(const uint8_t* header);
  // A wrong password passes the one-byte header check 1 time in 256: when the entry then fails
  // its CRC, the search goes on with the next candidate of the list that opens the header. False
  // when the password was not taken from the list (or was typed) or no further candidate opens it.
  bool NextListPassword();
  // Opens the output of the current entry: a temporary file beside the target, so that nothing
  // half-written ever stands under the final name.
  bool OpenOutput();
  // Writes decoded bytes to the output and the running CRC-32; false when the write failed.
  bool WriteOutput(const uint8_t* buffer, size_t count);
  // Closes the output. With `keep` the file takes its final name, date and attributes; otherwise
  // the temporary file is removed.
  void CloseOutput(bool keep, uint32_t Attr, uint32_t DosDate);
  void ExtractProgress(uint64_t block);
  // Sets the cancel flag without reporting, so that the running operation stops.
  void StopRun() { *CancelPointer() = true; }

  // ---- Run state beside TZipCommon's ----
  std::string storedName_;  // stored name of the entry being extracted (path form)
  uint32_t crc32_ = 0;      // finished CRC-32 of what was written for the entry
  int64_t fileSize_ = 0;    // size of the current entry
  int64_t fileDone_ = 0;

 private:
  bool OpenArchive();
  void ExtractRun();

  // Decrypts the kept copy of the entry's encryption header with the current Password.
  bool TryPassword();

  std::string extractDir_;
  std::unique_ptr<TOutputFile> output_;
  uint8_t passwordHeader_[12] = {};
  std::size_t listNext_ = 0;  // the next candidate of Passwords for the current entry
  bool fromList_ = false;     // the password in use was set or taken from the list, not typed
};
