// Archives over several files or disks: the names of the volumes of a split set, and
// TDiskSpannObj, which asks the user for the disks of an archive spanned over removable disks and
// accepts a disk only when it is the one the walk needs next.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/pakvoBase.h"
#include "archive/pakvoFileIo.h"

// Name of volume `index` of a set of `count` volumes split by zip: below `count` the base name with
// the extension ".z01", ".z02" ...; otherwise the archive itself (the last volume keeps its name).
std::string GetVolumeName(std::string_view baseName, std::string_view archiveFile, int index,
                          int count);

class TDiskSpannObj : public TDiskCommon {
 public:
  // Copies the owner's disk events, starts the disk counter at 0 (the last disk is wanted first)
  // and aims the owner's cancel test at `cancel` (nullptr: the owner's own flag).
  void Init(TZipCommon* owner, bool* cancel);

  // Obtains the disk the counter names, asking through the owner's events until an accepted disk
  // is in the drive: counter 0 the last disk (the one holding the end record), 1 the first disk,
  // 2 and up the next disks in order. `wantedPosition` is where the walk will read on that disk
  // (the record it needs, or -1 for data continued from the previous disk). Returns whether a disk
  // was accepted; on failure the cancel flag is set so that the running operation stops. The
  // caller closes its archive stream before and opens ArchiveFile again after.
  bool RequestDisk(int64_t wantedPosition);

  // 0 = the last disk is wanted next, 1 = the first, 2 and up = the next disks.
  int Counter() const { return counter_; }

 private:
  bool Probe(int64_t wantedPosition);
  void Fail();

  TZipCommon* owner_ = nullptr;
  TZipCommon::TOnDiskCancel onFirstDisk_;
  TZipCommon::TOnDiskCancel onLastDisk_;
  TZipCommon::TOnDiskNamed onNextDisk_;
  uint16_t counter_ = 0;
};
