// TZip's records of an existing archive: reading its directory (or, without one, its local
// headers) for an update, copying unchanged entries, writing the directory and end record, and the
// comment operations on a bound archive.
#include <algorithm>
#include <cstring>

#include "archive/pakvoErrors.h"
#include "archive/pakvoZip.h"
#include "archive/pakvoZipInternal.h"

using namespace zipfmt;

namespace {

uint32_t SignatureAt(TStream& input, int64_t pos) {
  uint8_t b[4];
  if (pos < 0) return 0;
  input.SetPosition(pos);
  return input.Read(b, 4) == 4 ? Get32(b) : 0;
}

// Bytes the data of an entry takes, with the data descriptor that may follow it.
uint64_t DataLength(TStream& input, const TZipEntryRecord& rec, uint64_t dataStart) {
  uint64_t data = EntryPacked(rec);
  if (Get16(rec.Central + 8) & 0x0008) {
    data += SignatureAt(input, static_cast<int64_t>(dataStart + data)) == kSigSpanMarker ? 16 : 12;
  }
  return data;
}

}  // namespace

std::string TZip::NameOf(const TZipEntryRecord& rec) const {
  const bool utf8 = (Get16(rec.Central + 8) & 0x0800) != 0;
  return utf8 ? SlashToBackslash(rec.StoredName) : OemToAnsiName(rec.StoredName, TranslateOemChar);
}

bool TZip::ReadDirectory(TFileStream32& input, std::vector<TZipEntryRecord>& list, TDirectoryInfo& info) {
  list.clear();
  info = TDirectoryInfo{};
  const int64_t size = input.GetSize();
  const int64_t window = std::min<int64_t>(size, 32768 + kLargeEndSize);
  std::vector<uint8_t> tail(static_cast<size_t>(window) + 1);
  input.SetPosition(size - window);
  const bool haveTail = window >= kEndSize && input.Read(tail.data(), window) == window;
  int64_t at = -1;
  bool large = false;
  for (int64_t i = haveTail ? window - kEndSize : -1; i >= 0; --i) {
    const uint32_t sig = Get32(&tail[static_cast<size_t>(i)]);
    if (sig == kSigEnd || (sig == kSigLargeEnd && i + kLargeEndSize <= window)) {
      at = i;
      large = sig == kSigLargeEnd;
      break;
    }
  }
  if (at < 0) {
    // No end record: the archive is read as a run of local headers.
    if (!ReadLocalHeaders(input, list)) return false;
    info.RecordsStart = static_cast<int64_t>(list.front().OldOffset);
    const TZipEntryRecord& last = list.back();
    const uint64_t dataStart = last.OldOffset + kLocalSize + last.StoredName.size() + Get16(last.Central + 30);
    info.CentralStart = static_cast<int64_t>(dataStart + DataLength(input, last, dataStart));
    return true;
  }
  const uint8_t* end = &tail[static_cast<size_t>(at)];
  if (Get16(end + 4) != 0 || Get16(end + 6) != 0) return false;  // spanned sets are not updated
  const int64_t endPos = size - window + at;
  const int64_t endSize = large ? kLargeEndSize : kEndSize;
  const uint32_t cdSize = Get32(end + 12);
  const uint64_t cdOffset = large ? Get64(end + 16) : Get32(end + 16);
  const uint32_t commentLen = Get16(end + (large ? 24 : 20));
  info.Comment.assign(reinterpret_cast<const char*>(end + endSize),
                      static_cast<size_t>(std::min<int64_t>(commentLen, window - at - endSize)));
  if (cdOffset == 0xFFFFFFFFu || cdSize > static_cast<uint64_t>(endPos)) return false;  // Zip64 is not rewritten
  // Data put in front of an archive without adjusting its offsets: the directory really starts
  // right before the end record, and every offset moves by the same amount.
  int64_t shift = 0;
  const int64_t real = endPos - static_cast<int64_t>(cdSize);
  if (cdSize > 0 && static_cast<int64_t>(cdOffset) != real && SignatureAt(input, static_cast<int64_t>(cdOffset)) != kSigCentral &&
      SignatureAt(input, real) == kSigCentral) {
    shift = real - static_cast<int64_t>(cdOffset);
  }
  const int64_t cdStart = static_cast<int64_t>(cdOffset) + shift;
  if (cdStart < 0 || cdStart + cdSize > endPos) return false;
  info.CentralStart = cdStart;
  info.RecordsStart = cdStart;
  std::vector<uint8_t> cd(cdSize + 1);
  input.SetPosition(cdStart);
  if (input.Read(cd.data(), cdSize) != static_cast<int64_t>(cdSize)) return false;
  // Walked by signature: past 65,535 entries the end record's counts keep only their low bits.
  for (size_t p = 0; p + kCentralSize <= cdSize && Get32(&cd[p]) == kSigCentral;) {
    TZipEntryRecord rec;
    rec.Existing = true;
    rec.State = 1;
    std::memcpy(rec.Central, &cd[p], kCentralSize);
    const uint32_t n = Get16(&cd[p + 28]);
    const uint32_t e = Get16(&cd[p + 30]);
    const uint32_t c = Get16(&cd[p + 32]);
    if (p + kCentralSize + n + e + c > cdSize) return false;
    const char* base = reinterpret_cast<const char*>(&cd[p + kCentralSize]);
    rec.StoredName.assign(base, n);
    rec.Extra.assign(base + n, e);
    rec.Comment.assign(base + n + e, c);
    if (Get16(&cd[p + 34]) != 0 || Get32(&cd[p + 20]) == 0xFFFFFFFFu || Get32(&cd[p + 24]) == 0xFFFFFFFFu ||
        Get32(&cd[p + 42]) == 0xFFFFFFFFu) {
      return false;  // multi-disk or Zip64 entries are not rewritten
    }
    const THigh high = ReadBlock100(rec.Extra, true);
    rec.OldOffset = static_cast<uint64_t>(static_cast<int64_t>(Get32(&cd[p + 42]) | (uint64_t{high.Offset} << 32)) + shift);
    SetEntryOffset(rec, rec.OldOffset);
    rec.Name = NameOf(rec);
    info.RecordsStart = std::min<int64_t>(info.RecordsStart, static_cast<int64_t>(rec.OldOffset));
    list.push_back(std::move(rec));
    p += kCentralSize + n + e + c;
  }
  return true;
}

bool TZip::ReadLocalHeaders(TFileStream32& input, std::vector<TZipEntryRecord>& list) {
  const int64_t size = input.GetSize();
  int64_t pos = SignatureAt(input, 0) == kSigSpanMarker ? 4 : 0;
  uint8_t local[kLocalSize];
  while (pos + kLocalSize <= size) {
    input.SetPosition(pos);
    if (input.Read(local, kLocalSize) != kLocalSize || Get32(local) != kSigLocal) break;
    const uint32_t n = Get16(local + 26);
    const uint32_t e = Get16(local + 28);
    std::string var(n + e, '\0');
    if (input.Read(var.data(), n + e) != static_cast<int64_t>(n + e)) break;
    const THigh high = ReadBlock100(var.substr(n), false);
    const uint64_t packed = Get32(local + 18) | (uint64_t{high.Packed} << 32);
    const uint64_t unpacked = Get32(local + 22) | (uint64_t{high.Unpacked} << 32);
    // Sizes that only a data descriptor gives cannot be walked.
    if ((Get16(local + 6) & 0x0008) && packed == 0 && unpacked == 0) return false;
    TZipEntryRecord rec;
    rec.Existing = true;
    rec.State = 1;
    Put32(rec.Central, kSigCentral);
    Put16(rec.Central + 4, 20);
    std::memcpy(rec.Central + 6, local + 4, 26);  // version needed, then flags to extra length
    rec.StoredName = var.substr(0, n);
    if (high.Found) rec.Extra = CentralBlock100(packed, unpacked, static_cast<uint64_t>(pos));
    rec.OldOffset = static_cast<uint64_t>(pos);
    SetEntryOffset(rec, rec.OldOffset);
    rec.Name = NameOf(rec);
    const uint64_t dataStart = static_cast<uint64_t>(pos) + kLocalSize + n + e;
    pos = static_cast<int64_t>(dataStart + DataLength(input, rec, dataStart));
    list.push_back(std::move(rec));
  }
  return !list.empty();
}

bool TZip::ScanArchive(TFileStream32& input, std::vector<TZipEntryRecord>& list) {
  TDirectoryInfo info;
  if (!ReadDirectory(input, list, info)) return false;
  recordsStart_ = info.RecordsStart;
  if (!commentSet_) archiveComment_ = info.Comment;
  TMaskList drop;
  if (Switch == swDelete) {
    for (const std::string& s : FileSpec) drop.Add(s);
  }
  TMaskList exclude;
  for (const std::string& s : ExcludeSpec) exclude.Add(s);
  for (TZipEntryRecord& rec : list) {
    if (Switch == swDelete && !drop.Empty()) {
      const std::string leaf = FileNamePart(RemoveDirTail(rec.Name));
      if ((drop.Matches(rec.Name) || drop.Matches(leaf)) && !(exclude.Matches(rec.Name) || exclude.Matches(leaf))) {
        rec.State = 2;
      }
    }
    for (const auto& fc : fileComments_) {
      if (fc.first == rec.Name) rec.Comment = fc.second;
    }
  }
  return true;
}

bool TZip::ReadEntryNames(const std::string& path, std::vector<std::string>& names) {
  TFileStream32 input(path, fmOpenRead | fmShareDenyWrite);
  std::vector<TZipEntryRecord> list;
  TDirectoryInfo info;
  if (input.Handle < 0 || !ReadDirectory(input, list, info)) return false;
  names.clear();
  for (const TZipEntryRecord& rec : list) names.push_back(rec.Name);
  return true;
}

bool TZip::CopyEntry(TFileStream32& input, TZipEntryRecord& rec, TStream32& output) {
  CurrentFile = rec.Name;
  uint8_t local[kLocalSize];
  input.SetPosition(static_cast<int64_t>(rec.OldOffset));
  if (input.Read(local, kLocalSize) != kLocalSize || Get32(local) != kSigLocal) {
    throw E_RAISE(std::string(LoadErrorText(kErrErrorReadingFile)));
  }
  const uint32_t n = Get16(local + 26);
  const uint32_t e = Get16(local + 28);
  const uint64_t data = DataLength(input, rec, rec.OldOffset + kLocalSize + n + e);
  const int64_t newOffset = output.GetPosition();
  if (rec.State == 1) {
    input.SetPosition(static_cast<int64_t>(rec.OldOffset));
    CopyBytes(input, output, kLocalSize + n + e + data);
  } else {
    bool utf8 = false;
    const std::string stored = StoredForm(rec.Name, utf8);
    Put16(local + 26, static_cast<uint32_t>(stored.size()));
    uint16_t newFlags = static_cast<uint16_t>((Get16(local + 6) & ~0x0800u) | (utf8 ? 0x0800u : 0u));
    Put16(local + 6, newFlags);
    output.WriteBuffer(local, kLocalSize);
    output.WriteBuffer(stored.data(), static_cast<int64_t>(stored.size()));
    input.SetPosition(static_cast<int64_t>(rec.OldOffset + kLocalSize + n));
    CopyBytes(input, output, e + data);
    rec.StoredName = stored;
    Put16(rec.Central + 8, (Get16(rec.Central + 8) & ~0x0800u) | (utf8 ? 0x0800u : 0u));
  }
  SetEntryOffset(rec, static_cast<uint64_t>(newOffset));
  return true;
}

bool TZip::WriteCentralDirectory(TStream32& output, std::vector<TZipEntryRecord>& list) {
  const int64_t start = output.GetPosition();
  uint32_t written = 0;
  // The records go out in writes of about a megabyte rather than one each.
  std::string central;
  for (TZipEntryRecord& rec : list) {
    if (rec.State == 2) continue;
    central += CentralRecordOf(rec);
    ++written;
    if (central.size() >= (1u << 20)) {
      output.WriteBuffer(central.data(), static_cast<int64_t>(central.size()));
      central.clear();
    }
  }
  output.WriteBuffer(central.data(), static_cast<int64_t>(central.size()));
  if (written == 0) {
    // An archive without entries ends in a bare end record.
    uint8_t end[kEndSize];
    PutEndRecord(end, 0, 0, 0, 0, 0, 0);
    output.WriteBuffer(end, kEndSize);
    return true;
  }
  const auto cdSize = static_cast<uint32_t>(output.GetPosition() - start);
  const auto commentSize = static_cast<uint32_t>(archiveComment_.size());
  if (static_cast<uint64_t>(start) >= k4GiB) {
    // The directory starts beyond 32-bit offsets: the large end record carries a 64-bit one.
    uint8_t end[kLargeEndSize] = {};
    Put32(end, kSigLargeEnd);
    Put16(end + 8, written & 0xFFFF);
    Put16(end + 10, written & 0xFFFF);
    Put32(end + 12, cdSize);
    Put64(end + 16, static_cast<uint64_t>(start));
    Put16(end + 24, commentSize);
    output.WriteBuffer(end, kLargeEndSize);
  } else {
    uint8_t end[kEndSize];
    PutEndRecord(end, 0, 0, written, cdSize, static_cast<uint32_t>(start), commentSize);
    output.WriteBuffer(end, kEndSize);
  }
  output.WriteBuffer(archiveComment_.data(), static_cast<int64_t>(commentSize));
  return true;
}

// ---- Comments of a bound archive ----

void TZip::SetArcFile(const std::string& name) {
  TCompBase::SetArcFile(name);
  headers_.clear();
  boundInfo_ = TDirectoryInfo{};
  modified_ = false;
  if (ArcFile.empty() || !FileExistsFF(ArcFile)) return;
  TFileStream32 input(ArcFile, fmOpenRead | fmShareDenyWrite);
  if (input.Handle < 0 || !ReadDirectory(input, headers_, boundInfo_)) {
    headers_.clear();
    return;
  }
  if (!commentSet_) archiveComment_ = boundInfo_.Comment;
}

void TZip::SetArchiveComment(const std::string& text) {
  const std::string value = text.substr(0, 0xFFFF);
  if (value != archiveComment_) modified_ = true;
  archiveComment_ = value;
  commentSet_ = true;
}

void TZip::SetFileComment(const std::string& name, const std::string& text) {
  fileComments_.emplace_back(name, text.substr(0, 0xFFFF));
}

std::string TZip::GetFileComment(int Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= headers_.size()) return {};
  return headers_[static_cast<size_t>(Index)].Comment;
}

bool TZip::SetFileComment(int Index, const std::string& text) {
  if (Index < 0 || static_cast<size_t>(Index) >= headers_.size()) return false;
  TZipEntryRecord& rec = headers_[static_cast<size_t>(Index)];
  const std::string value = text.substr(0, 0xFFFF);
  if (value != rec.Comment) modified_ = true;
  rec.Comment = value;
  SetFileComment(rec.Name, value);
  return true;
}

int TZip::CountEntries() {
  if (ArcFile.empty() || !FileExistsFF(ArcFile)) return 0;
  TFileStream32 input(ArcFile, fmOpenRead | fmShareDenyWrite);
  if (input.Handle < 0) {
    ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
    return 0;
  }
  std::vector<TZipEntryRecord> list;
  TDirectoryInfo info;
  return ReadDirectory(input, list, info) ? static_cast<int>(list.size()) : 0;
}

int64_t TZip::GetArchiveSize(int Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= headers_.size()) return 0;
  const TZipEntryRecord& rec = headers_[static_cast<size_t>(Index)];
  TFileStream32 input(ArcFile, fmOpenRead | fmShareDenyWrite);
  if (input.Handle < 0) {
    ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
    return 0;
  }
  uint8_t local[kLocalSize];
  input.SetPosition(static_cast<int64_t>(rec.OldOffset));
  if (input.Read(local, kLocalSize) != kLocalSize || Get32(local) != kSigLocal) return 0;
  const uint32_t n = Get16(local + 26);
  const uint32_t e = Get16(local + 28);
  std::string extra(e, '\0');
  input.SetPosition(static_cast<int64_t>(rec.OldOffset) + kLocalSize + n);
  if (input.Read(extra.data(), e) != static_cast<int64_t>(e)) return 0;
  uint64_t packed = Get32(local + 18) | (uint64_t{ReadBlock100(extra, false).Packed} << 32);
  if (packed == 0) packed = EntryPacked(rec);  // written with a data descriptor
  return static_cast<int64_t>(kLocalSize + n + e + packed);
}

bool TZip::RebuildArchive() {
  if (GetCancel() || !modified_ || ArcFile.empty()) return false;
  bool ok = false;
  try {
    TTempFileStream out(this, fmCreate, ArcFile, TempDir());
    if (out.Handle < 0) {
      ReportError(ArcFile, "", "0", kErrErrorCreatingFile);
    } else {
      TFileStream32 input(ArcFile, fmOpenRead | fmShareDenyWrite);
      if (input.Handle < 0) {
        ReportError(ArcFile, "", "0", kErrErrorOpeningFile);
      } else {
        // The entries (and any leading bytes) stay as they are; the directory is written anew.
        input.SetPosition(0);
        CopyBytes(input, out, static_cast<uint64_t>(std::max<int64_t>(boundInfo_.CentralStart, 0)));
        ok = WriteCentralDirectory(out, headers_);
      }
      if (ok) {
        out.Commit();
        ok = out.TempFileName.empty();
      } else {
        out.Abandon();
      }
    }
  } catch (const E_RAISE& e) {
    ReportError(ArcFile, "", "0", CodeOfText(e.what()));
    ok = false;
  }
  // The directory is read again from the archive as it now stands.
  const bool commentSet = commentSet_;
  commentSet_ = false;
  SetArcFile(ArcFile);
  commentSet_ = commentSet;
  return ok;
}
