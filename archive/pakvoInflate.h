// Decoder of the deflate family: Deflate (ZIP method 8, RFC 1951) and Deflate64 (method 9,
// PKWARE's enhanced deflate with a 64 KB window, 16-bit length extension and two more distance
// codes). The process-wide switch selects the variant for the next decoder initialised.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>

// True while entries of method 9 are decoded; false by default.
extern bool Deflate64Mode;
// Distance codes given length 5 in fixed-code blocks: 30 for Deflate, 32 for Deflate64.
extern uint8_t FixedDistanceCodes;
// Sets both for the next entry.
void SetDeflate64Mode(bool on);

// A raw inflater with zlib's calling convention and result codes, working on a z_stream's
// next_in, avail_in, total_in, next_out, avail_out and total_out. The variant is the one selected
// when Init is called. Only raw streams (negative window bits) are accepted.
class TInflater {
 public:
  TInflater();
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // inflateInit2: Z_OK, Z_STREAM_ERROR for window bits out of range, Z_MEM_ERROR.
  int Init(int windowBits);
  // inflate without flushing: Z_OK, Z_STREAM_END at the end of the last block, Z_DATA_ERROR for
  // corrupt data, Z_BUF_ERROR when no progress was possible, Z_STREAM_ERROR before Init.
  // Input that follows the end of the data is left in next_in.
  int Inflate(z_stream& strm);
  int Reset();
  void End();
  bool IsDeflate64() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};
