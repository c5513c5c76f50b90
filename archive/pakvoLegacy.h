// Decoders of the older ZIP methods: Unshrink (method 1), Unreduce (methods 2-5) and Explode
// (method 6). The ZIP reader feeds them an entry's compressed bytes and takes their output through
// a small host interface, so the decoders know nothing of files, ciphers or components.
#pragma once

#include <cstddef>
#include <cstdint>

// What a legacy decoder needs from the component that runs it.
class TLegacyHost {
 public:
  virtual ~TLegacyHost() = default;
  // Reads up to `count` compressed bytes of the entry (decrypted when the entry is encrypted);
  // returns the number read, 0 when nothing more can be read.
  virtual std::size_t LegacyRead(std::uint8_t* buffer, std::size_t count) = 0;
  // Writes decoded bytes to the output and its running CRC; returns false when the write failed.
  virtual bool LegacyWrite(const std::uint8_t* buffer, std::size_t count) = 0;
  // True when the user cancelled the running operation.
  virtual bool LegacyCancelled() = 0;
  // Called after each flush of the output buffer with the bytes flushed.
  virtual void LegacyProgress(std::uint64_t /*block*/) {}
  // Reports an error code through OnError and raises the component's exception; returns only when
  // the operation was cancelled (the decoder then stops).
  virtual void LegacyRaise(int code) = 0;
  // Reports an error code through OnError without raising.
  virtual void LegacyReport(int code) = 0;
};

// Each decoder reads at most `packedSize` bytes through the host and writes at most `unpackedSize`
// bytes; it stops early at the end of the input or on cancel (the CRC check then tells). Returns
// false when the decoding stopped on an error (already reported or raised through the host).

// Method 1, shrunk (dynamic LZW with partial clearing).
bool Unshrink(TLegacyHost& host, std::uint64_t packedSize, std::uint64_t unpackedSize);

// Methods 2-5, reduced with compression factor 1-4 (`factor`).
bool Unreduce(TLegacyHost& host, int factor, std::uint64_t packedSize, std::uint64_t unpackedSize);

// Method 6, imploded; `flags` are the entry's general-purpose flags (bit 1: 8 KB window, bit 2:
// literal tree present).
bool Explode(TLegacyHost& host, std::uint16_t flags, std::uint64_t packedSize,
             std::uint64_t unpackedSize);
