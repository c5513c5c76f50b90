// The archive library's streams, all with 64-bit positions: file and memory streams, the coding
// streams that sit between a component and its target (deflate writer, inflate reader, stored
// copy, checksum only), and the temporary outputs that replace an archive once complete.
// Coding streams compute the entry's checksum, apply the traditional cipher in place, count down
// the owner's "bytes left" and stop at the owner's cancel flag.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "archive/pakvoGbls.h"

class TInflater;

// Origins of Seek (its origin parameter is a plain number, as callers pass it).
enum TSeekOrigin : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// Open modes of TFileStream32; fmCreate creates or truncates.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFFFF;

// Size of a coding stream's buffer.
constexpr int kCodingBufferSize = 65536;

class TStream : public TObject {
 public:
  virtual int64_t GetSize();
  // Sets the size; raises E_RAISE when the system refuses.
  virtual void SetSize(int64_t newSize);
  // Bytes read (0 at the end or on failure); -1 when the stream cannot be read.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Bytes written (short on failure, errno tells why); -1 when the stream cannot be written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // New position, or -1 when the request is not supported.
  virtual int64_t Seek(int64_t offset, int origin) = 0;

  int64_t GetPosition() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }
  // Read and write exactly count bytes or raise E_RAISE ("Stream read error"; on a write,
  // "Disk full" when the disk is full, else "Error writing to file").
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
};

class TStream32;
using TStreamProgress = std::function<void(TStream32* Sender)>;

class TStream32 : public TStream {
 public:
  // Copies count bytes of source here (count 0: the whole source from its start) in blocks of
  // 61,440 bytes, letting the message loop run and testing CancelFlag before each block.
  // Returns count (the source's size for 0), also when cancelled.
  virtual int64_t CopyFrom(TStream& source, int64_t count);
  // Calls the active progress handler (armed by a copy), else OnProgress, if any.
  virtual void Progress();

  TStreamProgress OnProgress;
  bool* CancelFlag = nullptr;  // not owned; null: never cancelled

 protected:
  bool Cancelled() const { return CancelFlag && *CancelFlag; }
  // The copy loop behind CopyFrom and the CopyStream operations: count bytes of source (0: the
  // whole source from its start) written here in blocks of blockSize, letting the message loop
  // run and stopping at CancelFlag or alsoCancel before each block. Returns count.
  int64_t CopyInBlocks(TStream& source, int64_t count, int64_t blockSize, const bool* alsoCancel = nullptr);
  TStreamProgress activeProgress_;
};

// A stream over an open file descriptor.
class THandleStream32 : public TStream32 {
 public:
  explicit THandleStream32(int handle) : Handle(handle) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t newSize) override;
  int64_t GetSize() override;

  int Handle;  // -1 when closed or when opening failed

 protected:
  // The descriptor's position as this stream left it, so that asking for it costs no system
  // call; -1 when unknown.
  int64_t position_ = -1;
};

class TFileStream32 : public THandleStream32 {
 public:
  // Opens an existing file (mode below fmCreate) or creates it; failure leaves Handle at -1
  // (errno tells why) and raises nothing.
  TFileStream32(const std::string& fileName, uint16_t mode);
  ~TFileStream32() override;
  void Close();
  const std::string& FileName() const { return fileName_; }

 protected:
  std::string fileName_;
};

// A stream over a memory block it does not own.
class TCustomMemoryStream32 : public TStream32 {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t GetSize() override { return size_; }
  void SetPointer(void* memory, int64_t size);
  uint8_t* Memory() const { return memory_; }

 protected:
  uint8_t* memory_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A growing memory stream that owns its block.
class TMemoryStream32 : public TCustomMemoryStream32 {
 public:
  ~TMemoryStream32() override;
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t newSize) override;
  void Clear();
  int64_t Capacity() const { return capacity_; }

 protected:
  // Grows the block to at least newCapacity (rounded up to 8,192 bytes); raises E_RAISE "Out
  // of memory while expanding memory stream" when it cannot.
  virtual void Realloc(int64_t newCapacity);
  int64_t capacity_ = 0;
};

// The caller's control record shared with a coding stream.
struct TStreamControl {
  uint32_t Crc = 0xFFFFFFFFu;  // running register
  bool Encrypted = false;      // apply the traditional cipher; the CRC was computed beforehand
  int64_t* BytesLeft = nullptr;  // owner's count of bytes still to process; may be null
  bool* Cancel = nullptr;        // owner's cancel flag; may be null
  bool EndOfStream = false;      // set by the decoder at the end of the data
};

// Base of the coding streams: a 64 KB buffer, the target or source stream (not owned) and the
// zlib record.
class TCustomStream : public TStream32 {
 public:
  ~TCustomStream() override;
  TStreamControl Control;

 protected:
  explicit TCustomStream(TStream& strm);
  bool CodingCancelled() const { return Control.Cancel && *Control.Cancel; }
  // Puts Strm back where this stream left it, if somebody moved it.
  void ReSeek();
  // Writes n bytes of Buffer (encrypted first when Encrypted) to Strm; raises E_RAISE on a
  // short write.
  void WriteOut(size_t n);

  std::unique_ptr<uint8_t[]> Buffer;
  TStream* Strm;
  int64_t StrmPos;
  z_stream Zs{};
};

// Raw deflate of everything written into it, onto Dest.
class TCompressStream : public TCustomStream {
 public:
  // levelIndex is a TDeflateType ordinal; raises E_RAISE when zlib cannot be initialised.
  TCompressStream(TStream& dest, int levelIndex, int windowBits);
  // Finishes the deflate data if Finish was not called (errors are then lost).
  ~TCompressStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  // Ends the deflate data and writes what is left; raises E_RAISE on a write failure; returns
  // deflateEnd's result.
  int Finish();

 protected:
  virtual void DeflateInit(int level, int windowBits);
  virtual void DeflateWrite();
  virtual int DeflateFinish();

 private:
  bool finished_ = false;
};

// Inflates from Source (method 8 through zlib; method 9 when Deflate64Mode is set at creation).
class TDecompressStream : public TCustomStream {
 public:
  TDecompressStream(TStream& source, int windowBits);
  // Puts Source just behind the compressed bytes consumed.
  ~TDecompressStream() override;
  // Bytes produced (fewer than count at the end of the data, EndOfStream set), or a negative
  // zlib result for corrupt or truncated data.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Offset 0 from the start restarts decoding; a forward request skips; backward does nothing.
  int64_t Seek(int64_t offset, int origin) override;
  int InitResult() const { return initResult_; }

 protected:
  virtual int InflateReset();
  virtual int InflateEnd();
  virtual int InflateStep();
  virtual int InflateInit(int windowBits);

 private:
  std::unique_ptr<TInflater> deflate64_;
  bool zlibOpen_ = false;
  int initResult_ = Z_OK;
};

// Copies stored (method 0) data onto Dest, with checksum or cipher.
class TStoreStream : public TCustomStream {
 public:
  // crcKind 16 or 32. Unless control.Encrypted, the CRC starts afresh; when encrypting, the
  // control record carries the CRC computed beforehand.
  TStoreStream(TStream& dest, TStreamProgress progress, bool* cancelPtr,
               const TStreamControl& control, uint8_t crcKind);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  // Copies count bytes of source through Write (0: the whole source from its start) in blocks
  // of 102,400 bytes; returns count.
  virtual int64_t CopyStream(TStream& source, int64_t count);

  uint8_t CrcKind;
  bool Encrypted;
};

// Only computes the checksum of a source, in its constructor.
class TCalcStreamCRC : public TCustomStream {
 public:
  TCalcStreamCRC(TStream& source, TStreamProgress progress, bool* cancelPtr,
                 const TStreamControl& control, uint8_t crcKind, int64_t count);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;

  uint8_t CrcKind;
  bool Encrypted;
};

// CRC-32 register (not inverted) over count bytes of source (0: all of it); rewinds source.
uint32_t CalcStreamCRC(TStream& source, const TStreamControl& control, TStreamProgress progress,
                       int64_t count);

// Deflates the whole of source onto dest. Unless control.Encrypted, crcOut receives the finished
// CRC-32 (0 for an empty source). Rewinds source. Returns false when cancelled; raises E_RAISE
// when dest cannot be written.
bool DeflateStream(TStream& source, TStream& dest, const TStreamControl& control, uint32_t& crcOut,
                   int levelIndex, TStreamProgress progress, int windowBits = -15);

// Copies the whole of source onto dest as stored data, with CRC (crcKind 16 or 32) or cipher.
// Unless control.Encrypted, crcOut receives the finished CRC. Returns false when cancelled.
bool StoreStream(TStream& source, TStream& dest, const TStreamControl& control, uint32_t& crcOut,
                 uint8_t crcKind, TStreamProgress progress);

// One raw deflate state (window bits -15, memory level 8, default strategy) kept across the
// entries of a run: each entry starts from deflateReset, which gives the same bytes as a fresh
// state without allocating and clearing zlib's tables again.
class TEntryDeflater {
 public:
  TEntryDeflater() = default;
  TEntryDeflater(const TEntryDeflater&) = delete;
  TEntryDeflater& operator=(const TEntryDeflater&) = delete;
  ~TEntryDeflater();
  // Deflates count bytes of input as one complete raw deflate stream at levelIndex (a
  // TDeflateType ordinal) into a buffer owned here; returns its start and sets packed to its
  // length. Raises E_RAISE when zlib cannot be initialised.
  const uint8_t* Deflate(const uint8_t* input, size_t count, int levelIndex, size_t& packed);

 private:
  z_stream zs_{};
  bool open_ = false;
  int level_ = 0;
  std::unique_ptr<uint8_t[]> out_;
  size_t capacity_ = 0;
};

// What a temporary output needs of the component that writes the archive.
class TTempStreamOwner {
 public:
  virtual ~TTempStreamOwner() = default;
  // The component's temporary-file rule: creates a new empty file in dir and returns its name.
  virtual std::string TempFileNameIn(const std::string& dir);
  virtual void TmpFileMoveBegin(const std::string& archive, const std::string& tempFile) {
    (void)archive;
    (void)tempFile;
  }
  virtual void TmpFileMoveEnd() {}
  virtual void TmpFileProgress(TStream32* sender) { (void)sender; }
  // Sets the progress totals of the running operation (bytes to move).
  virtual void SetProgressTotals(int64_t total) { (void)total; }
  // The owner's bytes-left counter and cancel flag; null when it has none.
  virtual int64_t* BytesLeftCounter() { return nullptr; }
  virtual bool* CancelPointer() { return nullptr; }
};

// Creates a new empty file "pakXXXXXX" in dir (the system temporary folder when dir is missing)
// and returns its name; empty when none can be created.
std::string MakeTempFileName(const std::string& dir);

// What both temporary outputs share: the writing component, the archive they replace, the
// read accounting and the block copy. TBase is the stream that holds the data.
template <class TBase>
class TTempStream : public TBase {
 public:
  // Counts the bytes read against the owner's bytes-left and notifies progress.
  int64_t Read(void* buffer, int64_t count) override {
    if (Owner) {
      if (int64_t* left = Owner->BytesLeftCounter()) *left -= count;
      Owner->TmpFileProgress(this);
    }
    return TBase::Read(buffer, count);
  }
  // Copies count bytes of source here (0: all from its start) in blocks of 100,000 bytes.
  virtual int64_t CopyStream(TStream& source, int64_t count) {
    return this->CopyInBlocks(source, count, kTempCopyBlock);
  }
  // Gives up: Commit then leaves the archive as it was.
  void Abandon() { ArchiveName.clear(); }

  TTempStreamOwner* Owner;
  std::string ArchiveName;
  bool IsTemp;
  uint16_t Mode;

 protected:
  static constexpr int64_t kTempCopyBlock = 100000;

  template <class... TBaseArgs>
  TTempStream(TTempStreamOwner* owner, uint16_t mode, const std::string& archiveName, TBaseArgs&&... baseArgs)
      : TBase(std::forward<TBaseArgs>(baseArgs)...),
        Owner(owner),
        ArchiveName(archiveName),
        IsTemp(mode == fmCreate),
        Mode(mode) {}
};

// The output of a compressor. With mode fmCreate it is a new temporary file in tempDir that
// Commit moves onto the archive (a rename on the same file system, else a copy beside the
// archive renamed into place); destroyed without Commit, the temporary file is deleted and the
// archive stays as it was. With another mode it is the archive itself, opened in that mode.
class TTempFileStream : public TTempStream<TFileStream32> {
 public:
  TTempFileStream(TTempStreamOwner* owner, uint16_t mode, const std::string& archiveName,
                  const std::string& tempDir);
  ~TTempFileStream() override;
  // Also counts the bytes read in ByteCounter.
  int64_t Read(void* buffer, int64_t count) override;
  // Replaces the archive by the temporary file. Raises E_RAISE ("Error opening file" when the
  // archive cannot be created, "Disk full" or "Error writing to file" when the copy fails); the
  // archive then stays as it was. After Abandon the temporary file is deleted when the stream
  // is destroyed.
  void Commit();

  std::string TempFileName;
  int64_t ByteCounter = 0;

 private:
  void RemoveTemp();
};

// The in-memory twin of TTempFileStream: Commit writes its content to the archive.
class TTempMemStream : public TTempStream<TMemoryStream32> {
 public:
  TTempMemStream(TTempStreamOwner* owner, uint16_t mode, const std::string& archiveName);
  void Commit();
};
