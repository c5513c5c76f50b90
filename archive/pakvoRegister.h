// Binding of an archive file to a component: the archive's name, its detected type, where the
// archive proper starts inside the file, its size and date, the volume numbering of multi-volume
// sets, and the ZIP record signatures. Every archive component derives from TRegisterPakvo.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/pakvoGbls.h"

namespace platform::files {
class IVolumes;
}

enum TDeleteOptions { doFinal, doAllowUndo };

using TOnTmpFileMoveBegin =
    std::function<void(TObject* Sender, const std::string& Archive, const std::string& TempFileName)>;

// ZIP record signatures.
constexpr uint32_t kSigLocal = 0x04034B50;
constexpr uint32_t kSigCentral = 0x02014B50;
constexpr uint32_t kSigEnd = 0x06054B50;
constexpr uint32_t kSigLargeEnd = 0x06055B50;
constexpr uint32_t kSigSpanMarker = 0x08074B50;

// The signature written for a record kind (htNone: the spanning marker).
uint32_t HeaderSig(THeaderType kind);
// The kind that `signature` is when it is one that `wanted` accepts, else htNone.
THeaderType HeaderKindOf(uint32_t signature, THeaderType wanted);
// True for a local or a central signature.
bool IsZipHeaderSig(uint32_t signature);
// True when the 512-byte tar header's checksum field (octal, offsets 148-155) equals the byte sum
// of the header with those eight bytes counted as blanks.
bool TarHeaderChecksumOk(const uint8_t* header);

// 1980-01-01 00:01:00 as a DOS date-time: the date of a file whose date cannot be read.
constexpr uint32_t kDosDateUnknown = 0x00210020;

class TRegisterPakvo : public TObject {
 public:
  TRegisterPakvo() = default;
  TRegisterPakvo(const TRegisterPakvo&) = delete;
  TRegisterPakvo& operator=(const TRegisterPakvo&) = delete;

  // The ArchiveFile setter: binds the file and detects its type. A missing file gives atNA and
  // clears the name; an empty name or a file that cannot be opened gives atNA. Never raises.
  virtual void SetArcFile(const std::string& name);
  const std::string& ArchiveFile() const { return ArcFile; }
  // Opens the bound file again and detects its type; raises E_RAISE "Error opening file" (after
  // setting atNA) when the file cannot be opened.
  virtual void Redetect();

  // Detects the type of the archive in the open file `fd` (read from position 0, the descriptor's
  // own position is not used), setting Offset, ArcFileSize, ArcDate and ZipFlags. Never raises.
  TArcType GetArcType(int fd);

  // The drives seen by detection and by the disk manager (the machine's when unset).
  platform::files::IVolumes* Volumes() const { return volumes_; }
  virtual void SetVolumes(platform::files::IVolumes* volumes) { volumes_ = volumes; }

  std::string ArcFile;
  TArcType ArcType = atNA;
  int64_t Offset = -1;
  int64_t ArcFileSize = 0;
  uint32_t ArcDate = kDosDateUnknown;
  uint8_t ZipFlags = 0;  // bit 0 local header, bit 1 central record, bit 2 end record found
  uint32_t VolumeNumber = 0;
  char VolumeLetter = 0;

 protected:
  // Derives VolumeNumber and VolumeLetter from the extension of ArcFile (ACE, ARJ, JAR, RAR).
  void ComputeVolumeNumbering();

 private:
  platform::files::IVolumes* volumes_ = nullptr;
};
