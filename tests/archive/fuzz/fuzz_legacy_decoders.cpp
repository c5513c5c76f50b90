// libFuzzer target: the shrink, reduce and implode decoders on raw streams. The first byte picks
// the decoder and its flags, the next two the declared output size; output may never exceed it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/pakvoLegacy.h"

namespace {

struct Stop {};

class FuzzHost : public TLegacyHost {
 public:
  FuzzHost(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t LegacyRead(uint8_t* buffer, size_t count) override {
    size_t n = count < size_ - pos_ ? count : size_ - pos_;
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
  }
  bool LegacyWrite(const uint8_t*, size_t count) override {
    written += count;
    return true;
  }
  bool LegacyCancelled() override { return false; }
  void LegacyRaise(int) override { throw Stop{}; }
  void LegacyReport(int) override {}
  uint64_t written = 0;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t selector = data[0];
  const uint64_t declared = (static_cast<uint64_t>(data[1]) << 8 | data[2]) * 16;
  FuzzHost host(data + 3, size - 3);
  try {
    switch (selector % 6) {
      case 0:
        Unshrink(host, size - 3, declared);
        break;
      case 5:
        Explode(host, static_cast<uint16_t>((selector >> 3) & 6), size - 3, declared);
        break;
      default:
        Unreduce(host, selector % 6, size - 3, declared);
        break;
    }
  } catch (const Stop&) {
  }
  if (host.written > declared) std::abort();
  return 0;
}
