// The ZIP extractor TUnZip: finds the entries of a ZIP archive (its central directory, or a walk
// over its local headers), decodes each by its method (stored, shrunk, reduced, imploded, deflated,
// Deflate64), checks traditional encryption, and reads multi-volume sets across their volumes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/pakvoSpan.h"
#include "archive/pakvoUnBase.h"

class TZipVolumeInput;

class TUnZip : public TUnBase {
 public:
  TUnZip();
  ~TUnZip() override;

  // Binds the archive and detects it; for a ZIP the records found refine the type: atZipMV for
  // the last volume of a split set, atJar for ".jar", atZipExe with data in front.
  void SetArcFile(const std::string& name) override;

  // Which records were found when the archive was bound: exactly {htLocal} means no central
  // directory (the entries are found by walking the local headers).
  THeaderTypeState HeaderTypeState = 0;

 protected:
  void ExtractArchive() override;
  bool CheckPassword(const uint8_t* Header) override;

 private:
  // One entry as the directory walk lists it.
  struct TZipEntry {
    uint32_t ExternalAttr = 0;
    uint16_t Disk = 0;
    uint64_t LocalOffset = 0;  // relative to Offset
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DosDateTime = 0;
    uint32_t Crc = 0;
    uint64_t PackedSize = 0;
    uint64_t UnpackedSize = 0;
    bool FromCentral = false;
    int Host = -1;     // made-by host of the central record (-1: no central record)
    std::string Name;  // the stored name, converted to path form
  };

  struct TEndRecord {
    int64_t Position = -1;
    uint16_t ThisDisk = 0;
    uint16_t CentralDisk = 0;
    uint64_t CentralSize = 0;
    uint64_t CentralOffset = 0;
    bool Empty = false;  // no entries and an empty directory: an archive of nothing
  };
  struct TLocalHeader {
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DosDateTime = 0;
    uint32_t Crc = 0;
    uint64_t PackedSize = 0;
    uint64_t UnpackedSize = 0;
    std::string Name;
    uint64_t DataStart = 0;  // position of the data in its volume
    int DataDisk = 0;
  };

  void Detect();
  bool ReadCentralDirectory(std::vector<TZipEntry>& list);
  bool WalkLocalHeaders(std::vector<TZipEntry>& list);
  void ExtractionLoop(std::vector<TZipEntry>& list);
  // host: the central record's made-by host, which decides how the name's bytes are read.
  bool ReadLocalHeader(int64_t position, TLocalHeader& header, bool& signatureOk, int host = -1);
  void ExtractEntry(const TZipEntry& entry, const TLocalHeader& local, uint64_t limit);
  // The stored name in path form; host is the central record's made-by host (-1: unknown).
  std::string ConvertName(const std::string& raw, uint16_t flags, int host = -1) const;
  bool Selected(const std::string& name) const;

  bool OpenVolume(int disk, int64_t wantedPosition = -1);
  // Spanned disks: asks for the disks up to `disk` in order (never backwards).
  bool OpenDisk(int disk, int64_t wantedPosition);
  bool OpenInput(int disk);
  // Opens `name` as the input of `disk`; reports "Error opening file" and returns false when it can't.
  bool OpenInputFile(const std::string& name, int disk);
  bool DriveIsSpanned();
  bool Seek(int disk, int64_t position);
  // Reads from the current position, moving on to the next volume of a split set at its end.
  size_t ReadData(void* buffer, size_t count);
  // Reads the entry's compressed bytes (bounded by what is left of it), decrypting them.
  size_t ReadEntryData(uint8_t* buffer, size_t count);

  // Decodes the entry's data (the input stands at it) by its method into the output.
  bool DecodeEntry(const TZipEntry& entry);
  // Puts the input back at the entry's data, behind its encryption header, for another password.
  bool RewindEncryptedData(const TLocalHeader& local, uint64_t packed);
  bool CopyStream();
  bool Inflate(bool deflate64);
  bool InflateDeflate();
  bool InflateLoop(const std::function<int(z_stream&)>& step, z_stream& zs);
  bool InflateDeflate64();
  bool DecodeLegacy(const TZipEntry& entry);

  std::unique_ptr<TZipVolumeInput> input_;
  std::unique_ptr<TDiskSpannObj> spann_;
  TEndRecord end_;
  int lastDisk_ = 0;
  int64_t firstLocal_ = 0;              // first local header found when the archive was bound
  std::vector<uint64_t> localOffsets_;  // every record start, sorted: the bounds of entry data
  uint64_t entryLeft_ = 0;              // compressed bytes of the current entry still to read
  uint64_t entryUnpacked_ = 0;
  TLocalHeader local_;  // local header of the current entry (the password check reads it)

  friend class TUnZipLegacyHost;
};
