// The archive lister TPakvo: reads the directory of an archive of any supported type without
// extracting anything, raising events with each entry's fields, or, in list mode, collecting the
// entry names into a caller's list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/pakvoBase.h"
#include "archive/pakvoHeaders.h"

class TPakvo;

// Do-nothing handlers installed while GetFileList runs, so that the required OnRead is assigned.
class TPakvo_EventHandlers : public TObject {
 public:
  void Read(TObject*, int, int) {}
  void ReadBegin(TObject*) {}
  void ReadEnd(TObject*) {}
  void Activate(TObject*) {}
  void Deactivate(TObject*) {}
  void Totals(TObject*, int64_t, int64_t, int, int) {}
};

class TPakvo : public TZipCommon {
 public:
  using TOnReadFile = std::function<void(TObject* Sender, const std::string& FileName)>;
  using TOnTotals = std::function<void(TObject* Sender, int64_t UnpackSize, int64_t PackSize,
                                       int Ratio, int NumFiles)>;

  TPakvo();
  ~TPakvo() override;

  bool ShowEmptyDirs = false;
  TNotifyEvent OnReadBegin, OnReadEnd;
  TOnReadFile OnReadFile;
  TOnTotals OnTotals;

  // Reads the whole directory, raising the entry events. False only when a reading is already
  // running; failures raised on the way leave as E_RAISE.
  bool Activate();
  // Adds the names of the entries (those matching FileSpec) to *Strings, in header order, without
  // clearing it first. False, with the list cleared, when no usable archive is bound, a reading is
  // running or an error was raised while reading. A null list does nothing.
  bool GetFileList(std::vector<std::string>* Strings);

  // Offset of the first header found by the last open step.
  int64_t FirstHeaderOffset() const { return firstHeaderOffset_; }

 private:
  bool ListReading();
  void ReadArchive();
  THeaderFamily FamilyOf(TArcType type) const;
  // The split ZIP set that ArcFile belongs to, read as one run of bytes; null when it cannot be
  // put together (missing volume refused, or no end record).
  std::unique_ptr<TPakvoVolumeSet> OpenZipSet(TPakvoByteSource& opened, THeaderContext& ctx);
  // Asks OnGetZipLastDisk for the last disk of a spanned set until the disk in the drive holds
  // the end record; false (and the reading cancelled) when refused or not assigned.
  bool RequestLastDisk();
  // Asks OnNextVolume for a volume until it exists; false when refused or impossible.
  bool RequestVolume(std::string& name, int index);
  std::string ProposedNextVolume(const std::string& current, int index) const;
  bool EntryFound(const TPakvoEntry& e, int64_t headerOffset);
  void HandOver(const TPakvoEntry& e);
  bool MatchesSpec(const std::string& name) const;

  bool busy_ = false;
  int listMode_ = 0;
  std::vector<std::string>* target_ = nullptr;
  int64_t firstHeaderOffset_ = 0;
  TArcType readType_ = atNA;
  THeaderFamily family_ = hfNone;
  bool zipLocalWalk_ = false;
  bool zipLocalMissing_ = false;
  std::vector<std::string> zipVolumeNames_;
  int64_t totalPacked_ = 0;
  int64_t totalUnpacked_ = 0;
  int totalFiles_ = 0;
  int handed_ = 0;
  int volumeIndex_ = 0;
  std::vector<std::unique_ptr<TPakvoByteSource>> volumes_;
};
