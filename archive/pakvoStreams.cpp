#include "archive/pakvoStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/pakvoCrypt.h"
#include "archive/pakvoErrors.h"
#include "archive/pakvoInflate.h"

namespace {

constexpr int64_t kCopyFromBlock = 61440;
constexpr int64_t kStoreCopyBlock = 102400;
constexpr int64_t kSkipBlock = 4096;
// zlib counts in 32 bits; larger writes are fed in slices.
constexpr int64_t kZlibSlice = int64_t{1} << 30;

[[noreturn]] void RaiseWriteFailure(int error) {
  throw E_RAISE(std::string(LoadErrorText(error == ENOSPC ? kErrDiskFull : kErrErrorWritingToFile)));
}

// zlib level of a TDeflateType ordinal.
int DeflateLevel(int levelIndex) {
  static constexpr int kLevels[4] = {0, 1, -1, 9};
  return levelIndex >= 0 && levelIndex < 4 ? kLevels[levelIndex] : -1;
}

std::string DirOf(const std::string& path) {
  const size_t slash = path.rfind(kPathDelim);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return std::string(1, kPathDelim);
  return path.substr(0, slash);
}

bool SameFileSystem(const std::string& a, const std::string& b) {
  struct stat sa{};
  struct stat sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

}  // namespace

// ---- TStream ----

int64_t TStream::GetSize() {
  const int64_t pos = Seek(0, soFromCurrent);
  const int64_t size = Seek(0, soFromEnd);
  if (pos >= 0) Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw E_RAISE("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  errno = 0;
  if (Write(buffer, count) != count) RaiseWriteFailure(errno);
}

// ---- TStream32 ----

int64_t TStream32::CopyFrom(TStream& source, int64_t count) {
  activeProgress_ = OnProgress;
  return CopyInBlocks(source, count, kCopyFromBlock);
}

int64_t TStream32::CopyInBlocks(TStream& source, int64_t count, int64_t blockSize, const bool* alsoCancel) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (count <= 0) return count;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, blockSize)));
  for (int64_t remaining = count; remaining > 0;) {
    ProcessMessages();
    if (Cancelled() || (alsoCancel && *alsoCancel)) break;
    const int64_t n = std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    remaining -= n;
  }
  return count;
}

void TStream32::Progress() {
  if (activeProgress_) {
    activeProgress_(this);
  } else if (OnProgress) {
    OnProgress(this);
  }
}

// ---- THandleStream32 / TFileStream32 ----

namespace {

// Repeats io(offset, length), a read or write of the descriptor, until count bytes are done, it
// moves nothing (stalled) or it fails other than by an interruption. Returns the bytes done.
template <class TIo>
int64_t TransferAll(int64_t count, bool& stalled, TIo io) {
  int64_t done = 0;
  stalled = false;
  while (done < count) {
    const ssize_t n = io(done, static_cast<size_t>(std::min<int64_t>(count - done, INT_MAX)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      stalled = n == 0;
      break;
    }
    done += n;
  }
  return done;
}

}  // namespace

int64_t THandleStream32::Read(void* buffer, int64_t count) {
  if (Handle < 0 || count <= 0) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  bool atEnd = false;
  const int64_t done = TransferAll(count, atEnd, [&](int64_t at, size_t n) { return ::read(Handle, p + at, n); });
  if (position_ >= 0) position_ += done;
  return done;
}

int64_t THandleStream32::Write(const void* buffer, int64_t count) {
  if (Handle < 0 || count <= 0) return 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  bool full = false;
  const int64_t done = TransferAll(count, full, [&](int64_t at, size_t n) { return ::write(Handle, p + at, n); });
  if (full) errno = ENOSPC;
  if (position_ >= 0) position_ += done;
  return done;
}

int64_t THandleStream32::Seek(int64_t offset, int origin) {
  if (Handle < 0) return -1;
  if (origin == soFromCurrent && offset == 0 && position_ >= 0) return position_;
  const int whence = origin == soFromBeginning ? SEEK_SET : origin == soFromCurrent ? SEEK_CUR : SEEK_END;
  position_ = static_cast<int64_t>(::lseek(Handle, static_cast<off_t>(offset), whence));
  return position_;
}

int64_t THandleStream32::GetSize() {
  struct stat st{};
  if (Handle < 0 || ::fstat(Handle, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

void THandleStream32::SetSize(int64_t newSize) {
  if (Seek(newSize, soFromBeginning) < 0 || ::ftruncate(Handle, static_cast<off_t>(newSize)) != 0) {
    throw E_RAISE(std::strerror(errno));
  }
}

TFileStream32::TFileStream32(const std::string& fileName, uint16_t mode)
    : THandleStream32(-1), fileName_(fileName) {
  if (fileName.empty()) {
    errno = ENOENT;
    return;
  }
  int flags = O_CLOEXEC;
  if (mode == fmCreate) {
    // Truncated below only when it has content: ext4 writes back on close every file that was
    // truncated, which would make each new (empty, just reserved) temporary archive wait for its
    // data to start going to the disk.
    flags |= O_RDWR | O_CREAT;
  } else {
    const int access = mode & 3;
    flags |= access == fmOpenWrite ? O_WRONLY : access == fmOpenReadWrite ? O_RDWR : O_RDONLY;
  }
  Handle = ::open(fileName.c_str(), flags, 0666);
  position_ = 0;
  if (Handle < 0) return;
  struct stat st{};
  const bool known = ::fstat(Handle, &st) == 0;
  if (known && S_ISDIR(st.st_mode)) {
    // A directory opens read-only on POSIX; it is no file stream.
    ::close(Handle);
    Handle = -1;
    errno = EISDIR;
  } else if (mode == fmCreate && (!known || st.st_size != 0) && ::ftruncate(Handle, 0) != 0) {
    const int error = errno;
    ::close(Handle);
    Handle = -1;
    errno = error;
  }
}

TFileStream32::~TFileStream32() { Close(); }

void TFileStream32::Close() {
  if (Handle >= 0) ::close(Handle);
  Handle = -1;
}

// ---- Memory streams ----

int64_t TCustomMemoryStream32::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TCustomMemoryStream32::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TCustomMemoryStream32::Seek(int64_t offset, int origin) {
  const int64_t base = origin == soFromBeginning ? 0 : origin == soFromCurrent ? position_ : size_;
  if (base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

void TCustomMemoryStream32::SetPointer(void* memory, int64_t size) {
  memory_ = static_cast<uint8_t*>(memory);
  size_ = size;
  position_ = 0;
}

TMemoryStream32::~TMemoryStream32() { std::free(memory_); }

void TMemoryStream32::Realloc(int64_t newCapacity) {
  if (newCapacity <= capacity_) return;
  int64_t rounded = (newCapacity + 8191) & ~int64_t{8191};
  void* grown = rounded > 0 && rounded < (int64_t{1} << 40) ? std::realloc(memory_, static_cast<size_t>(rounded)) : nullptr;
  if (!grown) throw E_RAISE(std::string(LoadErrorText(kErrOutOfMemoryExpandingStream)));
  memory_ = static_cast<uint8_t*>(grown);
  capacity_ = rounded;
}

int64_t TMemoryStream32::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > capacity_) Realloc(end);
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  if (end > size_) size_ = end;
  return count;
}

void TMemoryStream32::SetSize(int64_t newSize) {
  if (newSize < 0) newSize = 0;
  if (newSize > capacity_) Realloc(newSize);
  size_ = newSize;
  if (position_ > newSize) position_ = newSize;
}

void TMemoryStream32::Clear() {
  std::free(memory_);
  memory_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

// ---- TCustomStream ----

TCustomStream::TCustomStream(TStream& strm)
    : Buffer(new uint8_t[kCodingBufferSize]), Strm(&strm), StrmPos(strm.GetPosition()) {}

TCustomStream::~TCustomStream() = default;

void TCustomStream::ReSeek() {
  if (Strm->GetPosition() != StrmPos) Strm->Seek(StrmPos, soFromBeginning);
}

void TCustomStream::WriteOut(size_t n) {
  if (n == 0) return;
  if (Control.Encrypted) EncryptBuffer(Buffer.get(), n);
  errno = 0;
  const int64_t written = Strm->Write(Buffer.get(), static_cast<int64_t>(n));
  const int error = errno;
  if (written > 0) StrmPos += written;
  if (written != static_cast<int64_t>(n)) RaiseWriteFailure(error);
}

// ---- TCompressStream ----

TCompressStream::TCompressStream(TStream& dest, int levelIndex, int windowBits) : TCustomStream(dest) {
  DeflateInit(DeflateLevel(levelIndex), windowBits);
  Control.Crc = 0xFFFFFFFFu;
}

TCompressStream::~TCompressStream() {
  if (!finished_) {
    try {
      Finish();
    } catch (...) {
      // Destruction cannot report; callers that care call Finish themselves.
    }
  }
}

void TCompressStream::DeflateInit(int level, int windowBits) {
  if (deflateInit2(&Zs, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    finished_ = true;
    throw E_RAISE(std::string(LoadErrorText(kErrOutOfMemory)));
  }
  Zs.next_out = Buffer.get();
  Zs.avail_out = kCodingBufferSize;
}

int64_t TCompressStream::Read(void*, int64_t) { return -1; }

int64_t TCompressStream::Write(const void* buffer, int64_t count) {
  if (finished_ || count <= 0) return count;
  ReSeek();
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t remaining = count;
  while (remaining > 0 && !CodingCancelled()) {
    const auto n = static_cast<uInt>(std::min(remaining, kZlibSlice));
    Zs.next_in = const_cast<Bytef*>(p);
    Zs.avail_in = n;
    DeflateWrite();
    const uInt consumed = n - Zs.avail_in;
    p += consumed;
    remaining -= consumed;
    if (Zs.avail_in != 0) break;
  }
  Zs.next_in = nullptr;
  Zs.avail_in = 0;
  return count;
}

void TCompressStream::DeflateWrite() {
  while (Zs.avail_in >= 1 && !CodingCancelled()) {
    const Bytef* before = Zs.next_in;
    if (Control.BytesLeft) *Control.BytesLeft -= Zs.avail_in;
    const int rc = deflate(&Zs, Z_NO_FLUSH);
    if (Control.BytesLeft) *Control.BytesLeft += Zs.avail_in;
    if (!Control.Encrypted) UpdateCrc32(before, static_cast<size_t>(Zs.next_in - before), Control.Crc);
    if (rc == Z_STREAM_ERROR) break;
    if (Zs.avail_out == 0) {
      WriteOut(kCodingBufferSize);
      Zs.next_out = Buffer.get();
      Zs.avail_out = kCodingBufferSize;
    }
    Progress();
  }
}

int TCompressStream::Finish() {
  if (finished_) return Z_OK;
  finished_ = true;
  Zs.next_in = nullptr;
  Zs.avail_in = 0;
  return DeflateFinish();
}

int TCompressStream::DeflateFinish() {
  struct EndGuard {
    z_stream* zs;
    ~EndGuard() {
      if (zs) deflateEnd(zs);
    }
  } guard{&Zs};
  ReSeek();
  int rc = Z_OK;
  for (;;) {
    rc = deflate(&Zs, Z_FINISH);
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    if (Zs.avail_out != 0 || CodingCancelled()) break;
    WriteOut(kCodingBufferSize);
    Zs.next_out = Buffer.get();
    Zs.avail_out = kCodingBufferSize;
  }
  if (rc >= 0) WriteOut(kCodingBufferSize - Zs.avail_out);
  guard.zs = nullptr;
  return deflateEnd(&Zs);
}

int64_t TCompressStream::Seek(int64_t offset, int origin) {
  if (offset == 0 && origin == soFromCurrent) return static_cast<int64_t>(Zs.total_in);
  return -1;
}

// ---- TDecompressStream ----

TDecompressStream::TDecompressStream(TStream& source, int windowBits) : TCustomStream(source) {
  Zs.next_in = Buffer.get();
  Zs.avail_in = 0;
  initResult_ = InflateInit(windowBits);
}

TDecompressStream::~TDecompressStream() {
  if (Zs.avail_in > 0) Strm->Seek(StrmPos - Zs.avail_in, soFromBeginning);
  InflateEnd();
}

int TDecompressStream::InflateInit(int windowBits) {
  if (Deflate64Mode) {
    deflate64_ = std::make_unique<TInflater>();
    return deflate64_->Init(windowBits);
  }
  const int rc = inflateInit2(&Zs, windowBits);
  zlibOpen_ = rc == Z_OK;
  return rc;
}

int TDecompressStream::InflateReset() {
  Zs.total_in = 0;
  Zs.total_out = 0;
  if (deflate64_) return deflate64_->Reset();
  return zlibOpen_ ? inflateReset(&Zs) : Z_STREAM_ERROR;
}

int TDecompressStream::InflateEnd() {
  if (deflate64_) {
    deflate64_->End();
    return Z_OK;
  }
  if (!zlibOpen_) return Z_OK;
  zlibOpen_ = false;
  return inflateEnd(&Zs);
}

int TDecompressStream::InflateStep() {
  if (deflate64_) return deflate64_->Inflate(Zs);
  return inflate(&Zs, Z_NO_FLUSH);
}

int64_t TDecompressStream::Read(void* buffer, int64_t count) {
  if (initResult_ != Z_OK) return Z_STREAM_ERROR;
  if (count <= 0) return 0;
  count = std::min<int64_t>(count, UINT_MAX);
  Zs.next_out = static_cast<Bytef*>(buffer);
  Zs.avail_out = static_cast<uInt>(count);
  ReSeek();
  while (Zs.avail_out >= 1) {
    if (Zs.avail_in == 0) {
      const int64_t n = Strm->Read(Buffer.get(), std::min<int64_t>(count, kCodingBufferSize));
      Zs.next_in = Buffer.get();
      Zs.avail_in = n > 0 ? static_cast<uInt>(n) : 0;
      if (n > 0) {
        StrmPos += n;
        if (Control.Encrypted) DecryptBuffer(Buffer.get(), static_cast<size_t>(n));
        Progress();
      }
    }
    const int rc = InflateStep();
    if (rc == Z_STREAM_END) {
      Control.EndOfStream = true;
      break;
    }
    if (rc < 0) return rc;
  }
  return count - Zs.avail_out;
}

int64_t TDecompressStream::Write(const void*, int64_t) { return -1; }

int64_t TDecompressStream::Seek(int64_t offset, int origin) {
  if (offset == 0 && origin == soFromBeginning) {
    InflateReset();
    Zs.next_in = Buffer.get();
    Zs.avail_in = 0;
    Control.EndOfStream = false;
    Strm->Seek(0, soFromBeginning);
    StrmPos = 0;
    return 0;
  }
  const auto current = static_cast<int64_t>(Zs.total_out);
  int64_t target = current;
  if (origin == soFromBeginning) target = offset;
  else if (origin == soFromCurrent) target = current + offset;
  uint8_t skip[kSkipBlock];
  for (int64_t distance = target - static_cast<int64_t>(Zs.total_out); distance > 0;
       distance = target - static_cast<int64_t>(Zs.total_out)) {
    if (Read(skip, std::min(distance, kSkipBlock)) <= 0) break;
  }
  return static_cast<int64_t>(Zs.total_out);
}

// ---- TStoreStream ----

TStoreStream::TStoreStream(TStream& dest, TStreamProgress progress, bool* cancelPtr,
                           const TStreamControl& control, uint8_t crcKind)
    : TCustomStream(dest), CrcKind(crcKind), Encrypted(control.Encrypted) {
  Control = control;
  if (!Encrypted) Control.Crc = crcKind == 16 ? 0 : 0xFFFFFFFFu;
  OnProgress = std::move(progress);
  activeProgress_ = OnProgress;
  CancelFlag = cancelPtr;
}

int64_t TStoreStream::Read(void*, int64_t) { return -1; }

int64_t TStoreStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  ReSeek();
  if (!Encrypted) {
    if (CrcKind == 16) UpdateCrc16(buffer, static_cast<size_t>(count), Control.Crc);
    else UpdateCrc32(buffer, static_cast<size_t>(count), Control.Crc);
    errno = 0;
    const int64_t written = Strm->Write(buffer, count);
    const int error = errno;
    if (written > 0) StrmPos += written;
    if (written != count) RaiseWriteFailure(error);
  } else {
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (int64_t done = 0; done < count;) {
      const auto n = static_cast<size_t>(std::min<int64_t>(count - done, kCodingBufferSize));
      std::memcpy(Buffer.get(), p + done, n);
      WriteOut(n);
      done += static_cast<int64_t>(n);
    }
  }
  if (Control.BytesLeft) *Control.BytesLeft -= count;
  Progress();
  return count;
}

int64_t TStoreStream::Seek(int64_t offset, int origin) {
  if (offset == 0 && origin == soFromCurrent) return StrmPos;
  return -1;
}

int64_t TStoreStream::CopyStream(TStream& source, int64_t count) {
  return CopyInBlocks(source, count, kStoreCopyBlock, Control.Cancel);
}

// ---- TCalcStreamCRC ----

TCalcStreamCRC::TCalcStreamCRC(TStream& source, TStreamProgress progress, bool* cancelPtr,
                               const TStreamControl& control, uint8_t crcKind, int64_t count)
    : TCustomStream(source), CrcKind(crcKind), Encrypted(control.Encrypted) {
  Control = control;
  Control.Crc = crcKind == 16 ? 0 : 0xFFFFFFFFu;
  OnProgress = std::move(progress);
  CancelFlag = cancelPtr;
  CopyFrom(source, count);
}

int64_t TCalcStreamCRC::Read(void*, int64_t) { return -1; }

int64_t TCalcStreamCRC::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (CrcKind == 16) UpdateCrc16(buffer, static_cast<size_t>(count), Control.Crc);
  else UpdateCrc32(buffer, static_cast<size_t>(count), Control.Crc);
  if (activeProgress_) {
    if (Control.BytesLeft) *Control.BytesLeft -= count;
    Progress();
  }
  return count;
}

int64_t TCalcStreamCRC::Seek(int64_t, int) { return -1; }

uint32_t CalcStreamCRC(TStream& source, const TStreamControl& control, TStreamProgress progress,
                       int64_t count) {
  TCalcStreamCRC calc(source, std::move(progress), control.Cancel, control, 32, count);
  source.SetPosition(0);
  return calc.Control.Crc;
}

bool DeflateStream(TStream& source, TStream& dest, const TStreamControl& control, uint32_t& crcOut,
                   int levelIndex, TStreamProgress progress, int windowBits) {
  TCompressStream deflater(dest, levelIndex, windowBits);
  deflater.Control = control;
  if (!control.Encrypted) deflater.Control.Crc = 0xFFFFFFFFu;
  deflater.OnProgress = std::move(progress);
  deflater.CancelFlag = control.Cancel;
  deflater.CopyFrom(source, 0);
  source.SetPosition(0);
  if (!control.Encrypted) crcOut = deflater.Control.Crc ^ 0xFFFFFFFFu;
  deflater.Finish();
  return !(control.Cancel && *control.Cancel);
}

bool StoreStream(TStream& source, TStream& dest, const TStreamControl& control, uint32_t& crcOut,
                 uint8_t crcKind, TStreamProgress progress) {
  TStoreStream store(dest, std::move(progress), control.Cancel, control, crcKind);
  store.CopyStream(source, 0);
  source.SetPosition(0);
  if (!control.Encrypted) crcOut = crcKind == 16 ? store.Control.Crc : store.Control.Crc ^ 0xFFFFFFFFu;
  return !(control.Cancel && *control.Cancel);
}

// ---- TEntryDeflater ----

TEntryDeflater::~TEntryDeflater() {
  if (open_) deflateEnd(&zs_);
}

const uint8_t* TEntryDeflater::Deflate(const uint8_t* input, size_t count, int levelIndex, size_t& packed) {
  const int level = DeflateLevel(levelIndex);
  if (open_ && level != level_) {
    deflateEnd(&zs_);
    open_ = false;
  }
  if (!open_) {
    zs_ = z_stream{};
    if (deflateInit2(&zs_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw E_RAISE(std::string(LoadErrorText(kErrOutOfMemory)));
    }
    open_ = true;
    level_ = level;
  } else if (deflateReset(&zs_) != Z_OK) {
    throw E_RAISE(std::string(LoadErrorText(kErrOutOfMemory)));
  }
  // Callers keep entries well below 4 GiB, so one call takes all of it.
  const size_t bound = deflateBound(&zs_, static_cast<uLong>(count));
  if (bound > capacity_) {
    out_.reset(new uint8_t[bound]);
    capacity_ = bound;
  }
  zs_.next_in = const_cast<Bytef*>(input);
  zs_.avail_in = static_cast<uInt>(count);
  zs_.next_out = out_.get();
  zs_.avail_out = static_cast<uInt>(capacity_);
  const int rc = deflate(&zs_, Z_FINISH);
  zs_.next_in = nullptr;
  zs_.avail_in = 0;
  if (rc != Z_STREAM_END) throw E_RAISE(std::string(LoadErrorText(kErrOutOfMemory)));
  packed = capacity_ - zs_.avail_out;
  return out_.get();
}

// ---- Temporary outputs ----

std::string MakeTempFileName(const std::string& dir) {
  std::string folder = DirExists(dir) ? dir : TempPath();
  if (folder.empty()) return {};
  std::string pattern = JoinPath(folder, "pakXXXXXX");
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  ::close(fd);
  return std::string(name.data());
}

std::string TTempStreamOwner::TempFileNameIn(const std::string& dir) { return MakeTempFileName(dir); }

namespace {

std::string TempTarget(TTempStreamOwner* owner, uint16_t mode, const std::string& archiveName,
                       const std::string& tempDir) {
  if (mode != fmCreate) return archiveName;
  return owner ? owner->TempFileNameIn(tempDir) : MakeTempFileName(tempDir);
}

// The mode of the file that replaces target: an existing archive keeps its own, a new one gets
// what the umask leaves of a new file's (the temporary file was made private to its owner).
mode_t ArchiveMode(const std::string& target) {
  struct stat st{};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Writes a new file beside target through fill, then renames it onto target. The target is
// untouched when anything fails or the fill is cancelled (fill returns false).
bool ReplaceThroughSibling(const std::string& target, const std::function<bool(TFileStream32&)>& fill) {
  const std::string dir = DirOf(target);
  ForceDirectories(dir);
  const std::string sibling = DirExists(dir) ? MakeTempFileName(dir) : std::string();
  if (sibling.empty()) throw E_RAISE(std::string(LoadErrorText(kErrErrorOpeningFile)));
  bool done = false;
  try {
    TFileStream32 out(sibling, fmCreate);
    if (out.Handle < 0) throw E_RAISE(std::string(LoadErrorText(kErrErrorOpeningFile)));
    done = fill(out);
    if (done) ::fchmod(out.Handle, ArchiveMode(target));
    if (done && ::fsync(out.Handle) != 0 && errno == ENOSPC) RaiseWriteFailure(ENOSPC);
  } catch (...) {
    ::unlink(sibling.c_str());
    throw;
  }
  if (!done) {
    ::unlink(sibling.c_str());
    return false;
  }
  if (::rename(sibling.c_str(), target.c_str()) != 0) {
    ::unlink(sibling.c_str());
    throw E_RAISE(std::string(LoadErrorText(kErrErrorOpeningFile)));
  }
  return true;
}

// Writes the whole of content to a file beside archive and renames it into place. With
// followOwner the copy stops at the owner's cancel flag and reports progress to it. Returns
// false when cancelled.
bool CopyOntoArchive(TStream32& content, TTempStreamOwner* owner, const std::string& archive, bool followOwner) {
  return ReplaceThroughSibling(archive, [&](TFileStream32& out) {
    if (owner) owner->SetProgressTotals(content.GetSize());
    content.SetPosition(0);
    if (followOwner) {
      out.CancelFlag = owner ? owner->CancelPointer() : nullptr;
      if (owner) out.OnProgress = [owner](TStream32* sender) { owner->TmpFileProgress(sender); };
    }
    out.CopyFrom(content, 0);
    return !(out.CancelFlag && *out.CancelFlag);
  });
}

}  // namespace

TTempFileStream::TTempFileStream(TTempStreamOwner* owner, uint16_t mode, const std::string& archiveName,
                                 const std::string& tempDir)
    : TTempStream(owner, mode, archiveName, TempTarget(owner, mode, archiveName, tempDir), mode),
      TempFileName(mode == fmCreate ? fileName_ : std::string()) {}

TTempFileStream::~TTempFileStream() {
  Close();
  RemoveTemp();
}

void TTempFileStream::RemoveTemp() {
  if (IsTemp && !TempFileName.empty()) ::unlink(TempFileName.c_str());
  TempFileName.clear();
}

int64_t TTempFileStream::Read(void* buffer, int64_t count) {
  const int64_t n = TTempStream::Read(buffer, count);
  if (n > 0) ByteCounter += n;
  return n;
}

void TTempFileStream::Commit() {
  if (!IsTemp || Mode == 0 || ArchiveName.empty() || TempFileName.empty() || Handle < 0) return;
  if (Owner) Owner->TmpFileMoveBegin(ArchiveName, TempFileName);
  const std::string archiveDir = DirOf(ArchiveName);
  if (SameFileSystem(DirOf(TempFileName), archiveDir)) {
    ::fchmod(Handle, ArchiveMode(ArchiveName));
    Close();
    if (::rename(TempFileName.c_str(), ArchiveName.c_str()) != 0) {
      throw E_RAISE(std::string(LoadErrorText(kErrErrorOpeningFile)));
    }
    TempFileName.clear();
  } else {
    if (!CopyOntoArchive(*this, Owner, ArchiveName, true)) return;
    Close();
    RemoveTemp();
  }
  if (Owner) Owner->TmpFileMoveEnd();
}

TTempMemStream::TTempMemStream(TTempStreamOwner* owner, uint16_t mode, const std::string& archiveName)
    : TTempStream(owner, mode, archiveName) {}

void TTempMemStream::Commit() {
  if (!IsTemp || Mode == 0 || ArchiveName.empty()) return;
  if (Owner) Owner->TmpFileMoveBegin(ArchiveName, std::string());
  CopyOntoArchive(*this, Owner, ArchiveName, false);
  if (Owner) Owner->TmpFileMoveEnd();
}

// ---- Strings read from streams (archive globals) ----

std::string ReadStringAt(TStream& stream, int64_t& position) {
  char buf[256];
  stream.SetPosition(position);
  const int64_t n = std::max<int64_t>(stream.Read(buf, sizeof buf), 0);
  const auto* end = static_cast<const char*>(std::memchr(buf, 0, static_cast<size_t>(n)));
  const size_t len = end ? static_cast<size_t>(end - buf) : static_cast<size_t>(n);
  position += static_cast<int64_t>(len) + 1;
  return std::string(buf, len);
}

std::string ReadFixedString(TStream& stream, int64_t& position, uint8_t length) {
  char buf[256];
  stream.SetPosition(position);
  const int64_t n = std::max<int64_t>(stream.Read(buf, length), 0);
  position += n;
  return std::string(buf, static_cast<size_t>(n));
}
